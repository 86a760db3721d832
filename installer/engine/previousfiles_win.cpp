#include "previousfiles.h"

#include <windows.h>

#include <set>

#include "pencoding.h"
#include "ppathtext.h"
#include "pregistry.h"
#include "punique.h"
#include "sharednames.h"

namespace {
std::wstring WideOf(const char* text) {
    PWString w;
    ToWide(w, text, &PStringXEncoding);
    w.terminate();
    return std::wstring(w.wide());
}

std::wstring Decoded(const std::string& bytes) {
    if (bytes.empty())
        return std::wstring();
    UINT codePage = CP_UTF8;
    int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes.data(), int(bytes.size()), nullptr, 0);
    if (n == 0) {
        codePage = CP_ACP;
        n = MultiByteToWideChar(CP_ACP, 0, bytes.data(), int(bytes.size()), nullptr, 0);
    }
    std::wstring text(size_t(n > 0 ? n : 0), L'\0');
    if (n > 0)
        MultiByteToWideChar(codePage, 0, bytes.data(), int(bytes.size()), &text[0], n);
    return text;
}

// A path the list may name: names separated by single backslashes, none
// empty, "." or "..", no drive, wildcard or device syntax.
bool PlainRelative(const std::wstring& path) {
    if (path.empty() || path.size() >= MAX_PATH || path[0] == L'\\')
        return false;
    size_t start = 0;
    for (;;) {
        const size_t end = path.find(L'\\', start);
        const std::wstring name = path.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start);
        if (name.empty() || name == L"." || name == L"..")
            return false;
        for (wchar_t c : name)
            if (c < 32 || std::wstring(L":*?\"<>|/").find(c) != std::wstring::npos)
                return false;
        if (end == std::wstring::npos)
            return true;
        start = end + 1;
    }
}

std::wstring Folded(std::wstring text) {
    if (!text.empty())
        CharLowerBuffW(&text[0], DWORD(text.size()));
    return text;
}
}  // namespace

std::vector<std::wstring> ReadListedFiles(const PString& installFolder, bool& found) {
    std::vector<std::wstring> files;
    found = false;
    const std::wstring list = WideOf(JoinPath(installFolder.text(), SharedNames::kUninstallListFile.narrow).text());
    const UniqueFileHandle file(CreateFileW(list.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                            FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return files;
    std::string bytes;
    char buffer[65536];
    for (DWORD read = 0; ReadFile(file.get(), buffer, sizeof buffer, &read, nullptr) && read > 0;)
        bytes.append(buffer, read);
    found = true;
    const std::wstring text = Decoded(bytes);
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find(L'\n', start);
        if (end == std::wstring::npos)
            end = text.size();
        std::wstring line = text.substr(start, end - start);
        if (!line.empty() && line.back() == L'\r')
            line.pop_back();
        if (PlainRelative(line))
            files.push_back(line);
        start = end + 1;
    }
    return files;
}

bool PreviousInstallationIsIn(const PString& displayName, const PString& installFolder) {
    PString key(SharedNames::kUninstallRoot.narrow);
    AppendText(key, displayName.text());
    PString recorded;
    if (!ReadMachineString(key.text(), SharedNames::kInstallLocationValue.narrow, recorded) || recorded.empty())
        return false;
    std::wstring a = Folded(WideOf(recorded.text())), b = Folded(WideOf(installFolder.text()));
    while (!a.empty() && a.back() == L'\\')
        a.pop_back();
    while (!b.empty() && b.back() == L'\\')
        b.pop_back();
    return a == b;
}

std::vector<std::wstring> FilesNoLongerListed(const std::vector<std::wstring>& before,
                                              const std::vector<std::wstring>& after) {
    std::set<std::wstring> kept;
    for (const std::wstring& f : after)
        kept.insert(Folded(f));
    std::vector<std::wstring> gone;
    for (const std::wstring& f : before)
        if (kept.insert(Folded(f)).second)
            gone.push_back(f);
    return gone;
}

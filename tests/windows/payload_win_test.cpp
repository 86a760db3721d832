// The payload archive on Windows: files are created under their Unicode
// names (code page 1252 in the archive), in process and through payload.exe.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "payload.h"
#include "sha256.h"
#include "payloadbuilder.h"
#include "payloadfiles.h"
#include "test_paths.h"

namespace {

PayloadInput File(const std::string& name, const std::string& bytes) {
    PayloadInput f;
    f.name = name;
    f.bytes = bytes;
    f.size = bytes.size();
    return f;
}

std::string Archive() {
    PayloadStringOutput out;
    BuildPayload({File("Morvandite.exe", std::string(3000, 'M')), File("data\\caf\xE9.txt", "accent"),
                  File("data\\\x80uro\\price.txt", "12"), File("data\\empty.dat", "")},
                 out);
    return out.bytes;
}

std::wstring Wide(const std::string& ascii) { return std::wstring(ascii.begin(), ascii.end()); }

std::string ReadWide(const std::wstring& path) {
    HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return "<missing>";
    char buffer[8192];
    DWORD n = 0;
    std::string s;
    while (ReadFile(h, buffer, sizeof buffer, &n, nullptr) && n)
        s.append(buffer, n);
    CloseHandle(h);
    return s;
}

void ExpectExtracted(const std::wstring& root) {
    EXPECT_EQ(ReadWide(root + L"\\Morvandite.exe"), std::string(3000, 'M'));
    EXPECT_EQ(ReadWide(root + L"\\data\\caf\u00E9.txt"), "accent");
    EXPECT_EQ(ReadWide(root + L"\\data\\\u20ACuro\\price.txt"), "12");
    EXPECT_EQ(ReadWide(root + L"\\data\\empty.dat"), "");
}

// Runs payload.exe; its standard output goes to outputFile when one is named.
DWORD RunTool(const std::wstring& arguments, const std::wstring& outputFile = L"") {
    std::wstring command = L"\"" + Wide(BinaryPath("bin/payload.exe")) + L"\" " + arguments;
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE output = INVALID_HANDLE_VALUE;
    if (!outputFile.empty()) {
        output = CreateFileW(outputFile.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS, 0, nullptr);
        si.dwFlags = STARTF_USESTDHANDLES;
        si.hStdOutput = output;
        si.hStdError = GetStdHandle(STD_ERROR_HANDLE);
        si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    }
    PROCESS_INFORMATION pi = {};
    BOOL started = CreateProcessW(nullptr, &command[0], nullptr, nullptr, output != INVALID_HANDLE_VALUE, 0, nullptr,
                                  nullptr, &si, &pi);
    if (output != INVALID_HANDLE_VALUE)
        CloseHandle(output);
    if (!started)
        return 9999;
    WaitForSingleObject(pi.hProcess, INFINITE);
    DWORD code = 9999;
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return code;
}

std::string Utf8(const std::wstring& w) {
    int n = WideCharToMultiByte(CP_UTF8, 0, w.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string s(n > 0 ? n - 1 : 0, '\0');
    if (n > 1)
        WideCharToMultiByte(CP_UTF8, 0, w.c_str(), -1, &s[0], n, nullptr, nullptr);
    return s;
}

// Игры 日本 Ελλάδα
const wchar_t kNonAnsiFolder[] = L"\u0418\u0433\u0440\u044B \u65E5\u672C \u0395\u03BB\u03BB\u03AC\u03B4\u03B1";

}  // namespace

TEST(PayloadWindows, ExtractsUnderUnicodeNamesInProcess) {
    std::string archive = Archive();
    std::string folder = ScratchFolder("payload-win-inprocess");
    CPayloadFileWriter writer(folder.c_str());
    PString why;
    ASSERT_EQ(ExtractPayload(archive.data(), uint32_t(archive.size()), writer.Destination(), &writer, &why), 0) << why.text();
    ExpectExtracted(Wide(folder));
    EXPECT_EQ(GetRequiredSpace(archive.data(), uint32_t(archive.size()), 4096), 3u * 4096u);
}

TEST(PayloadWindows, ToolExtractsAndRefusesATruncatedArchive) {
    std::string archive = Archive();
    std::string scratch = ScratchFolder("payload-win-tool");
    WriteWholeFile(scratch + "\\payload.bin", archive);
    const Sha256Digest digest = Sha256(reinterpret_cast<const uint8_t*>(archive.data()), archive.size());
    WriteWholeFile(scratch + "\\payload.bin.sha256", std::string(digest.begin(), digest.end()));
    WriteWholeFile(scratch + "\\cut.bin", archive.substr(0, archive.size() - 3));
    ASSERT_EQ(RunTool(Wide("extract \"" + scratch + "\\payload.bin\" \"" + scratch + "\\out\"")), 0u);
    ExpectExtracted(Wide(scratch + "\\out"));
    EXPECT_EQ(RunTool(Wide("verify \"" + scratch + "\\payload.bin\"")), 0u);
    // Against the whole payload's digest, and with none at all.
    EXPECT_EQ(RunTool(Wide("verify \"" + scratch + "\\cut.bin\" \"" + scratch + "\\payload.bin.sha256\"")), 1u);
    EXPECT_EQ(RunTool(Wide("verify \"" + scratch + "\\cut.bin\"")), 1u);
}

TEST(PayloadWindows, ToolListsAndExtractsAccentedNamesIntoANonAnsiFolder) {
    std::string archive = Archive();
    std::wstring scratch = Wide(ScratchFolder("payload-win-tool-unicode"));
    WriteWholeFile(Utf8(scratch) + "\\payload.bin", archive);
    // The scratch path is ASCII: the standard library's narrow paths reach it.
    const std::wstring bin = L"\"" + scratch + L"\\payload.bin\"";

    ASSERT_EQ(RunTool(L"list " + bin, scratch + L"\\list.txt"), 0u);
    std::string listed = ReadWide(scratch + L"\\list.txt");
    EXPECT_NE(listed.find("data\\caf\xC3\xA9.txt"), std::string::npos) << listed;
    EXPECT_NE(listed.find("data\\\xE2\x82\xACuro\\price.txt"), std::string::npos) << listed;

    const std::wstring out = scratch + L"\\" + kNonAnsiFolder;
    ASSERT_EQ(RunTool(L"extract " + bin + L" \"" + out + L"\""), 0u);
    ExpectExtracted(out);

    // In process, the writer given the same folder as UTF-8.
    const std::wstring inProcess = scratch + L"\\in " + kNonAnsiFolder;
    CPayloadFileWriter writer(Utf8(inProcess).c_str());
    PString why;
    ASSERT_EQ(ExtractPayload(archive.data(), uint32_t(archive.size()), writer.Destination(), &writer, &why), 0)
        << why.text();
    ExpectExtracted(inProcess);
}

// The 32-bit build's SHA-extension code runs on the worker thread, whose stack
// Windows aligns to only 4 bytes: it must give the portable code's digest there
// too (a misaligned vector spill would crash instead).
static DWORD WINAPI HashBothWays(void* result) {
    std::string bytes(1 << 20, '\0');
    uint32_t seed = 88172645u;
    for (char& c : bytes) {
        seed ^= seed << 13, seed ^= seed >> 17, seed ^= seed << 5;
        c = char(seed);
    }
    const uint8_t* odd = reinterpret_cast<const uint8_t*>(bytes.data()) + 1;
    Sha256Hasher portable(Sha256Engine::Portable), fastest;
    portable.Update(odd, bytes.size() - 1);
    fastest.Update(odd, bytes.size() - 1);
    *static_cast<bool*>(result) = portable.Final() == fastest.Final();
    return 0;
}

TEST(PayloadWindows, FastestSha256EngineAgreesOnAThreadOfItsOwn) {
    if (Sha256FastestEngine() != Sha256Engine::ShaExtensions)
        GTEST_SKIP() << "this processor has no SHA extensions";
    bool same = false;
    HANDLE thread = CreateThread(nullptr, 0, HashBothWays, &same, 0, nullptr);
    ASSERT_NE(thread, nullptr);
    WaitForSingleObject(thread, INFINITE);
    DWORD code = 1;
    GetExitCodeThread(thread, &code);
    CloseHandle(thread);
    EXPECT_EQ(code, 0u);
    EXPECT_TRUE(same);
}

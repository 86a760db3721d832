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

void ExpectExtracted(const std::string& folder) {
    std::wstring root = Wide(folder);
    EXPECT_EQ(ReadWide(root + L"\\Morvandite.exe"), std::string(3000, 'M'));
    EXPECT_EQ(ReadWide(root + L"\\data\\caf\u00E9.txt"), "accent");
    EXPECT_EQ(ReadWide(root + L"\\data\\\u20ACuro\\price.txt"), "12");
    EXPECT_EQ(ReadWide(root + L"\\data\\empty.dat"), "");
}

DWORD RunTool(const std::string& arguments) {
    std::wstring command = L"\"" + Wide(BinaryPath("bin/payload.exe")) + L"\" " + Wide(arguments);
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        return 9999;
    WaitForSingleObject(pi.hProcess, INFINITE);
    DWORD code = 9999;
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return code;
}

}  // namespace

TEST(PayloadWindows, ExtractsUnderUnicodeNamesInProcess) {
    std::string archive = Archive();
    std::string folder = ScratchFolder("payload-win-inprocess");
    CPayloadFileWriter writer(folder.c_str());
    PString why;
    ASSERT_EQ(ExtractPayload(archive.data(), uint32_t(archive.size()), folder.c_str(), &writer, &why), 0) << why.text();
    ExpectExtracted(folder);
    EXPECT_EQ(GetRequiredSpace(archive.data(), uint32_t(archive.size()), 4096), 3u * 4096u);
}

TEST(PayloadWindows, ToolExtractsAndRefusesATruncatedArchive) {
    std::string archive = Archive();
    std::string scratch = ScratchFolder("payload-win-tool");
    WriteWholeFile(scratch + "\\payload.bin", archive);
    const Sha256Digest digest = Sha256(reinterpret_cast<const uint8_t*>(archive.data()), archive.size());
    WriteWholeFile(scratch + "\\payload.bin.sha256", std::string(digest.begin(), digest.end()));
    WriteWholeFile(scratch + "\\cut.bin", archive.substr(0, archive.size() - 3));
    ASSERT_EQ(RunTool("extract \"" + scratch + "\\payload.bin\" \"" + scratch + "\\out\""), 0u);
    ExpectExtracted(scratch + "\\out");
    EXPECT_EQ(RunTool("verify \"" + scratch + "\\payload.bin\""), 0u);
    // Against the whole payload's digest, and with none at all.
    EXPECT_EQ(RunTool("verify \"" + scratch + "\\cut.bin\" \"" + scratch + "\\payload.bin.sha256\""), 1u);
    EXPECT_EQ(RunTool("verify \"" + scratch + "\\cut.bin\""), 1u);
}

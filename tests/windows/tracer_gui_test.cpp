// Network Status (Tracer.exe) as a player starts it from the install folder:
// the window comes up, both checks end with a verdict, and the adapter list is
// read through the system's IP helper, which the program loads from the
// system folder at run time rather than importing it.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "process_windows.h"
#include "test_paths.h"

namespace {

const int kNetwork = 1001, kSiteLabel = 1002, kSite = 1003, kSource = 1004, kChecked = 1005;

std::wstring ItemText(HWND window, int id) {
    wchar_t text[512] = L"";
    GetDlgItemTextW(window, id, text, 512);
    return text;
}

std::wstring Wide(const std::string& ascii) { return std::wstring(ascii.begin(), ascii.end()); }

bool StartsWith(const std::wstring& text, const std::wstring& start) { return text.compare(0, start.size(), start) == 0; }

}  // namespace

TEST(Tracer, BothChecksEndWithAVerdictFromTheSettingsBesideIt) {
    const std::string folder = ScratchFolder("tracer");
    const std::string exe = folder + "\\Tracer.exe";
    ASSERT_TRUE(CopyFileA(BinaryPath("payload/Tracer.exe").c_str(), exe.c_str(), FALSE));
    // A web address: the host is taken out of it, and it resolves without a network.
    WriteWholeFile(folder + "\\Tracer.ini", "[Tracer]\r\nsite=http://localhost:8080/lobby\r\n");

    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    std::wstring command = L"\"" + Wide(exe) + L"\"";
    ASSERT_TRUE(CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, Wide(folder).c_str(),
                               &startup, &process));
    HWND window = nullptr;
    ASSERT_TRUE(WaitUntil([&] { return (window = FindProcessWindow("MorvanditeTracerClass", process.dwProcessId)) != nullptr; }, 30000));
    ASSERT_TRUE(WaitUntil([&] { return StartsWith(ItemText(window, kChecked), L"Last checked at "); }, 30000))
        << "the checks never ended";

    const std::wstring network = ItemText(window, kNetwork);
    EXPECT_TRUE(StartsWith(network, L"Connected (") || StartsWith(network, L"Not connected: "))
        << "network: " << std::string(network.begin(), network.end());
    EXPECT_EQ(ItemText(window, kSiteLabel), L"Site localhost");
    EXPECT_EQ(ItemText(window, kSource), L"Site from Tracer.ini");
    const std::wstring site = ItemText(window, kSite);
    EXPECT_TRUE(StartsWith(site, L"Resolves to ")) << std::string(site.begin(), site.end());
    EXPECT_TRUE(site.find(L"127.0.0.1") != std::wstring::npos || site.find(L"::1") != std::wstring::npos)
        << std::string(site.begin(), site.end());

    PostMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(WaitForSingleObject(process.hProcess, 10000), WAIT_OBJECT_0);
    DWORD code = 1;
    GetExitCodeProcess(process.hProcess, &code);
    EXPECT_EQ(code, 0u);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
}

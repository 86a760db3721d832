// The gallery's screenshots under Xvfb: kept in <build>/artifacts for looking
// at the toolkit, and checked for the page's colours in the right places.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <string>

#include "test_paths.h"

namespace {

// Runs the gallery with the arguments; its exit code, or -1.
int RunGallery(const std::string& arguments) {
    std::string exe = BinaryPath("bin/uigallery.exe");
    std::string command = "\"" + exe + "\" " + arguments;
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessA(exe.c_str(), &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        return -1;
    // A safety limit only: a hung gallery fails the test instead of the run.
    DWORD waited = WaitForSingleObject(pi.hProcess, 120000);
    DWORD code = DWORD(-1);
    if (waited == WAIT_OBJECT_0)
        GetExitCodeProcess(pi.hProcess, &code);
    else
        TerminateProcess(pi.hProcess, 99);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return int(code);
}

struct Bmp {
    int width = 0, height = 0, bits = 0;
    std::string data;
    // Colour at (x, y) from the top, as COLORREF.
    COLORREF at(int x, int y) const {
        const int stride = (width * 3 + 3) & ~3;
        const uint32_t offset = *reinterpret_cast<const uint32_t*>(&data[10]);
        const unsigned char* p =
            reinterpret_cast<const unsigned char*>(&data[offset + size_t(height - 1 - y) * stride + size_t(x) * 3]);
        return RGB(p[2], p[1], p[0]);
    }
};

Bmp ReadBmp(const std::string& path) {
    Bmp b;
    b.data = ReadWholeFile(path);
    if (b.data.size() < 54 || b.data.compare(0, 2, "BM") != 0)
        return b;
    std::memcpy(&b.width, &b.data[18], 4);
    std::memcpy(&b.height, &b.data[22], 4);
    uint16_t bits;
    std::memcpy(&bits, &b.data[28], 2);
    b.bits = bits;
    return b;
}

void ExpectTheGalleryPage(const Bmp& b) {
    ASSERT_EQ(b.width, 715);
    ASSERT_EQ(b.height, 574);
    ASSERT_EQ(b.bits, 24);
    EXPECT_EQ(b.at(705, 5), RGB(0xF4, 0xF4, 0xF4)) << "page colour";
    EXPECT_EQ(b.at(200, 570), RGB(0xD0, 0xD0, 0xD0)) << "bottom bar";
    EXPECT_NE(b.at(10, 10), RGB(0xF4, 0xF4, 0xF4)) << "side picture";
}

}  // namespace

TEST(GalleryScreenshot, WideModeWindowAndMessageBox) {
    CreateDirectoryA(BinaryPath("artifacts").c_str(), nullptr);
    std::string shot = BinaryPath("artifacts/uigallery.bmp");
    std::string withBox = BinaryPath("artifacts/uigallery-msgbox.bmp");
    DeleteFileA(shot.c_str());
    DeleteFileA(withBox.c_str());
    ASSERT_EQ(RunGallery("--screenshot \"" + shot + "\""), 0);
    ExpectTheGalleryPage(ReadBmp(shot));
    Bmp box = ReadBmp(withBox);
    EXPECT_EQ(box.bits, 24);
    EXPECT_GE(box.width, 715);
}

TEST(GalleryScreenshot, AnsiModeInFrench) {
    CreateDirectoryA(BinaryPath("artifacts").c_str(), nullptr);
    std::string shot = BinaryPath("artifacts/uigallery-ansi-fr.bmp");
    DeleteFileA(shot.c_str());
    ASSERT_EQ(RunGallery("--ansi --locale fr --screenshot \"" + shot + "\""), 0);
    ExpectTheGalleryPage(ReadBmp(shot));
}

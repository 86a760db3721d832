// The file helpers under Windows: non-ASCII paths in the wide and the ANSI
// mode, the thrown texts, the finder and file times.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <initializer_list>
#include <string>
#include <utility>

#include "inixor.h"
#include "pencoding.h"
#include "perror.h"
#include "pfile.h"
#include "pfile_win.h"
#include "plog.h"
#include "psyscalls.h"
#include "test_paths.h"

namespace {

const PStringEncoding* const X = &PStringXEncoding;

// An ASCII folder followed by a name given as code points, in PStringX form.
PString PathOf(const std::string& folder, std::initializer_list<uint32_t> name, const char* tail = "") {
    PString p;
    AppendText(p, folder.c_str());
    AppendText(p, "\\");
    for (uint32_t c : name)
        AppendCodePoint(p, c);
    AppendText(p, tail);
    return p;
}

std::wstring WideOf(const std::string& folder, std::initializer_list<uint32_t> name, const wchar_t* tail = L"") {
    std::wstring w(folder.begin(), folder.end());
    w += L'\\';
    for (uint32_t c : name)
        w += wchar_t(c);
    return w + tail;
}

std::string ReadWide(const std::wstring& path) {
    FILE* f = _wfopen(path.c_str(), L"rb");
    if (!f)
        return "<cannot open>";
    char buf[256];
    size_t n = std::fread(buf, 1, sizeof buf, f);
    std::fclose(f);
    return std::string(buf, n);
}

void WriteText(const PString& path, const char* text) {
    FILE* f = OpenFile(path.text(), "wb", X);
    ASSERT_NE(f, nullptr) << "cannot create the file";
    std::fputs(text, f);
    std::fclose(f);
}

std::string ErrorText(void (*f)(const std::string&, const std::string&), const std::string& a,
                      const std::string& b) {
    try {
        f(a, b);
    } catch (const PInternalError& e) {
        return e.why();
    }
    return "<no error>";
}

class ApiMode {
public:
    explicit ApiMode(int32_t mode) : old_(WideApiMode()) { SetWideApiMode(mode); }
    ~ApiMode() { SetWideApiMode(old_); }
private:
    int32_t old_;
};

// Every helper on a folder and files named outside ASCII, checked through the
// wide C runtime so that the names on disk are the intended ones.
void ExerciseNonAsciiPaths(const std::string& dir, std::initializer_list<uint32_t> folderName,
                           std::initializer_list<uint32_t> fileName) {
    PString folder = PathOf(dir, folderName);
    std::wstring wideFolder = WideOf(dir, folderName);
    EXPECT_TRUE(CreateFolder(folder.text(), X));
    EXPECT_FALSE(CreateFolder(folder.text(), X));
    EXPECT_TRUE(FileExists(folder.text(), X));
    EXPECT_TRUE(DirectoryExists(folder.text(), X));
    EXPECT_NE(GetFileAttributesW(wideFolder.c_str()), INVALID_FILE_ATTRIBUTES);

    PString file = PathOf(dir, folderName);
    AppendText(file, "\\");
    for (uint32_t c : fileName)
        AppendCodePoint(file, c);
    AppendText(file, ".txt");
    std::wstring wideFile = wideFolder + L"\\";
    for (uint32_t c : fileName)
        wideFile += wchar_t(c);
    wideFile += L".txt";

    EXPECT_FALSE(FileExists(file.text(), X));
    WriteText(file, "data");
    EXPECT_TRUE(FileExists(file.text(), X));
    EXPECT_EQ(ReadWide(wideFile), "data");
    EXPECT_THROW(DirectoryExists(file.text(), X), PInternalError);

    PString copy(file);
    AppendText(copy, ".copy");
    CopyFile(file.text(), copy.text(), X);
    EXPECT_EQ(ReadWide(wideFile + L".copy"), "data");

    PString pattern(folder);
    AppendText(pattern, "\\*.txt");
    FileFinder finder(X);
    ASSERT_TRUE(finder.First(pattern.text()));
    EXPECT_FALSE(finder.IsFolder());
    PString expectedName;
    for (uint32_t c : fileName)
        AppendCodePoint(expectedName, c);
    AppendText(expectedName, ".txt");
    EXPECT_STREQ(finder.Name().text(), expectedName.text());
    finder.Close();

    PString moved(file);
    AppendText(moved, ".moved");
    EXPECT_TRUE(MoveFileReplacing(copy.text(), moved.text(), X));
    EXPECT_EQ(ReadWide(wideFile + L".moved"), "data");
    EXPECT_FALSE(FileExists(copy.text(), X));

    EncIniFile ini;
    ini.GetSection("Options")->SetValue("Locale", "1049");
    PString iniPath(folder);
    AppendText(iniPath, "\\user.ini");
    ini.Save(iniPath.text(), X);
    EncIniFile back;
    back.Load(iniPath.text(), X);
    ASSERT_NE(back.FindSection("options"), nullptr);
    EXPECT_STREQ(back.FindSection("options")->FindItem("locale")->value.text(), "1049");

    EXPECT_TRUE(RemoveFile(file.text(), X));
    EXPECT_FALSE(RemoveFile(file.text(), X));
    EXPECT_FALSE(FileExists(file.text(), X));
    EXPECT_EQ(ReadWide(wideFile), "<cannot open>");
}

TEST(FileHelpers, NonAsciiPathsInWideMode) {
    ApiMode mode(1);
    std::string dir = ScratchFolder("files-wide");
    // Cyrillic, CJK and a code page 1252 letter in one name.
    ExerciseNonAsciiPaths(dir, {0x041F, 0x0430, 0x043F, 0x043A, 0x0430, 0x65E5, 0x00E9}, {0x0444, 0x0430, 0x0439, 0x043B});
}

TEST(FileHelpers, NonAsciiPathsInAnsiMode) {
    if (GetACP() != 1252)
        GTEST_SKIP() << "the ANSI code page is " << GetACP();
    ApiMode mode(-1);
    std::string dir = ScratchFolder("files-ansi");
    ExerciseNonAsciiPaths(dir, {0x00C9, 0x0074, 0x00E9}, {0x00FC, 0x20AC, 0x00DF});

    // In ANSI mode a character outside the code page cannot name a file:
    // the call fails instead of touching some other name.
    PString foreign = PathOf(dir, {0x0416});
    EXPECT_FALSE(FileExists(foreign.text(), X));
}

TEST(FileHelpers, NullEncodingPassesTheBytesToTheAnsiFunction) {
    if (GetACP() != 1252)
        GTEST_SKIP() << "the ANSI code page is " << GetACP();
    ApiMode mode(1);  // even in wide mode
    std::string dir = ScratchFolder("files-null");
    std::string narrow = dir + "\\caf\xE9.txt";
    FILE* f = OpenFile(narrow.c_str(), "wb", nullptr);
    ASSERT_NE(f, nullptr);
    std::fputs("bytes", f);
    std::fclose(f);
    EXPECT_EQ(ReadWide(WideOf(dir, {'c', 'a', 'f', 0xE9}, L".txt")), "bytes");
    EXPECT_TRUE(FileExists(narrow.c_str(), nullptr));
    EXPECT_TRUE(RemoveFile(narrow.c_str(), nullptr));
}

TEST(FileHelpers, CreateFolderOneLevelAndItsErrorText) {
    std::string dir = ScratchFolder("files-mkdir");
    std::string folder = dir + "\\one";
    EXPECT_TRUE(CreateFolder(folder.c_str(), X));
    EXPECT_FALSE(CreateFolder(folder.c_str(), X));
    // A file of that name also reads as "already there".
    std::string file = dir + "\\file";
    WriteWholeFile(file, "x");
    EXPECT_FALSE(CreateFolder(file.c_str(), X));

    std::string deep = dir + "\\missing\\two";
    try {
        CreateFolder(deep.c_str(), X);
        FAIL() << "no error";
    } catch (const PInternalError& e) {
        EXPECT_STREQ(e.why(), "Unable to create directory: 2");
    }
    EXPECT_FALSE(FileExists((dir + "\\missing").c_str(), X));
}

TEST(FileHelpers, CopyFileReplacesAndNamesAMissingSource) {
    std::string dir = ScratchFolder("files-copy");
    std::string from = dir + "\\from.txt", to = dir + "\\to.txt";
    WriteWholeFile(from, "new contents");
    WriteWholeFile(to, "old contents that are longer");
    CopyFile(from.c_str(), to.c_str(), X);
    EXPECT_EQ(ReadWholeFile(to), "new contents");

    std::string missing = dir + "\\absent.txt";
    EXPECT_EQ(ErrorText([](const std::string& a, const std::string& b) { CopyFile(a.c_str(), b.c_str(), X); },
                        missing, to),
              "Unable to copy file: '" + missing + "' err=2");
    EXPECT_EQ(ReadWholeFile(to), "new contents");
}

TEST(FileHelpers, AMovedFinderKeepsTheSearchAndTheOldOneHoldsNone) {
    std::string dir = ScratchFolder("files-finder-move");
    WriteWholeFile(dir + "\\moved.txt", "x");

    FileFinder first(X);
    ASSERT_TRUE(first.First((dir + "\\*").c_str()));
    FileFinder second(std::move(first));
    EXPECT_EQ(first.Close(), -1);
    EXPECT_STREQ(second.Name().text(), "moved.txt");

    // Assignment closes the search the target held and takes the other's.
    FileFinder third(X);
    ASSERT_TRUE(third.First(dir.c_str()));
    third = std::move(second);
    EXPECT_EQ(second.Close(), -1);
    EXPECT_STREQ(third.Name().text(), "moved.txt");
    EXPECT_NE(third.Close(), -1) << "the moved search was open";
    EXPECT_EQ(third.Close(), -1);
}

TEST(FileHelpers, FinderSkipsDotsAndClosesOnce) {
    std::string dir = ScratchFolder("files-finder");
    std::string empty = dir + "\\empty";
    ASSERT_TRUE(CreateFolder(empty.c_str(), X));

    FileFinder finder(X);
    EXPECT_EQ(finder.Close(), -1);
    EXPECT_FALSE(finder.First((empty + "\\*").c_str()));
    EXPECT_NE(finder.Close(), -1) << "the search of only dots was open";
    EXPECT_EQ(finder.Close(), -1);
    EXPECT_FALSE(finder.First((dir + "\\nothing*").c_str()));
    EXPECT_EQ(finder.Close(), -1);

    WriteWholeFile(empty + "\\only.txt", "x");
    ASSERT_TRUE(finder.First((empty + "\\*").c_str()));
    EXPECT_STREQ(finder.Name().text(), "only.txt");
    // A second search closes the first.
    ASSERT_TRUE(finder.First(empty.c_str()));
    EXPECT_TRUE(finder.IsFolder());
    EXPECT_STREQ(finder.Name().text(), "empty");

    EXPECT_TRUE(DirectoryExists(empty.c_str(), X));
    EXPECT_FALSE(DirectoryExists((dir + "\\absent").c_str(), X));
    try {
        DirectoryExists((empty + "\\only.txt").c_str(), X);
        FAIL() << "no error";
    } catch (const PInternalError& e) {
        EXPECT_STREQ(e.why(), "same name object but not a directory");
    }
}

void SetWriteTime(const std::string& path, uint64_t ft) {
    HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    FILETIME t = {DWORD(ft), DWORD(ft >> 32)};
    ASSERT_TRUE(SetFileTime(h, nullptr, nullptr, &t));
    CloseHandle(h);
}

TEST(FileHelpers, WriteTimeInSecondsSince1970) {
    std::string dir = ScratchFolder("files-time");
    std::string file = dir + "\\stamped.txt";
    WriteWholeFile(file, "x");
    for (int mode : {1, -1}) {
        ApiMode m(mode);
        SetWriteTime(file, TimeToFileTime(10));
        FileFinder finder(X);
        ASSERT_TRUE(finder.First(file.c_str()));
        EXPECT_EQ(finder.HoldsWide(), mode > 0);
        EXPECT_EQ(finder.WriteTime(), 10);

        SetWriteTime(file, TimeToFileTime(1700000000) + 9999999);
        ASSERT_TRUE(finder.First(file.c_str()));
        EXPECT_EQ(finder.WriteTime(), 1700000000);

        SetWriteTime(file, TimeToFileTime(0));
        ASSERT_TRUE(finder.First(file.c_str()));
        EXPECT_EQ(finder.WriteTime(), 0);
        SetWriteTime(file, TimeToFileTime(-86400));
        ASSERT_TRUE(finder.First(file.c_str()));
        EXPECT_EQ(finder.WriteTime(), 0);
    }
}

TEST(FileHelpers, OpenBrowserWindowLogsBeforeAskingTheShell) {
    std::string dir = ScratchFolder("files-browser");
    std::string log = dir + "\\Install.log";
    OpenProcessLog(new PLog(log.c_str(), 0, nullptr));
    std::string address = dir + "\\no-such-page.html";
    intptr_t result = OpenBrowserWindow(address.c_str(), X);
    CloseProcessLog();
    EXPECT_LE(result, 32) << "a missing file cannot be opened";
    EXPECT_NE(ReadWholeFile(log).find("\r\nOpenBrowserWindow( " + address + " )\r\n"), std::string::npos);
}

}  // namespace

// The installer checks its own file before it trusts anything in it. One bit
// flipped at a time in copies of a small installer made by mkinstaller
// (generated/selfcheck/MorvanditeInstall.exe): a few bits sampled in each
// resource, in the headers, the resource directory and the code, the same
// ones on every run. Each copy runs with -silent into a fresh folder and must
// end with exit code 3 having written nothing: no install folder, no
// uninstall entry or browser button under any name, no rollback journal,
// no settings. A flip in the headers may keep the loader from starting the
// program, and one in code may crash it or hang it; those must write nothing
// either, and no copy may ever end with 0. The untouched installer does
// install, so that the checks can fail.
#include <gtest/gtest.h>

#include <windows.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "sharednames.h"
#include "test_paths.h"

namespace {

const DWORD kDamaged = 3;
const DWORD kRunLimitMs = 20000;
const char kDisplayName[] = "Morvandite";

uint32_t U32(const std::string& b, size_t at) {
    if (at + 4 > b.size())
        return 0;
    return uint32_t(uint8_t(b[at])) | uint32_t(uint8_t(b[at + 1])) << 8 | uint32_t(uint8_t(b[at + 2])) << 16 |
           uint32_t(uint8_t(b[at + 3])) << 24;
}
uint16_t U16(const std::string& b, size_t at) {
    return at + 2 <= b.size() ? uint16_t(uint8_t(b[at]) | uint8_t(b[at + 1]) << 8) : 0;
}

// A part of the file a bit is flipped in, and what its flips may end with.
enum class Expect { Refused, RefusedOrNotRun, AnythingButInstalled };
struct Region {
    std::string name;
    uint32_t offset, size;
    int flips;
    Expect expect;
};

// The regions of the installer: headers, code, the resource directory and
// every resource (type/name), read from the intact file.
class InstallerLayout {
public:
    explicit InstallerLayout(const std::string& image) : image_(image) {
        const uint32_t pe = U32(image, 0x3C);
        optional_ = pe + 24;
        const uint16_t sections = U16(image, pe + 6);
        const uint32_t table = optional_ + U16(image, pe + 20);
        for (uint16_t i = 0; i < sections; ++i) {
            const uint32_t h = table + 40 * i;
            Section s{image.substr(h, 8).c_str(), U32(image, h + 12), U32(image, h + 16), U32(image, h + 20)};
            sections_.push_back(s);
        }
        headersSize_ = U32(image, optional_ + 60);
        const uint32_t resources = U32(image, optional_ + 96 + 16);
        root_ = FileOffset(resources);
        firstData_ = UINT32_MAX;
        if (root_)
            Walk();
    }

    std::vector<Region> Regions() const {
        std::vector<Region> out;
        out.push_back({"headers", 0, headersSize_, 8, Expect::RefusedOrNotRun});
        for (const Section& s : sections_)
            if (s.name == ".text")
                out.push_back({"code", s.raw, s.rawSize, 10, Expect::AnythingButInstalled});
        out.push_back({"resource directory", root_, firstData_ - root_, 6, Expect::Refused});
        for (const auto& [name, range] : resources_) {
            int flips = 1;
            if (name == "MV/131" || name == "MV/205")
                flips = 3;  // the configuration and the texts: what a flip there did before
            else if (name == "MV/103" || name == "version/1" || name == "manifest/1")
                flips = 2;  // the background picture, the version information, the manifest
            out.push_back({name, range.first, range.second, flips, Expect::Refused});
        }
        return out;
    }
    size_t ResourceCount() const { return resources_.size(); }
    // The checksum and the security directory entry are left out of the
    // digest on purpose (signing rewrites them); no sample lands there.
    bool LeftOut(uint32_t at) const {
        return (at >= optional_ + 64 && at < optional_ + 68) || (at >= optional_ + 128 && at < optional_ + 136);
    }

private:
    struct Section {
        std::string name;
        uint32_t address, rawSize, raw;
    };
    uint32_t FileOffset(uint32_t rva) const {
        for (const Section& s : sections_)
            if (rva >= s.address && rva - s.address < s.rawSize)
                return s.raw + (rva - s.address);
        return 0;
    }
    std::vector<std::pair<uint32_t, uint32_t>> Entries(uint32_t dir) const {
        std::vector<std::pair<uint32_t, uint32_t>> out;
        const uint32_t count = uint32_t(U16(image_, dir + 12)) + U16(image_, dir + 14);
        for (uint32_t i = 0; i < count; ++i)
            out.push_back({U32(image_, dir + 16 + 8 * i), U32(image_, dir + 20 + 8 * i) & 0x7FFFFFFFu});
        return out;
    }
    // "MV", a number, or the name of a standard type.
    std::string KeyText(uint32_t key, bool type = false) const {
        static const std::map<uint32_t, const char*> kTypes = {{1, "cursor"},  {2, "bitmap"},        {3, "icon"},
                                                               {12, "cursors"}, {14, "icons"},        {16, "version"},
                                                               {24, "manifest"}};
        if (type && kTypes.count(key))
            return kTypes.at(key);
        if (!(key & 0x80000000u))
            return std::to_string(key);
        const uint32_t at = root_ + (key & 0x7FFFFFFFu);
        std::string text;
        for (uint16_t i = 0; i < U16(image_, at); ++i)
            text += char(U16(image_, at + 2 + 2 * i));
        return text;
    }
    void Walk() {
        for (const auto& [type, names] : Entries(root_))
            for (const auto& [name, languages] : Entries(root_ + names))
                for (const auto& [language, data] : Entries(root_ + languages)) {
                    const uint32_t offset = FileOffset(U32(image_, root_ + data));
                    const uint32_t size = U32(image_, root_ + data + 4);
                    resources_[KeyText(type, true) + "/" + KeyText(name)] = {offset, size};
                    firstData_ = std::min(firstData_, offset);
                }
    }

    const std::string& image_;
    uint32_t optional_ = 0, headersSize_ = 0, root_ = 0, firstData_ = 0;
    std::vector<Section> sections_;
    std::map<std::string, std::pair<uint32_t, uint32_t>> resources_;
};

// The same samples on every run.
class Sampler {
public:
    uint32_t Next(uint32_t bound) {
        state_ ^= state_ << 13;
        state_ ^= state_ >> 17;
        state_ ^= state_ << 5;
        return state_ % bound;
    }

private:
    uint32_t state_ = 20261208;
};

struct Outcome {
    bool started = false, hung = false;
    DWORD code = 0;
    // An exception's status (access violation and the like), not one of the
    // program's own codes (-1 to -5 read as 0xFFFFFFFB to 0xFFFFFFFF).
    bool Crashed() const { return started && !hung && code >= 0xC0000000u && code < 0xD0000000u; }
    std::string Text() const {
        if (!started)
            return "not started";
        if (hung)
            return "hung";
        char text[32];
        std::snprintf(text, sizeof text, Crashed() ? "crashed 0x%08lX" : "exit %ld", code);
        return text;
    }
};

Outcome RunCopy(const std::string& exe, const std::string& arguments) {
    Outcome outcome;
    std::string commandLine = "\"" + exe + "\" " + arguments;
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION info = {};
    if (!CreateProcessA(exe.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &info))
        return outcome;
    outcome.started = true;
    if (WaitForSingleObject(info.hProcess, kRunLimitMs) == WAIT_OBJECT_0) {
        GetExitCodeProcess(info.hProcess, &outcome.code);
    } else {
        outcome.hung = true;
        TerminateProcess(info.hProcess, 99);
        WaitForSingleObject(info.hProcess, 10000);
    }
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
    return outcome;
}

// The subkeys of key, or none.
std::set<std::string> Subkeys(HKEY root, const char* key) {
    std::set<std::string> out;
    HKEY k;
    if (RegOpenKeyExA(root, key, 0, KEY_READ, &k) != ERROR_SUCCESS)
        return out;
    char name[512];
    for (DWORD i = 0;; ++i) {
        DWORD size = sizeof name;
        if (RegEnumKeyExA(k, i, name, &size, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        out.insert(name);
    }
    RegCloseKey(k);
    return out;
}

// A text value, or "" when there is none.
std::string Value(HKEY root, const std::string& key, const char* name) {
    HKEY k;
    if (RegOpenKeyExA(root, key.c_str(), 0, KEY_READ, &k) != ERROR_SUCCESS)
        return std::string();
    char value[2048] = "";
    DWORD size = sizeof value - 1, type = 0;
    const LONG rc = RegQueryValueExA(k, name, nullptr, &type, reinterpret_cast<BYTE*>(value), &size);
    RegCloseKey(k);
    return rc == ERROR_SUCCESS && type == REG_SZ ? std::string(value) : std::string();
}

void RemoveTree(const std::string& folder) {
    std::string from = folder + std::string(2, '\0');
    SHFILEOPSTRUCTA op = {};
    op.wFunc = FO_DELETE;
    op.pFrom = from.c_str();
    op.fFlags = FOF_NOCONFIRMATION | FOF_NOERRORUI | FOF_SILENT;
    SHFileOperationA(&op);
}

std::string SpecialFolder(int id) {
    char path[MAX_PATH] = "";
    SHGetFolderPathA(nullptr, id, nullptr, 0, path);
    return path;
}

// Where an installation leaves traces outside its folder: the uninstall
// entries and browser buttons in both hives (under any name: a flip may
// change the display name or the button's GUID), rollback journals in the
// temporary folder and the client's settings folder.
struct Traces {
    std::map<std::string, std::set<std::string>> keys;
    std::set<std::string> journals;
    bool settings = false;

    static Traces Now() {
        Traces t;
        for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER})
            for (const char* key : {SharedNames::kUninstallRoot.narrow, SharedNames::kBrowserButtonRoot.narrow,
                                    SharedNames::kOldBrowserButtonRootWow64.narrow})
                t.keys[std::string(root == HKEY_LOCAL_MACHINE ? "HKLM\\" : "HKCU\\") + key] = Subkeys(root, key);
        char temp[MAX_PATH] = "";
        GetTempPathA(MAX_PATH, temp);
        WIN32_FIND_DATAA found;
        HANDLE find = FindFirstFileA((std::string(temp) + "*.install-journal").c_str(), &found);
        if (find != INVALID_HANDLE_VALUE) {
            do
                t.journals.insert(found.cFileName);
            while (FindNextFileA(find, &found));
            FindClose(find);
        }
        t.settings = PathExists(SpecialFolder(CSIDL_LOCAL_APPDATA) + "\\" + kDisplayName);
        return t;
    }
    // What is here and was not in earlier ("" when nothing), for the checks
    // and their messages. (A journal that went away was an earlier killed
    // run's, which the intact installer's start rolls back.)
    std::string Added(const Traces& earlier) const {
        std::string text;
        for (const auto& [key, subkeys] : keys)
            for (const std::string& subkey : subkeys)
                if (!earlier.keys.at(key).count(subkey))
                    text += " key " + key + subkey + ";";
        for (const std::string& journal : journals)
            if (!earlier.journals.count(journal))
                text += " journal " + journal + ";";
        if (settings && !earlier.settings)
            text += " the settings folder;";
        return text;
    }
};

std::string UninstallKey() { return std::string(SharedNames::kUninstallRoot.narrow) + kDisplayName; }

// Undoes what the intact installer did, so that the damaged copies start
// from a machine without it.
void RemoveInstallation(const std::string& folder, const Traces& before) {
    const std::string entry = UninstallKey();
    for (const char* link : {SharedNames::kDesktopLinkValue.narrow, SharedNames::kCommonStartMenuLinkValue.narrow,
                             SharedNames::kStartMenuLinkValue.narrow, SharedNames::kQuickLaunchLinkValue.narrow}) {
        const std::string path = Value(HKEY_LOCAL_MACHINE, entry, link);
        if (!path.empty())
            DeleteFileA(path.c_str());
    }
    for (const char* group : {SharedNames::kStartMenuGroupValue.narrow, SharedNames::kCommonStartMenuGroupValue.narrow}) {
        const std::string path = Value(HKEY_LOCAL_MACHINE, entry, group);
        if (!path.empty())
            RemoveTree(path);
    }
    const Traces after = Traces::Now();
    for (const auto& [key, subkeys] : after.keys) {
        HKEY root = key.rfind("HKLM", 0) == 0 ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
        for (const std::string& subkey : subkeys)
            if (!before.keys.at(key).count(subkey))
                SHDeleteKeyA(root, (key.substr(5) + subkey).c_str());
    }
    char temp[MAX_PATH] = "";
    GetTempPathA(MAX_PATH, temp);
    for (const std::string& journal : after.journals)
        if (!before.journals.count(journal))
            DeleteFileA((std::string(temp) + journal).c_str());
    if (!before.settings)
        RemoveTree(SpecialFolder(CSIDL_LOCAL_APPDATA) + "\\" + kDisplayName);
    RemoveTree(folder);
}

class SelfCheck : public ::testing::Test {
protected:
    void SetUp() override {
        // A crashing copy ends without the debugger's dialog.
        SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
        exe_ = BinaryPath("generated\\selfcheck\\MorvanditeInstall.exe");
        ASSERT_TRUE(PathExists(exe_)) << exe_;
        image_ = ReadWholeFile(exe_);
        scratch_ = ScratchFolder(std::string("selfcheck-") +
                                 ::testing::UnitTest::GetInstance()->current_test_info()->name());
        SHDeleteKeyA(HKEY_LOCAL_MACHINE, UninstallKey().c_str());
    }

    std::string exe_, image_, scratch_;
};

TEST_F(SelfCheck, EverySampledBitFlipIsRefusedAndNothingIsWritten) {
    const InstallerLayout layout(image_);
    const std::vector<Region> regions = layout.Regions();
    // Every resource the stub carries: the pictures, icons and cursor, the
    // version information, the manifest and the MV ones.
    ASSERT_GE(layout.ResourceCount(), 30u);

    // The untouched installer installs: the checks below can see an installation.
    const Traces clean = Traces::Now();
    const std::string intactFolder = scratch_ + "\\intact";
    const std::string intactLog = scratch_ + "\\intact.log";
    const Outcome intact = RunCopy(exe_, "-silent \"-dir=" + intactFolder + "\" -nolaunch \"-log=" + intactLog + "\"");
    EXPECT_EQ(intact.Text(), "exit 0") << ReadWholeFileOrEmpty(intactLog);
    EXPECT_TRUE(PathExists(intactFolder + "\\readme.txt"));
    EXPECT_EQ(Value(HKEY_LOCAL_MACHINE, UninstallKey(), SharedNames::kInstallLocationValue.narrow), intactFolder)
        << ReadWholeFileOrEmpty(intactLog);
    EXPECT_NE(Traces::Now().Added(clean), "");
    RemoveInstallation(intactFolder, clean);
    const Traces before = Traces::Now();
    ASSERT_EQ(before.Added(clean), "") << "the intact installation could not be undone";

    Sampler sampler;
    int runs = 0;
    std::map<std::string, int> tally;
    for (const Region& region : regions) {
        ASSERT_GT(region.size, 0u) << region.name;
        ASSERT_LE(uint64_t(region.offset) + region.size, image_.size()) << region.name;
        for (int i = 0; i < region.flips; ++i) {
            uint32_t at;
            do
                at = region.offset + sampler.Next(region.size);
            while (layout.LeftOut(at));
            const int bit = int(sampler.Next(8));
            std::string copy = image_;
            copy[at] = char(copy[at] ^ (1 << bit));
            char label[96];
            std::snprintf(label, sizeof label, "%s, bit %d of byte 0x%X", region.name.c_str(), bit, unsigned(at));
            SCOPED_TRACE(label);

            const std::string exe = scratch_ + "\\flip" + std::to_string(runs) + ".exe";
            const std::string folder = scratch_ + "\\folder" + std::to_string(runs);
            const std::string log = scratch_ + "\\log" + std::to_string(runs) + ".txt";
            ++runs;
            WriteWholeFile(exe, copy);
            const Outcome outcome = RunCopy(exe, "-silent \"-dir=" + folder + "\" -nolaunch \"-log=" + log + "\"");
            // A run the program ends itself says so last in the log's copy.
            // Under Wine a copy that dies of a stack overflow (a flipped code
            // byte can make a function call itself) ends with 0 all the same.
            const bool endedItself = ReadWholeFileOrEmpty(log).find("Exit code: ") != std::string::npos;
            ++tally[region.name.substr(0, region.name.find('/')) + ": " + outcome.Text() +
                    (outcome.started && !outcome.hung && !endedItself ? " (died)" : "")];

            // Never an installation, whatever the flip did.
            EXPECT_FALSE(outcome.started && !outcome.hung && outcome.code == 0 && endedItself) << "it installed";
            EXPECT_FALSE(PathExists(folder)) << "it made the install folder";
            const Traces after = Traces::Now();
            EXPECT_EQ(after.Added(before), "") << "it wrote these";
            if (!after.Added(before).empty() || PathExists(folder)) {
                RemoveInstallation(folder, before);
                ASSERT_EQ(Traces::Now().Added(before), "") << "a damaged copy's traces could not be undone";
            }
            switch (region.expect) {
            case Expect::Refused:
                EXPECT_EQ(outcome.Text(), "exit 3");
                break;
            case Expect::RefusedOrNotRun:
                // The loader may refuse a damaged header, or map the image
                // wrongly and crash, before any code of the program runs.
                EXPECT_TRUE(!outcome.started || outcome.Crashed() || (!outcome.hung && outcome.code == kDamaged))
                    << outcome.Text();
                break;
            case Expect::AnythingButInstalled:
                break;
            }
        }
    }
    for (const auto& [what, count] : tally)
        std::printf("  %-40s %d\n", what.c_str(), count);
    EXPECT_GE(runs, 50);
}

// With -log, a damaged copy says why in the log's copy, and that file is all
// it writes.
TEST_F(SelfCheck, ASilentRunOfADamagedCopyLogsWhyAndNothingElse) {
    const size_t config = image_.find("[define]");
    ASSERT_NE(config, std::string::npos);
    std::string copy = image_;
    copy[config + 1] = char(copy[config + 1] ^ 0x01);
    const std::string exe = scratch_ + "\\Damaged Setup.exe";
    WriteWholeFile(exe, copy);
    const std::string folder = scratch_ + "\\folder", log = scratch_ + "\\logs\\copy.log";
    const Traces before = Traces::Now();

    const Outcome outcome = RunCopy(exe, "-silent \"-dir=" + folder + "\" -nolaunch \"-log=" + log + "\"");
    EXPECT_EQ(outcome.Text(), "exit 3");
    EXPECT_FALSE(PathExists(folder));
    EXPECT_EQ(Traces::Now().Added(before), "");
    const std::string text = ReadWholeFileOrEmpty(log);
    EXPECT_NE(text.find("Install refused: the installer does not match its digest"), std::string::npos) << text;
    EXPECT_NE(text.find("This installer is damaged. Please download it again."), std::string::npos) << text;
    EXPECT_NE(text.find("Exit code: 3"), std::string::npos) << text;
    // Refused before the configuration was read: nothing of the run's own.
    EXPECT_EQ(text.find("Folder:"), std::string::npos) << text;
}

}  // namespace

// The defence against planted DLLs (plib/sys/psystemdll.h). A copy of
// dll_plant_probe.exe runs from a scratch folder, also its current folder,
// that holds a planted DLL (planted.dll renamed): the folder a downloaded
// program is started from. The first case shows that the ordinary search does
// pick the planted copy there, so a defence that stopped working fails.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "psystemdll.h"
#include "test_paths.h"

namespace {

enum ProbeResult : DWORD { kSystemCopy = 0, kPlantedCopy = 1, kNotLoaded = 2 };

class PlantedDll : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = ScratchFolder("planted-dll");
        probe_ = dir_ + "\\probe.exe";
        ASSERT_TRUE(CopyFileA(BinaryPath("bin\\dll_plant_probe.exe").c_str(), probe_.c_str(), FALSE));
    }

    void Plant(const std::string& name) {
        ASSERT_TRUE(CopyFileA(BinaryPath("bin\\planted.dll").c_str(), (dir_ + "\\" + name).c_str(), FALSE));
    }

    DWORD Probe(const char* mode, const std::string& name) {
        std::string commandLine = "\"" + probe_ + "\" " + mode + " " + name;
        STARTUPINFOA startup = {};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION process = {};
        if (!CreateProcessA(probe_.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, dir_.c_str(),
                            &startup, &process)) {
            ADD_FAILURE() << "cannot start the probe: " << GetLastError();
            return 99;
        }
        WaitForSingleObject(process.hProcess, 60000);
        DWORD code = 99;
        GetExitCodeProcess(process.hProcess, &code);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
        return code;
    }

    std::string dir_, probe_;
};

// A name that exists only beside the program: every defended route finds nothing.
TEST_F(PlantedDll, NameFoundOnlyBesideTheProgramIsNeverLoaded) {
    const std::string name = "morvandite-planted.dll";
    Plant(name);
    ASSERT_EQ(Probe("plain", name), DWORD(kPlantedCopy)) << "the ordinary search must see the planted copy";
    EXPECT_EQ(Probe("system", name), DWORD(kNotLoaded));
    EXPECT_EQ(Probe("fullpath", name), DWORD(kNotLoaded));
    EXPECT_EQ(Probe("restricted", name), DWORD(kNotLoaded));
}

// The system DLLs the programs load by name: the system's copy, never the
// planted one. Wine prefers its built-in copies of these names even for the
// ordinary search, so under Wine this shows only that every defended route
// does load the system's copy; the planted copy is caught by the case above.
TEST_F(PlantedDll, SystemDllsComeFromTheSystemFolder) {
    for (const std::string name : {"shell32.dll", "version.dll"}) {
        Plant(name);
        EXPECT_EQ(Probe("system", name), DWORD(kSystemCopy)) << name;
        EXPECT_EQ(Probe("fullpath", name), DWORD(kSystemCopy)) << name;
        EXPECT_EQ(Probe("restricted", name), DWORD(kSystemCopy)) << name;
    }
}

// Only bare names: a path would step outside the system folder.
TEST(SystemLibrary, NamesWithAPathAreRefused) {
    const std::string planted = BinaryPath("bin\\planted.dll");
    for (const std::string& name : {planted, std::string("..\\bin\\planted.dll"), std::string("sub/planted.dll"),
                                   std::string("C:planted.dll"), std::string()}) {
        SetLastError(0);
        EXPECT_EQ(LoadSystemLibrary(name.c_str()), nullptr) << name;
        EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER)) << name;
        SetLastError(0);
        EXPECT_EQ(LoadSystemLibraryByFullPath(name.c_str()), nullptr) << name;
        EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER)) << name;
    }
    EXPECT_EQ(LoadSystemLibrary(nullptr), nullptr);
}

TEST(SystemLibrary, OwnerFreesAndHandsOverItsReference) {
    PSystemLibrary missing("morvandite-no-such.dll");
    EXPECT_FALSE(missing);
    EXPECT_EQ(missing.Function<FARPROC>("anything"), nullptr);

    PSystemLibrary version("version.dll");
    ASSERT_TRUE(version);
    EXPECT_NE(version.Function<FARPROC>("GetFileVersionInfoSizeW"), nullptr);
    PSystemLibrary moved(std::move(version));
    EXPECT_FALSE(version);
    ASSERT_TRUE(moved);
    HMODULE module = moved.release();
    EXPECT_FALSE(moved);
    EXPECT_TRUE(FreeLibrary(module));
}

}  // namespace

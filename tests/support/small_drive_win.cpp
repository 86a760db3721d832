#include "small_drive.h"

#include <windows.h>

#include <cstdlib>

#include "test_paths.h"

std::string SmallDriveRoot() {
    const char* drive = std::getenv("MORVANDITE_SMALL_DRIVE");
    return drive && *drive ? std::string(drive) + "\\" : std::string();
}

std::string FillDriveLeaving(const std::string& root, uint64_t leave) {
    ULARGE_INTEGER available = {};
    if (!GetDiskFreeSpaceExA(root.c_str(), &available, nullptr, nullptr) || available.QuadPart <= 2 * leave)
        return std::string();
    const std::string filler = root + "filler.bin";
    WriteWholeFile(filler, std::string(size_t(available.QuadPart - leave), 'f'));
    return filler;
}

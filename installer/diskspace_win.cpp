// The install drive's figures, asked through replaceable system calls.
#define PASSERT_SOURCE "MorvanditeInstall"
#include "diskspace.h"

#include "msgids.h"
#include "payload_resource.h"
#include "pencoding.h"
#include "perror.h"
#include "plog.h"
#include "ppathtext.h"

namespace {

// One drive's figures, asked once.
struct DiskSpaceCache {
    int32_t letter = -1;  // as typed; -1: none yet
    bool ok = false;
    uint64_t freeBytes = 0;
    uint64_t rawRequired = 0;  // a 32-bit figure
    bool payloadUnreadable = false;
};
DiskSpaceCache cache;
const DiskSpaceQueries* replacedQueries = nullptr;

uint32_t PayloadRequiredSpace(uint32_t clusterSize) { return GetRequiredSpace(clusterSize); }

DiskSpaceQueries SystemQueries() {
    DiskSpaceQueries q;
    // Resolved at run time: the oldest systems lack it.
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    q.freeSpaceEx = kernel ? reinterpret_cast<DiskSpaceQueries::FreeSpaceEx>(
                                 reinterpret_cast<void*>(GetProcAddress(kernel, "GetDiskFreeSpaceExA")))
                           : nullptr;
    q.freeSpace = &GetDiskFreeSpaceA;
    q.required = &PayloadRequiredSpace;
    q.driveType = &GetDriveTypeA;
    return q;
}

void FillCache(int32_t letter) {
    cache = DiskSpaceCache();
    cache.letter = letter;
    if (letter <= 0 || letter >= 0x80)
        return;  // no drive of that name
    const DiskSpaceQueries q = replacedQueries ? *replacedQueries : SystemQueries();
    const char drive[3] = {char(letter), ':', 0};
    // GetDiskFreeSpaceA wants the root folder, with its backslash.
    const char root[4] = {char(letter), ':', '\\', 0};
    try {
        ULARGE_INTEGER available;
        if (q.freeSpaceEx && q.freeSpaceEx(drive, &available, nullptr, nullptr)) {
            uint64_t required = q.required(4096);
            cache.freeBytes = available.QuadPart;
            cache.rawRequired = required;
            cache.ok = true;
            return;
        }
        DWORD sectorsPerCluster = 0, bytesPerSector = 0, freeClusters = 0, clusters = 0;
        if (q.freeSpace && q.freeSpace(root, &sectorsPerCluster, &bytesPerSector, &freeClusters, &clusters)) {
            const uint32_t cluster = sectorsPerCluster * bytesPerSector;
            uint64_t required = q.required(cluster);
            cache.freeBytes = uint64_t(cluster) * freeClusters;
            cache.rawRequired = required;
            cache.ok = true;
        }
    } catch (const PError& e) {
        // Without the payload's size nothing may be installed.
        LogLine("Disk space: %s", e.why());
        cache.freeBytes = 0;
        cache.rawRequired = 0;
        cache.ok = false;
        cache.payloadUnreadable = true;
    }
}

}  // namespace

void SetDiskSpaceQueries(const DiskSpaceQueries* queries) {
    replacedQueries = queries;
    ResetDiskSpaceCache();
}

void ResetDiskSpaceCache() { cache = DiskSpaceCache(); }

bool GetDiskSpace(const char* path, uint64_t& freeBytes, uint64_t& requiredBytes) {
    freeBytes = 0;
    requiredBytes = 0;
    int32_t first = 0, second = 0;
    if (path && *path) {
        PStringEncoding::ParserHolder parser;
        PStringXEncoding.createParser(parser);
        parser->init(path, nullptr);
        first = parser->next();
        if (first > 0)
            second = parser->next();
    }
    if (first <= 0 || second != ':')
        return cache.ok;
    if (first != cache.letter)
        FillCache(first);
    freeBytes = cache.freeBytes;
    requiredBytes = (cache.rawRequired & 0xFFF00000u) + 0x500000u;
    return cache.ok;
}

bool PayloadSizeUnreadable() { return cache.payloadUnreadable; }

PString FormatSize(MsgRef message, uint64_t bytes) {
    const uint32_t mebibytes = uint32_t(bytes >> 20);
    uint32_t value;
    MsgRef unit;
    if (mebibytes > 1024) {
        value = mebibytes >> 10;
        unit = TXTINS_GB;
    }
    else if (mebibytes > 0) {
        value = mebibytes;
        unit = TXTINS_MB;
    }
    else {
        value = uint32_t(bytes);
        unit = TXTINS_Bytes;
    }
    PString number;
    number.appendInt(int32_t(value));
    return MsgString(message, number.text(), MsgString(unit).text());
}

bool IsUsableInstallFolder(const char* path) {
    if (ShapeOfPath(path) != PathShape::DriveFolder)
        return false;
    const uint32_t letter = DriveLetterOf(path);
    const char root[4] = {char(letter), ':', '\\', 0};
    DiskSpaceQueries::DriveType driveType =
        replacedQueries && replacedQueries->driveType ? replacedQueries->driveType : &GetDriveTypeA;
    return driveType(root) == DRIVE_FIXED;
}

// The install drive's figures, asked through replaceable system calls.
#define PASSERT_SOURCE "MorvanditeInstall"
#include "diskspace.h"

#include <cstring>

#include "msgids.h"
#include "payloadresource.h"
#include "pencoding.h"
#include "perror.h"
#include "plog.h"
#include "ppathtext.h"

namespace {

// One drive's or share's figures, asked once.
struct DiskSpaceCache {
    PString root;  // what the newer call is given ("C:", "\\server\share\"); empty: none yet
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
    return q;
}

// A PStringX text in the ANSI code page, for the A calls.
PString AnsiText(const char* text) {
    PWString wide;
    ToWide(wide, text, &PStringXEncoding);
    wide.terminate();
    PString ansi;
    WideToAnsi(ansi, wide.wide());
    return ansi;
}

// Asks the figures into the cache. root: for the newer call; rootFolder: for
// the older one, which wants the root folder with its backslash. Both in the
// ANSI code page.
void FillCache(const PString& root, const char* rootFolder) {
    const DiskSpaceQueries q = replacedQueries ? *replacedQueries : SystemQueries();
    try {
        ULARGE_INTEGER available;
        if (q.freeSpaceEx && q.freeSpaceEx(root.text(), &available, nullptr, nullptr)) {
            uint64_t required = q.required(4096);
            cache.freeBytes = available.QuadPart;
            cache.rawRequired = required;
            cache.ok = true;
            return;
        }
        DWORD sectorsPerCluster = 0, bytesPerSector = 0, freeClusters = 0, clusters = 0;
        if (q.freeSpace && q.freeSpace(rootFolder, &sectorsPerCluster, &bytesPerSector, &freeClusters, &clusters)) {
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
    const bool drive = first > 0 && second == ':';
    PString root, rootFolder;
    if (drive) {
        // The letter as typed is the key.
        root.append(first < 0x80 ? char(first) : '?');
        root.append(':');
        rootFolder = root;
        rootFolder.append('\\');
    } else {
        const PString share = NetworkShareOf(path);
        if (share.empty())
            return cache.ok;
        // A share's root with its backslash, for both calls.
        root = AnsiText(share.text());
        root.append('\\');
        rootFolder = root;
    }
    if (cache.root.empty() || std::strcmp(root.text(), cache.root.text()) != 0) {
        cache = DiskSpaceCache();
        cache.root = root;
        if (!drive || first < 0x80)  // no drive has a letter beyond ASCII
            FillCache(root, rootFolder.text());
    }
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

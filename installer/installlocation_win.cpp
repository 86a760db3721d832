// The rules behind the page's choices: option defaults, the install folder
// and its browser, the disk-space figures and the licence terms.
#define PASSERT_SOURCE "MorvanditeInstall"
#include <cstring>

#include "installwindow.h"
#include "folderbrowser.h"
#include "locales.h"
#include "msgids.h"
#include "payload_resource.h"
#include "pencoding.h"
#include "perror.h"
#include "pfile.h"
#include "plog.h"
#include "ppathtext.h"
#include "psyscalls.h"
#include "unattended.h"

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

PString TermsOfServiceAddress(const char* site, int32_t locale) {
    PString address;
    AppendText(address, site ? site : "");
    AppendText(address, "/REDIRECTOR/");
    const bool known = locale >= 0 && uint32_t(locale) < InstallerLocaleCount;
    AppendText(address, InstallerLocaleInfo[known ? locale : LocaleEnglish].code);
    AppendText(address, "/_/help_tos");
    return address;
}

// ---- The window's part ---------------------------------------------------------------

void MorvanditeInstallWindow::SetOptionDefaults() {
    ApplyPageDefaults(options_, commandLine_.IsLaunchEnabled, installLocation_.text());
    GetDiskSpace(installLocation_.text(), freeSpace_, requiredSpace_);
}

bool MorvanditeInstallWindow::UpdateDiskSpace(const char* path) {
    uint64_t freeBytes = 0, requiredBytes = 0;
    const bool ok = GetDiskSpace(path, freeBytes, requiredBytes);
    freeSpace_ = freeBytes;
    requiredSpace_ = requiredBytes;
    if (spaceAvailable_.Handle() && spaceRequired_.Handle()) {
        if (ok) {
            spaceAvailable_.SetText(FormatSize(TXTINS_Space_availableX_N0_N1, freeBytes).text());
            spaceRequired_.SetText(FormatSize(TXTINS_Space_requiredX_N0_N1, requiredBytes).text());
        }
        else {
            spaceAvailable_.SetText("");
            spaceRequired_.SetText("");
        }
    }
    UpdateInstallButton();
    // Blank figures alone would leave the user guessing why Install stays
    // disabled. Posted, so that the notice comes once the page is shown.
    if (!ok && PayloadSizeUnreadable() && !damageNoticePosted_ && window_) {
        damageNoticePosted_ = true;
        PPostMessage(window_, WM_PAYLOAD_DAMAGED, 0, 0);
    }
    return ok;
}

void MorvanditeInstallWindow::Browse() {
    PString current;
    locationEdit_.GetText(current);
    PString prompt = MsgString(TXTINS_Select_the_folder_to_install_N_ELL, options_.displayName.text());
    PString chosen;
    BrowseForFolder(window_, prompt.text(), current.text(), BrowseCallback, reinterpret_cast<LPARAM>(&current),
                    chosen, &PStringXEncoding);
    if (!chosen.empty()) {
        locationEdit_.SetText(chosen.text());
        UpdateDiskSpace(chosen.text());
    }
}

void MorvanditeInstallWindow::OpenTermsOfService() {
    OpenBrowserWindow(TermsOfServiceAddress(site_.text(), CurrentLocale).text(), &PStringXEncoding);
}

#include "tracking.h"

#include <windows.h>

#include <utility>

#include "pencoding.h"
#include "perror.h"
#include "pfile.h"
#include "plog.h"
#include "psyscalls.h"
#include "punique.h"

void ReadTrackingInformationFrom(const char* path, TrackingInfo& info) {
    const UniqueStdioFile file(path && *path ? OpenFile(path, "rb", &PStringXEncoding) : nullptr);
    if (!file) {
        LogLine("Error in reading file for tInfo");
        return;
    }
    _PBlock block;
    std::string why;
    TrackingBlockStatus status = ReadInstallerTrackingBlock(file.get(), block, why);
    if (status == TrackingBlockStatus::Rejected) {
        LogLine("tInfo rejected: %s", why.c_str());
        return;
    }
    if (status == TrackingBlockStatus::NotFound) {
        LogLine("No tInfo found.");
        return;
    }
    if (status == TrackingBlockStatus::ReadError) {
        LogLine("tInfo read error.");
        return;
    }
    try {
        TrackingInfo read = info;
        std::string rejected = ApplyTrackingLines(block, read);
        if (!rejected.empty()) {
            // Nothing of a block that breaks the grammar reaches tinfo.dat or user.ini.
            LogLine("tInfo rejected: %s", rejected.c_str());
            return;
        }
        info = std::move(read);
    } catch (const PError&) {
        LogLine("tInfo read error.");
    }
}

void ReadTrackingInformation(TrackingInfo& info) {
    PString self;
    PGetModuleFileName(nullptr, self, &PStringXEncoding);
    ReadTrackingInformationFrom(self.text(), info);
}

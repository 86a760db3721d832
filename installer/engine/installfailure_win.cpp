#include "installfailure.h"

#include <windows.h>

#include "msgids.h"
#include "pencoding.h"
#include "ppmsg.h"

namespace {
bool DiskFull(uint32_t code) { return code == ERROR_DISK_FULL || code == ERROR_HANDLE_DISK_FULL; }

void AppendParagraph(PString& text, const char* paragraph) {
    AppendChar(text, '\n');
    AppendChar(text, '\n');
    AppendText(text, paragraph);
}
}  // namespace

PString InstallFailureText(int32_t code, const PString* detail, const InstallerWorkerThread& worker) {
    PString text;
    if (code == kInstallRegistryError)
        text = MsgString(TXTINS_Registry_write_errorX_This_may_ELL);
    else if (code == kInstallErrorWithText && DiskFull(worker.LastSystemError()))
        text = MsgString(TXTINS_Disk_write_errorX_Check_if_the_ELL);
    else
        text = MsgString(TXTINS_The_installation_could_not_be_ELL);
    if (detail && !detail->empty())
        AppendParagraph(text, detail->text());
    if (worker.UndoFailures() > 0)
        AppendParagraph(text, MsgString(TXTINS_Some_changes_of_the_installat_ELL, worker.RunLogPath().text()).text());
    return text;
}

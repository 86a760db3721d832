#include "selfcheck.h"

#include <windows.h>

#include <vector>

#include "commandline.h"
#include "imagedigest.h"
#include "msgids.h"
#include "payloadfilesource.h"
#include "pencoding.h"
#include "plog.h"
#include "ppmsg.h"
#include "pprogramresource.h"
#include "pwindowcalls.h"
#include "sharednames.h"
#include "startup.h"
#include "unattended.h"

namespace {

const ImageDigestResources kDigestResources{SharedNames::kInstallerResourceType.narrow,
                                            uint16_t(SharedNames::kPayloadResourceId),
                                            uint16_t(SharedNames::kImageDigestResourceId)};

// Small reads (headers, resource tree) and the hashing of ~700 KB alike.
constexpr uint32_t kReadBuffer = 64 * 1024;

// The message table as the program will load it, against the record's digest.
bool MessageTableMatches(const Sha256Digest& expected) {
    PProgramResource messages(SharedNames::kMessageTableResourceId);
    return messages.found() && Sha256(messages.data(), messages.size()) == expected;
}

}  // namespace

SelfCheck CheckOwnFile() {
    SelfCheck answer;
    // The longest path Windows knows, to be sure the name is whole.
    std::vector<wchar_t> path(32768);
    const DWORD n = GetModuleFileNameW(nullptr, path.data(), DWORD(path.size()));
    if (n == 0 || n >= path.size()) {
        answer.why.assign("the installer's own file name is not known");
        return answer;
    }
    try {
        PayloadFileSource file(kReadBuffer);
        PString problem;
        if (!file.Open(path.data(), 0, PayloadFileSource::kToEnd, &problem)) {
            answer.why.assign("the installer's own file cannot be read: ").append(problem);
            return answer;
        }
        ImageDigestCheck check = CheckImageDigest(file, kDigestResources);
        if (check.intact) {
            answer.intact = true;
            return answer;
        }
        answer.why = check.why;
        answer.messageTableIntact = check.recordRead && MessageTableMatches(check.record.messageTable);
    } catch (...) {
        // Memory for the read buffer; the check itself does not throw.
        if (answer.why.empty())
            answer.why.assign("the installer's own file could not be checked");
    }
    return answer;
}

int RefuseDamagedInstaller(const char* commandLine, const SelfCheck& check) {
    InstallerCommandLineParser parsed;
    parsed.Parse(commandLine);
    const CommandLineSwitches& switches = parsed.Switches;

    const bool localized = check.messageTableIntact && LoadMessageTable();
    PString text(kDamagedInstallerText);
    // The brand's name is in the configuration, which nothing vouches for
    // now: the notice is captioned with the file the user ran.
    const PString caption = OwnProgramFileName();
    if (localized) {
        ChooseStartupLanguage(switches);
        text = MsgString(TXTINS_This_installer_is_damagedX_Ple_ELL);
    }

    if (switches.silent) {
        OpenUnattendedLogCopy(switches);
        LogLine("Unattended installation");
        LogLine("Install refused: %s", check.why.text());
        LogLine("%s", text.text());
        LogLine("Exit code: %d", int(kExitDamaged));
        OpenLogMirror(nullptr);
    } else {
        // The system's box: the skinned one would draw bitmaps from the very
        // resources that failed the check.
        PMessageBox(nullptr, text.text(), caption.text(), &PStringXEncoding, MB_ICONERROR);
    }
    if (localized)
        FreeMessageTable();
    return kExitDamaged;
}

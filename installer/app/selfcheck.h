// The installer's check of its own file at start-up, before anything else
// it reads from its resources is trusted: the digest mkinstaller wrote into
// resource 133 against the file as it is (plib/archive/imagedigest.h says
// which bytes it covers), and what a damaged installer does instead of its
// run. Main thread, first thing in WinMain.
#pragma once
#include "pstring.h"

// The notice's text when the message table cannot be vouched for: the
// English text of the table's own TXTINS_This_installer_is_damagedX_Ple_ELL.
// The notice's caption is always the program's own file name
// (OwnProgramFileName): the brand's name is in the configuration.
inline constexpr char kDamagedInstallerText[] = "This installer is damaged. Please download it again.";

struct SelfCheck {
    bool intact = false;
    // When not intact: the message table resource matches the record's
    // digest of it, so that the notice can be shown in the user's language.
    bool messageTableIntact = false;
    PString why;  // when not intact, in English, for the log
};

#ifdef _WIN32
// Reads the program's own file (its name from the system, the bytes from
// the disk, not the loaded image; the payload is left out, so about 700 KB
// are read through a 64 KiB buffer) and checks it against its digest. A
// file without a digest (the stub run on its own, or an installer made
// before mkinstaller wrote one) is damaged: nothing vouches for it. Never
// throws: a file that cannot be read is not intact, why saying so.
SelfCheck CheckOwnFile();

// What a damaged installer does instead of its run, for any command line:
// with -silent it logs "Install refused: <why>" and the notice to the -log
// copy (when one is asked for; nothing else is written); otherwise, -help
// included, it shows the notice in the system's message box, without owner,
// and returns when it is closed. The notice is in -lang's or the system's
// language when the message table is intact, otherwise in English. Loads and
// frees the message table itself. Returns kExitDamaged.
int RefuseDamagedInstaller(const char* commandLine, const SelfCheck& check);
#endif

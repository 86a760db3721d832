#include "clientfiles.h"

#include <windows.h>
#include <shlobj.h>

#include <cstdio>
#include <cstring>
#include <ctime>

#include "inixor.h"
#include "pencoding.h"
#include "perror.h"
#include "pfile.h"
#include "pfile_win.h"
#include "plog.h"
#include "ppathtext.h"
#include "psyscalls.h"
#include "sharednames.h"
#include "taggrammar.h"
#include "timestamps.h"

namespace {
// Themes every new installation starts with; the client reads them as account-like ids.
const char kDefaultThemeId[] = "classic-felt@themes.morvandite.com";
const char kSecondThemeId[] = "midnight-table@themes.morvandite.com";

const PStringEncoding* Paths() { return &PStringXEncoding; }

// The local application data folder, asking the shell to create it; empty when unavailable.
PString LocalAppDataFolder() {
    PString out;
    if (UseWideApi()) {
        wchar_t path[MAX_PATH] = {};
        if (SUCCEEDED(SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA | CSIDL_FLAG_CREATE, nullptr, 0, path)))
            FromWide(out, path, Paths());
    } else {
        char path[MAX_PATH] = {};
        if (SUCCEEDED(SHGetFolderPathA(nullptr, CSIDL_LOCAL_APPDATA | CSIDL_FLAG_CREATE, nullptr, 0, path))) {
            // The A function puts '?' for a character the ANSI code page lacks;
            // such a path names no folder, so the install folder serves instead.
            if (std::strchr(path, '?')) {
                LogLine("Local application data folder not expressible in the ANSI code page");
                return out;
            }
            PWString wide;
            AnsiToWide(wide, path);
            FromWide(out, wide.wide(), Paths());
        }
    }
    return out;
}

// The settings folder for user.ini: the work folder under local application
// data (the installing account's, or the desktop user's the options name)
// when it can be used, else the install folder.
PString SettingsFolder(const InstallOptions& o, InstallRollback& journal) {
    if (o.useLocalAppData) {
        // The desktop user's when an elevated run installs for them (peruser.h).
        PString appData = o.localAppDataFolder.empty() ? LocalAppDataFolder() : o.localAppDataFolder;
        if (!appData.empty()) {
            PString candidate = JoinPath(appData.text(), o.workFolderName.text());
            try {
                FileFinder finder(Paths());
                bool found = finder.First(candidate.text());
                bool isFolder = found && finder.IsFolder();
                finder.Close();
                if (isFolder)
                    return candidate;
                // A file in the folder's place goes, kept for the undo.
                if (found && (!journal.BeforeReplaceFile(candidate) || !RemoveFile(candidate.text(), Paths())))
                    return o.installFolder;
                if (CreateFolder(candidate.text(), Paths())) {
                    journal.NoteCreatedFolder(candidate.text());
                    return candidate;
                }
            } catch (const PInternalError&) {
                // The install folder serves instead.
            }
        }
    }
    return o.installFolder;
}

bool InstallerFileTime(PString& stamp, int offsetMinutes) {
    PString self;
    if (!PGetModuleFileName(nullptr, self, Paths()))
        return false;
    FileFinder finder(Paths());
    if (!finder.First(self.text()))
        return false;
    int64_t written = finder.WriteTime();
    finder.Close();
    std::tm local;
    if (written == 0 || !LocalTimeOf(written, local))
        return false;
    AppendIsoTime(stamp, local, offsetMinutes);
    return true;
}
}  // namespace

void WriteTrackingFile(const InstallOptions& o, InstallRollback& rollback) {
    try {
        PString path = JoinPath(o.installFolder.text(), SharedNames::kTrackingFile.narrow);
        if (!rollback.BeforeReplaceFile(path))
            return;  // logged; the file stays as it was
        if (o.trackingInfo.empty()) {
            RemoveFile(path.text(), Paths());
            return;
        }
        PString text(o.trackingInfo);
        text.append("ITS=").appendUint(uint32_t(std::time(nullptr))).append('\n');
        text.append("IZ=").appendInt(-TimeZoneBiasSeconds()).append('\n');
        _PBlock block;
        std::memcpy(block.alloc(text.length()), text.text(), text.length());
        ScrambleBlock(block);
        // Written whole beside the old file and moved into place, as user.ini
        // is: a full disk leaves the previous file, never a truncated one.
        FileReplaceResult result = WriteFileReplacing(path.text(), block.ptr(), block.size(), Paths());
        if (result == FileReplaceResult::CannotOpen) {
            RemoveFile(path.text(), Paths());
            LogLine("Error in open tInfo file");
        } else if (result == FileReplaceResult::CannotWrite) {
            RemoveFile(path.text(), Paths());
            LogLine("tInfo.ini file writing error: Unable to write '%s'", path.text());
        }
    } catch (const PError& e) {
        LogLine("tInfo.ini file writing error: %s", e.why());
    }
}

void WriteUserSettings(const InstallOptions& o, InstallRollback& rollback) {
    try {
        PString folder = SettingsFolder(o, rollback);
        LogLine("Local settings directory: '%s'", folder.text());
        PString path = JoinPath(folder.text(), SharedNames::kUserSettingsFile.narrow);

        EncIniFile ini;
        if (FileExists(path.text(), Paths())) {
            bool loaded = true;
            try {
                ini.LoadPlainOrEncrypted(path.text(), Paths());
            } catch (const PError&) {  // unreadable: made anew
                loaded = false;
                ini.Clear();
            }
            if (loaded && !o.overrideUserIni)
                return;
            const PString backup = JoinPath(folder.text(), SharedNames::kUserSettingsBackupFile.narrow);
            // Both files change: each is kept first, or the user's file stays as it is.
            if (!rollback.BeforeReplaceFile(backup) || !rollback.BeforeReplaceFile(path))
                return;
            MoveFileReplacing(path.text(), backup.text(), Paths());
        } else if (!rollback.BeforeReplaceFile(path)) {
            return;
        }

        IniSection* options = ini.GetSection("Options");
        if (!options)
            return;
        PString locale;
        locale.appendInt(o.locale);
        options->SetValue("Locale", locale.text());
        options->SetValue("SingleClick", "1");
        options->SetValue("Animate", "2");
        options->SetValue("CardBack", "13");
        options->SetValue("MuckLoseDef", "1");

        IniSection* installer = ini.GetSection("Installer");
        if (!installer)
            return;
        time_t now = std::time(nullptr);
        int offset = LocalOffsetMinutes(now);
        PString downloaded;
        if (InstallerFileTime(downloaded, offset))
            installer->SetValue("DownloadDate", downloaded.text());
        else
            LogLine("Error in get server time");
        PString installed;
        AppendIsoTime(installed, LocalCalendarTime(now), offset);
        installer->SetValue("InstallDate", installed.text());

        IniSection* themes = ini.GetSection("themes");
        if (!themes)
            return;
        themes->Clear();
        // The theme comes from the tracking block; only a value of the tag
        // grammar (no line breaks, no section brackets) goes into the file.
        const bool themeUsable = !o.themeId.empty() && TagValueError(o.themeId.text()).empty();
        if (!o.themeId.empty() && !themeUsable)
            LogLine("Theme from tInfo refused: %s", TagValueError(o.themeId.text()).c_str());
        themes->SetValue("0", themeUsable ? o.themeId.text() : kDefaultThemeId);
        themes->SetValue("fffe", kSecondThemeId);

        ini.RemoveSection("update");
        ini.Save(path.text(), Paths());
    } catch (const PError& e) {
        LogLine("User.ini file write error: %s", e.why());
    }
}

#include "folderbrowser.h"

#include <cstring>

#include "msgids.h"
#include "pencoding.h"
#include "perror.h"
#include "plog.h"
#include "ppmsg.h"
#include "psyscalls.h"

namespace {
const UINT kBrowseFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE;  // 0x41
const int kNewFolderButton = 14150;

// The desktop's own item list: the root of the browse.
LPITEMIDLIST DesktopItemList() {
    IShellFolder* desktop = nullptr;
    LPITEMIDLIST root = nullptr;
    if (SUCCEEDED(SHGetDesktopFolder(&desktop)) && desktop) {
        wchar_t empty[1] = {0};
        if (FAILED(desktop->ParseDisplayName(nullptr, nullptr, empty, nullptr, &root, nullptr)))
            root = nullptr;
        desktop->Release();
    }
    return root;
}

void FreeItemList(LPITEMIDLIST list) {
    if (!list)
        return;
    IMalloc* malloc = nullptr;
    if (SUCCEEDED(SHGetMalloc(&malloc)) && malloc) {
        malloc->Free(list);
        malloc->Release();
    }
}

// The file-system path of an item list into out (replaced); false when the
// item has none, out then unchanged.
bool PathOfItemList(LPCITEMIDLIST list, PString& out, const PStringEncoding* encoding) {
    PString path;
    if (!encoding) {
        char ansi[264];
        if (!SHGetPathFromIDListA(list, ansi))
            return false;
        path = ansi;
    }
    else if (UseWideApi()) {
        PSHGetPathFromIDListW get = ShellGetPathFromIDListW();
        wchar_t wide[261];
        if (!get || !get(list, wide))
            return false;
        FromWide(path, wide, encoding);
    }
    else {
        char ansi[264];
        if (!SHGetPathFromIDListA(list, ansi))
            return false;
        PWString wide;
        AnsiToWide(wide, ansi);
        FromWide(path, wide.wide(), encoding);
    }
    out = static_cast<PString&&>(path);
    return true;
}

void CopyWide(wchar_t* to, size_t capacity, const PWString& from) {
    size_t n = from.units();
    if (n >= capacity)
        n = capacity - 1;
    std::memcpy(to, from.wide(), n * sizeof(wchar_t));
    to[n] = 0;
}
}  // namespace

int BrowseForFolder(HWND owner, const char* prompt, const char* path, BFFCALLBACK callback, LPARAM callbackData,
                    PString& out, const PStringEncoding* encoding) {
    bool wide = encoding && UseWideApi();
    PSHBrowseForFolderW browseW = ShellBrowseForFolderW();
    if (wide && !browseW)
        return -1;

    LPITEMIDLIST root = DesktopItemList();
    LPITEMIDLIST chosen = nullptr;
    if (wide) {
        PWString title, current;
        ToWide(title, prompt ? prompt : "", encoding);
        title.terminate();
        ToWide(current, path ? path : "", encoding);
        current.terminate();
        wchar_t displayName[260];
        CopyWide(displayName, 260, current);
        BROWSEINFOW bi;
        std::memset(&bi, 0, sizeof bi);
        bi.hwndOwner = owner;
        bi.pidlRoot = root;
        bi.pszDisplayName = displayName;
        bi.lpszTitle = title.wide();
        bi.ulFlags = kBrowseFlags;
        bi.lpfn = callback;
        bi.lParam = callbackData;
        chosen = browseW(&bi);
    }
    else {
        // ANSI texts: converted to the ANSI code page, or unchanged without an encoding.
        PString title, current;
        if (encoding) {
            PWString w;
            ToWide(w, prompt ? prompt : "", encoding);
            w.terminate();
            WideToAnsi(title, w.wide());
            w.release();
            ToWide(w, path ? path : "", encoding);
            w.terminate();
            WideToAnsi(current, w.wide());
        }
        else {
            title = prompt ? prompt : "";
            current = path ? path : "";
        }
        char displayName[260];
        lstrcpynA(displayName, current.text(), sizeof displayName);
        BROWSEINFOA bi;
        std::memset(&bi, 0, sizeof bi);
        bi.hwndOwner = owner;
        bi.pidlRoot = root;
        bi.pszDisplayName = displayName;
        bi.lpszTitle = title.text();
        bi.ulFlags = kBrowseFlags;
        bi.lpfn = callback;
        bi.lParam = callbackData;
        chosen = SHBrowseForFolderA(&bi);
    }
    if (chosen) {
        PathOfItemList(chosen, out, encoding);
        FreeItemList(chosen);
    }
    FreeItemList(root);
    return 0;
}

bool IsFolderOnFixedDrive(const char* path) {
    if (!path || PStringXEncoding.length(path) <= 3)
        return false;
    PStringEncoding::ParserHolder parser;
    PStringXEncoding.createParser(parser);
    parser->init(path, nullptr);
    int32_t letter = parser->next();
    if (letter <= 0 || letter >= 0x80)
        return false;
    // GetDriveType wants the root with its backslash.
    char root[4] = {char(letter), ':', '\\', 0};
    return GetDriveTypeA(root) == DRIVE_FIXED;
}

int CALLBACK BrowseCallback(HWND dialog, UINT message, LPARAM lParam, LPARAM callbackData) {
    // No exception may unwind into the shell's frames.
    try {
        if (message == BFFM_INITIALIZED) {
            PSendMessage(dialog, BFFM_ENABLEOK, 0, 0);
            PSetWindowText(dialog, MsgString(TXTINS_Browse_For_Folder).text(), &PStringXMessageEncoding, false);
            const struct {
                int id;
                MsgRef text;
            } buttons[] = {{IDOK, TXTINS_OK}, {IDCANCEL, TXTINS_Cancel}, {kNewFolderButton, TXTINS_Make_New_Folder}};
            for (const auto& b : buttons) {
                if (HWND control = GetDlgItem(dialog, b.id))
                    PSetWindowText(control, MsgString(b.text).text(), &PStringXMessageEncoding, false);
            }
            if (callbackData)
                PBrowseSetSelection(dialog, reinterpret_cast<const PString*>(callbackData)->text(),
                                    &PStringXEncoding);
        }
        else if (message == BFFM_SELCHANGED) {
            PString path;
            bool ok = PathOfItemList(reinterpret_cast<LPCITEMIDLIST>(lParam), path, &PStringXEncoding) &&
                      IsFolderOnFixedDrive(path.text());
            PSendMessage(dialog, BFFM_ENABLEOK, 0, ok ? 1 : 0);
        }
    }
    catch (const PError& e) {
        LogLine("Error in folder browser: %s", e.why());
    }
    catch (...) {
        LogLine("Error in folder browser");
    }
    return 0;
}

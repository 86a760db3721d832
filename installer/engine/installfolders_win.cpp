#include "installfolders.h"

#include <windows.h>

#include <cstring>

#include "pencoding.h"
#include "perror.h"
#include "pfile.h"
#include "ppathtext.h"
#include "pwideapi.h"
#include "rollback.h"

bool CreateFolderWithParents(const char* path, uint32_t* failureCode, InstallRollback* rollback) {
    if (*path == 0) {
        if (failureCode)
            *failureCode = ERROR_INVALID_NAME;
        return false;
    }
    // Roots cannot be made: a share's exists as long as the share does
    // (making it would try "\\server", which Windows says already exists).
    if (IsBareDrive(path) || IsNetworkShareRoot(path))
        return true;
    if (DirectoryExists(path, &PStringXEncoding))
        return true;
    const char* slash = std::strrchr(path, '\\');
    if (slash && slash != path) {
        PString parent(path, slash);
        if (!CreateFolderWithParents(parent.text(), failureCode, rollback))
            return false;
    }
    try {
        const bool created = CreateFolder(path, &PStringXEncoding, failureCode);
        if (created && rollback)
            rollback->NoteCreatedFolder(path);
        return created;
    } catch (const PInternalError&) {
        return false;
    }
}

void RefuseInexpressiblePath(MsgRef operation, const char* path) {
    if (!SystemCanExpress(path, &PStringXEncoding))
        throw PSystemError(MsgString(operation, path).text(), ERROR_INVALID_NAME);
}

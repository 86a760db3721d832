// Folders and paths an installation makes. Windows only; any thread (the
// worker's, the payload's writing thread, the main thread for a log's folder).
#pragma once
#include <cstdint>

#include "ppmsg.h"

class InstallRollback;

// Creates a folder and every missing parent; a bare drive ("C:"), a network
// share's root ("\\server\share") and an existing folder count as success
// (a missing share then fails at the first folder below it). Each folder it
// makes is recorded in rollback when one is given (the run's undo removes
// it); nothing is recorded without one. On failure returns false with
// *failureCode (when given) holding the Windows error code of the call that
// failed. A path running through an existing file throws the existence
// test's PInternalError.
bool CreateFolderWithParents(const char* path, uint32_t* failureCode = nullptr, InstallRollback* rollback = nullptr);

// In ANSI mode a path with a character the ANSI code page lacks would reach
// the A functions as '?' or a look-alike and name another file: throws
// PSystemError with operation's text (the path as %0) and ERROR_INVALID_NAME
// before anything is created. Returns when the system can name the path.
void RefuseInexpressiblePath(MsgRef operation, const char* path);

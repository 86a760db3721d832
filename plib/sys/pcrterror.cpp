#include "pcrterror.h"

#include <cerrno>

#ifdef _WIN32
#include <windows.h>
#endif

uint32_t WindowsErrorOfErrno(int error) {
    switch (error) {
    case ENOENT:
        return 2;  // ERROR_FILE_NOT_FOUND
    case EMFILE:
        return 4;  // ERROR_TOO_MANY_OPEN_FILES
    case EACCES:
    case EPERM:
    case EISDIR:
        return 5;  // ERROR_ACCESS_DENIED
    case EBADF:
        return 6;  // ERROR_INVALID_HANDLE
    case ENOMEM:
        return 8;  // ERROR_NOT_ENOUGH_MEMORY
    case EROFS:
        return 19;  // ERROR_WRITE_PROTECT
    case EINVAL:
        return 87;  // ERROR_INVALID_PARAMETER
    case ENOSPC:
        return 112;  // ERROR_DISK_FULL
    case ENOTEMPTY:
        return 145;  // ERROR_DIR_NOT_EMPTY
    case EEXIST:
        return 183;  // ERROR_ALREADY_EXISTS
    case ENAMETOOLONG:
        return 206;  // ERROR_FILENAME_EXCED_RANGE
    case EFBIG:
        return 223;  // ERROR_FILE_TOO_LARGE
    case ENOTDIR:
        return 267;  // ERROR_DIRECTORY
    case EIO:
        return 1117;  // ERROR_IO_DEVICE
    default:
        return 0;
    }
}

void ClearCrtFailure() {
    errno = 0;
#ifdef _WIN32
    SetLastError(0);
#endif
}

uint32_t CrtFailureCode(uint32_t fallback) {
    const int error = errno;  // first: nothing may run before it is read
#ifdef _WIN32
    if (DWORD code = GetLastError())
        return code;
#endif
    if (uint32_t code = WindowsErrorOfErrno(error))
        return code;
    return fallback;
}

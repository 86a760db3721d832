// Writing a whole file so that a failure never leaves a partial one in place.
#include <cstdio>

#include "pfile.h"
#include "pstring.h"

FileReplaceResult WriteFileReplacing(const char* path, const void* bytes, uint32_t size,
                                     const PStringEncoding* encoding) {
    PString temporary(path);
    temporary.append(".new");
    FILE* file = OpenFile(temporary.text(), "wb", encoding);
    if (!file)
        return FileReplaceResult::CannotOpen;
    bool written = size == 0 || std::fwrite(bytes, 1, size, file) == size;
    // A short write may surface only when the buffer is flushed at close.
    written = std::fclose(file) == 0 && written;
    if (!written || !MoveFileReplacing(temporary.text(), path, encoding)) {
        RemoveFile(temporary.text(), encoding);
        return FileReplaceResult::CannotWrite;
    }
    return FileReplaceResult::Written;
}

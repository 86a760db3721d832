// The directory search, on the Windows find data. Windows only.
#pragma once
#include <cstdint>

#include <windows.h>

#include "pfile.h"
#include "pstring.h"

// Finds the first entry other than "." and ".." that matches a pattern. The
// wide functions are used when an encoding is given and UseWideApi() held at
// construction; the find data is then the wide form, otherwise the ANSI one.
// Owns its search handle. Move-only: the search and the current entry move
// with it; a moved-from finder holds no search (Close gives -1).
class FileFinder {
public:
    explicit FileFinder(const PStringEncoding* encoding);
    ~FileFinder() { Close(); }
    FileFinder(FileFinder&& other) noexcept;
    FileFinder& operator=(FileFinder&& other) noexcept;
    FileFinder(const FileFinder&) = delete;
    FileFinder& operator=(const FileFinder&) = delete;

    // Closes a search still open, then searches; false when nothing but "."
    // and ".." (or nothing at all) matches.
    bool First(const char* pattern);
    // Attribute bit 0x10 of the current entry.
    bool IsFolder() const;
    // The entry's last write in seconds since 1970 UTC; 0 for a zero time or
    // one not later than 1970.
    int64_t WriteTime() const;
    // FindClose's result, or -1 when no search was open.
    int Close();

    bool HoldsWide() const { return holdsWide_; }
    const WIN32_FIND_DATAW& WideData() const { return data_.w; }
    const WIN32_FIND_DATAA& AnsiData() const { return data_.a; }
    // The entry's name as PStringX text (through the encoding, or as the ANSI
    // bytes without one).
    PString Name() const;

private:
    const PStringEncoding* encoding_;
    union {
        WIN32_FIND_DATAW w;
        WIN32_FIND_DATAA a;
    } data_;
    HANDLE handle_;
    bool wide_;
    bool holdsWide_;
};

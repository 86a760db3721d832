// Off Windows there is no system message table for Windows codes: the texts of
// the codes the program's file and registry helpers meet are kept here, as
// FormatMessage gives them (the trailing CR LF becoming two blanks).
#include <cstddef>

#include "perror.h"
#include "pstring.h"

namespace {
struct Known {
    uint32_t code;
    const char* text;
};
const Known kKnown[] = {
    {0, "The operation completed successfully.  "},
    {1, "Incorrect function.  "},
    {2, "The system cannot find the file specified.  "},
    {3, "The system cannot find the path specified.  "},
    {4, "The system cannot open the file.  "},
    {5, "Access is denied.  "},
    {6, "The handle is invalid.  "},
    {8, "Not enough memory resources are available to process this command.  "},
    {15, "The system cannot find the drive specified.  "},
    {21, "The device is not ready.  "},
    {32, "The process cannot access the file because it is being used by another process.  "},
    {39, "The disk is full.  "},
    {80, "The file exists.  "},
    {87, "The parameter is incorrect.  "},
    {112, "There is not enough space on the disk.  "},
    {123, "The filename, directory name, or volume label syntax is incorrect.  "},
    {145, "The directory is not empty.  "},
    {183, "Cannot create a file when that file already exists.  "},
    {206, "The filename or extension is too long.  "},
    {267, "The directory name is invalid.  "},
    {1223, "The operation was canceled by the user.  "},
};
}  // namespace

bool PSystemErrorDescription(uint32_t code, PString& out) {
    for (const Known& k : kKnown)
        if (k.code == code) {
            out.assign(k.text);
            return true;
        }
    return false;
}

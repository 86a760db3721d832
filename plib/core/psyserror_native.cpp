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
    {19, "The media is write protected.  "},
    {21, "The device is not ready.  "},
    {29, "The system cannot write to the specified device.  "},
    {32, "The process cannot access the file because it is being used by another process.  "},
    {39, "The disk is full.  "},
    {80, "The file exists.  "},
    {82, "The directory or file cannot be created.  "},
    {87, "The parameter is incorrect.  "},
    {110, "The system cannot open the device or file specified.  "},
    {112, "There is not enough space on the disk.  "},
    {123, "The filename, directory name, or volume label syntax is incorrect.  "},
    {145, "The directory is not empty.  "},
    {183, "Cannot create a file when that file already exists.  "},
    {206, "The filename or extension is too long.  "},
    {223, "The file size exceeds the limit allowed and cannot be saved.  "},
    {267, "The directory name is invalid.  "},
    {1117, "The request could not be performed because of an I/O device error.  "},
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

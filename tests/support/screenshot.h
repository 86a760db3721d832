// Screenshots the GUI tests keep as artefacts under the build tree. Windows only.
#pragma once
#include <windows.h>

#include <string>

// What the screen shows of the window (frame included), as a 24-bit BMP file.
void SaveWindowBitmap(HWND window, const std::string& path);

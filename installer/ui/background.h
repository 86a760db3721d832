// The install window's side picture: a JPEG from the program's resources
// decoded once into a 32-bit bottom-up DIB section.
#pragma once
#include <windows.h>

#include <cstdint>

#include "uiobjects.h"

class MyCWnd;

// Resource of type MV holding the background JPEG.
const int kBackgroundPictureResource = 103;

// The decoded picture: its BITMAPINFO, the pixels (B, G, R, 0 per pixel,
// bottom row first) and the bitmap that owns them.
struct BackgroundPicture {
    BITMAPINFO info;
    void* pixels = nullptr;
    BitmapImage bitmap;

    BackgroundPicture() { ZeroMemory(&info, sizeof info); }
    bool IsLoaded() const { return bitmap.Get() != nullptr; }
};

// Decodes JPEG data into picture (which must be empty). False, with nothing
// made, when the data is empty, lacks the JPEG signature, or no DIB section
// can be created for it. Decoder failures throw PInternalError "JPEG: ...";
// the half-made bitmap is deleted first.
bool DecodeJpegPicture(const uint8_t* data, uint32_t size, BackgroundPicture& picture);

// Loads resource MV/103 into picture and makes it the window's background
// bitmap, unless the window already has one. The window borrows the bitmap:
// picture owns it and must live as long as the window paints with it.
// False when nothing was loaded; decoder failures throw as above.
bool LoadBackgroundPicture(MyCWnd& window, BackgroundPicture& picture);

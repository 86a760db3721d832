#include "uiobjects.h"

bool AutoDeleteUiObjectBitmap::Load(HINSTANCE module, int id) {
    HBITMAP b = LoadBitmapA(module, MAKEINTRESOURCEA(id));
    Set(b);
    return b != nullptr;
}

bool AutoDeleteUiObjectCursor::Load(HINSTANCE module, int id) {
    HANDLE c = LoadImageA(module, MAKEINTRESOURCEA(id), IMAGE_CURSOR, 0, 0, LR_DEFAULTSIZE);
    Set(c);
    return c != nullptr;
}

bool BitmapImage::Load(HINSTANCE module, int id) {
    HBITMAP b = LoadBitmapA(module, MAKEINTRESOURCEA(id));
    Set(b);
    return b != nullptr;
}

#include "background.h"

#include <cstring>
#include <memory>
#include <utility>

#include "mywindow.h"
#include "perror.h"
#include "pjpegimage.h"
#include "plog.h"
#include "psyscalls.h"
#include "punique.h"

bool DecodeJpegPicture(const uint8_t* data, uint32_t size, BackgroundPicture& picture) {
    if (picture.IsLoaded() || !data || size == 0 || !IsJpegSignature(data, size))
        return false;

    PJpegImageSource source(data, size, 1);
    const int width = source.Width();
    const int height = source.Height();
    const uint64_t bytes = uint64_t(width) * uint64_t(height) * 4;
    if (width <= 0 || height <= 0 || bytes > 0x7FFFFFFF) {
        LogLine("Background picture of %d x %d pixels not loaded", width, height);
        return false;
    }

    BITMAPINFO info;
    std::memset(&info, 0, sizeof info);
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;  // positive: bottom-up rows
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    info.bmiHeader.biSizeImage = DWORD(bytes);

    void* pixels = nullptr;
    BitmapImage owner;  // deletes the bitmap should anything below fail
    {
        const UniqueWindowDc desktop(GetDesktopWindow());
        owner.Set(CreateDIBSection(desktop.get(), &info, DIB_RGB_COLORS, &pixels, nullptr, 0));
    }
    if (!owner.Get() || !pixels) {
        // The window then paints its brush alone, as without a picture.
        LogLine("%s", PSystemError("Cannot create the background bitmap", GetLastError()).why());
        return false;
    }

    uint8_t* out = static_cast<uint8_t*>(pixels);
    std::memset(out, 0, info.bmiHeader.biSizeImage);
    std::unique_ptr<uint8_t[]> row(new uint8_t[size_t(width) * 3]);
    const size_t stride = size_t(width) * 4;
    for (int i = 0; i < height; ++i) {
        source.ReadRow(row.get());
        // The first decoded row is the top row: the last one in memory.
        uint8_t* target = out + size_t(height - 1 - i) * stride;
        const uint8_t* rgb = row.get();
        for (int j = 0; j < width; ++j, rgb += 3, target += 4) {
            target[0] = rgb[2];
            target[1] = rgb[1];
            target[2] = rgb[0];
        }
    }

    picture.info = info;
    picture.pixels = pixels;
    picture.bitmap = std::move(owner);
    return true;
}

bool LoadBackgroundPicture(MyCWnd& window, BackgroundPicture& picture) {
    if (window.BackgroundBitmap())
        return false;
    PProgramResource resource(kBackgroundPictureResource);
    if (!resource.found() || !DecodeJpegPicture(resource.data(), resource.size(), picture))
        return false;
    window.SetBackgroundBitmap(picture.bitmap.Get());
    return true;
}

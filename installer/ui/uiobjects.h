// Owners of GDI and cursor handles, and the button skin record that borrows them.
#pragma once
#include <windows.h>

#include <cstdint>

// One owned handle, null by default. Destruction and assignment of another
// handle free the held one. Owners are not copyable (two owners of one handle
// would free it twice) but move: the handle goes over, the source is empty.
// One thread at a time uses one owner.
class AutoDeleteUiObject {
public:
    using Release = void (*)(HANDLE);

    virtual ~AutoDeleteUiObject() { Reset(); }
    AutoDeleteUiObject(const AutoDeleteUiObject&) = delete;
    AutoDeleteUiObject& operator=(const AutoDeleteUiObject&) = delete;
    AutoDeleteUiObject(AutoDeleteUiObject&& other) noexcept : handle_(other.Detach()), release_(other.release_) {}
    AutoDeleteUiObject& operator=(AutoDeleteUiObject&& other) noexcept {
        if (this != &other) {
            Reset();
            release_ = other.release_;
            handle_ = other.Detach();
        }
        return *this;
    }

    HANDLE Handle() const { return handle_; }
    bool IsSet() const { return handle_ != nullptr; }
    // Takes over h; the previous handle is freed first (unless it is h).
    void Set(HANDLE h) {
        if (h != handle_) {
            Reset();
            handle_ = h;
        }
    }
    void Reset() {
        if (handle_)
            release_(handle_);
        handle_ = nullptr;
    }
    // Hands the handle back to the caller without freeing it.
    HANDLE Detach() {
        HANDLE h = handle_;
        handle_ = nullptr;
        return h;
    }

protected:
    explicit AutoDeleteUiObject(Release release) : handle_(nullptr), release_(release) {}
    static void DeleteGdiObject(HANDLE h) { DeleteObject(static_cast<HGDIOBJ>(h)); }

private:
    HANDLE handle_;
    Release release_;
};

template <class H>
class AutoDeleteUiObjectOf : public AutoDeleteUiObject {
public:
    H Get() const { return static_cast<H>(Handle()); }
    operator H() const { return Get(); }
    AutoDeleteUiObjectOf& operator=(H h) {
        Set(h);
        return *this;
    }

protected:
    explicit AutoDeleteUiObjectOf(Release release = DeleteGdiObject) : AutoDeleteUiObject(release) {}
};

class AutoDeleteUiObjectBrush : public AutoDeleteUiObjectOf<HBRUSH> {
public:
    AutoDeleteUiObjectBrush() {}
    using AutoDeleteUiObjectOf::operator=;
};

class AutoDeleteUiObjectFont : public AutoDeleteUiObjectOf<HFONT> {
public:
    AutoDeleteUiObjectFont() {}
    using AutoDeleteUiObjectOf::operator=;
};

class AutoDeleteUiObjectPen : public AutoDeleteUiObjectOf<HPEN> {
public:
    AutoDeleteUiObjectPen() {}
    using AutoDeleteUiObjectOf::operator=;
};

class AutoDeleteUiObjectBitmap : public AutoDeleteUiObjectOf<HBITMAP> {
public:
    AutoDeleteUiObjectBitmap() {}
    using AutoDeleteUiObjectOf::operator=;
    // LoadBitmapA from the module; false (and nothing held) when it fails.
    bool Load(HINSTANCE module, int id);
};

// Cursors are not GDI objects: the owner destroys them with DestroyCursor.
// A shared cursor (LoadCursor) must not be destroyed, so Load takes a private
// copy of the resource instead.
class AutoDeleteUiObjectCursor : public AutoDeleteUiObjectOf<HCURSOR> {
public:
    AutoDeleteUiObjectCursor() : AutoDeleteUiObjectOf(DestroyCursorHandle) {}
    using AutoDeleteUiObjectOf::operator=;
    // The cursor resource id of the module, not shared; false when missing.
    bool Load(HINSTANCE module, int id);

private:
    static void DestroyCursorHandle(HANDLE h) { DestroyCursor(static_cast<HCURSOR>(h)); }
};

// One owned bitmap, null by default; moves like the owners above.
class BitmapImage {
public:
    BitmapImage() : bitmap_(nullptr) {}
    ~BitmapImage() { Reset(); }
    BitmapImage(const BitmapImage&) = delete;
    BitmapImage& operator=(const BitmapImage&) = delete;
    BitmapImage(BitmapImage&& other) noexcept : bitmap_(other.Detach()) {}
    BitmapImage& operator=(BitmapImage&& other) noexcept {
        if (this != &other)
            Set(other.Detach());
        return *this;
    }

    HBITMAP Get() const { return bitmap_; }
    // Takes over b after deleting the bitmap held so far.
    void Set(HBITMAP b) {
        if (b != bitmap_) {
            Reset();
            bitmap_ = b;
        }
    }
    void Reset() {
        if (bitmap_)
            DeleteObject(bitmap_);
        bitmap_ = nullptr;
    }
    // Hands the bitmap back to the caller without deleting it.
    HBITMAP Detach() {
        HBITMAP b = bitmap_;
        bitmap_ = nullptr;
        return b;
    }
    // LoadBitmapA from the module; false (and nothing held) when it fails.
    bool Load(HINSTANCE module, int id);

private:
    HBITMAP bitmap_;
};

// The look of one skinned button, copied by value into each button. It
// borrows its bitmaps and font; their owner keeps them alive while buttons
// use them. The bitmap is drawn as a left cap of bitmapWidth / 2 pixels, the
// one-pixel column at x = bitmapWidth / 2 stretched, and a right cap taken
// from x = bitmapWidth / 2 + 1.
struct ButtonSkin {
    int32_t bitmapWidth = 0;
    int32_t height = 0;
    HBITMAP normal = nullptr;    // required
    HBITMAP pressed = nullptr;   // required
    HBITMAP focused = nullptr;   // optional
    HBITMAP disabled = nullptr;  // optional
    HFONT font = nullptr;        // null: the control keeps the system font
    COLORREF textColor = 0;
    COLORREF disabledTextColor = 0x808080;  // with a disabled bitmap only
};

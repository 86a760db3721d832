// Top-level windows of the toolkit: the window procedure forwards every
// message to virtual operations of the object found in GWL_USERDATA.
#pragma once
#include <windows.h>

#include <string>

#include "uiobjects.h"

class MyWindow {
public:
    MyWindow() : window_(nullptr) {}
    // Detaches from the window (later messages go to the default
    // procedure); the window itself is not destroyed.
    virtual ~MyWindow();
    MyWindow(const MyWindow&) = delete;
    MyWindow& operator=(const MyWindow&) = delete;

    HWND Handle() const { return window_; }

    // Default 640 x 480.
    virtual void GetClientSize(SIZE& size);
    // Resizes the window around its centre so that its client area gets the
    // given size; an odd difference goes to the right and bottom side.
    // 0 when the window or client rectangle cannot be read.
    virtual int SetClientSize(const SIZE& size);
    // Non-zero: handled, returned from the window procedure as is.
    virtual LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam) { return 0; }
    // Non-zero: the background is painted.
    virtual int OnEraseBackground(HDC dc) { return 0; }
    virtual void OnPaint();
    // Non-zero: the command is handled.
    virtual int OnCommand(WPARAM wParam, LPARAM lParam) { return 0; }

    // ShowWindow(SW_SHOW), UpdateWindow; returns 1.
    int Show();

    // The procedure every toolkit window class is registered with.
    static LRESULT CALLBACK WindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

protected:
    HWND window_;
};

// A top-level window with the installer's fonts, background and skins. The
// derived window fills the creation fields in its constructor, then Create
// makes the window.
class MyCWnd : public MyWindow {
public:
    explicit MyCWnd(int titleFontHeight);
    ~MyCWnd() override;

    // Registers the class, creates the window with the creation fields, then
    // calls LoadResources, GetClientSize and SetClientSize. True when a
    // window was made; a failure is logged with the system's reason.
    bool Create(HWND parent);

    // Posts the quit message with exit code 18 when the window is destroyed.
    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    // Fills the client area with the background brush and copies the
    // background bitmap, clipped, to the top-left corner (above 96 DPI
    // smoothly scaled to the window's DPI); returns 1.
    int OnEraseBackground(HDC dc) override;
    // Sets the background brush to the stock white brush.
    virtual void LoadResources();

    HBRUSH BackgroundBrush() const { return backgroundBrush_; }
    HFONT TitleFont() const { return titleFont_; }
    HFONT MediumFont() const { return mediumFont_; }
    HFONT SmallFont() const { return smallFont_; }
    // Borrowed: MyCWnd never deletes it (its owner is the derived window,
    // usually through a BackgroundPicture).
    HBITMAP BackgroundBitmap() const { return backgroundBitmap_; }
    void SetBackgroundBitmap(HBITMAP bitmap) { backgroundBitmap_ = bitmap; }
    const ButtonSkin& FirstButtonSkin() const { return firstSkin_; }
    const ButtonSkin& SecondButtonSkin() const { return secondSkin_; }

protected:
    HBRUSH backgroundBrush_;  // not owned
    AutoDeleteUiObjectFont titleFont_;
    AutoDeleteUiObjectFont mediumFont_;
    AutoDeleteUiObjectFont smallFont_;
    // Creation fields.
    HINSTANCE instance_;
    HICON icon_;
    DWORD style_;
    RECT rect_;  // screen position and size at creation
    std::wstring className_;
    std::wstring title_;

    HBITMAP backgroundBitmap_;  // borrowed
    BitmapImage spareBitmap_;
    ButtonSkin firstSkin_;
    ButtonSkin secondSkin_;
};

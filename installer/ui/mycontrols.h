// Child controls of the toolkit: thin wrappers over the system's BUTTON,
// STATIC, COMBOBOX and EDIT classes, most of them subclassed, with buttons
// and the progress bar drawn from skin bitmaps. Controls are created hidden;
// owners show them with SetVisible. Texts are narrow PStringX.
#pragma once
#include <windows.h>

#include "pstring.h"
#include "uiobjects.h"

class MyBaseControl {
public:
    MyBaseControl() : savedProc_(nullptr), control_(nullptr) {}
    // A subclassed control gets its saved procedure back.
    virtual ~MyBaseControl();
    MyBaseControl(const MyBaseControl&) = delete;
    MyBaseControl& operator=(const MyBaseControl&) = delete;

    HWND Handle() const { return control_; }

    // Passes the message to the saved procedure, or to the default one.
    virtual LRESULT WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    virtual void Paint();
    virtual void SetText(const char* text);
    // Replaces out with the control's text; its length.
    virtual int GetText(PString& out);

    // Installs the shared control procedure, keeping the system's one.
    void Subclass();
    // EnableWindow, then a repaint without erasing.
    void SetEnabled(bool enabled);
    // Sets or clears WS_VISIBLE in the style. Hiding repaints the parent with
    // erasing so that nothing of the control remains.
    void SetVisible(bool visible);
    bool IsVisible() const;

    static LRESULT CALLBACK ControlProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

protected:
    HWND CreateControl(DWORD exStyle, const wchar_t* className, const char* text, DWORD style, int x, int y,
                       int width, int height, HWND parent, int id, HINSTANCE instance);
    // Undoes Subclass; the window may already be gone.
    void Unsubclass();

    WNDPROC savedProc_;
    HWND control_;
};

// A push button drawn from a ButtonSkin. A press and release inside the
// button posts one WM_COMMAND (wParam = control id, lParam = 0) to the parent.
class MyButton : public MyBaseControl {
public:
    static const DWORD kStyle = 0x4001030B;  // WS_CHILD, WS_TABSTOP, BS_CENTER, BS_OWNERDRAW

    void CreateInRect(HWND parent, const RECT& r, int id, const char* text, const ButtonSkin& skin) {
        Create(parent, r.left, r.top, r.right - r.left, r.bottom - r.top, id, text, skin);
    }
    void Create(HWND parent, int x, int y, int width, int height, int id, const char* text,
                const ButtonSkin& skin);

    LRESULT WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override;
    void Paint() override;
    // Keeps the text for drawing and repaints a visible button.
    void SetText(const char* text) override;
    // Draws the face (pressed, disabled, focused or normal bitmap) in three
    // slices and the text centred, 2 pixels right and down while pressed.
    virtual void Draw(HDC dc, bool pressed);

    const ButtonSkin& Skin() const { return skin_; }
    const char* Text() const { return text_.text(); }

protected:
    PString text_;
    ButtonSkin skin_;
};

// A bar of 5-pixel blocks and 2-pixel gaps from a ten-pixel strip (the skin's
// normal bitmap): columns 0-3 left cap, 4 filled, 5 empty, 6-9 right cap.
// Mouse clicks are ignored.
class MyProgressBar : public MyButton {
public:
    LRESULT WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override;
    void Paint() override;
    void Draw(HDC dc, bool pressed) override;

    int Percentage() const { return percentage_; }
    // Clamped to 0..100; the owner repaints the bar.
    void SetPercentage(int percentage) {
        percentage_ = percentage < 0 ? 0 : percentage > 100 ? 100 : percentage;
    }

private:
    int percentage_ = 0;
};

class MyStaticBox : public MyBaseControl {
public:
    void CreateInRect(HWND parent, const RECT& r, int id, const char* text, DWORD extraStyle) {
        Create(parent, r.left, r.top, r.right - r.left, r.bottom - r.top, id, text, extraStyle);
    }
    void Create(HWND parent, int x, int y, int width, int height, int id, const char* text, DWORD extraStyle);
};

class MyCheckBox : public MyBaseControl {
public:
    void CreateInRect(HWND parent, const RECT& r, int id, const char* text, DWORD extraStyle) {
        Create(parent, r.left, r.top, r.right - r.left, r.bottom - r.top, id, text, extraStyle);
    }
    void Create(HWND parent, int x, int y, int width, int height, int id, const char* text, DWORD extraStyle);
};

// A drop-down list; not subclassed.
class MyComboBox : public MyBaseControl {
public:
    void CreateInRect(HWND parent, const RECT& r, int id) {
        Create(parent, r.left, r.top, r.right - r.left, r.bottom - r.top, id);
    }
    void Create(HWND parent, int x, int y, int width, int height, int id);
};

// An edit box with a client edge; not subclassed.
class MyEditBox : public MyBaseControl {
public:
    void CreateInRect(HWND parent, const RECT& r, int id, bool readOnly, bool multiLine, bool wantReturn,
                      bool autoHScroll, bool vScroll) {
        Create(parent, r.left, r.top, r.right - r.left, r.bottom - r.top, id, readOnly, multiLine, wantReturn,
               autoHScroll, vScroll);
    }
    void Create(HWND parent, int x, int y, int width, int height, int id, bool readOnly, bool multiLine,
                bool wantReturn, bool autoHScroll, bool vScroll);
};

// DrawText of a PStringX text in (x, y, x + width, y + height) with the
// given format plus DT_WORDBREAK; the text's height.
int DrawTextInBox(HDC dc, int x, int y, int width, int height, const char* text, UINT format);

// Gives a created control a font (WM_SETFONT, not redrawn); nothing for a
// control not yet created or a null font. The caller keeps the font alive.
void SetControlFont(const MyBaseControl& control, HFONT font);
// A child window's rectangle in its parent's client coordinates; empty for
// a null child or one whose rectangle cannot be read.
RECT ChildRectInParent(HWND child, HWND parent);

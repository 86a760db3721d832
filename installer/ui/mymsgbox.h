// The skinned message box with one or two bitmap buttons.
#pragma once
#include <windows.h>

#include "dpiscale.h"
#include "mycontrols.h"
#include "pstring.h"
#include "uiobjects.h"

// Results of MyMessageBox (the system's IDYES, IDNO and IDCLOSE values).
enum : int {
    kMyMsgBoxNoAnswer = 0,      // WM_QUIT arrived first, or the box could not be shown
    kMyMsgBoxFirstButton = 6,
    kMyMsgBoxSecondButton = 7,
    kMyMsgBoxClosed = 8,        // WM_CLOSE: Alt+F4 or the system menu
};

// One box, shown modally by Run. Texts are PStringX.
class MyMsgBox {
public:
    static const int kFirstButtonId = 6;
    static const int kSecondButtonId = 7;

    MyMsgBox(HWND owner, const char* caption, const char* text, const char* firstButton, const char* secondButton,
             const ButtonSkin& secondSkin, const ButtonSkin& firstSkin, HFONT font);
    MyMsgBox(const MyMsgBox&) = delete;
    MyMsgBox& operator=(const MyMsgBox&) = delete;

    // Shows the box with the given outer size (in pixels at 96 DPI, scaled
    // with everything in the box to the owner's DPI, or the system's without
    // one), centred on the owner (or the
    // desktop), disables the owner and runs the modal loop until the box is
    // answered or WM_QUIT arrives (not posted again). The owner is enabled
    // again only if this box disabled it. Returns at once with 0 when the box
    // window cannot be created; a box destroyed from outside counts as closed.
    int Run(int width, int height);

    // The box window while Run is active.
    HWND Handle() const { return box_; }

    static LRESULT CALLBACK BoxProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

private:
    void Paint();
    void LayOutButtons();
    // Places the buttons for the current DPI.
    void PlaceButtons();
    // The box's own font at the current DPI, when the caller gave none.
    void MakeOwnFont();
    void OnDpiChanged(int dpi, const RECT& suggested);

    HWND owner_;
    PString caption_;
    PString text_;
    PString firstText_;
    PString secondText_;
    bool hasSecond_;
    HFONT font_;
    ButtonSkin secondSkin_;
    ButtonSkin firstSkin_;
    AutoDeleteUiObjectFont ownFont_;
    HWND box_;
    DpiScale scale_;
    MyButton firstButton_;
    MyButton secondButton_;
    int result_;
};

// owner, secondButton and font may be null. Note the order of the skins: the
// sixth argument dresses the second button, the seventh the first.
int MyMessageBox(HWND owner, const char* caption, const char* text, const char* firstButton,
                 const char* secondButton, const ButtonSkin& secondSkin, const ButtonSkin& firstSkin, HFONT font,
                 int width, int height);

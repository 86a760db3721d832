// The install window itself: made from the configuration, its fonts, skins
// and brushes at the page's DPI, its messages and commands dispatched to the
// page (installpage_win.cpp), its language and texts (installtexts_win.cpp)
// and its worker (installreports_win.cpp), its painting and its boxes.
#define PASSERT_SOURCE "MorvanditeInstall"
#include "installwindow.h"

#include <cstring>
#include <memory>

#include "buildvariant.h"
#include "config.h"
#include "diskspace.h"
#include "displaydpi.h"
#include "environment.h"
#include "installfailure.h"
#include "locales.h"
#include "msgids.h"
#include "mymsgbox.h"
#include "pagelayout.h"
#include "pencoding.h"
#include "perror.h"
#include "plog.h"
#include "ppathtext.h"
#include "psyscalls.h"
#include "punique.h"
#include "startup.h"
#include "tracking.h"
#include "uifont.h"
#include "unattended.h"

namespace {

constexpr COLORREF kPageColour = 0xF4F4F4;
constexpr COLORREF kBarColour = 0xD0D0D0;
constexpr COLORREF kBarLineColour = 0x999999;
constexpr COLORREF kLinkColour = 0xFF0000;       // blue
constexpr COLORREF kShortSpaceColour = 0x0000C0;  // dark red
constexpr int kBarLeft = 197;
constexpr int kProgressBitmap = 217;
constexpr int kHandCursor = 220;

HINSTANCE Module() { return ModuleInstance ? ModuleInstance : GetModuleHandleA(nullptr); }
}  // namespace

// ---- Construction and resources ----------------------------------------------------

MorvanditeInstallWindow::MorvanditeInstallWindow(const wchar_t* className, const wchar_t* title, DWORD style,
                                                 const RECT& rect, HINSTANCE instance, HICON icon,
                                                 int titleFontHeight, const char* commandLine)
    : MyCWnd(titleFontHeight),
      configured_(false),
      damageNoticePosted_(false),
      quitPosted_(false),
      quitCode_(0) {
    commandLine_.Parse(commandLine);

    InstallerConfiguration config;
    if (!LoadInstallerConfiguration(config))
        return;  // logged; nothing to create
    mainWindowClass_ = config.mainWindowClass;
    site_ = config.site;
    ApplyConfiguration(config, options_);

    className_ = className ? className : L"";
    title_ = title ? title : L"";
    rect_ = rect;
    instance_ = instance;
    style_ = style;
    icon_ = icon;

    RECT desktop;
    if (GetWindowRect(GetDesktopWindow(), &desktop)) {
        const LONG dw = desktop.right - desktop.left;
        const LONG dh = desktop.bottom - desktop.top;
        const LONG w = rect.right - rect.left;
        const LONG h = rect.bottom - rect.top;
        rect_.left = (dw - w) / 2;
        rect_.right = (dw + w) / 2;
        rect_.top = (dh - h) / 2;
        rect_.bottom = (dh + h) / 2;
    }

    SetBackgroundBitmap(nullptr);
    try {
        LoadBackgroundPicture(*this, background_);
    } catch (const PError& e) {
        // The page is still usable on its plain background.
        LogLine("Background picture: %s", e.why());
    }
    configured_ = true;
}

MorvanditeInstallWindow::~MorvanditeInstallWindow() {
    // No message may reach a half-destroyed object.
    if (window_ && PGetWindowLong(window_, GWL_USERDATA) == reinterpret_cast<LONG>(this))
        PSetWindowLong(window_, GWL_USERDATA, 0);
    // The worker thread uses its object (a member) to the end: after success
    // it still writes its last log line, so it must be done before we go.
    if (worker_.IsRunning() && worker_.RunState() == kRunStatePaused)
        worker_.SetRunState(kRunStateStopRequested);
    worker_.WaitUntilEnded();
    SetBackgroundBitmap(nullptr);
    background_.bitmap.Reset();
}

void MorvanditeInstallWindow::GetClientSize(SIZE& size) {
    size = LayoutClientSize(kInstallLayout, kInstallLayoutRowCount);
    size.cx = scale_(size.cx);
    size.cy = scale_(size.cy);
}

void MorvanditeInstallWindow::CreateFonts() {
    // A message box open over the page (a DPI change while it asks) still
    // draws with the fonts it was given: they are kept until the next change.
    AutoDeleteUiObjectFont* current[] = {&headingFont_, &skinFontLarge_, &subHeadingFont_,
                                         &skinFontSmall_, &bodyFont_,    &linkFont_};
    for (size_t i = 0; i < sizeof current / sizeof current[0]; ++i)
        retiredFonts_[i] = static_cast<HFONT>(current[i]->Detach());
    InterfaceFont face = SelectInterfaceFont();
    const int dpi = scale_.Dpi();
    headingFont_ = CreateInterfaceFont(face, 28, 700, false, dpi);
    skinFontLarge_ = CreateInterfaceFont(face, 28, 700, false, dpi);
    face.base.lfQuality = 6;  // CLEARTYPE_NATURAL_QUALITY for everything smaller
    subHeadingFont_ = CreateInterfaceFont(face, 17, 600, false, dpi);
    skinFontSmall_ = CreateInterfaceFont(face, 17, 600, false, dpi);
    bodyFont_ = CreateInterfaceFont(face, 15, 400, false, dpi);
    linkFont_ = CreateInterfaceFont(face, 15, 400, true, dpi);
    // The skins name the fonts; the message boxes take copies of two skins.
    skinA_.font = skinFontSmall_;
    skinB_.font = skinFontSmall_;
    skinC_.font = skinFontLarge_;
    skinD_.font = skinFontLarge_;
    firstSkin_ = skinA_;
    secondSkin_ = skinB_;
}

void MorvanditeInstallWindow::LoadResources() {
    MyCWnd::LoadResources();

    // The window exists: it opened on a monitor whose DPI it now has. The
    // page takes that DPI, or less where that monitor cannot hold it.
    scale_ = DpiScale(PageDpiOn(MonitorFromWindow(window_, MONITOR_DEFAULTTONEAREST), WindowDpi(window_)));
    CreateFonts();

    HINSTANCE module = Module();
    handCursor_.Load(module, kHandCursor);
    pageBrush_ = CreateSolidBrush(kPageColour);
    barBrush_ = CreateSolidBrush(kBarColour);
    backgroundBrush_ = pageBrush_;

    static const int kSkinBitmaps[16] = {210, 213, 211, 218, 214, 216, 215, 219,
                                         221, 223, 222, 224, 225, 227, 226, 228};
    for (int i = 0; i < 16; ++i)
        skinBitmaps_[i].Load(module, kSkinBitmaps[i]);

    auto fill = [this](ButtonSkin& skin, int first, int width, int height, HFONT font) {
        skin.bitmapWidth = width;
        skin.height = height;
        skin.normal = skinBitmaps_[first];
        skin.pressed = skinBitmaps_[first + 1];
        skin.focused = skinBitmaps_[first + 2];
        skin.disabled = skinBitmaps_[first + 3];
        skin.font = font;
        skin.textColor = 0xFFFFFF;
        skin.disabledTextColor = 0xC0C0C0;
    };
    fill(skinA_, 0, 51, 34, skinFontSmall_);
    fill(skinB_, 4, 51, 34, skinFontSmall_);
    fill(skinC_, 8, 47, 46, skinFontLarge_);
    fill(skinD_, 12, 47, 46, skinFontLarge_);

    firstSkin_ = skinA_;
    secondSkin_ = skinB_;
    spareBitmap_.Load(module, kProgressBitmap);
}

// ---- Messages -------------------------------------------------------------------------

int MorvanditeInstallWindow::OnCommand(WPARAM wParam, LPARAM lParam) {
    const int id = LOWORD(wParam);
    const int notification = HIWORD(wParam);
    switch (id) {
    case kIdCancel:
        ConfirmCancel();
        return 1;
    case kIdLocationEdit:
        if (notification == EN_CHANGE) {
            PString text;
            locationEdit_.GetText(text);
            // An emptied box keeps what it showed; only Install follows it.
            if (!text.empty())
                UpdateDiskSpace(text.text());
            else
                UpdateInstallButton();
        }
        return 1;
    case kIdAgreement:
        UpdateInstallButton();
        return 1;
    case kIdLanguageList:
        if (notification == CBN_SELENDOK)
            OnLanguageChange();
        return 1;
    case kIdInstall:
        StartInstall();
        return 1;
    case kIdBrowse:
        Browse();
        return 1;
    case kIdAgreementLink:
        if (notification == STN_CLICKED)
            OpenTermsOfService();
        return 1;
    default:
        return 0;
    }
}

LRESULT MorvanditeInstallWindow::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    try {
        switch (message) {
        case WM_DESTROY:
            Quit(kExitClientRunning);
            return 1;
        case WM_CLOSE:
            ConfirmCancel();
            return 1;
        case WM_SETCURSOR:
            if (reinterpret_cast<HWND>(wParam) == agreementLink_.Handle() && agreementLink_.Handle()) {
                SetCursor(handCursor_);
                return 1;
            }
            return 0;
        case WM_DRAWITEM: {
            const DRAWITEMSTRUCT* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
            if (item && item->hwndItem && (PGetWindowLong(item->hwndItem, GWL_STYLE) & 0x0B))
                PSendMessage(item->hwndItem, WM_DRAWITEM, wParam, lParam);
            return 1;
        }
        case WM_CTLCOLORSTATIC: {
            HDC dc = reinterpret_cast<HDC>(wParam);
            HWND control = reinterpret_cast<HWND>(lParam);
            if (control == agreementLink_.Handle())
                SetTextColor(dc, kLinkColour);
            // Short space, and a folder that cannot be used, in dark red.
            if (control == spaceAvailable_.Handle() && plan_.freeBytes < plan_.requiredBytes)
                SetTextColor(dc, kShortSpaceColour);
            if (control == spaceRequired_.Handle() && !plan_.FolderUsable())
                SetTextColor(dc, kShortSpaceColour);
            if (control == installingLabel_.Handle()) {
                SetBkColor(dc, kBarColour);
                return reinterpret_cast<LRESULT>(barBrush_.Get());
            }
            SetBkColor(dc, kPageColour);
            return reinterpret_cast<LRESULT>(pageBrush_.Get());
        }
        case WM_INSTALL_STATUS:
            OnWorkerMessage(wParam, lParam);
            return 1;
        case WM_PAYLOAD_DAMAGED:
            EndAsDamaged();
            return 1;
        case WM_GETDPISCALEDSIZE: {
            // The window's size at the new DPI, so that the rectangle the
            // system then suggests holds exactly the scaled page.
            if (!lParam || !DpiScaledWindowSize(window_, LayoutClientSize(kInstallLayout, kInstallLayoutRowCount),
                                                int(wParam), *reinterpret_cast<SIZE*>(lParam)))
                return 0;  // the system scales the size itself
            return 1;
        }
        case WM_DPICHANGED:
            if (lParam)
                OnDpiChanged(LOWORD(wParam), *reinterpret_cast<const RECT*>(lParam));
            return 0;  // the default procedure has nothing to add
        default:
            return 0;
        }
    } catch (...) {
        LogLine("Error in main loop");
        return 1;
    }
}

void MorvanditeInstallWindow::OnPaint() {
    const PaintScope painting(window_);
    if (HDC dc = painting.dc()) {
        SetBkMode(dc, TRANSPARENT);
        RECT cancel = ChildRectInParent(cancelButton_.Handle(), window_);
        RECT client;
        GetClientRect(window_, &client);
        const int top = cancel.top - scale_(15);
        const int left = scale_(kBarLeft);
        RECT bar = {left, top, client.right, client.bottom};
        FillRect(dc, &bar, barBrush_);
        AutoDeleteUiObjectPen pen;
        pen = CreatePen(PS_SOLID, scale_(1), kBarLineColour);
        const SelectedObject selectedPen(dc, pen.Get());
        MoveToEx(dc, left, top, nullptr);
        LineTo(dc, client.right, top);
    }
}

int MorvanditeInstallWindow::AskBox(const char* caption, const char* text, const char* first, const char* second,
                                    const ButtonSkin& secondSkin, const ButtonSkin& firstSkin, int width,
                                    int height) {
    int answer =
        MyMessageBox(window_, caption, text, first, second, secondSkin, firstSkin, bodyFont_, width, height);
    // The box's own loop ends on WM_QUIT without posting it again; the
    // process must still end with the code we chose.
    if (answer == kMyMsgBoxNoAnswer && quitPosted_)
        PostQuitMessage(quitCode_);
    return answer;
}

void MorvanditeInstallWindow::ShowErrorBox(MsgRef text) {
    PString caption = MsgString(TXTINS_Installing_N0, options_.displayName.text());
    AskBox(caption.text(), MsgString(text).text(), MsgString(TXTINS_OK).text(), nullptr, FirstButtonSkin(),
           FirstButtonSkin(), 394, 212);
}

void MorvanditeInstallWindow::Quit(int code) {
    quitPosted_ = true;
    quitCode_ = code;
    PostQuitMessage(code);
}

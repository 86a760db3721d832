// uigallery: one window with every control of the toolkit in both button
// looks, the progress bar, the side picture, the message box and the folder
// browser, for looking at the toolkit and for screenshots.
//
//   uigallery [--ansi] [--locale CODE] [--screenshot FILE.bmp]
//
// --ansi forces the ANSI system calls (as the installer does under Wine).
// --screenshot saves the window as a 24-bit BMP, then the window with a
// message box over it as FILE-msgbox.bmp, answers the box and exits (0 on
// success).
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "background.h"
#include "folderbrowser.h"
#include "locales.h"
#include "msgids.h"
#include "mycontrols.h"
#include "mymsgbox.h"
#include "mywindow.h"
#include "pencoding.h"
#include "perror.h"
#include "ppmsg.h"
#include "psyscalls.h"
#include "punique.h"
#include "uifont.h"

namespace {

const UINT WM_CAPTURE = WM_APP + 1;
const COLORREF kPage = 0xF4F4F4, kBar = 0xD0D0D0;

enum ControlId {
    IdLanguage = 1001,
    kIdInstall = 1002,
    kIdBrowse = 1005,
    kIdCancel = 105,
    IdLocation = 133,
    IdAgree = 151,
    IdAsk = 2001,
    IdAskOne = 2002,
    IdStep = 2003,
    IdToggle = 2004,
};

// Saves the screen rectangle r as a bottom-up 24-bit BMP.
bool SaveScreenRect(const RECT& r, const char* path) {
    const int w = r.right - r.left, h = r.bottom - r.top;
    if (w <= 0 || h <= 0)
        return false;
    BITMAPINFO bi = {};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = w;
    bi.bmiHeader.biHeight = h;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 24;
    bi.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    UniqueGdiObject shot;
    {
        const UniqueWindowDc screen(nullptr);
        shot.reset(CreateDIBSection(screen.get(), &bi, DIB_RGB_COLORS, &bits, nullptr, 0));
        if (!shot || !bits)
            return false;
        const UniqueMemoryDc memory(CreateCompatibleDC(screen.get()));
        const SelectedObject selected(memory.get(), shot.get());
        BitBlt(memory.get(), 0, 0, w, h, screen.get(), r.left, r.top, SRCCOPY);
        GdiFlush();
    }

    const uint32_t stride = (uint32_t(w) * 3 + 3) & ~3u;
    const uint32_t imageSize = stride * uint32_t(h);
    BITMAPFILEHEADER fh = {};
    fh.bfType = 0x4D42;
    fh.bfOffBits = sizeof fh + sizeof bi.bmiHeader;
    fh.bfSize = fh.bfOffBits + imageSize;
    bi.bmiHeader.biSizeImage = imageSize;
    bool ok = false;
    if (UniqueStdioFile f{std::fopen(path, "wb")}) {
        ok = std::fwrite(&fh, sizeof fh, 1, f.get()) == 1 &&
             std::fwrite(&bi.bmiHeader, sizeof bi.bmiHeader, 1, f.get()) == 1 &&
             std::fwrite(bits, imageSize, 1, f.get()) == 1;
        ok = std::fclose(f.release()) == 0 && ok;  // the buffered tail must reach the file
    }
    return ok;
}

class GalleryWindow : public MyCWnd {
public:
    explicit GalleryWindow(const char* screenshotPath) : MyCWnd(20), screenshot_(screenshotPath) {
        instance_ = GetModuleHandleA(nullptr);
        icon_ = LoadIconA(instance_, MAKEINTRESOURCEA(101));
        style_ = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
        className_ = L"MorvanditeUiGallery";
        title_ = L"Morvandite toolkit gallery";
        RECT desktop;
        GetWindowRect(GetDesktopWindow(), &desktop);
        const int w = 715, h = 574;
        rect_ = {(desktop.right - w) / 2, (desktop.bottom - h) / 2, (desktop.right + w) / 2,
                 (desktop.bottom + h) / 2};
        try {
            LoadBackgroundPicture(*this, picture_);
        }
        catch (const PError& e) {
            std::fprintf(stderr, "uigallery: %s\n", e.why());
        }
    }

    void GetClientSize(SIZE& size) override { size = {715, 574}; }

    void LoadResources() override {
        MyCWnd::LoadResources();
        InterfaceFont face = SelectInterfaceFont();
        heading_ = CreateInterfaceFont(face, 28, 700);
        skinLarge_ = CreateInterfaceFont(face, 28, 700);
        face.base.lfQuality = 6;  // CLEARTYPE_NATURAL_QUALITY from here on
        subHeading_ = CreateInterfaceFont(face, 17, 600);
        skinSmall_ = CreateInterfaceFont(face, 17, 600);
        body_ = CreateInterfaceFont(face, 15, 400);
        link_ = CreateInterfaceFont(face, 15, 400, true);
        page_ = CreateSolidBrush(kPage);
        bar_ = CreateSolidBrush(kBar);
        backgroundBrush_ = page_;

        const int ids[16] = {210, 213, 211, 218, 214, 216, 215, 219, 221, 223, 222, 224, 225, 227, 226, 228};
        for (int i = 0; i < 16; ++i)
            skinBitmaps_[i].Load(instance_, ids[i]);
        const struct {
            int width, height, first;
            HFONT font;
        } looks[4] = {{51, 34, 0, skinSmall_}, {51, 34, 4, skinSmall_}, {47, 46, 8, skinLarge_},
                      {47, 46, 12, skinLarge_}};
        for (int i = 0; i < 4; ++i) {
            ButtonSkin& s = skins_[i];
            s.bitmapWidth = looks[i].width;
            s.height = looks[i].height;
            s.normal = skinBitmaps_[looks[i].first].Get();
            s.pressed = skinBitmaps_[looks[i].first + 1].Get();
            s.focused = skinBitmaps_[looks[i].first + 2].Get();
            s.disabled = skinBitmaps_[looks[i].first + 3].Get();
            s.font = looks[i].font;
            s.textColor = 0xFFFFFF;
            s.disabledTextColor = 0xC0C0C0;
        }
        firstSkin_ = skins_[0];
        secondSkin_ = skins_[1];
        spareBitmap_.Load(instance_, 217);
        progressSkin_.bitmapWidth = 13;
        progressSkin_.height = 21;
        progressSkin_.normal = spareBitmap_.Get();
    }

    void Build() {
        HWND w = window_;
        Label(titleLabel_, 215, 15, 480, 36, "Morvandite toolkit", heading_);
        Label(languagePrompt_, 215, 60, 480, 22, "Language", subHeading_);
        language_.Create(w, 215, 84, 260, 200, IdLanguage);
        Font(language_, body_);
        for (const char* code : {"en", "fr", "de", "ru", "el", "ja"}) {
            int32_t i = FindLocale(code);
            if (i < 0)
                continue;
            PString name;
            LanguageName(name, uint32_t(i));
            LRESULT item = PComboAddString(language_.Handle(), name.text(), &PStringXEncoding);
            PSendMessage(language_.Handle(), CB_SETITEMDATA, WPARAM(item), LPARAM(i));
            if (i == CurrentLocale || item == 0)
                PSendMessage(language_.Handle(), CB_SETCURSEL, WPARAM(item), 0);
        }
        language_.SetVisible(true);

        Separator(separator1_, 120);
        Label(optionsHeading_, 215, 128, 480, 22, "Options", subHeading_);
        Check(desktop_, 215, 152, 141, true, true);
        Check(quickLaunch_, 215, 172, 142, false, true);
        Check(allUsers_, 215, 192, 150, true, false);

        Separator(separator2_, 220);
        Label(locationHeading_, 215, 228, 480, 22, "", subHeading_);
        location_.Create(w, 215, 258, 330, 21, IdLocation, false, false, false, true, false);
        Font(location_, body_);
        location_.SetText("C:\\Program Files\\Morvandite");
        location_.SetVisible(true);
        browse_.Create(w, 555, 251, 140, 34, kIdBrowse, "", skins_[0]);
        browse_.SetVisible(true);
        notes_.Create(w, 215, 292, 330, 50, 0, true, true, false, false, true);
        Font(notes_, body_);
        PSetWindowText(notes_.Handle(),
                       "A read-only, multi-line edit box.\nIts second line.\nA third line to scroll to.",
                       &PStringXEncoding, true);
        notes_.SetVisible(true);

        // Small buttons: both looks, enabled and disabled.
        const char* smallTexts[4] = {"Secondary", "Primary", "Disabled", "Disabled"};
        for (int i = 0; i < 4; ++i) {
            int x = 215 + (i % 2) * 150, y = 352 + (i / 2) * 40;
            small_[i].Create(w, x, y, 140, 34, i < 2 ? (i == 0 ? IdAskOne : IdAsk) : 0, smallTexts[i],
                             skins_[i % 2]);
            small_[i].SetEnabled(i < 2);
            small_[i].SetVisible(true);
        }
        step_.Create(w, 555, 352, 140, 34, IdStep, "+ 15 %", skins_[1]);
        step_.SetVisible(true);
        toggle_.Create(w, 555, 392, 140, 34, IdToggle, "Toggle", skins_[0]);
        toggle_.SetVisible(true);

        Label(answer_, 215, 432, 480, 20, "Click a button.", body_);
        agree_.Create(w, 215, 455, 480, 36, IdAgree, "", BS_TOP);
        Font(agree_, body_);
        agree_.SetVisible(true);

        // The bottom bar: progress on the left, the large buttons on the right.
        installing_.Create(w, 215, 503, 180, 20, 0, "", SS_CENTER);
        Font(installing_, body_);
        installing_.SetVisible(true);
        progress_.Create(w, 215, 525, 180, 34, 114, nullptr, progressSkin_);
        progress_.SetPercentage(60);
        progress_.SetVisible(true);
        install_.Create(w, 405, 515, 140, 46, kIdInstall, "", skins_[3]);
        install_.SetVisible(true);
        cancel_.Create(w, 555, 515, 140, 46, kIdCancel, "", skins_[2]);
        cancel_.SetVisible(true);
        Retext();
    }

    // Texts from the message table in the current locale.
    void Retext() {
        PString title = MsgString(TXTINS_Install_Morvandite, "Morvandite");
        PSetWindowText(window_, title.text(), &PStringXMessageEncoding, false);
        locationHeading_.SetText(MsgString(TXTINS_Install_location).text());
        browse_.SetText(MsgString(TXTINS_BrowseXX).text());
        desktop_.SetText(MsgString(TXTINS_Desktop_shortcut).text());
        quickLaunch_.SetText(MsgString(TXTINS_Quick_launch_shortcut).text());
        allUsers_.SetText(MsgString(TXTINS_Create_shortcut_for_all_users__ELL).text());
        agree_.SetText(MsgString(TXTINS_I_agree_to_terms_of_the_Morvan_ELL, "Morvandite").text());
        install_.SetText(MsgString(TXTINS_Install).text());
        cancel_.SetText(MsgString(TXTINS_Cancel).text());
        installing_.SetText(MsgString(TXTINS_InstallingXX).text());
        InvalidateRect(window_, nullptr, TRUE);
    }

    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override {
        switch (message) {
        case WM_CLOSE:
            DestroyWindow(window_);
            return 1;
        case WM_DESTROY:
            PostQuitMessage(0);
            return 1;
        case WM_CTLCOLORSTATIC: {
            HDC dc = reinterpret_cast<HDC>(wParam);
            bool onBar = reinterpret_cast<HWND>(lParam) == installing_.Handle();
            SetBkColor(dc, onBar ? kBar : kPage);
            return reinterpret_cast<LRESULT>(onBar ? bar_.Get() : page_.Get());
        }
        case WM_CAPTURE:
            Capture();
            return 1;
        }
        return 0;
    }

    void OnPaint() override {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(window_, &ps);
        RECT client, cancel;
        GetClientRect(window_, &client);
        GetWindowRect(cancel_.Handle(), &cancel);
        MapWindowPoints(nullptr, window_, reinterpret_cast<POINT*>(&cancel), 2);
        RECT barRect = {197, cancel.top - 15, client.right, client.bottom};
        FillRect(dc, &barRect, bar_);
        {
            const UniqueGdiObject pen(CreatePen(PS_SOLID, 1, 0x999999));
            const SelectedObject selected(dc, pen.get());
            MoveToEx(dc, 197, cancel.top - 15, nullptr);
            LineTo(dc, client.right, cancel.top - 15);
        }
        EndPaint(window_, &ps);
    }

    int OnCommand(WPARAM wParam, LPARAM lParam) override {
        switch (LOWORD(wParam)) {
        case IdAsk:
        case kIdCancel: {
            PString text = MsgString(TXTINS_Are_you_sure_you_wish_to_cance_ELL_1);
            text.append("\n\n");
            AppendMsg(text, TXTINS_Click_XResumeX_to_continue_ins_ELL);
            int r = MyMessageBox(window_, MsgString(TXTINS_Installing_N0, "Morvandite").text(), text.text(),
                                 MsgString(TXTINS_Resume).text(), MsgString(TXTINS_Cancel).text(), firstSkin_,
                                 secondSkin_, body_, 394, 212);
            ShowAnswer(r);
            return 1;
        }
        case IdAskOne:
        case kIdInstall: {
            int r = MyMessageBox(window_, MsgString(TXTINS_Installing_N0, "Morvandite").text(),
                                 MsgString(TXTINS_Disk_write_errorX_Check_if_the_ELL).text(),
                                 MsgString(TXTINS_OK).text(), nullptr, firstSkin_, firstSkin_, body_, 394, 212);
            ShowAnswer(r);
            return 1;
        }
        case IdStep:
            progress_.SetPercentage(progress_.Percentage() >= 100 ? 0 : progress_.Percentage() + 15);
            InvalidateRect(progress_.Handle(), nullptr, TRUE);
            return 1;
        case IdToggle:
            enabled_ = !enabled_;
            for (MyBaseControl* c : std::vector<MyBaseControl*>{&small_[0], &small_[1], &browse_, &install_,
                                                                &language_, &location_, &desktop_})
                c->SetEnabled(enabled_);
            return 1;
        case kIdBrowse: {
            PString current;
            location_.GetText(current);
            PString prompt = MsgString(TXTINS_Select_the_folder_to_install_N_ELL, "Morvandite");
            PString chosen;
            if (BrowseForFolder(window_, prompt.text(), current.text(), BrowseCallback,
                                reinterpret_cast<LPARAM>(&current), chosen, &PStringXEncoding) < 0)
                answer_.SetText("The folder browser is missing.");
            else if (!chosen.empty())
                location_.SetText(chosen.text());
            return 1;
        }
        case IdLanguage:
            if (HIWORD(wParam) == CBN_SELENDOK) {
                LRESULT item = PSendMessage(language_.Handle(), CB_GETCURSEL, 0, 0);
                CurrentLocale = int32_t(PSendMessage(language_.Handle(), CB_GETITEMDATA, WPARAM(item), 0));
                Retext();
            }
            return 1;
        case IdAgree:
            return 1;
        }
        return 0;
    }

    bool captured() const { return captured_; }

private:
    void Label(MyStaticBox& box, int x, int y, int w, int h, const char* text, HFONT font) {
        box.Create(window_, x, y, w, h, 0, text, 0);
        Font(box, font);
        box.SetVisible(true);
    }
    void Separator(MyStaticBox& box, int y) {
        box.Create(window_, 215, y, 480, 2, 0, nullptr, SS_SUNKEN);
        box.SetVisible(true);
    }
    void Check(MyCheckBox& box, int x, int y, int id, bool checked, bool enabled) {
        box.Create(window_, x, y, 480, 20, id, "", BS_MULTILINE);
        Font(box, body_);
        PSendMessage(box.Handle(), BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
        EnableWindow(box.Handle(), enabled);
        box.SetVisible(true);
    }
    void Font(MyBaseControl& c, HFONT f) { PSendMessage(c.Handle(), WM_SETFONT, reinterpret_cast<WPARAM>(f), FALSE); }

    void ShowAnswer(int r) {
        char text[64];
        std::snprintf(text, sizeof text, "The message box answered %d.", r);
        answer_.SetText(text);
    }

public:
    // Screenshot mode: the window alone, then (from inside the message box's
    // loop) the window with the box over it, saved as FILE-msgbox.bmp.
    bool CaptureAlone() {
        RedrawWindow(window_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
        GdiFlush();
        return SaveScreenRect(ClientOnScreen(window_), screenshot_);
    }

    void Capture() {
        HWND box = FindWindowA("MyMsgBox", nullptr);
        if (!box)
            return;
        RedrawWindow(window_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
        RedrawWindow(box, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
        GdiFlush();
        RECT area = ClientOnScreen(window_), b = ClientOnScreen(box);
        UnionRect(&area, &area, &b);
        std::string path(screenshot_);
        if (path.size() > 4 && !lstrcmpiA(path.c_str() + path.size() - 4, ".bmp"))
            path.resize(path.size() - 4);
        path += "-msgbox.bmp";
        captured_ = SaveScreenRect(area, path.c_str());
        PostMessageA(box, WM_CLOSE, 0, 0);
    }

    static RECT ClientOnScreen(HWND w) {
        RECT r;
        GetClientRect(w, &r);
        MapWindowPoints(w, nullptr, reinterpret_cast<POINT*>(&r), 2);
        return r;
    }

private:
    const char* screenshot_;
    bool captured_ = false;
    bool enabled_ = true;
    BackgroundPicture picture_;
    AutoDeleteUiObjectFont heading_, subHeading_, body_, link_, skinSmall_, skinLarge_;
    AutoDeleteUiObjectBrush page_, bar_;
    AutoDeleteUiObjectBitmap skinBitmaps_[16];
    ButtonSkin skins_[4];
    ButtonSkin progressSkin_;

    MyStaticBox titleLabel_, languagePrompt_, optionsHeading_, locationHeading_, answer_, installing_;
    MyStaticBox separator1_, separator2_;
    MyComboBox language_;
    MyCheckBox desktop_, quickLaunch_, allUsers_, agree_;
    MyEditBox location_, notes_;
    MyButton browse_, small_[4], step_, toggle_, install_, cancel_;
    MyProgressBar progress_;
};

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    const char* screenshot = nullptr;
    const char* locale = nullptr;
    for (int i = 1; i < __argc; ++i) {
        if (!std::strcmp(__argv[i], "--ansi"))
            SetWideApiMode(-1);
        else if (!std::strcmp(__argv[i], "--screenshot") && i + 1 < __argc)
            screenshot = __argv[++i];
        else if (!std::strcmp(__argv[i], "--locale") && i + 1 < __argc)
            locale = __argv[++i];
    }
    LoadShellFunctions();
    LoadMessageTable();
    if (locale && FindLocale(locale) >= 0)
        CurrentLocale = FindLocale(locale);
    int exitCode = 0;
    try {
        const ComInitialization com;  // uninitialised before the message table goes
        GalleryWindow gallery(screenshot);
        if (!gallery.Create(nullptr))
            return 2;
        gallery.Build();
        gallery.Show();
        if (screenshot) {
            bool alone = gallery.CaptureAlone();
            PostMessageA(gallery.Handle(), WM_CAPTURE, 0, 0);
            gallery.OnCommand(IdAsk, 0);
            exitCode = alone && gallery.captured() ? 0 : 3;
            DestroyWindow(gallery.Handle());
        }
        MSG msg;
        while (PGetMessage(&msg, nullptr, 0, 0) > 0) {
            TranslateMessage(&msg);
            PDispatchMessage(&msg);
        }
    }
    catch (const PError& e) {
        std::fprintf(stderr, "uigallery: %s\n", e.why());
        exitCode = 1;
    }
    FreeMessageTable();
    return exitCode;
}

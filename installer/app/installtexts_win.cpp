// The install window's language and texts: the language list, the texts
// of every row in the chosen language, the fonts fitted to translations too
// long for their controls, and the notice of another installer shown before
// the page exists.
#define PASSERT_SOURCE "MorvanditeInstall"
#include "installwindow.h"

#include "displaydpi.h"
#include "locales.h"
#include "msgids.h"
#include "mymsgbox.h"
#include "pagelayout.h"
#include "pencoding.h"
#include "psyscalls.h"
#include "punique.h"
#include "startup.h"

PString MorvanditeInstallWindow::RowText(int row) const {
    const MsgRef message = kInstallLayout[row].message;
    if (!message.table)
        return PString();
    return MsgString(message, options_.displayName.text());
}

bool MorvanditeInstallWindow::TakeInstallLock() {
    PWString name;
    ToWide(name, options_.displayName.text(), &PStringXEncoding);
    name.terminate();
    if (installLock_.Acquire(name.wide()))
        return true;
    // Before the page exists: the language -lang names, else the system's.
    int32_t locale = FindLocale(commandLine_.Switches.localeCode.text());
    if (locale < 0)
        locale = FindLocale(DefaultLocaleCode());
    if (locale >= 0)
        CurrentLocale = locale;
    const PString caption = MsgString(TXTINS_Install_N0_Software, options_.displayName.text());
    const PString text = MsgString(TXTINS_Another_N0_installer_is_runni_ELL, options_.displayName.text());
    ShowStartupNotice(caption.text(), text.text(), 394, 212);
    return false;
}

void MorvanditeInstallWindow::FillLanguageList(int32_t selected) {
    HWND list = languageList_.Handle();
    if (!list)
        return;
    for (LocaleIterator it; !it.atEnd(); it.next()) {
        PString name;
        LanguageName(name, it.index());
        LRESULT item = PComboAddString(list, name.text(), &PStringXEncoding);
        if (item < 0)
            continue;
        PSendMessage(list, CB_SETITEMDATA, WPARAM(item), LPARAM(it.index()));
        if (int32_t(it.index()) == selected)
            PSendMessage(list, CB_SETCURSEL, WPARAM(item), 0);
    }
}

void MorvanditeInstallWindow::NarrowLanguageList(const RECT& rect) {
    HWND list = languageList_.Handle();
    if (!list)
        return;
    LONG widest = 0;
    {
        const UniqueWindowDc dc(list);
        const SelectedObject listFont(dc.get(), reinterpret_cast<HFONT>(PSendMessage(list, WM_GETFONT, 0, 0)));
        for (LocaleIterator it; !it.atEnd(); it.next()) {
            PString name;
            LanguageName(name, it.index());
            RECT m = {0, 0, 0, 0};
            PDrawText(dc.get(), name.text(), &PStringXEncoding, &m, DT_CALCRECT | DT_SINGLELINE);
            if (m.right - m.left > widest)
                widest = m.right - m.left;
        }
    }

    // Narrow the list to its longest name. Its client area includes the
    // drop-down button and the frame, which the names must not run under.
    RECT client;
    if (!GetClientRect(list, &client))
        return;
    const int dpi = scale_.Dpi();
    const LONG wanted =
        widest + scale_(8) + SystemMetricForDpi(SM_CXVSCROLL, dpi) + 2 * SystemMetricForDpi(SM_CXEDGE, dpi);
    if (wanted < client.right - client.left) {
        RECT r = ChildRectInParent(list, window_);
        LONG width = (r.right - r.left) - ((client.right - client.left) - wanted);
        // The height given at creation is the dropped-down list's height.
        MoveWindow(list, r.left, r.top, width, rect.bottom - rect.top, TRUE);
    }
}

void MorvanditeInstallWindow::SetLanguage(int32_t locale) {
    if (locale == CurrentLocale)
        return;
    CurrentLocale = locale;

    const char* displayName = options_.displayName.text();
    if (window_)
        PSetWindowText(window_, MsgString(TXTINS_Install_Morvandite, displayName).text(), &PStringXEncoding, false);

    static const int kBeforeSpace[] = {kRowTitle,   kRowLanguagePrompt, kRowLanguageNote,  kRowOptionsHeading,
                                       kRowDesktop, kRowQuickLaunch,    kRowStartMenu,     kRowBrowserButton,
                                       kRowAllUsers, kRowLocationHeading, kRowLocationHint, kRowBrowse};
    for (int row : kBeforeSpace)
        ControlOfRow(row).SetText(RowText(row).text());

    // The figures describe the folder in the edit box, which the user may
    // have changed since the page was built.
    PString path;
    if (locationEdit_.Handle())
        locationEdit_.GetText(path);
    UpdateDiskSpace(path.empty() ? options_.installFolder.text() : path.text());

    agreementBox_.SetText(RowText(kRowAgreement).text());
    agreementLink_.SetText(RowText(kRowAgreementLink).text());
    LayOutAgreement(locale);
    for (int row : {kRowInstall, kRowCancel, kRowInstalling})
        ControlOfRow(row).SetText(RowText(row).text());
    FitTexts();

    if (window_)
        InvalidateRect(window_, nullptr, TRUE);
}

void MorvanditeInstallWindow::OnLanguageChange() {
    HWND list = languageList_.Handle();
    LRESULT item = PSendMessage(list, CB_GETCURSEL, 0, 0);
    if (item < 0)
        return;
    int32_t chosen = int32_t(PSendMessage(list, CB_GETITEMDATA, WPARAM(item), 0));
    if (chosen == CurrentLocale)
        return;
    if (!LanguageSupported(uint32_t(chosen))) {
        PString name;
        LanguageNameIn(name, CurrentLocale, uint32_t(chosen));
        PString caption = MsgString(TXTINS_N0_Language_Support, name.text());
        PString text;
        LanguageSupportText(text, name.text(), uint32_t(chosen));
        int answer = AskBox(caption.text(), text.text(), MsgString(TXTINS_Continue).text(),
                            MsgString(TXTINS_Cancel).text(), FirstButtonSkin(), SecondButtonSkin(), 394, 302);
        if (answer == kMyMsgBoxSecondButton) {
            chosen = CurrentLocale;
            LRESULT count = PSendMessage(list, CB_GETCOUNT, 0, 0);
            for (LRESULT i = 0; i < count; ++i) {
                if (int32_t(PSendMessage(list, CB_GETITEMDATA, WPARAM(i), 0)) == CurrentLocale) {
                    PSendMessage(list, CB_SETCURSEL, WPARAM(i), 0);
                    break;
                }
            }
        }
    }
    if (chosen != CurrentLocale)
        SetLanguage(chosen);
}

namespace {
// The largest size of font's face, at most its own and at least smallest, in
// which text fits into width pixels on one line: font itself when it fits,
// otherwise a new font that the caller owns.
HFONT FittingFont(HWND control, const char* text, HFONT font, int width, int smallest) {
    const UniqueWindowDc dc(control);
    auto measure = [&](HFONT f) {
        const SelectedObject selected(dc.get(), f);
        RECT m = {0, 0, 0, 0};
        PDrawText(dc.get(), text, &PStringXEncoding, &m, DT_CALCRECT | DT_SINGLELINE);
        return int(m.right - m.left);
    };
    const int natural = measure(font);
    HFONT chosen = font;
    LOGFONTA lf;
    if (natural > width && width > 0 && GetObjectA(font, sizeof lf, &lf)) {
        const LONG sign = lf.lfHeight < 0 ? -1 : 1;
        const LONG full = lf.lfHeight * sign;
        // From the proportional size down until it fits.
        LONG height = MulDiv(full, width, natural);
        if (height >= full)
            height = full - 1;
        for (; height >= smallest; --height) {
            lf.lfHeight = height * sign;
            UniqueGdiObject candidate(CreateFontIndirectA(&lf));
            if (!candidate)
                break;
            if (measure(static_cast<HFONT>(candidate.get())) <= width || height == smallest) {
                chosen = static_cast<HFONT>(candidate.release());
                break;
            }
        }
    }
    return chosen;
}

// Takes over a fitted font once the control has stopped using the old one.
void KeepFitted(AutoDeleteUiObjectFont& owner, HFONT chosen, HFONT base) {
    if (chosen == base)
        owner.Reset();
    else
        owner = chosen;
}
}  // namespace

void MorvanditeInstallWindow::FitTexts() {
    struct ButtonFit {
        PageButton* button;
        HFONT base;
    };
    const ButtonFit buttons[] = {{&browseButton_, skinA_.font}, {&installButton_, skinD_.font},
                                 {&cancelButton_, skinC_.font}};
    int slot = 0;
    for (const ButtonFit& b : buttons) {
        AutoDeleteUiObjectFont& owner = fittedFonts_[slot++];
        HWND h = b.button->Handle();
        if (!h || !b.base)
            continue;
        RECT client;
        GetClientRect(h, &client);
        HFONT chosen =
            FittingFont(h, b.button->Text(), b.base, client.right - 2 * scale_(kButtonTextMargin), scale_(8));
        b.button->SetFont(chosen);
        KeepFitted(owner, chosen, b.base);
    }
    // The option boxes have one line of 20 pixels: a longer text would wrap
    // out of sight.
    for (int row : {kRowDesktop, kRowQuickLaunch, kRowStartMenu, kRowBrowserButton, kRowAllUsers}) {
        AutoDeleteUiObjectFont& owner = fittedFonts_[slot++];
        MyBaseControl& box = ControlOfRow(row);
        if (!box.Handle() || !bodyFont_.Get())
            continue;
        RECT client;
        GetClientRect(box.Handle(), &client);
        PString text;
        box.GetText(text);
        HFONT chosen = FittingFont(box.Handle(), text.text(), bodyFont_,
                                   client.right - SystemMetricForDpi(SM_CXHTHUMB, scale_.Dpi()), scale_(8));
        PSendMessage(box.Handle(), WM_SETFONT, reinterpret_cast<WPARAM>(chosen), TRUE);
        KeepFitted(owner, chosen, bodyFont_);
    }
}

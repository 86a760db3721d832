// The install page's rows and the placing of one row at a DPI.
#define PASSERT_SOURCE "MorvanditeInstall"
#include "pagelayout.h"

#include <cstring>

#include "displaydpi.h"
#include "locales.h"
#include "msgids.h"
#include "pencoding.h"
#include "psyscalls.h"
#include "punique.h"

namespace {
constexpr MsgRef kNoMessage{nullptr, 0};
}  // namespace

// clang-format off
const ControlLayout kInstallLayout[kInstallLayoutRowCount] = {
    {kLayoutLabel,            215,  15, 480,   0, TXTINS_Install_N0_Software, ""},
    {kLayoutLabel,            215,  70, 480,   0, TXTINS_Please_select_your_languageX, ""},
    {kLayoutDropDownList,     215,  95, 400, 200, kNoMessage, ""},
    {kLayoutWrappingLabel,    215, 120, 480,   0, TXTINS_NoteX_You_can_change_your_lang_ELL, ""},
    {kLayoutLabel,            215, 160,   0,   2, kNoMessage, ""},
    {kLayoutLabel,            215, 170, 480,   0, TXTINS_Installation_OptionsX, ""},
    {kLayoutCheckBox,         215, 195, 480,  20, TXTINS_Desktop_shortcut, ""},
    {kLayoutCheckBox,         215, 215, 480,  20, TXTINS_Quick_launch_shortcut, ""},
    {kLayoutCheckBox,         215, 235, 480,  20, TXTINS_Start_menu_shortcut, ""},
    {kLayoutCheckBox,         215, 255, 480,  20, TXTINS_Internet_Explorer_toolbar_butt_ELL, ""},
    {kLayoutCheckBox,         215, 275, 480,  20, TXTINS_Create_shortcut_for_all_users__ELL, ""},
    {kLayoutLabel,            215, 305,   0,   2, kNoMessage, ""},
    {kLayoutLabel,            215, 310, 480,   0, TXTINS_Install_location, ""},
    {kLayoutEditBox,          215, 333, 330,  21, kNoMessage, ""},
    {kLayoutButton,           555, 326, 140,  34, TXTINS_BrowseXX, ""},
    {kLayoutWrappingLabel,    215, 360, 480,   0, TXTINS_Choose_install_location_Xif_di_ELL, ""},
    {kLayoutLabel,            215, 380, 480,  20, TXTINS_Space_requiredX_N0_N1, ""},
    {kLayoutLabel,            215, 400, 480,  20, TXTINS_Space_availableX_N0_N1, ""},
    {kLayoutLabel,            215, 425,   0,   2, kNoMessage, ""},
    {kLayoutWrappingCheckBox, 215, 435, 480,   0, TXTINS_I_agree_to_terms_of_the_Morvan_ELL, ""},
    {kLayoutLabel,            215, 445, 480,   0, TXTINS_View_Agreement, ""},
    {kLayoutButton,           405, 515, 140,  46, TXTINS_Install, ""},
    {kLayoutButton,           555, 515, 140,  46, TXTINS_Cancel, ""},
    {kLayoutLabel,            215, 515, 320,  34, TXTINS_InstallingXX, ""},
    {kLayoutButton,           215, 540, 320,  34, kNoMessage, ""},
};
// clang-format on

SIZE LayoutClientSize(const ControlLayout* rows, int count) {
    SIZE size = {200, 390};
    for (int i = 0; i < count; ++i) {
        const ControlLayout& r = rows[i];
        if (r.x && r.width && r.x + r.width > size.cx)
            size.cx = r.x + r.width;
        if (r.y && r.height && r.y + r.height > size.cy)
            size.cy = r.y + r.height;
    }
    size.cx += 20;
    return size;
}

RECT LayoutControl(const ControlLayout& row, const RECT& parent, HFONT font, int32_t locale, const char* argument,
                   int dpi) {
    int x, width, y, height;
    ScaleSpanToDpi(row.x, row.width, dpi, x, width);
    ScaleSpanToDpi(row.y, row.height, dpi, y, height);
    RECT r;
    r.left = x;
    r.top = y;
    r.right = width ? x + width : parent.right;
    r.bottom = height ? y + height : parent.bottom;

    // Owned: formatting a message may throw.
    const UniqueMemoryDc memory(CreateCompatibleDC(nullptr));
    HDC dc = memory.get();
    const SelectedObject selectedFont(dc, font ? static_cast<HGDIOBJ>(font) : GetStockObject(DEFAULT_GUI_FONT));
    TEXTMETRICA tm;
    if (!GetTextMetricsA(dc, &tm))
        std::memset(&tm, 0, sizeof tm);

    UINT flags = DT_WORDBREAK;
    int margin = 0;
    int extraHeight = 0;
    switch (row.kind) {
    case kLayoutEditBox:
        flags |= DT_SINGLELINE;
        [[fallthrough]];
    case kLayoutFramedText:
        margin = 2 * SystemMetricForDpi(SM_CXDLGFRAME, dpi);
        extraHeight = 3 * SystemMetricForDpi(SM_CXEDGE, dpi);
        break;
    case kLayoutCheckBox:
    case kLayoutRadioButton:
        flags |= DT_SINGLELINE;
        [[fallthrough]];
    case kLayoutWrappingCheckBox:
    case kLayoutWrappingRadioButton:
        margin = SystemMetricForDpi(SM_CXHTHUMB, dpi);
        break;
    default:
        break;
    }

    if (row.message.table && (row.width == 0 || row.height == 0)) {
        const char* arg = argument ? argument : row.argument;
        LONG largestRight = 0;
        LONG largestBottom = 0;
        auto measure = [&](int32_t l) {
            PString text;
            i18nFormatMsg(text, InstallerLocales, l, row.message, arg);
            RECT m = {margin, 0, r.right - r.left, 0};
            PDrawText(dc, text.text(), &PStringXEncoding, &m, DT_CALCRECT | flags);
            if (m.right > largestRight)
                largestRight = m.right;
            if (m.bottom > largestBottom)
                largestBottom = m.bottom;
        };
        if (locale < 0) {
            for (LocaleIterator it; !it.atEnd(); it.next())
                measure(int32_t(it.index()));
        }
        else {
            measure(locale);
        }
        if (row.width == 0)
            r.right = r.left + largestRight;
        if (row.height == 0)
            r.bottom = r.top + largestBottom + extraHeight;
    }
    else if (row.height == 0) {
        r.bottom = r.top + tm.tmExternalLeading + tm.tmInternalLeading + tm.tmHeight + extraHeight;
    }

    if (r.right > parent.right)
        r.right = parent.right;
    if (r.bottom > parent.bottom)
        r.bottom = parent.bottom;
    return r;
}

// The install page's layout: one row per control with its place at 96 DPI
// and the message it shows, the rows and control ids by name, and the
// placing of a row inside its parent at a given DPI. Windows only. The
// functions never fail (text that cannot be measured counts as empty), keep
// no state and are called on the thread that owns the page (the main one).
#pragma once
#include <windows.h>

#include <cstdint>

#include "dpiscale.h"
#include "ppmsg.h"

enum LayoutKind : int32_t {
    LayoutLabel = 1,
    LayoutWrappingLabel = 2,
    LayoutEditBox = 3,
    LayoutFramedText = 4,
    LayoutButton = 5,
    LayoutCheckBox = 6,
    LayoutWrappingCheckBox = 7,
    LayoutRadioButton = 8,
    LayoutWrappingRadioButton = 9,
    LayoutDropDownList = 10,
};

// One row of the page: 0 width or height means "measure the text".
struct ControlLayout {
    int32_t kind;
    int32_t x, y, width, height;
    MsgRef message;        // table null: none
    const char* argument;  // %0 when the message is measured
};

constexpr int InstallLayoutRowCount = 25;
extern const ControlLayout InstallLayout[InstallLayoutRowCount];

// Rows of InstallLayout by what they hold.
enum InstallLayoutRow : int {
    RowTitle = 0,
    RowLanguagePrompt = 1,
    RowLanguageList = 2,
    RowLanguageNote = 3,
    RowSeparator1 = 4,
    RowOptionsHeading = 5,
    RowDesktop = 6,
    RowQuickLaunch = 7,
    RowStartMenu = 8,
    RowBrowserButton = 9,
    RowAllUsers = 10,
    RowSeparator2 = 11,
    RowLocationHeading = 12,
    RowLocationEdit = 13,
    RowBrowse = 14,
    RowLocationHint = 15,
    RowSpaceRequired = 16,
    RowSpaceAvailable = 17,
    RowSeparator3 = 18,
    RowAgreement = 19,
    RowAgreementLink = 20,
    RowInstall = 21,
    RowCancel = 22,
    RowInstalling = 23,
    RowProgress = 24,
};

// Control ids of the page (labels without one have 0).
enum InstallControlId : int {
    IdCancel = 105,
    IdProgress = 114,
    IdLocationEdit = 133,
    IdDesktop = 141,
    IdQuickLaunch = 142,
    IdStartMenu = 143,
    IdBrowserButton = 144,
    IdAllUsers = 150,
    IdAgreement = 151,
    IdLanguageList = 1001,
    IdInstall = 1002,
    IdBrowse = 1005,
    IdAgreementLink = 1006,
};

// The page's client size: the largest right and bottom edges of the rows
// that have both a position and a size (at least 200 by 390), plus a
// 20-pixel margin on the right. 715 by 574 for InstallLayout.
SIZE LayoutClientSize(const ControlLayout* rows, int count);

// Where a row's control goes inside parent. A missing width or height is
// measured from the row's message in every offered locale (locale -1, the
// %0 argument being `argument`, or the row's own when null) or in one
// locale, with font (null: the stock GUI font); then clipped to parent. The
// row's pixels are those of 96 DPI, scaled by their edges to dpi; font and
// parent are already at dpi.
RECT LayoutControl(const ControlLayout& row, const RECT& parent, HFONT font, int32_t locale,
                   const char* argument = nullptr, int dpi = DesignDpi);

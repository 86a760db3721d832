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
    kLayoutLabel = 1,
    kLayoutWrappingLabel = 2,
    kLayoutEditBox = 3,
    kLayoutFramedText = 4,
    kLayoutButton = 5,
    kLayoutCheckBox = 6,
    kLayoutWrappingCheckBox = 7,
    kLayoutRadioButton = 8,
    kLayoutWrappingRadioButton = 9,
    kLayoutDropDownList = 10,
};

// One row of the page: 0 width or height means "measure the text".
struct ControlLayout {
    int32_t kind;
    int32_t x, y, width, height;
    MsgRef message;        // table null: none
    const char* argument;  // %0 when the message is measured
};

constexpr int kInstallLayoutRowCount = 25;
extern const ControlLayout kInstallLayout[kInstallLayoutRowCount];

// Rows of kInstallLayout by what they hold.
enum InstallLayoutRow : int {
    kRowTitle = 0,
    kRowLanguagePrompt = 1,
    kRowLanguageList = 2,
    kRowLanguageNote = 3,
    kRowSeparator1 = 4,
    kRowOptionsHeading = 5,
    kRowDesktop = 6,
    kRowQuickLaunch = 7,
    kRowStartMenu = 8,
    kRowBrowserButton = 9,
    kRowAllUsers = 10,
    kRowSeparator2 = 11,
    kRowLocationHeading = 12,
    kRowLocationEdit = 13,
    kRowBrowse = 14,
    kRowLocationHint = 15,
    kRowSpaceRequired = 16,
    kRowSpaceAvailable = 17,
    kRowSeparator3 = 18,
    kRowAgreement = 19,
    kRowAgreementLink = 20,
    kRowInstall = 21,
    kRowCancel = 22,
    kRowInstalling = 23,
    kRowProgress = 24,
};

// Control ids of the page (labels without one have 0).
enum InstallControlId : int {
    kIdCancel = 105,
    kIdProgress = 114,
    kIdLocationEdit = 133,
    kIdDesktop = 141,
    kIdQuickLaunch = 142,
    kIdStartMenu = 143,
    kIdBrowserButton = 144,
    kIdAllUsers = 150,
    kIdAgreement = 151,
    kIdLanguageList = 1001,
    kIdInstall = 1002,
    kIdBrowse = 1005,
    kIdAgreementLink = 1006,
};

// The page's client size: the largest right and bottom edges of the rows
// that have both a position and a size (at least 200 by 390), plus a
// 20-pixel margin on the right. 715 by 574 for kInstallLayout.
SIZE LayoutClientSize(const ControlLayout* rows, int count);

// Where a row's control goes inside parent. A missing width or height is
// measured from the row's message in every offered locale (locale -1, the
// %0 argument being `argument`, or the row's own when null) or in one
// locale, with font (null: the stock GUI font); then clipped to parent. The
// row's pixels are those of 96 DPI, scaled by their edges to dpi; font and
// parent are already at dpi.
RECT LayoutControl(const ControlLayout& row, const RECT& parent, HFONT font, int32_t locale,
                   const char* argument = nullptr, int dpi = kDesignDpi);

// The installer's typeface: the first installed of five faces, each with a
// size scale so that the faces look alike in size.
#pragma once
#include <windows.h>

#include <set>
#include <string>

struct InterfaceFont {
    LOGFONTA base;  // all zeros with the face name, or the stock GUI font's
    int scale;      // percent applied to nominal heights
};

struct FaceNameLess {
    bool operator()(const std::string& a, const std::string& b) const {
        return lstrcmpiA(a.c_str(), b.c_str()) < 0;
    }
};
using FaceNameSet = std::set<std::string, FaceNameLess>;

// The face names of the installed font families (any character set).
FaceNameSet InstalledFaceNames();
// Picks from the table "Calibri" 100, "Segoe UI" 100, "Tahoma" 85, "Arial"
// 90, "Microsoft Sans Serif" 100; with none installed the stock
// DEFAULT_GUI_FONT at 100.
InterfaceFont SelectInterfaceFont(const FaceNameSet& installed);
InterfaceFont SelectInterfaceFont();
// lfHeight of a font of nominal height n: (scale * n + 50) / 100.
int ScaledFontHeight(const InterfaceFont& font, int nominalHeight);
// A font from a copy of the base with the scaled height (and that scaled
// from 96 to dpi), weight and underline set; the caller owns it.
HFONT CreateInterfaceFont(const InterfaceFont& font, int nominalHeight, int weight, bool underline = false,
                          int dpi = 96);

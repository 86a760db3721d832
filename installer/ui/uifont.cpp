#include "uifont.h"

#include <cstring>

#include "dpiscale.h"
#include "punique.h"

namespace {
struct FaceChoice {
    const char* face;
    int scale;
};
const FaceChoice kFaces[] = {
    {"Calibri", 100}, {"Segoe UI", 100}, {"Tahoma", 85}, {"Arial", 90}, {"Microsoft Sans Serif", 100},
};

int CALLBACK CollectFace(const LOGFONTA* lf, const TEXTMETRICA*, DWORD, LPARAM set) {
    reinterpret_cast<FaceNameSet*>(set)->insert(lf->lfFaceName);
    return 1;
}
}  // namespace

FaceNameSet InstalledFaceNames() {
    FaceNameSet names;
    const UniqueMemoryDc dc(CreateCompatibleDC(nullptr));
    if (!dc)
        return names;
    LOGFONTA lf;
    std::memset(&lf, 0, sizeof lf);
    lf.lfCharSet = DEFAULT_CHARSET;
    EnumFontFamiliesExA(dc.get(), &lf, CollectFace, reinterpret_cast<LPARAM>(&names), 0);
    return names;
}

InterfaceFont SelectInterfaceFont(const FaceNameSet& installed) {
    InterfaceFont font;
    std::memset(&font.base, 0, sizeof font.base);
    for (const FaceChoice& c : kFaces) {
        if (installed.count(c.face)) {
            lstrcpynA(font.base.lfFaceName, c.face, LF_FACESIZE);
            font.scale = c.scale;
            return font;
        }
    }
    GetObjectA(GetStockObject(DEFAULT_GUI_FONT), sizeof font.base, &font.base);
    font.scale = 100;
    return font;
}

InterfaceFont SelectInterfaceFont() { return SelectInterfaceFont(InstalledFaceNames()); }

int ScaledFontHeight(const InterfaceFont& font, int nominalHeight) {
    return (font.scale * nominalHeight + 50) / 100;
}

HFONT CreateInterfaceFont(const InterfaceFont& font, int nominalHeight, int weight, bool underline, int dpi) {
    LOGFONTA lf = font.base;
    lf.lfHeight = ScaleToDpi(ScaledFontHeight(font, nominalHeight), dpi);
    lf.lfWeight = weight;
    lf.lfUnderline = underline ? TRUE : FALSE;
    return CreateFontIndirectA(&lf);
}

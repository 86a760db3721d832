// The display-scale arithmetic: lengths designed at 96 DPI, scaled to others.
#include <gtest/gtest.h>

#include "dpiscale.h"

TEST(DpiScale, At96EveryLengthStaysAsDesigned) {
    for (int v : {-28, -1, 0, 1, 2, 15, 197, 574, 715, 0x3FFFFFFF})
        EXPECT_EQ(ScaleToDpi(v, 96), v) << v;
    EXPECT_TRUE(DpiScale(96).IsIdentity());
    // An unknown DPI is the design DPI, not a page of zero size.
    EXPECT_EQ(ScaleToDpi(715, 0), 715);
    EXPECT_EQ(ScaleToDpi(715, -144), 715);
    EXPECT_EQ(DpiScale(0).Dpi(), 96);
    EXPECT_TRUE(DpiScale(-1).IsIdentity());
}

TEST(DpiScale, RoundsToNearestWithHalvesAwayFromZeroLikeMulDiv) {
    EXPECT_EQ(ScaleToDpi(715, 144), 1073);  // 1072.5
    EXPECT_EQ(ScaleToDpi(574, 144), 861);
    EXPECT_EQ(ScaleToDpi(715, 192), 1430);
    EXPECT_EQ(ScaleToDpi(1, 144), 2);   // 1.5
    EXPECT_EQ(ScaleToDpi(1, 120), 1);   // 1.25
    EXPECT_EQ(ScaleToDpi(3, 120), 4);   // 3.75
    EXPECT_EQ(ScaleToDpi(-1, 144), -2); // font heights may be negative
    EXPECT_EQ(ScaleToDpi(-15, 120), -19);
    EXPECT_EQ(ScaleToDpi(15, 120), 19);
    EXPECT_FALSE(DpiScale(144).IsIdentity());
    EXPECT_EQ(DpiScale(144)(28), 42);
    // No overflow on the way: the product is taken in 64 bits.
    EXPECT_EQ(ScaleToDpi(0x3FFFFFFF, 192), 0x7FFFFFFE);
}

TEST(DpiScale, SpansAreScaledByTheirEdgesSoThatNeighboursStillMeet) {
    int x = 0, w = 0;
    ScaleSpanToDpi(215, 480, 96, x, w);
    EXPECT_EQ(x, 215);
    EXPECT_EQ(w, 480);
    // Two rows that meet at 96 DPI (195 + 20 = 215) meet when scaled, even
    // where scaling each length alone would leave a gap or an overlap.
    int y1, h1, y2, h2;
    for (int dpi : {120, 144, 168, 192, 240}) {
        ScaleSpanToDpi(195, 20, dpi, y1, h1);
        ScaleSpanToDpi(215, 20, dpi, y2, h2);
        EXPECT_EQ(y1 + h1, y2) << dpi;
        EXPECT_EQ(y2 + h2, ScaleToDpi(235, dpi)) << dpi;
    }
    ScaleSpanToDpi(1, 1, 144, x, w);  // 1.5 .. 3
    EXPECT_EQ(x, 2);
    EXPECT_EQ(w, 1);
    // A length of 0 is "measure the text" and stays so.
    ScaleSpanToDpi(215, 0, 192, x, w);
    EXPECT_EQ(x, 430);
    EXPECT_EQ(w, 0);
}

// The page (715 x 574 as designed) on screens that hold it and on ones that do
// not: the largest DPI that fits, never more than the display's, never less
// than the design.
TEST(DpiScale, FittingDpiIsTheLargestThatHoldsThePageOnTheScreen) {
    const int frameW = 16, frameH = 39;  // a sizing frame and caption at 144 DPI
    // 1920 x 1080 holds the page at 144 (1073 x 861 and the frame).
    EXPECT_EQ(FittingDpi(144, 715, 574, frameW, frameH, 1920, 1040), 144);
    // 1366 x 768 less a 40-pixel taskbar: 861 + 39 rows do not; at 120 DPI
    // (718 + 39 = 757 > 728) neither; at 115, 688 + 39 = 727 rows do.
    const int fitted = FittingDpi(144, 715, 574, frameW, frameH, 1366, 728);
    EXPECT_EQ(fitted, 115);
    EXPECT_LE(ScaleToDpi(574, fitted) + frameH, 728);
    EXPECT_GT(ScaleToDpi(574, fitted + 1) + frameH, 728) << "not the largest that fits";
    // The width can be what stops it too.
    const int narrow = FittingDpi(192, 715, 574, frameW, frameH, 1024, 2000);
    EXPECT_LE(ScaleToDpi(715, narrow) + frameW, 1024);
    EXPECT_GT(ScaleToDpi(715, narrow + 1) + frameW, 1024);
    // Exactly fitting is fitting.
    EXPECT_EQ(FittingDpi(144, 715, 574, 0, 0, 1073, 861), 144);
    EXPECT_EQ(FittingDpi(144, 715, 574, 0, 0, 1073, 860), 143);
    // Never below the design, however small the screen; never above the display's DPI.
    EXPECT_EQ(FittingDpi(144, 715, 574, frameW, frameH, 640, 480), 96);
    EXPECT_EQ(FittingDpi(96, 715, 574, frameW, frameH, 640, 480), 96);
    EXPECT_EQ(FittingDpi(120, 715, 574, frameW, frameH, 4000, 4000), 120);
    EXPECT_EQ(FittingDpi(0, 715, 574, frameW, frameH, 640, 480), 96);
}

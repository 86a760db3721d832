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

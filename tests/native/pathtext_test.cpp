// Paths looked at as text: the same rules whichever PStringX form a path is in.
#include <gtest/gtest.h>

#include <string>

#include "pencoding.h"
#include "ppathtext.h"

namespace {

// "\x10" + UTF-8: the UTF-8 form of a PStringX text.
std::string U(const std::string& utf8) { return "\x10" + utf8; }

const std::string kCyrillic = "\xD0\x98\xD0\xB3\xD1\x80\xD1\x8B";  // Игры

TEST(PathText, ShapesAreJudgedByCharactersInBothForms) {
    struct Case {
        std::string path;
        PathShape shape;
    } cases[] = {
        {"", PathShape::Empty},
        {"Games", PathShape::Relative},
        {U(kCyrillic), PathShape::Relative},
        {"C:", PathShape::DriveRelative},
        {U("C:"), PathShape::DriveRelative},
        {"C:Games", PathShape::DriveRelative},
        {U("C:" + kCyrillic), PathShape::DriveRelative},
        {"\\Games", PathShape::Rooted},
        {"\\\\server\\share\\x", PathShape::Network},
        {"C:\\", PathShape::DriveRoot},
        {U("C:\\"), PathShape::DriveRoot},
        {"c:/", PathShape::DriveRoot},
        {"C:\\\\", PathShape::DriveRoot},
        {"C:\\Caf\xE9", PathShape::DriveFolder},
        {U("C:\\" + kCyrillic + "\\Morvandite"), PathShape::DriveFolder},
        {"1:\\x", PathShape::Relative},
    };
    for (const Case& c : cases)
        EXPECT_EQ(int(ShapeOfPath(c.path.c_str())), int(c.shape)) << c.path;
}

TEST(PathText, BareDriveAndDriveLetterSeeThroughTheMarker) {
    EXPECT_TRUE(IsBareDrive("C:"));
    EXPECT_TRUE(IsBareDrive(U("d:").c_str()));
    EXPECT_FALSE(IsBareDrive(U("C:\\").c_str()));
    EXPECT_FALSE(IsBareDrive(U(kCyrillic).c_str()));
    EXPECT_FALSE(IsBareDrive("1:"));
    EXPECT_EQ(DriveLetterOf(U("e:\\" + kCyrillic).c_str()), uint32_t('e'));
    EXPECT_EQ(DriveLetterOf("\\\\server\\share"), 0u);
}

TEST(PathText, TheShareOfANetworkPathIsItsFirstTwoNames) {
    EXPECT_EQ(std::string(NetworkShareOf("\\\\server\\share").text()), "\\\\server\\share");
    EXPECT_EQ(std::string(NetworkShareOf("\\\\server\\share\\").text()), "\\\\server\\share");
    EXPECT_EQ(std::string(NetworkShareOf("\\\\server\\share\\Games\\Morv").text()), "\\\\server\\share");
    EXPECT_EQ(std::string(NetworkShareOf("//server/share/Games").text()), "\\\\server\\share");
    EXPECT_EQ(std::string(NetworkShareOf(U("\\\\" + kCyrillic + "\\c$\\x").c_str()).text()),
              U("\\\\" + kCyrillic + "\\c$"));
    for (const char* none : {"", "\\\\", "\\\\server", "\\\\server\\", "\\\\server\\\\share",
                             "\\\\\\server\\share", "\\server\\share", "C:\\Games", "server\\share"})
        EXPECT_TRUE(NetworkShareOf(none).empty()) << none;

    EXPECT_TRUE(IsNetworkShareRoot("\\\\server\\share"));
    EXPECT_TRUE(IsNetworkShareRoot("\\\\server\\share\\"));
    EXPECT_TRUE(IsNetworkShareRoot(U("\\\\" + kCyrillic + "\\c$").c_str()));
    for (const char* other : {"\\\\server", "\\\\server\\", "\\\\server\\share\\Games", "C:", "C:\\", ""})
        EXPECT_FALSE(IsNetworkShareRoot(other)) << other;
}

TEST(PathText, TrimmingNeverTurnsADriveRootIntoTheDriveRelativeForm) {
    struct Case {
        std::string in, out;
    } cases[] = {
        {"C:\\Games\\", "C:\\Games"},
        {"C:\\Games\\\\/", "C:\\Games"},
        {"C:\\", "C:\\"},
        {"C:\\\\", "C:\\"},
        {"C:/", "C:/"},
        {U("C:\\"), U("C:\\")},
        {U("C:\\\\"), U("C:\\")},
        {U("C:\\" + kCyrillic + "\\"), U("C:\\" + kCyrillic)},
        {"\\", "\\"},
        {"", ""},
    };
    for (const Case& c : cases) {
        PString p(c.in.c_str());
        TrimTrailingSeparators(p);
        EXPECT_EQ(std::string(p.text()), c.out) << c.in;
    }
}

TEST(PathText, JoiningAndQuotingKeepEveryCharacterWhateverTheForms) {
    // A 1252 folder and a UTF-8 name, and the other way round.
    PString a = JoinPath("C:\\Caf\xE9", U(kCyrillic).c_str());
    EXPECT_EQ(std::string(a.text()), U("C:\\Caf\xC3\xA9\\" + kCyrillic));
    PString b = JoinPath(U("C:\\" + kCyrillic).c_str(), "Caf\xE9.lnk");
    EXPECT_EQ(std::string(b.text()), U("C:\\" + kCyrillic + "\\Caf\xC3\xA9.lnk"));
    PString c = JoinPath("C:\\Caf\xE9", "\xDC" "ber");
    EXPECT_EQ(std::string(c.text()), "C:\\Caf\xE9\\\xDC" "ber");

    // The marker goes first, never after the quote.
    PString q = QuotedText(U("C:\\" + kCyrillic + "\\x.exe").c_str());
    EXPECT_EQ(std::string(q.text()), U("\"C:\\" + kCyrillic + "\\x.exe\""));
    EXPECT_EQ(std::string(QuotedText("C:\\Caf\xE9").text()), "\"C:\\Caf\xE9\"");
}

}  // namespace

// mkinstaller's check of a release's configuration file: every section the
// installer could not use is refused naming its line and key, and what is
// taken goes into the installer in the form the installer reads.
#include <gtest/gtest.h>

#include <string>

#include "config.h"
#include "configcheck.h"
#include "payloadnames.h"
#include "perror.h"
#include "test_paths.h"

namespace {

using namespace std::string_literals;

const std::string kGood =
    "[define]\r\nname=Larkspur\r\ndispname=Larkspur Cards\r\nmainwnd=LarkspurClass\r\n"
    "site=https://larkspur.example\r\nieB1_1={5E1F7C2A-9B3D-4C8E-A1F6-2D7B9E4C3A10}\r\n";

std::string RefusalOf(const std::string& text) {
    try {
        CheckConfigurationFile(text);
    } catch (const PError& e) {
        return e.why();
    }
    return "(taken)";
}

TEST(ConfigurationCheck, TheShippedSectionAndAUsualOneAreTakenAsTheyAre) {
    const std::string shipped = ReadWholeFile(SourcePath("resources/config.ini"));
    CheckedConfiguration checked = CheckConfigurationFile(shipped);
    EXPECT_EQ(checked.section, shipped);
    EXPECT_TRUE(checked.notes.empty());
    EXPECT_EQ(checked.iconPath, "Morvandite.exe");

    const std::string usual = "; Larkspur's installer\r\n\r\n  [Define]  \r\n" + kGood.substr(10) +
                              "# optional keys\r\nWorkFolderName=Larkspur Data\r\niconPath=bin/Larkspur.exe\r\n"
                              "iconIdx=x1F\r\noverrideUserIni=-1\r\nieB1_2={1FBA04EE-3024-11d2-8F1F-0000F87ABD16}";
    checked = CheckConfigurationFile(usual);
    EXPECT_EQ(checked.section, usual);
    EXPECT_EQ(checked.iconPath, "bin\\Larkspur.exe");
    InstallerConfiguration config;
    ParseConfiguration(checked.section.data(), uint32_t(checked.section.size()), config);
    EXPECT_EQ(config.iconIdx, 0x1F);
    EXPECT_STREQ(config.workFolderName.text(), "Larkspur Data");
}

TEST(ConfigurationCheck, AByteOrderMarkIsLeftOutAndTextOutsideAsciiTakesTheInstallersForm) {
    CheckedConfiguration checked = CheckConfigurationFile("\xEF\xBB\xBF" + kGood);
    EXPECT_EQ(checked.section, kGood);
    ASSERT_EQ(checked.notes.size(), 1u);
    EXPECT_NE(checked.notes[0].find("byte-order mark"), std::string::npos);

    const std::string text =
        "[define]\nname=Lark\xc3\xa9\ndispname=Lark \xe2\x84\xa2 Cards  "
        "\nsite=https://l.example\nmainwnd=C\nieB1_1={5E1F7C2A-9B3D-4C8E-A1F6-2D7B9E4C3A10}\n";
    checked = CheckConfigurationFile(text);
    EXPECT_EQ(
        checked.section,
        "[define]\nname=\x10Lark\xc3\xa9\ndispname=\x10Lark \xe2\x84\xa2 Cards\nsite=https://l.example\nmainwnd=C\n"
        "ieB1_1={5E1F7C2A-9B3D-4C8E-A1F6-2D7B9E4C3A10}\n");
    InstallerConfiguration config;
    ParseConfiguration(checked.section.data(), uint32_t(checked.section.size()), config);
    PString name, shown;
    PStringXToUtf8(config.productName.text(), name);
    PStringXToUtf8(config.displayName.text(), shown);
    EXPECT_STREQ(name.text(), "Lark\xc3\xa9");
    EXPECT_STREQ(shown.text(), "Lark \xe2\x84\xa2 Cards");
}

TEST(ConfigurationCheck, WithoutAWindowClassItIsTakenWithANote) {
    CheckedConfiguration checked = CheckConfigurationFile(
        "[define]\nname=L\ndispname=L\nsite=https://l.example\nieB1_1={5E1F7C2A-9B3D-4C8E-A1F6-2D7B9E4C3A10}\n");
    ASSERT_EQ(checked.notes.size(), 1u);
    EXPECT_NE(checked.notes[0].find("\"mainwnd\""), std::string::npos);
}

TEST(ConfigurationCheck, TheStructureTheInstallersReaderWouldMisreadIsRefusedByLine) {
    const struct {
        std::string text, says;
    } cases[] = {
        {"", "no [define] section"},
        {"; only a comment\n", "no [define] section"},
        {"name=L\n[define]\n", "line 1: \"name\" stands before [define]"},
        {"[define]\nname=L\n[other]\nx=1\n", "line 3: the installer reads no section \"other\""},
        {"[define]\nname=L\n[DEFINE]\n", "line 3: a second [define] (the first is on line 1)"},
        {"[define]\nname=L\njust words\n", "line 3: 'just words' is neither"},
        {"[define]\nname =L\n", "line 2: \"name\" is followed by blanks before '='"},
        {"[define]\nname= L\n", "line 2, \"name\": the value starts with a blank"},
        {"[define]\ncolour=red\n", "line 2: the installer does not know the key \"colour\""},
        {"[define]\nname=L\r\nDispName=A\r\ndispname=B\r\n", "line 4: \"dispname\" again (first on line 3)"},
        {"\xFF\xFE[\0d\0"s, "line 1: the file is saved as UTF-16"},
        {"[define]\nname=L\0\n"s, "line 2: a zero byte"},
        {"[define]\nname=Caf\xe9\n", "line 2: not UTF-8 text"},
    };
    for (const auto& c : cases)
        EXPECT_NE(RefusalOf(c.text).find(c.says), std::string::npos) << c.says << "\n  got: " << RefusalOf(c.text);
}

TEST(ConfigurationCheck, ValuesTheInstallerCannotUseAreRefusedByLineAndKey) {
    const std::string head = "[define]\nmainwnd=C\nieB1_1={5E1F7C2A-9B3D-4C8E-A1F6-2D7B9E4C3A10}\n";  // then line 4 on
    const struct {
        std::string lines, says;
    } cases[] = {
        {"dispname=L\nsite=https://l.example\n", "has no \"name\""},
        {"name=L\nsite=https://l.example\n", "has no \"dispname\""},
        {"name=L\ndispname=L\n", "has no \"site\""},
        {"name=\ndispname=L\nsite=https://l.example\n", "line 4, \"name\": empty"},
        {"name=L\ndispname=\nsite=https://l.example\n", "line 5, \"dispname\": empty"},
        {"name=Lark:spur\ndispname=L\nsite=https://l.example\n", "line 4, \"name\": 'Lark:spur' holds a character"},
        {"name=Larkspur.\ndispname=L\nsite=https://l.example\n", "line 4, \"name\": 'Larkspur.' ends with a dot"},
        {"name=CON\ndispname=L\nsite=https://l.example\n", "line 4, \"name\": 'CON' is a device name"},
        {"name=L\ndispname=Lark\\Spur\nsite=https://l.example\n",
         "line 5, \"dispname\": 'Lark\\Spur' holds a character"},
        {"name=L\ndispname=L\nsite=https://l.example\nWorkFolderName=a/b\n", "line 7, \"WorkFolderName\""},
        {"name=L\ndispname=L\nsite=larkspur.example\n", "line 6, \"site\": 'larkspur.example' is not a web address"},
        {"name=L\ndispname=L\nsite=https://\n", "line 6, \"site\": 'https://' is not a web address"},
        {"name=L\ndispname=L\nsite=https://l.example/\n", "line 6, \"site\": 'https://l.example/' ends with '/'"},
        {"name=L\ndispname=L\nsite=https://l.example/a b\n", "line 6, \"site\": 'https://l.example/a b' holds a blank"},
        {"name=L\ndispname=L\nsite=https://l.example\nieB1_2=D87C7BDB-FC51-4D7D-B65F-AC534187E603\n",
         "line 7, \"ieB1_2\": 'D87C7BDB-FC51-4D7D-B65F-AC534187E603' is not a GUID"},
        {"name=L\ndispname=L\nsite=https://l.example\niconIdx=0x1F\n",
         "line 7, \"iconIdx\": '0x1F' is not a number the installer reads whole (it would read 0)"},
        {"name=L\ndispname=L\nsite=https://l.example\noverrideUserIni=yes\n", "line 7, \"overrideUserIni\": 'yes'"},
        {"name=L\ndispname=L\nsite=https://l.example\niconPath=C:\\L\\L.exe\n",
         "line 7, \"iconPath\": 'C:\\L\\L.exe' must name a file inside"},
        {"name=L\ndispname=L\nsite=https://l.example\niconPath=..\\L.exe\n",
         "line 7, \"iconPath\": '..\\L.exe' is not a file name inside"},
    };
    for (const auto& c : cases)
        EXPECT_NE(RefusalOf(head + c.lines).find(c.says), std::string::npos)
            << c.says << "\n  got: " << RefusalOf(head + c.lines);
    // Without a browser button id the installer would write the button into
    // the browser's Extensions key itself.
    EXPECT_NE(RefusalOf("[define]\nname=L\ndispname=L\nsite=https://l.example\n").find("has no \"ieB1_1\""),
              std::string::npos);
    EXPECT_NE(
        RefusalOf("[define]\nname=L\ndispname=L\nsite=https://l.example\nieB1_1=\n").find("line 5, \"ieB1_1\": empty"),
        std::string::npos);
    // A window class with a backslash could not name the client's mutex.
    EXPECT_NE(RefusalOf("[define]\nname=L\ndispname=L\nsite=https://l.example\n"
                        "ieB1_1={5E1F7C2A-9B3D-4C8E-A1F6-2D7B9E4C3A10}\nmainwnd=Local\\X\n")
                  .find("line 6, \"mainwnd\": a backslash"),
              std::string::npos);
}

}  // namespace

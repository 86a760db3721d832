// The configuration section read from the program's own resources: the shipped
// section (131), one without "define" (132), one with other values (133).
#include <gtest/gtest.h>

#include "buildvariant.h"
#include "config.h"
#include "helpers/captured_log.h"

namespace {

class ConfigurationResource : public ::testing::Test {
protected:
    void SetUp() override { BuildOptions::clear(); }
    void TearDown() override { BuildOptions::clear(); }
};

TEST_F(ConfigurationResource, ShippedSectionLoadsAndSelectsTheLastVariant) {
    InstallerConfiguration config;
    ASSERT_TRUE(LoadInstallerConfiguration(config));
    EXPECT_STREQ(config.productName.text(), "Morvandite");
    EXPECT_STREQ(config.displayName.text(), "Morvandite");
    EXPECT_STREQ(config.mainWindowClass.text(), "MorvanditeLobbyClass");
    EXPECT_STREQ(config.site.text(), "https://www.morvandite.com");
    EXPECT_STREQ(config.iconPath.text(), "Morvandite.exe");
    EXPECT_EQ(BuildOptions::selectedIndex(), 17u);
}

TEST_F(ConfigurationResource, OtherValuesAndTheVariantOfTheirName) {
    InstallerConfiguration config;
    ASSERT_TRUE(LoadInstallerConfiguration(config, 133));
    EXPECT_STREQ(config.productName.text(), "Morvandite.SAR.TOL");
    EXPECT_STREQ(config.site.text(), "");
    EXPECT_EQ(config.iconIdx, 31);
    EXPECT_FALSE(config.overrideUserIni);
    EXPECT_STREQ(config.workFolderName.text(), "Cards Work");
    // ".SAR" (row 8) stands before ".TOL" (row 10).
    EXPECT_EQ(BuildOptions::selectedIndex(), 8u);
}

TEST_F(ConfigurationResource, MissingSectionOrResourceIsLoggedAndChangesNothing) {
    CapturedLog log(ScratchFolder("installer-config"));
    for (int id : {132, 999}) {
        InstallerConfiguration config;
        config.productName = "Untouched";
        EXPECT_FALSE(LoadInstallerConfiguration(config, id)) << id;
        EXPECT_STREQ(config.productName.text(), "Untouched");
        EXPECT_STREQ(config.iconPath.text(), "Morvandite.exe");
        EXPECT_EQ(BuildOptions::selectedIndex(), kBuildVariantCount) << id;
    }
    std::string text = log.Text();
    size_t first = text.find("\nError read configuration\r\n");
    ASSERT_NE(first, std::string::npos);
    EXPECT_NE(text.find("\nError read configuration\r\n", first + 1), std::string::npos);
}

}  // namespace

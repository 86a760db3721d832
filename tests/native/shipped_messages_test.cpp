// The shipped message table: generated from protocols/locales by msgtable,
// loaded through the installer's own loader, and checked in every locale a
// build can offer.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <cstring>
#include <set>
#include <string>

#include "locales.h"
#include "msgids.h"
#include "pencoding.h"
#include "ppmsg.h"
#include "selfcheck.h"
#include "test_paths.h"

namespace {

std::string GenerateShippedResource() {
    const char* tools = std::getenv("MORVANDITE_TOOLS");
    std::string out = ScratchFolder("shipped_messages") + "/messages.bin";
    std::string command = std::string(tools ? tools : "bin") + "/msgtable resource '" +
                          SourcePath("protocols/locales") + "' '" + out + "'";
    int status = std::system(command.c_str());
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return "";
    return ReadWholeFile(out);
}

const char* NameOf(uint32_t id) {
    for (const MsgId& m : InstallerMsgIds)
        if (m.id == id)
            return m.name;
    return "?";
}

// Offered by some build: the locale's flags share a bit with a variant mask.
bool OfferedByAnyBuild(uint32_t locale) { return (InstallerLocaleInfo[locale].flags & LocaleOfferedMask) != 0; }

// Regional locales that carry only their differences and fall back for the rest.
bool CarriesOnlyDifferences(uint32_t locale) {
    return locale == uint32_t(LocaleSpanishLatinAmerica) || locale == uint32_t(LocalePortugueseBrazil);
}

// The installer never asks for the Hindi name (no Hindi locale exists).
bool UsedByInstaller(uint32_t id) {
    return id != 0 && id != TXTINS_Lang_Hindi.id && std::strcmp(NameOf(id), "?") != 0;
}

const char* OwnText(uint32_t locale, uint32_t id) {
    return InstallerMessages.msgData[size_t(locale) * InstallerMessages.count + id].text;
}

// Decodes a PStringX text into code points.
std::u32string CodePoints(const char* text) {
    std::u32string out;
    PStringEncoding::ParserHolder holder;
    PStringXEncoding.createParser(holder);
    holder->init(text, nullptr);
    for (int32_t c; (c = holder->next()) > 0;)
        out += char32_t(c);
    return out;
}

std::set<int> Placeholders(const std::u32string& s) {
    std::set<int> used;
    for (size_t i = 0; i + 1 < s.size(); ++i) {
        if (s[i] != U'%')
            continue;
        size_t j = i + 1;
        if (s[j] == U'%') {
            i = j;
            continue;
        }
        if ((s[j] == U'L' || s[j] == U'l') && j + 1 < s.size())
            ++j;
        if (s[j] >= U'0' && s[j] <= U'9')
            used.insert(int(s[j] - U'0'));
    }
    return used;
}

size_t LineBreaks(const std::u32string& s) {
    size_t n = 0;
    for (char32_t c : s)
        n += c == U'\n';
    return n;
}

class ShippedMessages : public ::testing::Test {
protected:
    static void SetUpTestSuite() { resource_ = GenerateShippedResource(); }
    void SetUp() override {
        ASSERT_FALSE(resource_.empty()) << "msgtable could not generate the table from protocols/locales";
        ASSERT_TRUE(LoadMessageTableFrom(resource_.data(), resource_.size()));
        CurrentLocale = 0;
    }
    void TearDown() override {
        FreeMessageTable();
        CurrentLocale = 0;
    }
    static inline std::string resource_;
};

TEST_F(ShippedMessages, EveryMessageResolvesInEveryOfferedLocale) {
    for (uint32_t locale = 0; locale < InstallerLocaleCount; ++locale) {
        if (!OfferedByAnyBuild(locale))
            continue;
        for (uint32_t id = 1; id < InstallerMessageCount; ++id) {
            if (!UsedByInstaller(id))
                continue;
            PString s;
            i18nFormatMsg(s, InstallerLocales, int32_t(locale), MsgRef{&InstallerMessages, id}, "<A0>", "<A1>");
            std::string text = s.text();
            EXPECT_FALSE(text.empty()) << InstallerLocaleInfo[locale].code << " " << NameOf(id);
            EXPECT_NE(text.rfind("LC_", 0), 0u) << InstallerLocaleInfo[locale].code << " " << NameOf(id);
            // The arguments the English text shows are shown in every locale.
            std::set<int> english = Placeholders(CodePoints(OwnText(0, id)));
            EXPECT_EQ(text.find("<A0>") != std::string::npos, english.count(0) == 1)
                << InstallerLocaleInfo[locale].code << " " << NameOf(id) << ": " << text;
            EXPECT_EQ(text.find("<A1>") != std::string::npos, english.count(1) == 1)
                << InstallerLocaleInfo[locale].code << " " << NameOf(id) << ": " << text;
        }
    }
}

// A rebranded release shows its own name: no text a user sees names the
// product itself; the brand's display name (or, in the usage text, the file
// the user ran) comes in through a placeholder.
TEST_F(ShippedMessages, NoTextNamesTheProductItself) {
    const MsgRef brandNamed[] = {TXTINS_Install_Morvandite, TXTINS_Welcome_to_the_Morvandite_Setu_ELL,
                                 TXTINS_Install_Morvandite_Software, TXTINS_I_agree_to_terms_of_the_Morvan_ELL,
                                 TXTINS_Install_the_software_and_open__ELL, TXTINS_UsageX_MorvanditeInstallXexe_X_ELL};
    for (uint32_t locale = 0; locale < InstallerLocaleCount; ++locale) {
        for (uint32_t id = 1; id < InstallerMessageCount; ++id) {
            if (!UsedByInstaller(id))
                continue;
            PString s;
            i18nFormatMsg(s, InstallerLocales, int32_t(locale), MsgRef{&InstallerMessages, id}, "<A0>", "<A1>");
            const std::string text = s.text();
            EXPECT_EQ(text.find("Morvandite"), std::string::npos)
                << InstallerLocaleInfo[locale].code << " " << NameOf(id) << ": " << text;
        }
        for (const MsgRef& msg : brandNamed) {
            PString s;
            i18nFormatMsg(s, InstallerLocales, int32_t(locale), msg, "Larkspur Poker", "<A1>");
            EXPECT_NE(std::string(s.text()).find("Larkspur Poker"), std::string::npos)
                << InstallerLocaleInfo[locale].code << " " << NameOf(msg.id) << ": " << s.text();
        }
    }
    PString usage;
    i18nFormatMsg(usage, InstallerLocales, 0, TXTINS_UsageX_MorvanditeInstallXexe_X_ELL, "LarkspurInstall.exe");
    EXPECT_EQ(std::string(usage.text()).rfind("Usage: LarkspurInstall.exe [-silent] ", 0), 0u) << usage.text();
}

TEST_F(ShippedMessages, TranslationsKeepPlaceholdersAndLineBreaks) {
    for (uint32_t locale = 1; locale < InstallerLocaleCount; ++locale) {
        for (uint32_t id = 1; id < InstallerMessageCount; ++id) {
            const char* text = OwnText(locale, id);
            if (!text)
                continue;
            std::u32string mine = CodePoints(text), english = CodePoints(OwnText(0, id));
            EXPECT_EQ(Placeholders(mine), Placeholders(english)) << InstallerLocaleInfo[locale].code << " " << NameOf(id);
            EXPECT_EQ(LineBreaks(mine), LineBreaks(english)) << InstallerLocaleInfo[locale].code << " " << NameOf(id);
        }
    }
}

TEST_F(ShippedMessages, EveryOfferedLocaleIsCompletelyTranslated) {
    for (uint32_t locale = 1; locale < InstallerLocaleCount; ++locale) {
        if (!OfferedByAnyBuild(locale) || CarriesOnlyDifferences(locale))
            continue;
        std::string missing;
        for (uint32_t id = 1; id < InstallerMessageCount; ++id)
            if (UsedByInstaller(id) && !OwnText(locale, id))
                missing += std::string(" ") + NameOf(id);
        EXPECT_EQ(missing, "") << InstallerLocaleInfo[locale].code << " lacks";
    }
}

TEST_F(ShippedMessages, RegionalLocalesCarryOnlyRealDifferences) {
    for (int32_t locale : {int32_t(LocaleSpanishLatinAmerica), int32_t(LocalePortugueseBrazil)}) {
        uint32_t parent = InstallerLocaleInfo[locale].fallback;
        for (uint32_t id = 1; id < InstallerMessageCount; ++id) {
            const char* text = OwnText(uint32_t(locale), id);
            if (text && OwnText(parent, id))
                EXPECT_NE(CodePoints(text), CodePoints(OwnText(parent, id)))
                    << InstallerLocaleInfo[locale].code << " repeats " << NameOf(id);
        }
    }
    // No lines of their own for the English regional locales.
    for (uint32_t id = 1; id < InstallerMessageCount; ++id) {
        EXPECT_EQ(OwnText(1, id), nullptr) << NameOf(id);
        EXPECT_EQ(OwnText(2, id), nullptr) << NameOf(id);
    }
}

TEST_F(ShippedMessages, EnglishTextsTheProgramQuotes) {
    const std::pair<MsgRef, const char*> quoted[] = {
        {TXTINS_Cancel, "Cancel"},
        {TXTINS_Install_Morvandite, "Install %0"},
        {TXTINS_Installing_N0, "Installing %0"},
        {TXTINS_Welcome_to_the_Morvandite_Setu_ELL, "Welcome to the %0 Setup Wizard"},
        {TXTINS_Select_the_folder_to_install_N_ELL, "Select the folder to install %0 in:"},
        {TXTINS_Browse_For_Folder, "Browse For Folder"},
        {TXTINS_OK, "OK"},
        {TXTINS_Make_New_Folder, "New Folder"},
        {TXTINS_GB, "GB"},
        {TXTINS_MB, "MB"},
        {TXTINS_Bytes, "Bytes"},
        {TXTINS_The_N0_Installer_has_detected__ELL,
         "The %0 installer has detected that you are currently running another version of %0 software.\n\nPlease "
         "close all other versions of the application before attempting to install."},
        {TXTINS_N0_Language_Support, "%0 Language Support"},
        {TXTINS_We_have_detected_a_version_of__ELL,
         "A copy of %0 software was detected on your computer.\nWould you like to remove it from your hard disk "
         "before completing the installation of %1 software?"},
        {TXTINS_Space_requiredX_N0_N1, "Space required: %0 %1"},
        {TXTINS_Install_Morvandite_Software, "Install %0 Software"},
        {TXTINS_I_agree_to_terms_of_the_Morvan_ELL, "I agree to terms of the %0 End User Licence Agreement"},
        {TXTINS_Cannot_create_folder_XN0X, "Cannot create folder '%0'"},
        {TXTINS_Cannot_open_file_XN0X, "Cannot open file '%0'"},
        {TXTINS_Cannot_write_to_file_XN0X, "Cannot write to file '%0'"},
        {TXTINS_Using_N0_language_requires_pro_ELL_1, "Using %0 language requires proper Windows OS support."},
        {TXTINS_Install_N0_Software, "Install %0 Software"},
        {TXTINS_Support_for_your_operating_sys_ELL,
         "Support for your operating system is being discontinued. Please upgrade to Windows XP or higher."},
    };
    for (const auto& [msg, text] : quoted)
        EXPECT_STREQ(OwnText(0, msg.id), text) << NameOf(msg.id);
    // A damaged installer that cannot trust its message table shows its own
    // copy of this one: it must say what the table says.
    EXPECT_STREQ(OwnText(0, TXTINS_This_installer_is_damagedX_Ple_ELL.id), kDamagedInstallerText);
    // Flags 2 mark the language names, and only them.
    for (uint32_t id = 1; id < InstallerMessageCount; ++id) {
        bool name = std::string(NameOf(id)).rfind("TXTINS_Lang_", 0) == 0;
        EXPECT_EQ(InstallerMessages.msgData[id].flags, name ? 2 : 0) << NameOf(id);
    }
}

}  // namespace

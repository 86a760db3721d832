#include "locales.h"

#include <cstring>

#define PASSERT_SOURCE "MorvanditeInstall"
#include "msgids.h"
#include "pencoding.h"
#include "perror.h"
#include "plog.h"

namespace {
const PStreamEncoding* const cp1252 = &PStreamWin1252;
const PStreamEncoding* const utf8 = &PStreamUtf8;
}  // namespace

const LocaleInfo InstallerLocaleInfo[InstallerLocaleCount] = {
    // fallback, English name, code, alternative name, stream, display key, flags
    {0, "English", "en", "", cp1252, 0, 0x07},
    {0, "English (United Kingdom)", "en-GB", "", cp1252, 0, 0x00},
    {0, "English (United States)", "en-US", "", cp1252, 0, 0x00},
    {0, "French", "fr", "", cp1252, 7, 0x07},
    {0, "German", "de", "", cp1252, 3, 0x07},
    {0, "Spanish", "es", "", cp1252, 5, 0x07},
    {0, "Russian", "ru", "", utf8, 23, 0x47},
    {0, "Portuguese", "pt", "", cp1252, 16, 0x07},
    {0, "Dutch", "nl", "", cp1252, 13, 0x07},
    {0, "Italian", "it", "", cp1252, 9, 0x07},
    {0, "Polish", "pl", "", utf8, 15, 0x47},
    {0, "Hungarian", "hu", "", utf8, 12, 0x47},
    {0, "Danish", "da", "", cp1252, 2, 0x07},
    {0, "Swedish", "sv", "", cp1252, 20, 0x07},
    {0, "Finnish", "fi", "", cp1252, 21, 0x07},
    {0, "Norwegian", "no", "", cp1252, 14, 0x07},
    {0, "Japanese", "ja", "", utf8, 25, 0xDF},
    {0, "Simplified Chinese", "zh-CN", "", utf8, 26, 0xDF},
    {0, "Traditional Chinese", "zh-TW", "", utf8, 26, 0xDF},
    {0, "Bulgarian", "bg", "", utf8, 22, 0x47},
    {0, "Czech", "cs", "", utf8, 1, 0x47},
    {0, "Romanian", "ro", "", utf8, 17, 0x47},
    {0, "Slovenian", "sl", "", utf8, 18, 0x47},
    {0, "Ukrainian", "uk", "", utf8, 24, 0x47},
    {0, "Greek", "el", "", utf8, 4, 0x6F},
    {0, "Estonian", "et", "", utf8, 6, 0x6F},
    {0, "Lithuanian", "lt", "", utf8, 11, 0x6F},
    {0, "Latvian", "lv", "", utf8, 10, 0x6F},
    {7, "Portuguese (Brazil)", "pt-BR", "", cp1252, 16, 0x07},
    {0, "Croatian", "hr", "", utf8, 8, 0x47},
    {0, "Korean", "ko", "", utf8, 27, 0xDB},
    {5, "Spanish (Latin America)", "es-419", "", cp1252, 5, 0x07},
    {0, "Slovak", "sk", "", utf8, 19, 0x41},
};

const LocaleTable InstallerLocales = {InstallerLocaleInfo, InstallerLocaleCount, &PStringXMessageEncoding};

int32_t FindLocale(const char* code) {
    if (!code)
        return -1;
    for (uint32_t i = 0; i < InstallerLocaleCount; ++i)
        if (std::strcmp(InstallerLocaleInfo[i].code, code) == 0)
            return int32_t(i);
    return -1;
}

namespace {
struct LcidChoice {
    uint16_t lcid;
    uint8_t locale;
};

// Exactly the system locales that choose a catalogue entry; any other gives English.
const LcidChoice LcidTable[] = {
    {0x040C, 3}, {0x080C, 3}, {0x0C0C, 3}, {0x100C, 3}, {0x140C, 3}, {0x180C, 3},
    {0x0407, 4}, {0x0807, 4}, {0x0C07, 4}, {0x1007, 4}, {0x1407, 4},
    {0x040A, 5}, {0x080A, 5}, {0x0C0A, 5}, {0x100A, 5}, {0x140A, 5}, {0x180A, 5}, {0x1C0A, 5},
    {0x200A, 5}, {0x240A, 5}, {0x280A, 5}, {0x2C0A, 5}, {0x300A, 5}, {0x340A, 5}, {0x380A, 5},
    {0x3C0A, 5}, {0x400A, 5}, {0x440A, 5}, {0x480A, 5}, {0x4C0A, 5}, {0x500A, 5},
    {0x0419, 6},
    {0x0816, 7},
    {0x0413, 8}, {0x0813, 8},
    {0x0410, 9}, {0x0810, 9},
    {0x0415, 10},
    {0x040E, 11},
    {0x0406, 12},
    {0x041D, 13}, {0x081D, 13},
    {0x040B, 14},
    {0x0414, 15}, {0x0814, 15},
    {0x0411, 16},
    {0x0804, 17}, {0x1004, 17},
    {0x0404, 18}, {0x0C04, 18}, {0x1404, 18},
    {0x0402, 19},
    {0x0405, 20},
    {0x0418, 21},
    {0x0424, 22},
    {0x0422, 23},
    {0x0408, 24},
    {0x0425, 25},
    {0x0427, 26}, {0x0827, 26},
    {0x0426, 27},
    {0x0416, 28},
    {0x041A, 29}, {0x101A, 29},
    {0x0412, 30}, {0x0812, 30},
};
}  // namespace

const char* DefaultLocaleCodeFor(uint32_t lcid) {
    for (const LcidChoice& c : LcidTable)
        if (c.lcid == lcid)
            return InstallerLocaleInfo[c.locale].code;
    return InstallerLocaleInfo[LocaleEnglish].code;
}

namespace {
SelectedLocaleOffer g_selectedOffer = nullptr;

const LocaleOffer* SelectedOffer() { return g_selectedOffer ? g_selectedOffer() : nullptr; }
}  // namespace

void SetSelectedLocaleOffer(SelectedLocaleOffer selected) { g_selectedOffer = selected; }

bool LocaleOffered(uint32_t index, const LocaleOffer* offer) {
    return offer && index < InstallerLocaleCount && (InstallerLocaleInfo[index].flags & offer->localeMask) != 0;
}

bool LocaleOffered(uint32_t index) { return LocaleOffered(index, SelectedOffer()); }

bool LocalePreferred(uint32_t index, const LocaleOffer* offer) {
    if (!offer)
        return false;
    for (uint32_t i = 0; i < offer->preferredCount; ++i)
        if (offer->preferred[i] == index)
            return true;
    return false;
}

bool LocalePreferred(uint32_t index) { return LocalePreferred(index, SelectedOffer()); }

bool LocaleBefore(uint32_t x, uint32_t y, const LocaleOffer* offer) {
    bool px = LocalePreferred(x, offer);
    bool py = LocalePreferred(y, offer);
    if (px != py)
        return px;
    uint32_t kx = InstallerLocaleInfo[x].displayKey;
    uint32_t ky = InstallerLocaleInfo[y].displayKey;
    if (kx != ky)
        return kx < ky;
    return x < y;
}

LocaleIterator::LocaleIterator() : offer_(SelectedOffer()), position_(0) { first(); }

LocaleIterator::LocaleIterator(const LocaleOffer* offer) : offer_(offer), position_(0) { first(); }

void LocaleIterator::first() {
    uint32_t choice = 0;
    for (uint32_t i = 1; i < InstallerLocaleCount; ++i)
        if (LocaleOffered(i, offer_) && LocaleBefore(i, choice, offer_))
            choice = i;
    position_ = choice;
}

void LocaleIterator::next() {
    if (atEnd())
        return;
    uint32_t choice = InstallerLocaleCount;
    for (uint32_t i = 0; i < InstallerLocaleCount; ++i) {
        if (i == position_ || !LocaleOffered(i, offer_) || !LocaleBefore(position_, i, offer_))
            continue;
        if (choice == InstallerLocaleCount || LocaleBefore(i, choice, offer_))
            choice = i;
    }
    position_ = choice;
}

const LocaleInfo& LocaleIterator::current() const {
    if (atEnd()) {
        LogLine("LocaleIterator is not inited");
        PASSERT(0);
    }
    return InstallerLocaleInfo[position_];
}

MsgRef LanguageNameMessage(uint32_t index) {
    // Names 0..23 are consecutive messages; the later ones were added out of order.
    static const uint32_t later[] = {84, 83, 86, 85, 87, 88, 102, 112, 113};
    if (index < 24)
        return MsgRef{&InstallerMessages, 59 + index};
    if (index < InstallerLocaleCount)
        return MsgRef{&InstallerMessages, later[index - 24]};
    return MsgRef{nullptr, 0};
}

void LanguageNameIn(PString& out, int32_t locale, uint32_t index) {
    if (index >= InstallerLocaleCount)
        return;
    i18nFormatMsg(out, InstallerLocales, locale, LanguageNameMessage(index));
}

void LanguageName(PString& out, uint32_t index) {
    if (index >= InstallerLocaleCount)
        return;
    LanguageNameIn(out, LanguageSupported(index) ? int32_t(index) : LocaleEnglish, index);
}

bool LanguageSupported(uint32_t index, bool eastAsianSupport) {
    if (index >= InstallerLocaleCount)
        return false;
    if (!(InstallerLocaleInfo[index].flags & LocaleNeedsEastAsianSupport))
        return true;
    switch (index) {
    case LocaleJapanese:
    case LocaleSimplifiedChinese:
    case LocaleTraditionalChinese:
    case LocaleKorean:
        return eastAsianSupport;
    default:
        return false;
    }
}

bool LanguageSupported(uint32_t index) {
    if (index >= InstallerLocaleCount)
        return false;
    // Only East Asian locales need the (cached, but system-asking) test.
    if (!(InstallerLocaleInfo[index].flags & LocaleNeedsEastAsianSupport))
        return true;
    return LanguageSupported(index, HasEastAsianSupport());
}

void LanguageSupportText(PString& out, const char* name, uint32_t index) {
    AppendMsg(out, TXTINS_Using_N0_language_requires_pro_ELL_1, name);
    AppendChar(out, ' ');
    AppendMsg(out, TXTINS_It_appears_as_if_the_current_W_ELL, name);
    AppendChar(out, '\n');
    switch (index) {
    case LocaleJapanese:
    case LocaleSimplifiedChinese:
    case LocaleTraditionalChinese:
    case LocaleKorean:
        AppendMsg(out, TXTINS_To_install_N0_language_support_ELL, name);
        break;
    default:
        break;
    }
    AppendChar(out, '\n');
    AppendMsg(out, TXTINS_Press_Continue_to_use_the_N0_l_ELL, name);
}

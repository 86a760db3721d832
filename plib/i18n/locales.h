// The catalogue of the installer's locales: codes, fallbacks for missing
// texts, language-list order, the builds that offer each locale, and the
// script support Windows needs to show it.
#pragma once
#include <cstdint>

#include "ppmsg.h"
#include "pstring.h"

class PStreamEncoding;
class PStringEncoding;

struct LocaleInfo {
    uint32_t fallback;  // index whose texts stand in; its own index ends the chain
    const char* englishName;
    const char* code;
    const char* alternativeName;
    const PStreamEncoding* streamEncoding;
    uint32_t displayKey;  // language-list sort key, 0 first; ties keep catalogue order
    uint32_t flags;       // LocaleFlags
};

enum LocaleFlags : uint32_t {
    // Offered by builds whose locale mask is 1, 2 or 4.
    LocaleOfferedMask = 0x07,
    LocaleNeedsEastAsianSupport = 0x80,
};

struct LocaleTable {
    const LocaleInfo* locales;
    uint32_t count;
    const PStringEncoding* encoding;  // formats the messages
};

constexpr uint32_t InstallerLocaleCount = 33;
extern const LocaleInfo InstallerLocaleInfo[InstallerLocaleCount];
extern const LocaleTable InstallerLocales;

// Catalogue indices the program names directly.
enum LocaleIndex : int32_t {
    LocaleEnglish = 0,
    LocalePortuguese = 7,
    LocaleJapanese = 16,
    LocaleSimplifiedChinese = 17,
    LocaleTraditionalChinese = 18,
    LocalePortugueseBrazil = 28,
    LocaleKorean = 30,
    LocaleSpanishLatinAmerica = 31,
};

// The catalogue index of a code (exact, case-sensitive), -1 when absent.
int32_t FindLocale(const char* code);

// The catalogue code chosen for a Windows locale id; "en" for every id the
// catalogue does not list.
const char* DefaultLocaleCodeFor(uint32_t lcid);
#ifdef _WIN32
// DefaultLocaleCodeFor(GetSystemDefaultLCID()).
const char* DefaultLocaleCode();
#endif

// What one build of the program offers. The program owns these (it knows
// its builds); the catalogue only reads them.
struct LocaleOffer {
    uint32_t localeMask;        // ANDed with LocaleInfo::flags: 1, 2 or 4
    const uint32_t* preferred;  // catalogue indices listed first; null when preferredCount is 0
    uint32_t preferredCount;
};

// The offer of the build the program runs as, or null when it has none.
typedef const LocaleOffer* (*SelectedLocaleOffer)();
// The program connects its selection here; until then no build is selected.
// Asked on every call below that takes no offer, so a later selection counts.
// Set before other threads use the catalogue.
void SetSelectedLocaleOffer(SelectedLocaleOffer selected);

// Offered by the selected build or by the given offer (null: none).
bool LocaleOffered(uint32_t index);
bool LocaleOffered(uint32_t index, const LocaleOffer* offer);
// Listed first by the selected build or by the given offer.
bool LocalePreferred(uint32_t index);
bool LocalePreferred(uint32_t index, const LocaleOffer* offer);
// Display order: a preferred locale first, then the smaller display key,
// then the smaller index.
bool LocaleBefore(uint32_t x, uint32_t y, const LocaleOffer* offer);

// Walks the locales offered by a build in display order.
class LocaleIterator {
public:
    // The selected build's locales; starts at the first.
    LocaleIterator();
    // The locales of one offer (null: none but English).
    explicit LocaleIterator(const LocaleOffer* offer);

    void first();
    void next();
    bool atEnd() const { return position_ >= InstallerLocaleCount; }
    // Logs "LocaleIterator is not inited" and throws PAssert at the end.
    const LocaleInfo& current() const;
    uint32_t index() const { return position_; }

private:
    const LocaleOffer* offer_;
    uint32_t position_;
};

// The message naming locale index in its list entry (null table outside 0..32).
MsgRef LanguageNameMessage(uint32_t index);
// Appends the name of locale `index` formatted in `locale`; nothing for an
// index outside the catalogue.
void LanguageNameIn(PString& out, int32_t locale, uint32_t index);
// Appends the name of locale `index` in its own language when Windows can
// show it, otherwise in English.
void LanguageName(PString& out, uint32_t index);

// Whether this Windows can convert text to ISO-2022-JP (code page 50220), the
// sign that East Asian language support is installed; asked once per process.
bool HasEastAsianSupport();
// Whether locale `index` can be displayed, given the East Asian answer.
bool LanguageSupported(uint32_t index, bool eastAsianSupport);
bool LanguageSupported(uint32_t index);
// Appends the warning for a locale this Windows cannot show, in the current
// locale; name fills %0. East Asian locales get the installation steps.
void LanguageSupportText(PString& out, const char* name, uint32_t index);

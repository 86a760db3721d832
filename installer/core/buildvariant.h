// The build variants one installer program serves: selected by a suffix of
// the configured product name, each decides the offered locales, a preferred
// locale and whether sibling brands are offered for removal.
#pragma once
#include <cstdint>

struct LocaleOffer;

struct BuildVariant {
    const char* suffix;
    uint32_t localeMask;        // ANDed with the locale flags: 1, 2 or 4
    bool siblingBrand;          // a separately installed brand
    bool offersSiblingRemoval;  // offers to remove installed sibling brands first
    const char* productNameShown;  // null when none
    const char* uninstallKeyName;  // null when none
};

constexpr uint32_t kBuildVariantCount = 18;
// A suffix that contains another stands before it: selection takes the first match.
extern const BuildVariant kBuildVariants[kBuildVariantCount];

struct PreferredLocale {
    const char* suffix;
    uint32_t locale;  // catalogue index
};

constexpr uint32_t kPreferredLocaleCount = 7;
// Rows of one suffix are adjacent.
extern const PreferredLocale kPreferredLocales[kPreferredLocaleCount];

// The locales a row offers (its mask and its kPreferredLocales rows), as the
// locale catalogue takes them (locales.h); null for null or a variant that
// is not a kBuildVariants row. Built once; thread-safe.
const LocaleOffer* LocaleOfferOf(const BuildVariant* variant);

// The process-wide selection of a kBuildVariants row.
class BuildOptions {
public:
    // The first row whose suffix occurs in productName (case-sensitive); the
    // empty suffix of the last row matches every name. Null counts as "".
    // Connects the locale catalogue to the selection (SetSelectedLocaleOffer).
    static void select(const char* productName);
    // The selected row; logs "BuildOptions is not inited" and gives null
    // before a selection.
    static const BuildVariant* current();
    // The selected row's index; kBuildVariantCount or more when none.
    static uint32_t selectedIndex() { return selected_; }
    // Back to no selection.
    static void clear() { selected_ = kBuildVariantCount; }

private:
    static uint32_t selected_;
};

// Visits, in table order, the rows whose siblingBrand equals the flag.
class BuildIterator {
public:
    explicit BuildIterator(bool siblingBrand);
    void begin();
    bool valid() const { return position_ < kBuildVariantCount; }
    // Past the end: logs "BuildOptions::BuildIterator is not inited" and throws PAssert.
    const BuildVariant& current() const;
    void next();
    uint32_t index() const { return position_; }

private:
    void skipOthers();

    bool siblingBrand_;
    uint32_t position_;
};

#include "buildvariant.h"

#include <cstring>

#define PASSERT_SOURCE "MorvanditeInstall"
#include "locales.h"
#include "perror.h"
#include "plog.h"

const BuildVariant kBuildVariants[kBuildVariantCount] = {
    {".QUILL", 1, false, false, nullptr, nullptr},
    {".ORBA", 2, true, false, "Morvandite.ORBA", "Morvandite.orba"},
    {".TAVEL", 2, true, false, "Morvandite.TAVEL", "Tavel Card Club"},
    {".BRENN", 2, true, false, "Morvandite.BRENN", "Brenn Sports Cards"},
    {".VAL", 4, false, true, nullptr, nullptr},
    {".KOR", 4, false, true, nullptr, nullptr},
    {".DUN", 4, false, true, nullptr, nullptr},
    {".PEL", 4, false, true, nullptr, nullptr},
    {".SAR", 4, false, true, nullptr, nullptr},
    {".MIR", 4, false, true, nullptr, nullptr},
    {".TOL", 4, false, true, nullptr, nullptr},
    {".GAV", 4, false, true, nullptr, nullptr},
    {".NEB", 4, false, true, nullptr, nullptr},
    {".HUSK", 4, false, true, nullptr, nullptr},
    {".WREN", 4, false, false, nullptr, nullptr},
    {".Lumo", 4, false, false, nullptr, nullptr},
    {".Ciro", 4, false, false, nullptr, nullptr},
    {"", 4, false, false, nullptr, nullptr},
};

const PreferredLocale kPreferredLocales[kPreferredLocaleCount] = {
    {".KOR", 19},   // Bulgarian
    {".HUSK", 4},   // German
    {".DUN", 12},   // Danish
    {".PEL", 25},   // Estonian
    {".SAR", 5},    // Spanish
    {".TOL", 3},    // French
    {".GAV", 9},    // Italian
};

namespace {
// Every row's offer, with its preferred locales in table order.
struct VariantOffers {
    LocaleOffer offer[kBuildVariantCount];
    uint32_t preferred[kBuildVariantCount][kPreferredLocaleCount];

    VariantOffers() {
        for (uint32_t row = 0; row < kBuildVariantCount; ++row) {
            uint32_t count = 0;
            for (const PreferredLocale& p : kPreferredLocales)
                if (std::strcmp(p.suffix, kBuildVariants[row].suffix) == 0)
                    preferred[row][count++] = p.locale;
            offer[row] = LocaleOffer{kBuildVariants[row].localeMask, preferred[row], count};
        }
    }
};

const LocaleOffer* SelectedBuildOffer() { return LocaleOfferOf(BuildOptions::current()); }
}  // namespace

const LocaleOffer* LocaleOfferOf(const BuildVariant* variant) {
    static const VariantOffers offers;
    for (uint32_t row = 0; row < kBuildVariantCount; ++row)
        if (variant == &kBuildVariants[row])
            return &offers.offer[row];
    return nullptr;
}

uint32_t BuildOptions::selected_ = kBuildVariantCount;

void BuildOptions::select(const char* productName) {
    SetSelectedLocaleOffer(&SelectedBuildOffer);
    const char* name = productName ? productName : "";
    for (uint32_t i = 0; i < kBuildVariantCount; ++i) {
        if (std::strstr(name, kBuildVariants[i].suffix)) {
            selected_ = i;
            return;
        }
    }
    selected_ = kBuildVariantCount;  // unreachable while the last suffix is empty
}

const BuildVariant* BuildOptions::current() {
    if (selected_ >= kBuildVariantCount) {
        LogLine("BuildOptions is not inited");
        return nullptr;
    }
    return &kBuildVariants[selected_];
}

BuildIterator::BuildIterator(bool siblingBrand) : siblingBrand_(siblingBrand), position_(0) { begin(); }

void BuildIterator::begin() {
    position_ = 0;
    skipOthers();
}

void BuildIterator::skipOthers() {
    while (position_ < kBuildVariantCount && kBuildVariants[position_].siblingBrand != siblingBrand_)
        ++position_;
}

const BuildVariant& BuildIterator::current() const {
    if (!valid()) {
        LogLine("BuildOptions::BuildIterator is not inited");
        PASSERT(0);
    }
    return kBuildVariants[position_];
}

void BuildIterator::next() {
    if (position_ < kBuildVariantCount) {
        ++position_;
        skipOthers();
    }
}

#include "buildvariant.h"

#include <cstring>

#define PASSERT_SOURCE "MorvanditeInstall"
#include "perror.h"
#include "plog.h"

const BuildVariant BuildVariants[BuildVariantCount] = {
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

const PreferredLocale PreferredLocales[PreferredLocaleCount] = {
    {".KOR", 19},   // Bulgarian
    {".HUSK", 4},   // German
    {".DUN", 12},   // Danish
    {".PEL", 25},   // Estonian
    {".SAR", 5},    // Spanish
    {".TOL", 3},    // French
    {".GAV", 9},    // Italian
};

uint32_t BuildOptions::selected_ = BuildVariantCount;

void BuildOptions::select(const char* productName) {
    const char* name = productName ? productName : "";
    for (uint32_t i = 0; i < BuildVariantCount; ++i) {
        if (std::strstr(name, BuildVariants[i].suffix)) {
            selected_ = i;
            return;
        }
    }
    selected_ = BuildVariantCount;  // unreachable while the last suffix is empty
}

const BuildVariant* BuildOptions::current() {
    if (selected_ >= BuildVariantCount) {
        LogLine("BuildOptions is not inited");
        return nullptr;
    }
    return &BuildVariants[selected_];
}

BuildIterator::BuildIterator(bool siblingBrand) : siblingBrand_(siblingBrand), position_(0) { begin(); }

void BuildIterator::begin() {
    position_ = 0;
    skipOthers();
}

void BuildIterator::skipOthers() {
    while (position_ < BuildVariantCount && BuildVariants[position_].siblingBrand != siblingBrand_)
        ++position_;
}

const BuildVariant& BuildIterator::current() const {
    if (!valid()) {
        LogLine("BuildOptions::BuildIterator is not inited");
        PASSERT(0);
    }
    return BuildVariants[position_];
}

void BuildIterator::next() {
    if (position_ < BuildVariantCount) {
        ++position_;
        skipOthers();
    }
}

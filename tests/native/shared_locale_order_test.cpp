// The installer's locale catalogue and the shared locale order are one list:
// user.ini stores an index into the catalogue, and the client reads it back
// through the shared order. A locale added, removed or moved on one side only
// would make the client start in another language.
#include <gtest/gtest.h>

#include <cstddef>

#include "locales.h"
#include "sharednames.h"

namespace {

TEST(SharedLocaleOrder, HasAsManyLocalesAsTheInstallerCatalogue) {
    EXPECT_EQ(InstallerLocaleCount, SharedNames::kLocaleCount);
}

TEST(SharedLocaleOrder, IsTheInstallerCatalogueIndexForIndex) {
    const std::size_t count =
        InstallerLocaleCount < SharedNames::kLocaleCount ? InstallerLocaleCount : SharedNames::kLocaleCount;
    for (std::size_t i = 0; i < count; ++i) {
        const char* code = InstallerLocaleInfo[i].code;
        ASSERT_NE(code, nullptr) << "catalogue index " << i;
        EXPECT_STREQ(code, SharedNames::kLocaleCodes[i].narrow) << "catalogue index " << i;
    }
}

}  // namespace

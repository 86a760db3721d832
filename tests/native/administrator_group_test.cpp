// Which token groups give administrator rights: only an enabled
// Administrators group that is not for deny only. UAC's filtered token lists
// the group for deny only, and counting it would offer all-users choices to
// a process that cannot write the machine's keys.
#include <gtest/gtest.h>

#include <vector>

#include "padministratorgroup.h"

namespace {

// The attributes a token's groups carry in practice (winnt.h).
constexpr uint32_t kMandatory = 0x00000001u;
constexpr uint32_t kEnabledByDefault = 0x00000002u;
constexpr uint32_t kEnabled = kTokenGroupEnabled;
constexpr uint32_t kDenyOnly = kTokenGroupUseForDenyOnly;
constexpr uint32_t kUsual = kMandatory | kEnabledByDefault | kEnabled;

bool Decide(const std::vector<TokenGroupFacts>& groups) {
    return AdministratorsGroupEnabled(groups.data(), groups.size());
}

TEST(AdministratorGroup, AnEnabledAdministratorsGroupGrantsTheRights) {
    // An elevated token: the group wherever it stands among the others.
    EXPECT_TRUE(Decide({{true, kUsual}}));
    EXPECT_TRUE(Decide({{false, kUsual}, {false, kUsual}, {true, kUsual}}));
    EXPECT_TRUE(Decide({{true, kEnabled}}));
}

TEST(AdministratorGroup, ADenyOnlyAdministratorsGroupDoesNot) {
    // UAC's filtered token of an administrator: the group is there, for deny only.
    EXPECT_FALSE(Decide({{false, kUsual}, {true, kDenyOnly}, {false, kUsual}}));
    // Deny-only wins over an enabled bit that came with it.
    EXPECT_FALSE(Decide({{true, kDenyOnly | kUsual}}));
}

TEST(AdministratorGroup, ADisabledAdministratorsGroupDoesNot) {
    EXPECT_FALSE(Decide({{true, kMandatory | kEnabledByDefault}}));
    EXPECT_FALSE(Decide({{true, 0}}));
}

TEST(AdministratorGroup, OtherGroupsAndNoGroupsDoNot) {
    EXPECT_FALSE(Decide({{false, kUsual}, {false, kUsual}}));
    EXPECT_FALSE(Decide({}));
    EXPECT_FALSE(AdministratorsGroupEnabled(nullptr, 0));
}

}  // namespace

// Whether a token's groups make it an administrator, decided apart from
// reading the token so that the decision is portable and can be tested with
// any groups (penvironmentfacts_win.cpp reads the token).
#pragma once
#include <cstddef>
#include <cstdint>

// A token group's attribute bits that the decision reads (SE_GROUP_ENABLED,
// SE_GROUP_USE_FOR_DENY_ONLY of winnt.h).
constexpr uint32_t kTokenGroupEnabled = 0x00000004u;
constexpr uint32_t kTokenGroupUseForDenyOnly = 0x00000010u;

// One group of a token: whether it is BUILTIN\Administrators, and its attributes.
struct TokenGroupFacts {
    bool administrators;
    uint32_t attributes;
};

// True when the Administrators group is present, enabled and not for deny
// only. Under UAC a user's filtered token still lists the group, but for deny
// only: such a process has no administrator rights. `groups` may be null
// when `count` is 0. Pure; any thread.
bool AdministratorsGroupEnabled(const TokenGroupFacts* groups, size_t count);

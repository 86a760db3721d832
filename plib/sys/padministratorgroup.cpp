// The administrator decision over a token's groups (padministratorgroup.h).
#include "padministratorgroup.h"

bool AdministratorsGroupEnabled(const TokenGroupFacts* groups, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        const TokenGroupFacts& g = groups[i];
        if (g.administrators && (g.attributes & kTokenGroupEnabled) && !(g.attributes & kTokenGroupUseForDenyOnly))
            return true;
    }
    return false;
}

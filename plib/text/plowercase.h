// The lower-case table behind PLowerCodePoint (generated: lowercase_table.cpp).
#pragma once
#include <cstdint>

struct PLowerCasePair {
    uint16_t upper;
    uint16_t lower;
};
// Sorted by upper, strictly ascending.
extern const PLowerCasePair PLowerCaseTable[];
extern const unsigned PLowerCaseTableSize;

// A download's Range request field, read against the size of what it asks
// for. One range only: a list of ranges, another unit or a field that does
// not parse is ignored (the whole body is sent, as HTTP allows), which every
// download client handles; a range that starts past the end is refused (416).
// Pure functions; never throw.
#pragma once
#include <cstdint>
#include <string_view>

struct ByteRange {
    enum Kind {
        Whole,          // no usable Range: send everything (200)
        Part,           // send [first, first + length) (206)
        Unsatisfiable,  // 416 with "Content-Range: bytes */size"
    };
    Kind kind = Whole;
    uint64_t first = 0;
    uint64_t length = 0;
};

// field: the Range field's value ("bytes=0-99", "bytes=500-", "bytes=-200");
// size: the body's size. A range reaching past the end is cut at it.
ByteRange ParseByteRange(std::string_view field, uint64_t size);

// The bytes of one download as an ordered list of pieces: ranges of the
// release's open file, sent from it unchanged (sendfile), and small buffers
// computed for the request (the header fields and the certificate table's
// tail a tag changes). Plain values: copy and share freely; no I/O here.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

struct BodyPiece {
    bool fromFile = false;
    uint64_t fileOffset = 0;  // fromFile: where the piece starts in the file
    uint64_t length = 0;      // fromFile: its length; otherwise bytes.size()
    std::string bytes;        // !fromFile: the computed bytes

    static BodyPiece File(uint64_t offset, uint64_t length) { return {true, offset, length, {}}; }
    static BodyPiece Bytes(std::string bytes) {
        uint64_t length = bytes.size();
        return {false, 0, length, std::move(bytes)};
    }
};

using ResponseBody = std::vector<BodyPiece>;

// The number of bytes the pieces make.
uint64_t BodySize(const ResponseBody& body);

// The pieces that make bytes [first, first + length) of body; empty pieces
// are left out. Requires first + length <= BodySize(body).
ResponseBody SliceBody(const ResponseBody& body, uint64_t first, uint64_t length);

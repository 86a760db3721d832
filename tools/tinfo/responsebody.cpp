#include "responsebody.h"

uint64_t BodySize(const ResponseBody& body) {
    uint64_t size = 0;
    for (const BodyPiece& piece : body)
        size += piece.length;
    return size;
}

ResponseBody SliceBody(const ResponseBody& body, uint64_t first, uint64_t length) {
    ResponseBody slice;
    uint64_t pieceStart = 0;
    const uint64_t end = first + length;
    for (const BodyPiece& piece : body) {
        const uint64_t pieceEnd = pieceStart + piece.length;
        const uint64_t from = first > pieceStart ? first : pieceStart;
        const uint64_t to = end < pieceEnd ? end : pieceEnd;
        if (from < to) {
            const uint64_t skip = from - pieceStart, take = to - from;
            if (piece.fromFile)
                slice.push_back(BodyPiece::File(piece.fileOffset + skip, take));
            else
                slice.push_back(BodyPiece::Bytes(piece.bytes.substr(size_t(skip), size_t(take))));
        }
        pieceStart = pieceEnd;
        if (pieceStart >= end)
            break;
    }
    return slice;
}

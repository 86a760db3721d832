#include "tracking.h"

#include <cstring>
#include <string_view>
#include <vector>

#include "inixor.h"
#include "perror.h"
#include "tagcertificate.h"
#include "taggrammar.h"
#include "trackingkey.h"

namespace {
uint32_t ReadLe32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

void AppendLe32(std::string& out, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        out.push_back(char(uint8_t(v >> (8 * i))));
}

bool EqualsNoCase(const std::string& text, const char* upper) {
    size_t n = std::strlen(upper);
    if (text.size() != n)
        return false;
    for (size_t i = 0; i < n; ++i) {
        char c = text[i];
        if (c >= 'a' && c <= 'z')
            c = char(c - 'a' + 'A');
        if (c != upper[i])
            return false;
    }
    return true;
}

void Unscramble(_PBlock& block) {
    _PBlock key;
    BuildTrackingKey(key);
    XorBlock(block, key);
}
}  // namespace

TrackingBlockStatus ReadTrackingBlock(FILE* file, _PBlock& block) {
    uint8_t trailer[kTrackingTrailerSize];
    if (std::fseek(file, -long(kTrackingTrailerSize), SEEK_END) != 0 ||
        std::fread(trailer, 1, sizeof trailer, file) != sizeof trailer)
        return TrackingBlockStatus::NotFound;
    uint32_t distance = ReadLe32(trailer);
    uint32_t length = ReadLe32(trailer + 4);
    if (ReadLe32(trailer + 8) != kTrackingMagic || distance < 1 || distance > kTrackingMaxDistance)
        return TrackingBlockStatus::NotFound;
    // L bytes starting D bytes before the end cannot exist when L > D; this
    // also keeps a corrupt length from asking for gigabytes.
    if (length > distance || std::fseek(file, -long(distance), SEEK_END) != 0)
        return TrackingBlockStatus::ReadError;
    try {
        block.clear();
        if (length > 0) {
            uint8_t* p = block.alloc(length);
            std::memset(p, 0, length);
            if (std::fread(p, 1, length, file) != length)
                return TrackingBlockStatus::ReadError;
            Unscramble(block);
        }
    } catch (const PError&) {
        return TrackingBlockStatus::ReadError;
    }
    return TrackingBlockStatus::Found;
}

namespace {

bool ReadAt(FILE* file, long offset, void* out, size_t size) {
    return std::fseek(file, offset, SEEK_SET) == 0 && std::fread(out, 1, size, file) == size;
}

// Where the security directory points: false (no signature) when the file
// is no PE32 image this reader knows or the directory is empty.
bool SecurityDirectory(FILE* file, long fileSize, uint32_t& offset, uint32_t& size) {
    uint8_t dos[64];
    if (fileSize < long(sizeof dos) || !ReadAt(file, 0, dos, sizeof dos) || dos[0] != 'M' || dos[1] != 'Z')
        return false;
    uint32_t pe = ReadLe32(dos + 0x3C);
    // Signature, file header, optional header up to the sixth directory entry.
    uint8_t headers[4 + 20 + 96 + 8 * 5];
    if (pe > 0x10000 || long(pe + sizeof headers) > fileSize || !ReadAt(file, long(pe), headers, sizeof headers) ||
        std::memcmp(headers, "PE\0\0", 4) != 0)
        return false;
    const uint8_t* optional = headers + 24;
    if ((optional[0] | optional[1] << 8) != 0x10B || ReadLe32(optional + 92) <= 4)
        return false;
    offset = ReadLe32(optional + 96 + 8 * 4);
    size = ReadLe32(optional + 96 + 8 * 4 + 4);
    return size != 0;
}

}  // namespace

TrackingBlockStatus ReadInstallerTrackingBlock(FILE* file, _PBlock& block, std::string& why) {
    if (std::fseek(file, 0, SEEK_END) != 0)
        return TrackingBlockStatus::NotFound;
    long fileSize = std::ftell(file);
    uint32_t offset = 0, size = 0;
    if (fileSize > 0 && SecurityDirectory(file, fileSize, offset, size)) {
        if (offset > uint64_t(fileSize) || size > uint64_t(fileSize) - offset) {
            why = "the certificate table lies outside the file";
            return TrackingBlockStatus::Rejected;
        }
        if (size > kMaxTagTableSize) {
            why = "the certificate table is larger than " + std::to_string(kMaxTagTableSize) + " bytes";
            return TrackingBlockStatus::Rejected;
        }
        std::string scrambled;
        try {
            std::vector<uint8_t> table(size);
            if (!ReadAt(file, long(offset), table.data(), size))
                return TrackingBlockStatus::ReadError;
            switch (FindTagInCertificateTable(table.data(), size, scrambled, why)) {
            case CertificateTagStatus::Malformed:
                return TrackingBlockStatus::Rejected;
            case CertificateTagStatus::NoTag:
                return ReadTrackingBlock(file, block);  // a copy stamped before tags went into the signature
            case CertificateTagStatus::Found:
                break;
            }
            block.clear();
            if (!scrambled.empty()) {
                std::memcpy(block.alloc(uint32_t(scrambled.size())), scrambled.data(), scrambled.size());
                Unscramble(block);
            }
        } catch (const PError&) {
            return TrackingBlockStatus::ReadError;
        }
        return TrackingBlockStatus::Found;
    }
    return ReadTrackingBlock(file, block);
}

std::string ApplyTrackingLines(const _PBlock& block, TrackingInfo& info) {
    std::string_view text(reinterpret_cast<const char*>(block.ptr()), block.ptr() ? block.size() : 0);
    TagParse tag = ParseTagText(text);
    if (!tag.ok())
        return tag.error;
    PString kept("[TInfo]\n"), themeId = info.themeId, localeCode = info.localeCode;
    for (const TagLine& line : tag.lines) {
        // The install time and zone lines are the installer's own to write.
        if (IsReservedTagKey(line.key))
            continue;
        if (EqualsNoCase(line.key, "THM") && !line.value.empty())
            themeId.assign(line.value.data(), int(line.value.size()));
        else if (EqualsNoCase(line.key, "TSL") && !line.value.empty())
            localeCode.assign(line.value.data(), int(line.value.size()));
        kept.append(line.key.c_str()).append('=').append(line.value.c_str()).append('\n');
    }
    info.trackingInfo = kept;
    info.themeId = themeId;
    info.localeCode = localeCode;
    return std::string();
}

std::string TrackingTextFromLines(const std::string& lines) {
    std::vector<TagLine> tag;
    size_t pos = 0;
    int number = 0;
    while (pos < lines.size()) {
        size_t eol = lines.find('\n', pos);
        if (eol == std::string::npos)
            eol = lines.size();
        std::string_view line(lines.data() + pos, eol - pos);
        pos = eol + 1;
        ++number;
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);  // a CR LF file
        TagLine parsed;
        bool blank = false;
        std::string why = ParseTagLine(line, parsed, blank);
        if (!why.empty())
            throw PInternalError(("line " + std::to_string(number) + " " + why).c_str());
        if (!blank)
            tag.push_back(std::move(parsed));
    }
    if (tag.empty())
        throw PInternalError("no KEY=value lines");
    std::string why = TagLinesError(tag);
    if (!why.empty())
        throw PInternalError(why.c_str());
    return TagText(tag);
}

std::string EncodeTrackingBlock(const std::string& text) {
    PASSERT(text.size() <= kTrackingMaxBlock);
    _PBlock block;
    if (!text.empty()) {
        std::memcpy(block.alloc(uint32_t(text.size())), text.data(), text.size());
        Unscramble(block);  // the XOR is its own inverse
    }
    std::string out(reinterpret_cast<const char*>(block.ptr()), block.size());
    AppendLe32(out, uint32_t(text.size()) + kTrackingTrailerSize);
    AppendLe32(out, uint32_t(text.size()));
    AppendLe32(out, kTrackingMagic);
    return out;
}

size_t TrackingBlockStart(const std::string& image) {
    if (image.size() < kTrackingTrailerSize)
        return image.size();
    const uint8_t* trailer = reinterpret_cast<const uint8_t*>(image.data()) + image.size() - kTrackingTrailerSize;
    if (ReadLe32(trailer + 8) != kTrackingMagic)
        return image.size();
    uint32_t distance = ReadLe32(trailer);
    uint32_t length = ReadLe32(trailer + 4);
    if (distance < kTrackingTrailerSize || distance > kTrackingMaxDistance || distance > image.size() ||
        length > distance - kTrackingTrailerSize)
        throw PInternalError("the file ends with a damaged tracking trailer");
    return image.size() - distance;
}

std::string StampTrackingBlock(const std::string& image, const std::string& text) {
    std::string out = image.substr(0, TrackingBlockStart(image));
    out += EncodeTrackingBlock(text);
    return out;
}

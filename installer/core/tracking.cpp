#include "tracking.h"

#include <cstring>

#include "inixor.h"
#include "perror.h"
#include "trackingkey.h"

namespace {
uint32_t ReadLe32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

void AppendLe32(std::string& out, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        out.push_back(char(uint8_t(v >> (8 * i))));
}

bool StartsWithNoCase(const char* text, size_t length, const char* prefix) {
    size_t n = std::strlen(prefix);
    if (length < n)
        return false;
    for (size_t i = 0; i < n; ++i) {
        char c = text[i];
        if (c >= 'a' && c <= 'z')
            c = char(c - 'a' + 'A');
        if (c != prefix[i])
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

void ApplyTrackingLines(const _PBlock& block, TrackingInfo& info) {
    const char* text = reinterpret_cast<const char*>(block.ptr());
    const char* end = text ? text + block.size() : nullptr;
    if (text) {
        // The text ends at its first zero byte, as the C string it is read as.
        if (const void* nul = std::memchr(text, 0, block.size()))
            end = static_cast<const char*>(nul);
    }
    info.trackingInfo = "[TInfo]\n";
    const char* line = text;
    while (line && line < end) {
        const char* eol = static_cast<const char*>(std::memchr(line, '\n', size_t(end - line)));
        if (!eol)
            eol = end;
        size_t n = size_t(eol - line);
        if (n > 0) {
            if (StartsWithNoCase(line, n, "THM=") && n > 4)
                info.themeId.assign(line + 4, int(n - 4));
            else if (StartsWithNoCase(line, n, "TSL=") && n > 4)
                info.localeCode.assign(line + 4, int(n - 4));
            // The install time and zone lines are the installer's own to write.
            if (!StartsWithNoCase(line, n, "ITS=") && !StartsWithNoCase(line, n, "IZ=")) {
                info.trackingInfo.append(line, int(n));
                info.trackingInfo.append('\n');
            }
        }
        line = eol + 1;
    }
}

std::string TrackingTextFromLines(const std::string& lines) {
    std::string text;
    size_t pos = 0;
    int number = 0;
    while (pos < lines.size()) {
        size_t eol = lines.find('\n', pos);
        if (eol == std::string::npos)
            eol = lines.size();
        std::string line = lines.substr(pos, eol - pos);
        pos = eol + 1;
        ++number;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.find_first_not_of(" \t") == std::string::npos)
            continue;
        size_t eq = line.find('=');
        if (eq == 0 || eq == std::string::npos || line.find('\0') != std::string::npos ||
            line.find('\r') != std::string::npos) {
            PString why("line ");
            why.appendInt(number);
            why.append(" is not KEY=value");
            throw PInternalError(why.text());
        }
        text += line;
        text += '\n';
    }
    if (text.empty())
        throw PInternalError("no KEY=value lines");
    if (text.size() > kTrackingMaxBlock) {
        PString why("the lines take ");
        why.appendUint(uint32_t(text.size()));
        why.append(" bytes; a tracking block holds at most ");
        why.appendUint(kTrackingMaxBlock);
        throw PInternalError(why.text());
    }
    return text;
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

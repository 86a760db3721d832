// Fuzzes the INI line parser and the encrypted form's reader (unscramble,
// gunzip, parse). Whatever the bytes, the reader either throws a PError or
// produces sections that survive a save and a reload unchanged.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "inixor.h"
#include "perror.h"

namespace {

void CheckRoundTrip(const EncIniFile& ini) {
    PString text = ini.ToText();
    EncIniFile again;
    again.LoadFromMemory(text.text(), text.length());
    PString second = again.ToText();
    if (std::strcmp(text.text(), second.text()) != 0 || again.sections.size() != ini.sections.size())
        std::abort();
}

void Parse(const uint8_t* data, uint32_t size) {
    EncIniFile ini;
    try {
        ini.LoadFromMemory(data, size);
    } catch (const PInternalError&) {
        return;
    }
    CheckRoundTrip(ini);
}

// The steps of LoadEncrypted after the file is read.
void ReadEncrypted(_PBlock buf) {
    try {
        ScrambleBlock(buf);
        GunzipBlock(buf);
    } catch (const PError&) {
        return;
    }
    Parse(buf.ptr(), buf.size());
}

_PBlock BlockOf(const uint8_t* data, size_t size) {
    _PBlock b;
    if (size)
        std::memcpy(b._realloc(uint32_t(size)), data, size);
    return b;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > (1u << 20))
        return 0;
    Parse(data, uint32_t(size));

    // As a scrambled file, and, so that the fuzzer reaches the gzip reader
    // without having to find the scrambled magic, as an unscrambled member.
    ReadEncrypted(BlockOf(data, size));
    _PBlock member;
    member._realloc(2)[0] = 0x1f;
    member.ptr()[1] = 0x8b;
    if (size)
        std::memcpy(member._realloc(uint32_t(size)), data, size);
    ScrambleBlock(member);
    ReadEncrypted(std::move(member));
    return 0;
}

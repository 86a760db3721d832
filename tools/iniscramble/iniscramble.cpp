// Support tool for the scrambled files the installer and the client share:
//   iniscramble encode IN OUT   gzip, then scramble (the encrypted INI form)
//   iniscramble decode IN OUT   unscramble, then gunzip when it is a gzip member
//   iniscramble xor IN OUT      scramble or unscramble alone (tinfo.dat)
#include <zlib.h>

#include <cstdio>
#include <cstring>

#include "inixor.h"
#include "perror.h"
#include "punique.h"

namespace {

bool ReadFile(const char* path, _PBlock& out) {
    UniqueStdioFile f(std::fopen(path, "rb"));
    if (!f)
        return false;
    uint8_t piece[65536];
    size_t got;
    while ((got = std::fread(piece, 1, sizeof piece, f.get())) > 0)
        std::memcpy(out._realloc(uint32_t(got)), piece, got);
    return !std::ferror(f.get());
}

bool WriteFile(const char* path, const _PBlock& data) {
    FILE* f = std::fopen(path, "wb");
    if (!f)
        return false;
    bool ok = data.size() == 0 || std::fwrite(data.ptr(), 1, data.size(), f) == data.size();
    return std::fclose(f) == 0 && ok;
}

void Gzip(_PBlock& data) {
    z_stream zs;
    std::memset(&zs, 0, sizeof zs);
    if (deflateInit2(&zs, 9, Z_DEFLATED, 16 + MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        throw PInternalError("GZIP: Unable to start compression");
    _PBlock out;
    zs.next_in = data.ptr();
    zs.avail_in = data.size();
    uint8_t piece[16384];
    int rc;
    do {
        zs.next_out = piece;
        zs.avail_out = sizeof piece;
        rc = deflate(&zs, Z_FINISH);
        uint32_t n = uint32_t(sizeof piece - zs.avail_out);
        if (n)
            std::memcpy(out._realloc(n), piece, n);
    } while (rc == Z_OK);
    deflateEnd(&zs);
    if (rc != Z_STREAM_END)
        throw PInternalError("GZIP: compression error");
    data = std::move(out);
}

int Usage() {
    std::fprintf(stderr,
                 "usage: iniscramble encode IN OUT   gzip, then scramble\n"
                 "       iniscramble decode IN OUT   unscramble, then gunzip a gzip member\n"
                 "       iniscramble xor IN OUT      scramble or unscramble alone\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4)
        return Usage();
    const char* command = argv[1];
    bool encode = std::strcmp(command, "encode") == 0;
    bool decode = std::strcmp(command, "decode") == 0;
    bool xorOnly = std::strcmp(command, "xor") == 0;
    if (!encode && !decode && !xorOnly)
        return Usage();
    try {
        _PBlock data;
        if (!ReadFile(argv[2], data)) {
            std::fprintf(stderr, "iniscramble: cannot read '%s'\n", argv[2]);
            return 1;
        }
        if (encode)
            Gzip(data);
        ScrambleBlock(data);
        if (decode && data.size() >= 2 && data.ptr()[0] == 0x1f && data.ptr()[1] == 0x8b)
            GunzipBlock(data);
        if (!WriteFile(argv[3], data)) {
            std::fprintf(stderr, "iniscramble: cannot write '%s'\n", argv[3]);
            return 1;
        }
    } catch (const PError& e) {
        std::fprintf(stderr, "iniscramble: %s\n", e.why());
        return 1;
    }
    return 0;
}

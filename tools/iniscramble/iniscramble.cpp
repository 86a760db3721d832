// Support tool for the scrambled files the installer and the client share:
//   iniscramble encode IN OUT   gzip, then scramble (the encrypted INI form)
//   iniscramble decode IN OUT   unscramble, then gunzip when it is a gzip member
//   iniscramble xor IN OUT      scramble or unscramble alone (tinfo.dat)
// Exit codes: toolcli.h.
#include <zlib.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "inixor.h"
#include "outputfile.h"
#include "perror.h"
#include "punique.h"
#include "toolcli.h"

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

const char* kUsage =
    "usage: iniscramble encode IN OUT   gzip, then scramble\n"
    "       iniscramble decode IN OUT   unscramble, then gunzip a gzip member\n"
    "       iniscramble xor IN OUT      scramble or unscramble alone\n"
    "       iniscramble --help | --version\n";

const char* kHelp =
    "usage: iniscramble encode IN OUT   gzip, then scramble (the encrypted INI form of user.ini)\n"
    "       iniscramble decode IN OUT   unscramble, then gunzip a gzip member\n"
    "       iniscramble xor IN OUT      scramble or unscramble alone (tinfo.dat)\n"
    "       iniscramble --help | --version\n"
    "\n"
    "OUT is written beside itself and renamed, and refused when it is not a regular file.\n"
    "Exit codes: 0 written, 1 refused or failed (the reason is printed, nothing written), 2 usage.\n";

}  // namespace

int main(int argc, char** argv) {
    if (AnswerHelpOrVersion(argc, argv, "iniscramble", kHelp))
        return kToolDone;
    if (argc != 4)
        return UsageError(kUsage);
    const char* command = argv[1];
    bool encode = std::strcmp(command, "encode") == 0;
    bool decode = std::strcmp(command, "decode") == 0;
    bool xorOnly = std::strcmp(command, "xor") == 0;
    if (!encode && !decode && !xorOnly)
        return UsageError(kUsage);
    try {
        _PBlock data;
        if (!ReadFile(argv[2], data)) {
            std::fprintf(stderr, "iniscramble: cannot read '%s': %s\n", argv[2], std::strerror(errno));
            return kToolRefused;
        }
        if (encode)
            Gzip(data);
        ScrambleBlock(data);
        if (decode && data.size() >= 2 && data.ptr()[0] == 0x1f && data.ptr()[1] == 0x8b)
            GunzipBlock(data);
        WriteOutputFile(argv[3], std::string(reinterpret_cast<const char*>(data.ptr()), data.size()), 0644);
    } catch (const PError& e) {
        std::fprintf(stderr, "iniscramble: %s\n", e.why());
        return kToolRefused;
    }
    return kToolDone;
}

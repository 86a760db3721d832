// Tracked installers for distributors:
//   tinfo stamp INSTALLER LINES OUT   append a tracking block made of the
//                                     KEY=value lines of LINES (replacing a
//                                     block INSTALLER already has); OUT may be INSTALLER.
//                                     A signed installer keeps a valid signature:
//                                     the block becomes the last bytes of its
//                                     certificate table, still at the end of the file.
//   tinfo read INSTALLER              print the lines of the installer's block
// Exit codes: 0 done, 1 read found no block, 2 usage or failure.
#include <cstdio>
#include <cstring>
#include <strings.h>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <system_error>

#include "certtable.h"
#include "peimage.h"
#include "perror.h"
#include "punique.h"
#include "tracking.h"

namespace fs = std::filesystem;

namespace {

bool ReadAll(const std::string& path, std::string& out) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    std::ostringstream s;
    s << in.rdbuf();
    if (in.bad())
        return false;
    out = s.str();
    return true;
}

// Writes beside the target and renames over it, so that a failed write never
// leaves a half-written installer (OUT may be the input itself).
bool WriteReplacing(const std::string& path, const std::string& bytes, const fs::path& modeFrom) {
    std::string temp = path + ".tinfo-tmp";
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        if (!out)
            return false;
        out.write(bytes.data(), std::streamsize(bytes.size()));
        out.close();
        if (!out) {
            std::remove(temp.c_str());
            return false;
        }
    }
    std::error_code ec;
    fs::permissions(temp, fs::status(modeFrom, ec).permissions(), ec);
    fs::rename(temp, path, ec);
    if (ec) {
        std::remove(temp.c_str());
        return false;
    }
    return true;
}

// The image with the block at its end; inside the certificate table when
// the image is signed, where the signature's hash does not reach.
std::string Stamped(const std::string& image, const std::string& text) {
    std::unique_ptr<PeImage> pe;
    try {
        pe.reset(new PeImage(image));
    } catch (const PError&) {
        // Not an executable this code reads: stamped like any file.
    }
    if (pe && HasCertificateTable(*pe))
        return WithCertificateTableTail(*pe, EncodeTrackingBlock(text));
    return StampTrackingBlock(image, text);
}

int Usage() {
    std::fprintf(stderr,
                 "usage: tinfo stamp INSTALLER LINES OUT\n"
                 "       tinfo read INSTALLER\n");
    return 2;
}

int Stamp(const std::string& installer, const std::string& linesPath, const std::string& outPath) {
    std::string image, lines;
    if (!ReadAll(installer, image)) {
        std::fprintf(stderr, "tinfo: cannot read %s\n", installer.c_str());
        return 2;
    }
    if (!ReadAll(linesPath, lines)) {
        std::fprintf(stderr, "tinfo: cannot read %s\n", linesPath.c_str());
        return 2;
    }
    std::string stamped, text;
    try {
        text = TrackingTextFromLines(lines);
        std::istringstream in(text);
        std::string line;
        while (std::getline(in, line))
            if (strncasecmp(line.c_str(), "ITS=", 4) == 0 || strncasecmp(line.c_str(), "IZ=", 3) == 0)
                std::fprintf(stderr, "tinfo: note: the installer drops the line %s\n", line.c_str());
    } catch (const PError& e) {
        std::fprintf(stderr, "tinfo: %s: %s\n", e.why(), linesPath.c_str());
        return 2;
    }
    try {
        stamped = Stamped(image, text);
    } catch (const PError& e) {
        std::fprintf(stderr, "tinfo: %s: %s\n", e.why(), installer.c_str());
        return 2;
    }
    if (!WriteReplacing(outPath, stamped, installer)) {
        std::fprintf(stderr, "tinfo: cannot write %s\n", outPath.c_str());
        return 2;
    }
    return 0;
}

int Read(const std::string& installer) {
    UniqueStdioFile f(std::fopen(installer.c_str(), "rb"));
    if (!f) {
        std::fprintf(stderr, "tinfo: cannot read %s\n", installer.c_str());
        return 2;
    }
    _PBlock block;
    TrackingBlockStatus status = ReadTrackingBlock(f.get(), block);
    f.reset();
    if (status == TrackingBlockStatus::NotFound) {
        std::printf("no tracking block in %s\n", installer.c_str());
        return 1;
    }
    if (status == TrackingBlockStatus::ReadError) {
        std::fprintf(stderr, "tinfo: %s: the tracking block runs past the start of the file\n", installer.c_str());
        return 2;
    }
    std::string text(reinterpret_cast<const char*>(block.ptr()), block.size());
    text = text.substr(0, text.find('\0'));
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line))
        if (!line.empty())
            std::printf("%s\n", line.c_str());
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 5 && std::strcmp(argv[1], "stamp") == 0)
        return Stamp(argv[2], argv[3], argv[4]);
    if (argc == 3 && std::strcmp(argv[1], "read") == 0)
        return Read(argv[2]);
    return Usage();
}

// Helper of payload-bench.sh.
//   payload-bench gen DIR          writes a synthetic client tree shaped like the
//                                  shipped payload: 5647 files, 247899441 bytes,
//                                  nested folders, mixed content packing to about a third
//   payload-bench decode-null FILE decodes the archive's body with liblzma
//                                  alone, in large steps, and throws it away
#include <fcntl.h>
#include <lzma.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

const uint32_t kFiles = 5647;
const uint64_t kTotal = 247899441;

[[noreturn]] void Die(const std::string& text) {
    std::fprintf(stderr, "payload-bench: %s\n", text.c_str());
    std::exit(1);
}

// Deterministic: the same tree on every machine.
struct Rng {
    uint64_t s;
    uint64_t Next() {
        s ^= s << 13;
        s ^= s >> 7;
        s ^= s << 17;
        return s;
    }
    double Unit() { return double(Next() >> 11) / double(1ull << 53); }
    uint32_t Below(uint32_t n) { return uint32_t(Next() % n); }
};

enum Kind { kPacked, kText, kBinary, kTable };

// Already-compressed data (pictures, sounds): does not pack.
void Packed(Rng& r, std::string& out, size_t n) {
    while (out.size() < n) {
        uint64_t v = r.Next();
        out.append(reinterpret_cast<const char*>(&v), 8);
    }
}

// Texts and markup: words of a fixed vocabulary, frequent ones more often.
void Text(Rng& r, std::string& out, size_t n, const std::vector<std::string>& words) {
    size_t line = 0;
    while (out.size() < n) {
        double u = r.Unit();
        const std::string& w = words[size_t(std::pow(u, 3.0) * double(words.size()))];
        out += w;
        line += w.size() + 1;
        if (line > 60 + r.Below(30)) {
            out += "\r\n";
            line = 0;
        }
        else
            out += ' ';
    }
}

// Program code: recurring instruction patterns with varying operands.
void Binary(Rng& r, std::string& out, size_t n) {
    static const char* const kOps[] = {"\x55\x8B\xEC", "\x83\xEC", "\x8B\x45", "\x89\x45", "\xE8",
                                       "\xC3",         "\x6A",     "\xFF\x15", "\x33\xC0", "\x8D\x4D"};
    while (out.size() < n) {
        uint32_t op = r.Below(10);
        if (r.Below(4) == 0)
            op = r.Below(3);
        out += kOps[op];
        uint32_t operand = r.Below(24) == 0 ? uint32_t(r.Next()) : r.Below(8) * 4;
        out.append(reinterpret_cast<const char*>(&operand), 1 + r.Below(4));
    }
}

// Tables and bitmaps: long runs with little variation.
void Table(Rng& r, std::string& out, size_t n) {
    uint32_t value = r.Below(256);
    while (out.size() < n) {
        if (r.Below(16) == 0)
            value = r.Below(256);
        out.append(1 + r.Below(24), char(value + r.Below(3)));
    }
}

void Generate(const fs::path& root) {
    Rng r{0x9E3779B97F4A7C15ull};
    std::vector<std::string> words;
    for (int i = 0; i < 3000; ++i) {
        std::string w;
        for (uint32_t k = 0, len = 2 + r.Below(9); k < len; ++k)
            w += char('a' + r.Below(26));
        words.push_back(w);
    }
    std::vector<std::string> folders = {""};
    const char* const kNames[] = {"res", "skins", "cards", "sounds", "lang", "help", "themes", "tables", "img", "data"};
    for (int i = 0; i < 320; ++i) {
        const std::string& parent = folders[r.Below(uint32_t(folders.size()))];
        if (std::count(parent.begin(), parent.end(), '/') >= 4) {
            --i;
            continue;
        }
        folders.push_back(parent + kNames[r.Below(10)] + std::to_string(i) + "/");
    }
    // Sizes: a dozen large libraries, the rest spread log-uniformly, scaled to the exact total.
    std::vector<double> weights(kFiles);
    for (uint32_t i = 0; i < kFiles; ++i)
        weights[i] = i < 12 ? 2.5e6 + 3e6 * r.Unit() : std::exp(std::log(64.0) + r.Unit() * std::log(2e5 / 64.0));
    double sum = 0;
    for (double w : weights)
        sum += w;
    std::vector<uint64_t> sizes(kFiles);
    uint64_t given = 0;
    for (uint32_t i = 0; i < kFiles; ++i) {
        sizes[i] = i % 997 == 500 ? 0 : uint64_t(weights[i] * double(kTotal) / sum);
        given += sizes[i];
    }
    sizes[0] += kTotal - given;

    static const char* const kExt[] = {".png", ".xml", ".dll", ".dat"};
    std::string content;
    for (uint32_t i = 0; i < kFiles; ++i) {
        Kind kind = i < 12 ? kBinary : r.Below(100) < 13 ? kPacked : Kind(r.Below(3) + 1);
        std::string folder = folders[r.Below(uint32_t(folders.size()))];
        fs::path path = root / (folder + "f" + std::to_string(i) + kExt[kind]);
        fs::create_directories(path.parent_path());
        content.clear();
        size_t n = sizes[i];
        // Large files mix their kinds in blocks, as real libraries carry resources.
        while (content.size() < n) {
            size_t block = std::min<size_t>(n, content.size() + (i < 12 ? 65536 : n));
            Kind k = i < 12 && r.Below(8) == 0 ? kPacked : kind;
            switch (k) {
                case kPacked: Packed(r, content, block); break;
                case kText: Text(r, content, block, words); break;
                case kBinary: Binary(r, content, block); break;
                case kTable: Table(r, content, block); break;
            }
        }
        content.resize(n);
        FILE* f = std::fopen(path.c_str(), "wb");
        if (!f || std::fwrite(content.data(), 1, n, f) != n || std::fclose(f) != 0)
            Die("cannot write " + path.string());
    }
}

uint32_t U32(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24; }

void DecodeNull(const char* file) {
    int fd = open(file, O_RDONLY);
    struct stat st;
    if (fd < 0 || fstat(fd, &st) != 0 || st.st_size < 16)
        Die(std::string("cannot read ") + file);
    const uint8_t* p = static_cast<const uint8_t*>(mmap(nullptr, size_t(st.st_size), PROT_READ, MAP_PRIVATE, fd, 0));
    if (p == MAP_FAILED)
        Die("cannot map");
    uint64_t total = U32(p + 4);
    uint64_t p1 = U32(p + 8);
    uint64_t p2 = U32(p + 12 + p1);
    const uint8_t* body = p + 16 + p1;
    if (16 + p1 + p2 > uint64_t(st.st_size) || p2 < 5)
        Die("truncated archive");
    lzma_filter filters[2] = {{LZMA_FILTER_LZMA1, nullptr}, {LZMA_VLI_UNKNOWN, nullptr}};
    if (lzma_properties_decode(&filters[0], nullptr, body, 5) != LZMA_OK)
        Die("bad properties");
    lzma_stream s = LZMA_STREAM_INIT;
    if (lzma_raw_decoder(&s, filters) != LZMA_OK)
        Die("cannot start the decoder");
    s.next_in = body + 5;
    s.avail_in = p2 - 5;
    static uint8_t out[1 << 16];
    uint64_t produced = 0;
    while (produced < total) {
        s.next_out = out;
        s.avail_out = std::min<uint64_t>(sizeof out, total - produced);
        size_t before = s.avail_out;
        lzma_ret r = lzma_code(&s, LZMA_RUN);
        produced += before - s.avail_out;
        if (r != LZMA_OK || before == s.avail_out)
            break;
    }
    lzma_end(&s);
    std::free(filters[0].options);
    if (produced != total)
        Die("body decoded to " + std::to_string(produced) + " of " + std::to_string(total) + " bytes");
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "gen") == 0)
        Generate(argv[2]);
    else if (argc == 3 && std::strcmp(argv[1], "decode-null") == 0)
        DecodeNull(argv[2]);
    else {
        std::fputs("usage: payload-bench gen DIR | payload-bench decode-null FILE\n", stderr);
        return 2;
    }
    return 0;
}

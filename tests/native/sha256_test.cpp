// SHA-256 against the published test vectors, across the padding edges
// (55, 56 and 64 bytes of the last block), against the system's sha256sum,
// and incremental hashing cut at every position.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <unistd.h>

#include "sha256.h"

namespace {

std::string Hex(const Sha256Digest& d) {
    static const char digits[] = "0123456789abcdef";
    std::string s;
    for (uint8_t b : d) {
        s.push_back(digits[b >> 4]);
        s.push_back(digits[b & 15]);
    }
    return s;
}

std::string HexOf(const std::string& text) {
    return Hex(Sha256(reinterpret_cast<const uint8_t*>(text.data()), text.size()));
}

// sha256sum of the bytes, through a temporary file.
std::string SystemSha256(const std::string& bytes) {
    char path[] = "/tmp/sha256-test-XXXXXX";
    int fd = mkstemp(path);
    if (fd < 0)
        return "mkstemp failed";
    bool written = write(fd, bytes.data(), bytes.size()) == ssize_t(bytes.size());
    close(fd);
    if (!written) {
        unlink(path);
        return "write failed";
    }
    std::string command = std::string("sha256sum ") + path;
    std::string out;
    if (FILE* p = popen(command.c_str(), "r")) {
        char buf[128];
        while (fgets(buf, sizeof buf, p))
            out += buf;
        pclose(p);
    }
    unlink(path);
    return out.substr(0, 64);
}

}  // namespace

TEST(Sha256, PublishedVectors) {
    EXPECT_EQ(HexOf(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(Hex(Sha256(nullptr, 0)), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(HexOf("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    // 448 bits: the length no longer fits the first block.
    EXPECT_EQ(HexOf("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
              "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
    EXPECT_EQ(HexOf("abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnopqklmnopqrlmnopqrsm"
                    "nopqrstnopqrstu"),
              "cf5b16a778af8380036ce59e7b0492370b249b11e8f07a51afac45037afee9d1");
    EXPECT_EQ(HexOf(std::string(1000000, 'a')), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

TEST(Sha256, PaddingEdges) {
    const struct {
        size_t length;
        const char* digest;
    } cases[] = {
        {55, "9f4390f8d30c2dd92ec9f095b65e2b9ae9b0a925a5258e241c9f1e910f734318"},
        {56, "b35439a4ac6f0948b6d6f9e3c6af0f5f590ce20f1bde7090ef7970686ec6738a"},
        {57, "f13b2d724659eb3bf47f2dd6af1accc87b81f09f59f2b75e5c0bed6589dfe8c6"},
        {63, "7d3e74a05d7db15bce4ad9ec0658ea98e3f06eeecf16b4c6fff2da457ddc2f34"},
        {64, "ffe054fe7ae0cb6dc65c3af9b61d5209f439851db43d0ba5997337df154668eb"},
        {65, "635361c48bb9eab14198e76ea8ab7f1a41685d6ad62aa9146d301d4f17eb0ae0"},
        {119, "31eba51c313a5c08226adf18d4a359cfdfd8d2e816b13f4af952f7ea6584dcfb"},
        {120, "2f3d335432c70b580af0e8e1b3674a7c020d683aa5f73aaaedfdc55af904c21c"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(HexOf(std::string(c.length, 'a')), c.digest) << c.length << " bytes";
}

TEST(Sha256, AgreesWithSha256sumForEveryLengthUpTo200) {
    std::string bytes;
    for (int n = 0; n <= 200; ++n) {
        ASSERT_EQ(HexOf(bytes), SystemSha256(bytes)) << n << " bytes";
        bytes.push_back(char(n * 37 + 11));  // all byte values, high bit included
    }
}

TEST(Sha256, IncrementalEqualsOneShotAtEveryCut) {
    std::string bytes;
    for (int i = 0; i < 300; ++i)
        bytes.push_back(char(i * 131 + 7));
    const Sha256Digest whole = Sha256(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    const uint8_t* p = reinterpret_cast<const uint8_t*>(bytes.data());
    Sha256Hasher hasher;
    for (size_t cut = 0; cut <= bytes.size(); ++cut) {
        hasher.Update(p, cut);
        hasher.Update(p + cut, 0);
        hasher.Update(p + cut, bytes.size() - cut);
        ASSERT_EQ(Hex(hasher.Final()), Hex(whole)) << "cut at " << cut;
    }
    // Byte by byte, and Final leaving the hasher ready for the next message.
    for (uint8_t b : bytes)
        hasher.Update(&b, 1);
    EXPECT_EQ(Hex(hasher.Final()), Hex(whole));
    EXPECT_EQ(Hex(hasher.Final()), HexOf(""));
}

// The processor's SHA extensions and the portable code must agree on every
// shape of input: many blocks at once, a start off the 16-byte alignment,
// pieces that end mid-block. Where the processor lacks the extensions both
// hashers run the portable code and the test says it was skipped.
TEST(Sha256, ShaExtensionsAgreeWithPortableCode) {
    if (Sha256FastestEngine() != Sha256Engine::ShaExtensions)
        GTEST_SKIP() << "this processor has no SHA extensions";
    Sha256Hasher portable(Sha256Engine::Portable), extensions(Sha256Engine::ShaExtensions);
    ASSERT_EQ(portable.engine(), Sha256Engine::Portable);
    ASSERT_EQ(extensions.engine(), Sha256Engine::ShaExtensions);

    std::string bytes(70000, '\0');
    uint32_t seed = 2463534242u;
    for (char& c : bytes) {
        seed ^= seed << 13, seed ^= seed >> 17, seed ^= seed << 5;
        c = char(seed);
    }
    const uint8_t* p = reinterpret_cast<const uint8_t*>(bytes.data());
    for (size_t start : {0, 1, 3, 15, 64}) {
        for (size_t length : {0, 1, 55, 56, 64, 65, 127, 128, 4096, 65536 + 17}) {
            size_t piece = length / 3 + 1;
            for (size_t at = 0; at < length; at += piece) {
                size_t n = std::min(piece, length - at);
                portable.Update(p + start + at, n);
                extensions.Update(p + start + at, n);
            }
            ASSERT_EQ(Hex(extensions.Final()), Hex(portable.Final())) << length << " bytes from " << start;
        }
    }
    Sha256Hasher million(Sha256Engine::ShaExtensions);
    const std::string a(1000000, 'a');
    million.Update(reinterpret_cast<const uint8_t*>(a.data()), a.size());
    EXPECT_EQ(Hex(million.Final()), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

// The portable code on its own, against published vectors: on a processor
// with the extensions the one-shot tests above run those instead.
TEST(Sha256, PortableCodeMatchesPublishedVectors) {
    Sha256Hasher hasher(Sha256Engine::Portable);
    const std::string abc = "abc", a(1000000, 'a');
    hasher.Update(reinterpret_cast<const uint8_t*>(abc.data()), abc.size());
    EXPECT_EQ(Hex(hasher.Final()), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    hasher.Update(reinterpret_cast<const uint8_t*>(a.data()), a.size());
    EXPECT_EQ(Hex(hasher.Final()), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

// Stamping by segments (tools/tinfo/tagstamp.h) and reading the tag back as
// the installer does (ReadInstallerTrackingBlock): the segments make the
// file a full rewrite would, the checksum is right whatever odd count later
// bytes move by, re-stamping replaces, older copies still read, and a
// damaged certificate table is rejected, not followed.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "certtable.h"
#include "peimage.h"
#include "perror.h"
#include "tagcertificate.h"
#include "tagstamp.h"
#include "test_paths.h"
#include "tracking.h"

namespace {

class TagStamp : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir_ = ScratchFolder("tagstamp");
        std::string stub = InstallerStubPath();
        ASSERT_TRUE(std::filesystem::exists(stub)) << "build the Windows tree first (tools/build.sh)";
        std::string q = "'" + dir_ + "/";
        ASSERT_EQ(std::system(("openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=Stamp -keyout " + q +
                               "key.pem' -out " + q + "cert.pem' >/dev/null 2>&1 && cp '" + stub + "' " + q +
                               "signed.exe' && '" + SourcePath("tools/sign.sh") + "' --name Stamp --cert " + q +
                               "cert.pem' --key " + q + "key.pem' " + q + "signed.exe' >/dev/null")
                                  .c_str()),
                  0);
        unsigned_ = new std::string(ReadWholeFile(stub));
        signed_ = new std::string(ReadWholeFile(dir_ + "/signed.exe"));
    }
    static void TearDownTestSuite() {
        delete unsigned_;
        delete signed_;
    }

    // The file `bytes` stamped with text, by its segments.
    static std::string Stamped(const std::string& bytes, const std::string& text,
                               std::vector<StampSegment>* segments = nullptr) {
        std::string path = Write(bytes);
        FILE* f = std::fopen(path.c_str(), "rb");
        PreparedInstaller prepared = PreparedInstaller::Prepare(f);
        std::vector<StampSegment> s = prepared.Segments(text);
        std::string out = AssembleSegments(f, s);
        std::fclose(f);
        if (segments)
            *segments = s;
        return out;
    }
    static std::string Write(const std::string& bytes) {
        std::string path = dir_ + "/work.exe";
        WriteWholeFile(path, bytes);
        return path;
    }
    // The block as the installer reads it from its own file.
    static TrackingBlockStatus Read(const std::string& bytes, std::string& text, std::string& why) {
        FILE* f = std::fopen(Write(bytes).c_str(), "rb");
        _PBlock block;
        TrackingBlockStatus status = ReadInstallerTrackingBlock(f, block, why);
        std::fclose(f);
        text.assign(reinterpret_cast<const char*>(block.ptr()), block.size());
        return status;
    }

    static std::string dir_;
    static std::string* unsigned_;
    static std::string* signed_;
};
std::string TagStamp::dir_;
std::string* TagStamp::unsigned_;
std::string* TagStamp::signed_;

TEST_F(TagStamp, SegmentsGiveAFileWhoseChecksumAndTagAreRightForEveryShift) {
    // Tags of 1 to 40 bytes more move the signer information by odd and even counts.
    for (size_t extra = 0; extra <= 40; ++extra) {
        const std::string text = "SRC=" + std::string(extra, 'x') + "\n";
        std::vector<StampSegment> segments;
        const std::string out = Stamped(*signed_, text, &segments);
        PeImage pe(out);
        EXPECT_EQ(pe.checksum(), PeChecksum(out, pe.checksumOffset())) << extra;
        PeDataDirectory table = pe.directory(kPeDirSecurity);
        EXPECT_EQ(uint64_t(table.address) + table.size, out.size());
        EXPECT_EQ(table.size % 8, 0u);
        std::string read, why;
        ASSERT_EQ(Read(out, read, why), TrackingBlockStatus::Found) << why;
        EXPECT_EQ(read, text);
        // Computed bytes: headers, the certificate and padding, never the file.
        size_t computed = 0;
        for (const StampSegment& s : segments)
            computed += s.fromFile() ? 0 : s.bytes.size();
        EXPECT_LT(computed, 800u + text.size()) << extra;
    }
}

TEST_F(TagStamp, NoTagGivesTheSignedFileAndStampingAgainReplaces) {
    EXPECT_TRUE(Stamped(*signed_, "") == *signed_);
    const std::string once = Stamped(*signed_, "SRC=first\nTHM=dark\n");
    const std::string twice = Stamped(once, "SRC=second-and-longer\n");
    EXPECT_TRUE(twice == Stamped(*signed_, "SRC=second-and-longer\n"));
    EXPECT_TRUE(Stamped(once, "") == *signed_);
    std::string read, why;
    ASSERT_EQ(Read(twice, read, why), TrackingBlockStatus::Found);
    EXPECT_EQ(read, "SRC=second-and-longer\n");
    std::string unsignedRead;
    ASSERT_EQ(Read(*signed_, unsignedRead, why), TrackingBlockStatus::NotFound);
}

TEST_F(TagStamp, CopiesStampedTheOldWayStillReadAndAreStampedClean) {
    // An older tinfo put the block after the PKCS#7 data, inside the entry.
    const std::string old = WithCertificateTableTail(PeImage(*signed_), EncodeTrackingBlock("SRC=old\n"));
    std::string read, why;
    ASSERT_EQ(Read(old, read, why), TrackingBlockStatus::Found) << why;
    EXPECT_EQ(read, "SRC=old\n");
    EXPECT_TRUE(Stamped(old, "SRC=new\n") == Stamped(*signed_, "SRC=new\n"));
    EXPECT_TRUE(Stamped(old, "") == *signed_);
}

TEST_F(TagStamp, UnsignedInstallersTakeTheBlockAtTheEndAsBefore) {
    const std::string text = "SRC=plain\n";
    EXPECT_TRUE(Stamped(*unsigned_, text) == StampTrackingBlock(*unsigned_, text));
    EXPECT_TRUE(Stamped(StampTrackingBlock(*unsigned_, "SRC=a\n"), text) == StampTrackingBlock(*unsigned_, text));
    std::string read, why;
    ASSERT_EQ(Read(Stamped(*unsigned_, text), read, why), TrackingBlockStatus::Found);
    EXPECT_EQ(read, text);
}

TEST_F(TagStamp, DamagedTablesAreRejectedAndStampingRefusesThem) {
    const std::string good = Stamped(*signed_, "SRC=a\n");
    PeImage pe(good);
    const size_t sizeField = pe.directoryOffset(kPeDirSecurity) + 4;
    const uint32_t tableAt = pe.directory(kPeDirSecurity).address;
    std::string read, why;

    std::string past = good;
    PeWrite32(past, sizeField, pe.directory(kPeDirSecurity).size + 8);
    EXPECT_EQ(Read(past, read, why), TrackingBlockStatus::Rejected);
    EXPECT_EQ(why, "the certificate table lies outside the file");

    // The PKCS#7 data claims more than its entry holds.
    std::string longer = good;
    ASSERT_EQ(uint8_t(longer[tableAt + 8]), 0x30);
    ASSERT_EQ(uint8_t(longer[tableAt + 9]), 0x82);
    longer[tableAt + 10] = char(0x7F);
    why.clear();
    EXPECT_EQ(Read(longer, read, why), TrackingBlockStatus::Rejected);
    EXPECT_EQ(why, "the signature data is not a DER SEQUENCE");

    // A table beyond the reader's bound.
    std::string huge = good + std::string(kMaxTagTableSize, '\0');
    PeWrite32(huge, sizeField, uint32_t(huge.size() - tableAt));
    PeWrite32(huge, tableAt, uint32_t(huge.size() - tableAt));
    EXPECT_EQ(Read(huge, read, why), TrackingBlockStatus::Rejected);
    EXPECT_NE(why.find("larger than 524288 bytes"), std::string::npos) << why;

    // The tag certificate's extension no OCTET STRING: its inner tag broken.
    std::string inner = good;
    const std::string oid(reinterpret_cast<const char*>(kTagExtensionOid), sizeof kTagExtensionOid);
    size_t at = inner.find(oid, tableAt);
    ASSERT_NE(at, std::string::npos);
    ASSERT_EQ(inner[at + oid.size()], 0x04);  // extnValue
    inner[at + oid.size() + 2] = 0x05;        // its content's OCTET STRING tag
    EXPECT_EQ(Read(inner, read, why), TrackingBlockStatus::Rejected);
    EXPECT_NE(why.find("tag certificate"), std::string::npos) << why;

    for (const std::string* bad : {&past, &longer, &inner}) {
        FILE* f = std::fopen(Write(*bad).c_str(), "rb");
        EXPECT_THROW(PreparedInstaller::Prepare(f), PInternalError);
        std::fclose(f);
    }
}

}  // namespace

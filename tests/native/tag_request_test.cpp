// The tag server's request reading without a socket: the query string's
// tag, the Range field, and the body pieces a range cuts out.
#include <gtest/gtest.h>

#include "byterange.h"
#include "responsebody.h"
#include "tagquery.h"

namespace {

TEST(TagQuery, ParametersBecomeLinesInTheirOrder) {
    TagQuery tag = TagFromQuery("SRC=partner7&CAMP=winter");
    ASSERT_TRUE(tag.accepted) << tag.reason;
    EXPECT_EQ(tag.lines, (std::vector<std::string>{"SRC=partner7", "CAMP=winter"}));

    tag = TagFromQuery("");
    EXPECT_TRUE(tag.accepted);
    EXPECT_TRUE(tag.lines.empty());
    // Empty parameters (a link builder's trailing '&') are no lines.
    tag = TagFromQuery("&SRC=a&&");
    ASSERT_TRUE(tag.accepted) << tag.reason;
    EXPECT_EQ(tag.lines, (std::vector<std::string>{"SRC=a"}));
}

TEST(TagQuery, ValuesArePercentDecodedWithPlusAsASpace) {
    TagQuery tag = TagFromQuery("THM=dark+blue&SRC=a%2Bb%3Dc");
    ASSERT_TRUE(tag.accepted) << tag.reason;
    EXPECT_EQ(tag.lines, (std::vector<std::string>{"THM=dark blue", "SRC=a+b=c"}));
}

TEST(TagQuery, MalformedParametersAreRefusedWithAReason) {
    for (const char* query : {"SRC", "SRC=a&CAMP", "SRC=%4", "SRC=%zz", "SRC=a%", "=value"}) {
        TagQuery tag = TagFromQuery(query);
        EXPECT_FALSE(tag.accepted) << query;
        EXPECT_FALSE(tag.reason.empty()) << query;
        EXPECT_TRUE(tag.lines.empty() || !tag.accepted) << query;
    }
    EXPECT_NE(TagFromQuery("SRC").reason.find("no '='"), std::string::npos);
    EXPECT_NE(TagFromQuery("SRC=%zz").reason.find("percent-escape"), std::string::npos);
}

// The grammar the installer applies, on decoded values: what would split a
// line or start a section in the client's INI readers never gets through.
TEST(TagQuery, TheTagGrammarIsAppliedAfterDecoding) {
    for (const char* query : {"THM=x%0D%5Bupdate%5D", "THM=x%0Durl=http://evil.invalid/", "THM=x%0Aurl=y",
                              "SRC=%5Bsection%5D", "SRC=a%00", "SRC=caf%C3%A9", "S%20RC=a", "SRC-1=a",
                              "ITS=1000000000", "+ITS=1", "iz=0", "%20It%73%09=1"}) {
        TagQuery tag = TagFromQuery(query);
        EXPECT_FALSE(tag.accepted) << query;
        EXPECT_FALSE(tag.reason.empty()) << query;
    }
    EXPECT_NE(TagFromQuery("+ITS=1").reason.find("reserved"), std::string::npos);
    // Blanks around keys and values are trimmed, as the grammar trims them.
    TagQuery tag = TagFromQuery("+SRC+=+partner7+&THM=%09dark");
    ASSERT_TRUE(tag.accepted) << tag.reason;
    EXPECT_EQ(tag.lines, (std::vector<std::string>{"SRC=partner7", "THM=dark"}));
    // Bounds: one parameter past the most lines, one byte past the longest value.
    std::string many;
    for (int i = 0; i <= 32; ++i)
        many += "K" + std::to_string(i) + "=v&";
    EXPECT_FALSE(TagFromQuery(many).accepted);
    EXPECT_TRUE(TagFromQuery("SRC=" + std::string(255, 'v')).accepted);
    EXPECT_FALSE(TagFromQuery("SRC=" + std::string(256, 'v')).accepted);
}

TEST(TagQuery, TheLogFormCannotCarryLineBreaksOrSpaces) {
    EXPECT_EQ(TagForLog({"SRC=a b", "X=\r\n\"&"}), "SRC=a%20b&X=%0D%0A%22%26");
    EXPECT_EQ(TagForLog({}), "");
}

TEST(ByteRange, TheThreeFormsOfOneRange) {
    ByteRange r = ParseByteRange("bytes=0-99", 1000);
    EXPECT_EQ(r.kind, ByteRange::Part);
    EXPECT_EQ(r.first, 0u);
    EXPECT_EQ(r.length, 100u);
    r = ParseByteRange("bytes=990-", 1000);
    EXPECT_EQ(r.kind, ByteRange::Part);
    EXPECT_EQ(r.first, 990u);
    EXPECT_EQ(r.length, 10u);
    r = ParseByteRange("bytes=-200", 1000);
    EXPECT_EQ(r.kind, ByteRange::Part);
    EXPECT_EQ(r.first, 800u);
    EXPECT_EQ(r.length, 200u);
    r = ParseByteRange("Bytes=5-5", 1000);  // the unit in any case
    EXPECT_EQ(r.kind, ByteRange::Part);
    EXPECT_EQ(r.first, 5u);
    EXPECT_EQ(r.length, 1u);
}

TEST(ByteRange, RangesPastTheEndAreCutOrRefused) {
    ByteRange r = ParseByteRange("bytes=900-5000", 1000);
    EXPECT_EQ(r.kind, ByteRange::Part);
    EXPECT_EQ(r.length, 100u);
    r = ParseByteRange("bytes=-5000", 1000);  // more than the whole: the whole
    EXPECT_EQ(r.kind, ByteRange::Part);
    EXPECT_EQ(r.first, 0u);
    EXPECT_EQ(r.length, 1000u);
    EXPECT_EQ(ParseByteRange("bytes=1000-", 1000).kind, ByteRange::Unsatisfiable);
    EXPECT_EQ(ParseByteRange("bytes=1000-2000", 1000).kind, ByteRange::Unsatisfiable);
    EXPECT_EQ(ParseByteRange("bytes=-0", 1000).kind, ByteRange::Unsatisfiable);
    EXPECT_EQ(ParseByteRange("bytes=0-", 0).kind, ByteRange::Unsatisfiable);
}

TEST(ByteRange, WhatIsNotOneByteRangeIsIgnored) {
    for (const char* field : {"", "bytes=", "bytes=-", "bytes=5-1", "bytes=0-1,5-6", "items=0-1", "bytes=a-b",
                              "bytes=0x10-", "bytes=1-2-3", "bytes =0-1", "bytes=99999999999999999999-"})
        EXPECT_EQ(ParseByteRange(field, 1000).kind, ByteRange::Whole) << field;
}

TEST(ResponseBody, ASliceTakesItsPartOfEveryPieceItCrosses) {
    ResponseBody body = {BodyPiece::File(100, 10), BodyPiece::Bytes("abcd"), BodyPiece::File(500, 6)};
    ASSERT_EQ(BodySize(body), 20u);
    ResponseBody slice = SliceBody(body, 8, 9);  // 2 of the file, all 4 bytes, 3 of the second range
    ASSERT_EQ(slice.size(), 3u);
    EXPECT_TRUE(slice[0].fromFile);
    EXPECT_EQ(slice[0].fileOffset, 108u);
    EXPECT_EQ(slice[0].length, 2u);
    EXPECT_EQ(slice[1].bytes, "abcd");
    EXPECT_EQ(slice[2].fileOffset, 500u);
    EXPECT_EQ(slice[2].length, 3u);
    EXPECT_EQ(BodySize(slice), 9u);

    slice = SliceBody(body, 11, 2);  // inside the buffer only
    ASSERT_EQ(slice.size(), 1u);
    EXPECT_EQ(slice[0].bytes, "bc");
    EXPECT_EQ(BodySize(SliceBody(body, 0, 20)), 20u);
    EXPECT_TRUE(SliceBody(body, 20, 0).empty());
}

}  // namespace

// Byte blocks, strings, input streams and errors.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "perror.h"
#include "pstream.h"
#include "pstring.h"

namespace {

class RecordingCallback : public PError::Callback {
public:
    explicit RecordingCallback(std::vector<std::string>* lines) : lines_(lines) {}
    void report(const char* message) override { lines_->push_back(message); }
private:
    std::vector<std::string>* lines_;
};

// While it lives, allocations of at least `limit` bytes fail (smaller ones,
// such as an error's own text, still succeed).
class FailingAllocations {
public:
    explicit FailingAllocations(size_t limit) {
        limit_ = limit;
        old_ = _PBlock::SetAllocator({&Allocate, &Reallocate});
    }
    ~FailingAllocations() { _PBlock::SetAllocator(old_); }
private:
    static void* Allocate(size_t n) { return n >= limit_ ? nullptr : std::malloc(n); }
    static void* Reallocate(void* p, size_t n) { return n >= limit_ ? nullptr : std::realloc(p, n); }
    static inline size_t limit_ = 0;
    _PBlock::Allocator old_;
};

TEST(PStringGrowth, AppendsGrowGeometricallyFrom64Bytes) {
    PString s;
    s.append('a');
    EXPECT_EQ(s.size(), 2u);
    EXPECT_EQ(s.capacity(), 64u);
    while (s.size() < 64)
        s.append('b');
    EXPECT_EQ(s.capacity(), 64u);
    s.append('c');
    EXPECT_EQ(s.size(), 65u);
    EXPECT_EQ(s.capacity(), 130u);
    EXPECT_EQ(std::string(s.text()), "a" + std::string(62, 'b') + "c");

    PString t;
    t.append(std::string(32, 'x').c_str());  // size 33 on an empty block
    EXPECT_EQ(t.size(), 33u);
    EXPECT_EQ(t.capacity(), 66u);
}

TEST(PStringGrowth, AssignmentFitsExactlyAndGivesMemoryBack) {
    PString big;
    big.alloc(200);
    big.assign("0123456789");
    EXPECT_EQ(big.capacity(), 11u);
    EXPECT_STREQ(big.text(), "0123456789");

    PString small;
    small.alloc(64);
    const uint8_t* before = small.ptr();
    small.assign("0123456789");
    EXPECT_EQ(small.capacity(), 64u);
    EXPECT_EQ(small.ptr(), before);
    EXPECT_EQ(small.size(), 11u);
}

TEST(PStringGrowth, EmptyAssignmentFreesAndReadsBackEmpty) {
    PString s("something");
    s.assign("");
    EXPECT_EQ(s.ptr(), nullptr);
    EXPECT_EQ(s.capacity(), 0u);
    EXPECT_STREQ(s.text(), "");
    s.assign(nullptr);
    EXPECT_STREQ(s.text(), "");
}

TEST(PStringConstruction, RangesAndLengthsStopAtNul) {
    const char raw[] = {'a', 'b', 0, 'c'};
    EXPECT_STREQ(PString(raw, raw + 4).text(), "ab");
    EXPECT_STREQ(PString(raw, 4).text(), "ab");
    EXPECT_STREQ(PString("abcdef", 3).text(), "abc");
    EXPECT_EQ(PString("", 0).size(), 0u);
    EXPECT_EQ(PString(static_cast<const char*>(nullptr)).size(), 0u);
    PString copy(PString("xyz"));
    EXPECT_EQ(copy.capacity(), 4u);  // copies are exact-size
}

TEST(PStringAppend, IgnoresNulAndEmptyAndSelfAppendIsSafe) {
    PString s;
    s.append('\0').append("").append(static_cast<const char*>(nullptr)).append("abc", 0).append("abc", -1);
    EXPECT_EQ(s.size(), 0u);
    s.append("hello");
    for (int i = 0; i < 6; ++i)
        s.append(s.text());  // the source lives in the block being grown
    EXPECT_EQ(s.length(), 5u * 64);
    EXPECT_EQ(std::string(s.text()).substr(315), "hello");
}

TEST(PStringAppend, NumbersInEveryForm) {
    PString s;
    s.appendInt(-15).append(' ').appendHex(255).append(' ').appendHex64(0).append(' ').appendUint(4294967295u);
    s.append(' ').appendInt(INT32_MIN).append(' ').appendHex64(0x123456789ABCDEF0ull);
    EXPECT_STREQ(s.text(), "-15 FF 0 4294967295 -2147483648 123456789ABCDEF0");
}

TEST(PStringHelpers, BlanksCaseAndLowering) {
    EXPECT_STREQ(PSkipBlanks(" \t x "), "x ");
    const char* t = "ab \t ";
    EXPECT_EQ(PEndWithoutBlanks(t) - t, 2);
    EXPECT_EQ(PCompareNoCase("Hello", "hELLO"), 0);
    EXPECT_LT(PCompareNoCase("abc", "abd"), 0);
    EXPECT_EQ(PCompareNoCase("a", "ab"), -'B');
    // Length-limited: only the first n bytes count, and a shared end stops it.
    EXPECT_EQ(PCompareNoCaseN("-NoLaunchX", "-nolaunch", 9), 0);
    EXPECT_NE(PCompareNoCaseN("-NoLaunchX", "-nolaunch", 10), 0);
    EXPECT_EQ(PCompareNoCaseN("Ab\0x", "aB\0y", 4), 0);
    EXPECT_LT(PCompareNoCaseN("ab", "abc", 3), 0);
    EXPECT_EQ(PCompareNoCaseN("x", "y", 0), 0);
    EXPECT_NE(PCompareNoCaseN("[", "{", 1), 0);  // only letters fold
    char buf[] = "MiXeD \xC9";
    PLowerAscii(buf);
    EXPECT_STREQ(buf, "mixed \xC9");  // only A-Z change
}

TEST(PBlock, MovesLeaveTheSourceEmptyAndSelfMoveKeepsData) {
    PString a("abc");
    PString b(std::move(a));
    EXPECT_EQ(a.ptr(), nullptr);
    EXPECT_EQ(a.size(), 0u);
    EXPECT_STREQ(b.text(), "abc");
    PString& alias = b;
    b = std::move(alias);
    EXPECT_STREQ(b.text(), "abc");
    _PBlock block;
    block.alloc(100);
    EXPECT_EQ(block.capacity(), 100u);
    block.alloc(60);  // 60 < 100/2 is false: reused
    EXPECT_EQ(block.capacity(), 100u);
    block.alloc(40);  // less than half of a block over 64 bytes: exact again
    EXPECT_EQ(block.capacity(), 40u);
    block.alloc(0);
    EXPECT_EQ(block.ptr(), nullptr);
}

TEST(PBlock, AllocationFailuresNameTheOperationAndKeepState) {
    PString s(std::string(299, 'a').c_str());
    FailingAllocations fail(250);
    try {
        PString copy(s);
        FAIL() << "copy succeeded";
    } catch (const PSystemMemoryError& e) {
        EXPECT_STREQ(e.why(), "_PBlock::_PBlock( other ), number of bytes requested: 0x12C");
    }
    try {
        s.append("more");
        FAIL() << "append succeeded";
    } catch (const PSystemMemoryError& e) {
        EXPECT_STREQ(e.why(), "_PBlock::_realloc, number of bytes requested: 0x260");
    }
    EXPECT_EQ(std::string(s.text()), std::string(299, 'a'));  // a failed append keeps the block
    EXPECT_EQ(s.size(), 300u);
}

TEST(PBlock, FailedAllocLeavesTheBlockEmpty) {
    _PBlock b;
    b.alloc(10);
    FailingAllocations fail(500);
    try {
        b.alloc(1000);
        FAIL() << "alloc succeeded";
    } catch (const PSystemMemoryError& e) {
        EXPECT_STREQ(e.why(), "_PBlock::alloc, number of bytes requested: 0x3E8");
    }
    EXPECT_EQ(b.ptr(), nullptr);
    EXPECT_EQ(b.size(), 0u);
    EXPECT_EQ(b.capacity(), 0u);
}

TEST(PBlock, MemoryErrorWhoseTextCannotBeAllocatedDoesNotRecurse) {
    _PBlock b;
    FailingAllocations fail(1);
    try {
        b.alloc(1000);
        FAIL() << "alloc succeeded";
    } catch (const PSystemMemoryError& e) {
        EXPECT_STREQ(e.why(), "out of memory");
    }
}

TEST(PMemInputStream, ReadsInPiecesThenZero) {
    PString s("0123456789");
    PMemInputStream in(s.ptr(), 10);
    char buf[4];
    EXPECT_EQ(in.read(buf, 4), 4u);
    EXPECT_EQ(in.read(buf, 4), 4u);
    EXPECT_EQ(in.read(buf, 4), 2u);
    EXPECT_EQ(std::string(buf, 2), "89");
    EXPECT_EQ(in.read(buf, 4), 0u);
}

TEST(PErrors, TextsOfEveryClass) {
    EXPECT_STREQ(PAssert("msgData", "..\\..\\plib\\ppmsg", 22).why(),
                 "Assertion failed: msgData, file ..\\..\\plib\\ppmsg, line 22");
    EXPECT_STREQ(PSystemError("x", 1234).why(), "x: Unknown error (1234=0x4D2)");
    EXPECT_STREQ(PSystemMemoryError("'new', number of bytes requested", 16).why(),
                 "'new', number of bytes requested: 0x10");
    EXPECT_STREQ(PI18NError("UTF-8 format error").why(), "UTF-8 format error");
}

TEST(PErrors, SystemErrorHasTwoBlanksBeforeTheCode) {
    EXPECT_STREQ(PSystemError("Cannot open", 5).why(), "Cannot open: Access is denied.  (5=0x5)");
}

TEST(PErrors, CatchingByBaseClass) {
    auto caughtAsInternal = [](auto thrower) {
        try {
            thrower();
        } catch (const PInternalError&) {
            return true;
        } catch (const PError&) {
            return false;
        }
        return false;
    };
    EXPECT_TRUE(caughtAsInternal([] { throw PAssert("0", "f", 1); }));
    EXPECT_TRUE(caughtAsInternal([] { throw PSystemError("s", 2); }));
    EXPECT_TRUE(caughtAsInternal([] { throw PSystemMemoryError("m", 3); }));
    EXPECT_FALSE(caughtAsInternal([] { throw PI18NError("UTF-8 format error"); }));
}

TEST(PErrors, CallbackSeesEachErrorOnceNotItsCopies) {
    std::vector<std::string> lines;
    SetErrorCallback(new RecordingCallback(&lines));
    PInternalError e("first");
    PInternalError copy(e);
    PError assigned("second");
    assigned = copy;
    EXPECT_STREQ(assigned.why(), "first");
    SetErrorCallback(nullptr);
    PError after("unreported");
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], "first");
    EXPECT_EQ(lines[1], "second");
}

TEST(PErrors, AssertionMacroThrowsWithTheConditionText) {
    int sizeOf = 0;
    try {
        PASSERT(sizeOf);
        FAIL() << "no throw";
    } catch (const PAssert& e) {
        EXPECT_NE(std::string(e.why()).find("Assertion failed: sizeOf, file "), std::string::npos);
    }
}

}  // namespace

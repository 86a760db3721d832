// The move-only owners: every handle is closed exactly once, whoever ends
// up holding it, and "none" is never closed.
#include <gtest/gtest.h>

#include <cstdio>
#include <vector>

#include <unistd.h>

#include "punique.h"

namespace {
std::vector<int> closed;
void RecordClose(int handle) noexcept { closed.push_back(handle); }
using Owner = UniqueAny<int, &RecordClose>;          // none is 0
using MinusOneOwner = UniqueAny<int, &RecordClose, -1>;  // none is -1

Owner MakeOwner(int handle) { return Owner(handle); }

class UniqueOwner : public ::testing::Test {
protected:
    void SetUp() override { closed.clear(); }
};
}  // namespace

TEST_F(UniqueOwner, ClosesOnceWhenItEndsAndNeverClosesNone) {
    {
        Owner empty;
        Owner held(7);
        EXPECT_FALSE(empty);
        EXPECT_TRUE(held);
        EXPECT_EQ(held.get(), 7);
    }
    EXPECT_EQ(closed, std::vector<int>({7}));
}

TEST_F(UniqueOwner, MovingHandsTheHandleOverWithoutClosingIt) {
    Owner returned = MakeOwner(3);  // returned from a function
    EXPECT_TRUE(closed.empty());
    Owner moved(std::move(returned));
    EXPECT_FALSE(returned);
    EXPECT_EQ(moved.get(), 3);
    Owner target(9);
    target = std::move(moved);  // the target's own handle is closed first
    EXPECT_EQ(closed, std::vector<int>({9}));
    EXPECT_EQ(target.get(), 3);
    target = std::move(target);  // moving into itself keeps the handle open
    EXPECT_EQ(target.get(), 3);
    std::vector<Owner> kept;
    kept.push_back(std::move(target));
    kept.emplace_back(4);
    kept.clear();
    EXPECT_EQ(closed, std::vector<int>({9, 3, 4}));
}

TEST_F(UniqueOwner, ReleaseResetAndPut) {
    Owner owner(5);
    EXPECT_EQ(owner.release(), 5);
    EXPECT_FALSE(owner);
    owner.reset(6);
    owner.reset(8);
    EXPECT_EQ(closed, std::vector<int>({6}));
    *owner.put() = 10;  // closes 8, then holds what the callee wrote
    EXPECT_EQ(closed, std::vector<int>({6, 8}));
    owner.reset();
    EXPECT_EQ(closed, std::vector<int>({6, 8, 10}));
}

TEST_F(UniqueOwner, KindsWhoseNoneIsMinusOneCloseZero) {
    {
        MinusOneOwner none;
        MinusOneOwner zero(0);  // a valid handle for these kinds
        EXPECT_FALSE(none);
        EXPECT_TRUE(zero);
    }
    EXPECT_EQ(closed, std::vector<int>({0}));
}

TEST_F(UniqueOwner, StdioFileIsClosedWithTheOwner) {
    char path[] = "/tmp/unique-owner-XXXXXX";
    int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    close(fd);
    {
        UniqueStdioFile file(std::fopen(path, "wb"));
        ASSERT_TRUE(file);
        ASSERT_EQ(std::fputs("kept", file.get()), 1);
    }  // buffered text reaches the file only if fclose ran
    UniqueStdioFile reread(std::fopen(path, "rb"));
    ASSERT_TRUE(reread);
    char text[8] = {};
    EXPECT_EQ(std::fread(text, 1, sizeof text, reread.get()), 4u);
    EXPECT_STREQ(text, "kept");
    std::remove(path);
}

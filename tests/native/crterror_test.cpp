// The Windows error code of a failed C runtime call: taken where the call
// failed, so that the calls made while the error text is built cannot turn
// it into "success".
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <string>

#include "pcrterror.h"
#include "perror.h"

TEST(CrtFailure, ErrnoValuesBecomeTheMatchingWindowsCodes) {
    EXPECT_EQ(WindowsErrorOfErrno(ENOSPC), 112u);
    EXPECT_EQ(WindowsErrorOfErrno(EACCES), 5u);
    EXPECT_EQ(WindowsErrorOfErrno(EPERM), 5u);
    EXPECT_EQ(WindowsErrorOfErrno(ENOENT), 2u);
    EXPECT_EQ(WindowsErrorOfErrno(EROFS), 19u);
    EXPECT_EQ(WindowsErrorOfErrno(EEXIST), 183u);
    EXPECT_EQ(WindowsErrorOfErrno(EMFILE), 4u);
    EXPECT_EQ(WindowsErrorOfErrno(ENAMETOOLONG), 206u);
    EXPECT_EQ(WindowsErrorOfErrno(EIO), 1117u);
    EXPECT_EQ(WindowsErrorOfErrno(0), 0u);
}

// A full disk: /dev/full accepts the buffered bytes and fails the flush at
// close with ENOSPC, as a full volume does at a file's last bytes.
TEST(CrtFailure, FullDiskKeepsItsCodeThroughLaterCalls) {
    FILE* f = std::fopen("/dev/full", "wb");
    if (!f)
        GTEST_SKIP() << "no /dev/full here";
    ASSERT_EQ(std::fwrite("data", 1, 4, f), 4u);
    ClearCrtFailure();
    ASSERT_NE(std::fclose(f), 0);
    const uint32_t code = CrtFailureCode(kCrtWriteFailed);

    // What the error path does before the error exists: other calls that
    // set errno again (here a failed open, then a clean one).
    EXPECT_EQ(std::fopen("/nonexistent-folder/x", "rb"), nullptr);
    errno = 0;

    PSystemError e("Cannot write to file 'K:\\Morvandite\\MorvanditeUninstall.exe'", code);
    EXPECT_STREQ(e.why(),
                 "Cannot write to file 'K:\\Morvandite\\MorvanditeUninstall.exe': There is not enough space on the "
                 "disk.  (112=0x70)");
}

TEST(CrtFailure, AFailureWithNoCodeNeverReadsAsSuccess) {
    ClearCrtFailure();
    EXPECT_EQ(CrtFailureCode(kCrtWriteFailed), 29u);
    EXPECT_EQ(CrtFailureCode(kCrtOpenFailed), 110u);
    PSystemError e("Cannot create folder 'X'", CrtFailureCode(kCrtCreateFailed));
    EXPECT_STREQ(e.why(), "Cannot create folder 'X': The directory or file cannot be created.  (82=0x52)");

    errno = EACCES;
    EXPECT_EQ(CrtFailureCode(kCrtWriteFailed), 5u);
}

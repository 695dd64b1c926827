#include <cstring>

#include <gtest/gtest.h>

#include "exec/exec_reply.h"

namespace zobrik {
namespace {

TEST(ExecReply, ShellResultAbove32IsOkayAnythingElseFailed) {
    EXPECT_EQ(&ExecReplyFor(33), &kExecReplyOkay);
    EXPECT_EQ(&ExecReplyFor(32), &kExecReplyFailed);
    EXPECT_EQ(&ExecReplyFor(2), &kExecReplyFailed);
    EXPECT_EQ(&ExecReplyFor(0), &kExecReplyFailed);
    EXPECT_EQ(&ExecReplyFor(-1), &kExecReplyFailed);
    EXPECT_EQ(&ExecReplyFor(INTPTR_MIN), &kExecReplyFailed);
}

TEST(ExecReply, RepliesAreEightBytesPaddedWithZeros) {
    EXPECT_EQ(0, std::memcmp(kExecReplyOkay.data(), "okay\0\0\0\0", 8));
    EXPECT_EQ(0, std::memcmp(kExecReplyFailed.data(), "failed\0\0", 8));
}

}  // namespace
}  // namespace zobrik

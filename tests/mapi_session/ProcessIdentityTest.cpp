// ProcessIdentityTest.cpp: a live process is recognised, an ended one or an impostor with
// a reused pid is not.
#include "platform/mapi/session/ProcessIdentity.h"

#include "tests/mapi_session/SessionTestSupport.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

namespace krv::mapi {
namespace {

TEST(ProcessIdentityTest, CurrentProcessIsAliveWithStartTimeAndBoot)
{
    const ProcessIdentity self = CurrentProcessIdentity();
    EXPECT_EQ(self.pid, ::getpid());
    EXPECT_GT(self.startTime, 0u);
    EXPECT_FALSE(self.bootId.empty());
    EXPECT_TRUE(IsProcessAlive(self));
}

TEST(ProcessIdentityTest, OnlyTheExactIdentityCountsAsAlive)
{
    const ProcessIdentity self = CurrentProcessIdentity();
    ProcessIdentity reusedPid = self; // same pid, another start: a different process
    reusedPid.startTime += 1;
    ProcessIdentity otherBoot = self;
    otherBoot.bootId = "00000000-0000-0000-0000-000000000000";
    EXPECT_FALSE(IsProcessAlive(reusedPid));
    EXPECT_FALSE(IsProcessAlive(otherBoot));
    EXPECT_FALSE(IsProcessAlive(ProcessIdentity{0, self.startTime, self.bootId}));
    EXPECT_FALSE(IsProcessAlive(ProcessIdentity{-5, self.startTime, self.bootId}));
    EXPECT_FALSE(IsProcessAlive(ProcessIdentity{int64_t{1} << 40, self.startTime, self.bootId}));
}

TEST(ProcessIdentityTest, ChildIsAliveUntilItEnds)
{
    ProcessIdentity child;
    {
        test::HelperProcess helper([] { return 0; });
        helper.WaitUntilWorkDone();
        const auto seen = IdentityOfProcess(helper.Pid());
        ASSERT_TRUE(seen.has_value());
        child = *seen;
        EXPECT_NE(child, CurrentProcessIdentity());
        EXPECT_TRUE(IsProcessAlive(child));
    } // the helper exits and is reaped here
    EXPECT_FALSE(IsProcessAlive(child));
}

// A process that has exited but not been reaped by its parent holds nothing any more: its
// profiles must be reclaimable before the parent gets round to waiting for it.
TEST(ProcessIdentityTest, UnreapedExitedProcessCountsAsGone)
{
    int gate[2];
    ASSERT_EQ(::pipe(gate), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::close(gate[1]);
        char ignored;
        (void)!::read(gate[0], &ignored, 1);
        ::_exit(0);
    }
    ::close(gate[0]);
    const auto identity = IdentityOfProcess(child);
    ASSERT_TRUE(identity.has_value());
    ::close(gate[1]); // the child exits and stays a zombie until waited for
    bool gone = false;
    for (int i = 0; i < 500 && !gone; ++i) {
        gone = !IsProcessAlive(*identity);
        if (!gone) ::usleep(10000);
    }
    EXPECT_TRUE(gone);
    int status = 0;
    EXPECT_EQ(::waitpid(child, &status, 0), child);
}

} // namespace
} // namespace krv::mapi

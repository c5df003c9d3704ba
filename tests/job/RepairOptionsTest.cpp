// RepairOptionsTest.cpp: the option word and size limit as the job sees them.
#include "engine/job/RepairEntry.h"
#include "engine/job/RepairOptions.h"

#include <gtest/gtest.h>

namespace krv {
namespace {

TEST(RepairOptions, EveryFieldComesFromTheRequest)
{
    struct Case {
        uint32_t flags;
        uint32_t sizeLimit;
        RepairOptions expected;
    };
    auto make = [](auto setup) {
        RepairOptions o;
        // Start from "everything off", then state what the case turns on.
        o.FastRecovery = o.RecoverUnattchedAttach = o.IgnoreZeroBlock = o.AlwaysIPMSubtree = 0;
        o.Level1Recovery = o.Level2Recovery = o.Level3Recovery = o.Level4Recovery = o.Level5Recovery = 0;
        setup(o);
        return o;
    };
    const Case cases[] = {
        // Fast scan and method 1, source probed, 64-bit output, splitting off.
        {0x02000101u, 1000, make([](RepairOptions& o) {
             o.FastRecovery = 0x1;
             o.Level1Recovery = 0x100;
             o.OutputFormat = 2;
             o.PSTFileSizeLimit = 1000;
         })},
        // Out-of-range format bytes are kept as they are; bits 7, 14, 15 change nothing.
        {0x09070000u | 0x80u | 0xC000u, 0, make([](RepairOptions& o) {
             o.SourceFormat = 7;
             o.OutputFormat = 9;
             o.PSTFileSizeLimit = 0;
         })},
        // Every option bit; each field keeps its own mask value.
        {0x00003F7Fu, 5, make([](RepairOptions& o) {
             o.FastRecovery = 0x1;
             o.HeuristicRecoverRoot = 0x2;
             o.RecoverUnattchedAttach = 0x4;
             o.SplitOversizePST = 0x8;
             o.IgnoreZeroBlock = 0x10;
             o.AlwaysIPMSubtree = 0x20;
             o.OfflineFolderFile = 0x40;
             o.Level1Recovery = 0x100;
             o.Level2Recovery = 0x200;
             o.Level3Recovery = 0x400;
             o.Level4Recovery = 0x800;
             o.Level5Recovery = 0x1000;
             o.RemoveEmptyFolder = 0x2000;
             o.PSTFileSizeLimit = 5;
         })},
    };
    for (const Case& c : cases) {
        RepairOptions o;
        o.SetFromRequest(c.flags, c.sizeLimit);
        SCOPED_TRACE(::testing::Message() << std::hex << "flags 0x" << c.flags);
        const RepairOptions& e = c.expected;
        EXPECT_EQ(o.SourceFormat, e.SourceFormat);
        EXPECT_EQ(o.OutputFormat, e.OutputFormat);
        EXPECT_EQ(o.FastRecovery, e.FastRecovery);
        EXPECT_EQ(o.HeuristicRecoverRoot, e.HeuristicRecoverRoot);
        EXPECT_EQ(o.RecoverUnattchedAttach, e.RecoverUnattchedAttach);
        EXPECT_EQ(o.SplitOversizePST, e.SplitOversizePST);
        EXPECT_EQ(o.PSTFileSizeLimit, e.PSTFileSizeLimit);
        EXPECT_EQ(o.IgnoreZeroBlock, e.IgnoreZeroBlock);
        EXPECT_EQ(o.AlwaysIPMSubtree, e.AlwaysIPMSubtree);
        EXPECT_EQ(o.OfflineFolderFile, e.OfflineFolderFile);
        EXPECT_EQ(o.RemoveEmptyFolder, e.RemoveEmptyFolder);
        EXPECT_EQ(o.Level1Recovery, e.Level1Recovery);
        EXPECT_EQ(o.Level2Recovery, e.Level2Recovery);
        EXPECT_EQ(o.Level3Recovery, e.Level3Recovery);
        EXPECT_EQ(o.Level4Recovery, e.Level4Recovery);
        EXPECT_EQ(o.Level5Recovery, e.Level5Recovery);
    }
}

} // namespace
} // namespace krv

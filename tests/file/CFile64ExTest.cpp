// CFile64ExTest.cpp: the two-window read cache, its sector pieces and its end-of-file flag.
#include "engine/file/CFile64Ex.h"

#include "tests/file/FileFixture.h"
#include "tests/file/ProbeFile.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace krv {
namespace {

namespace fs = std::filesystem;
using test::Pattern;
using test::ProbeFile;
using test::ScratchDir;

std::vector<uint8_t> ReadAt(CFile64Ex& file, uint64_t position, size_t count, size_t* got = nullptr)
{
    file.Seek(static_cast<int64_t>(position), seekBegin);
    std::vector<uint8_t> bytes(count, 0xEE);
    const size_t n = file.Read(bytes.data(), bytes.size());
    if (got != nullptr) *got = n;
    bytes.resize(n);
    return bytes;
}

// The OS reads of calls[from...] cover exactly [begin, end), in order and without gaps.
void ExpectCover(const ProbeFile& file, size_t from, uint64_t begin, uint64_t end)
{
    uint64_t at = begin;
    for (size_t i = from; i < file.calls.size(); ++i) {
        EXPECT_EQ(file.calls[i].offset, at) << "call " << i;
        at = file.calls[i].offset + file.calls[i].count;
    }
    EXPECT_EQ(at, end);
}

TEST(CFile64Ex, BufferSizeZeroMeansTwoWindowsOf65536)
{
    ScratchDir dir;
    ProbeFile file(0, 512);
    EXPECT_EQ(file.BufferSize(), 65536u);
    EXPECT_EQ(CFile64Ex(1000).BufferSize(), 1000u);
    ASSERT_TRUE(file.Open(dir.PatternFile("f", 300000), modeRead | shareDenyWrite));
    EXPECT_EQ(ReadAt(file, 0, 1), Pattern(0, 1));
    ExpectCover(file, 0, 0, 65536);
    // The second window is as large as the first.
    const size_t before = file.calls.size();
    EXPECT_EQ(ReadAt(file, 65536, 1), Pattern(65536, 1));
    ExpectCover(file, before, 65536, 131072);
}

TEST(CFile64Ex, StraddlingReadTakesTheRestFromTheOtherWindow)
{
    ScratchDir dir;
    ProbeFile file(0, 512);
    ASSERT_TRUE(file.Open(dir.PatternFile("f", 300000), 0x8020));
    ASSERT_EQ(ReadAt(file, 0, 16), Pattern(0, 16)); // window A: [0, 65536)
    size_t before = file.calls.size();

    // 10 bytes from A, 502 from B, which is filled at 65536.
    EXPECT_EQ(ReadAt(file, 65526, 512), Pattern(65526, 512));
    ExpectCover(file, before, 65536, 131072);
    EXPECT_EQ(file.GetPosition(), 66038u);

    // Both windows are in memory now: the same read again touches no disk.
    before = file.calls.size();
    EXPECT_EQ(ReadAt(file, 65526, 512), Pattern(65526, 512));
    EXPECT_EQ(file.calls.size(), before);

    // Moving on past both: the older window (A) is refilled, the one just passed stays.
    EXPECT_EQ(ReadAt(file, 131067, 100), Pattern(131067, 100));
    ExpectCover(file, before, 131072, 196608);
    before = file.calls.size();
    EXPECT_EQ(ReadAt(file, 65636, 8192), Pattern(65636, 8192));
    EXPECT_EQ(file.calls.size(), before);

    // Going back before both: B is the one that gets the new window.
    EXPECT_EQ(ReadAt(file, 1000, 100), Pattern(1000, 100));
    ExpectCover(file, before, 1000, 66536);
    before = file.calls.size();
    EXPECT_EQ(ReadAt(file, 131072, 100), Pattern(131072, 100)); // A kept [131072, 196608)
    EXPECT_EQ(file.calls.size(), before);
}

TEST(CFile64Ex, LargeReadGoesDirectInWholeWindows)
{
    ScratchDir dir;
    ProbeFile file(65536, 512);
    ASSERT_TRUE(file.Open(dir.PatternFile("f", 300000), modeRead | shareDenyWrite));
    std::vector<uint8_t> bytes(200000);
    EXPECT_EQ(file.Read(bytes.data(), bytes.size()), 200000u);
    EXPECT_EQ(bytes, Pattern(0, 200000));
    EXPECT_FALSE(file.IsEndOfFile());

    // 196608 bytes straight into the destination, then one window for the last 3392.
    ExpectCover(file, 0, 0, 196608 + 65536);

    // The tail is in a window; the direct part is not.
    size_t before = file.calls.size();
    EXPECT_EQ(ReadAt(file, 196608, 3392), Pattern(196608, 3392));
    EXPECT_EQ(file.calls.size(), before);
    EXPECT_EQ(ReadAt(file, 100000, 10), Pattern(100000, 10));
    EXPECT_GT(file.calls.size(), before);

    // A direct read that meets the end of the file stops there and says so.
    ProbeFile shortFile(1024, 512);
    ASSERT_TRUE(shortFile.Open(dir.PatternFile("g", 5000), modeRead));
    size_t got = 0;
    EXPECT_EQ(ReadAt(shortFile, 100, 8000, &got), Pattern(100, 4900));
    EXPECT_EQ(got, 4900u);
    EXPECT_TRUE(shortFile.IsEndOfFile());
}

TEST(CFile64Ex, UncachedReadGoesStraightToTheDiskAndKeepsTheWindows)
{
    ScratchDir dir;
    ProbeFile file(65536, 512);
    ASSERT_TRUE(file.Open(dir.PatternFile("f", 300000), modeRead | shareDenyWrite));
    ASSERT_EQ(ReadAt(file, 0, 16), Pattern(0, 16)); // window [0, 65536)

    // Exactly the bytes asked for, in one call, even where a window holds them.
    for (const uint64_t at : {uint64_t{100}, uint64_t{200000}}) {
        SCOPED_TRACE(at);
        const size_t before = file.calls.size();
        std::vector<uint8_t> bytes(512, 0xEE);
        EXPECT_EQ(file.ReadAtUncached(at, bytes.data(), bytes.size()), 512u);
        EXPECT_EQ(bytes, Pattern(at, 512));
        ExpectCover(file, before, at, at + 512);
        EXPECT_EQ(file.GetPosition(), at + 512);
        EXPECT_FALSE(file.IsEndOfFile());
    }
    // The window is still there, and a windowed read goes on from the new position.
    size_t before = file.calls.size();
    EXPECT_EQ(ReadAt(file, 1000, 100), Pattern(1000, 100));
    EXPECT_EQ(file.calls.size(), before);

    // Short at the end, nothing past it or at an offset no seek reaches.
    std::vector<uint8_t> bytes(1000);
    EXPECT_EQ(file.ReadAtUncached(299500, bytes.data(), bytes.size()), 500u);
    EXPECT_EQ(std::vector<uint8_t>(bytes.begin(), bytes.begin() + 500), Pattern(299500, 500));
    EXPECT_TRUE(file.IsEndOfFile());
    EXPECT_EQ(file.GetPosition(), 300000u);
    EXPECT_EQ(file.ReadAtUncached(uint64_t{1} << 40, bytes.data(), bytes.size()), 0u);
    EXPECT_TRUE(file.IsEndOfFile());
    EXPECT_EQ(file.ReadAtUncached(UINT64_MAX - 10, bytes.data(), bytes.size()), 0u);
    EXPECT_TRUE(file.IsEndOfFile());
}

TEST(CFile64Ex, EndOfFileFlagFollowsShortReadsAndMoves)
{
    ScratchDir dir;
    CFile64Ex file;
    ASSERT_TRUE(file.Open(dir.PatternFile("f", 1000), modeRead | shareDenyWrite));
    size_t got = 0;
    EXPECT_EQ(ReadAt(file, 900, 200, &got), Pattern(900, 100));
    EXPECT_TRUE(file.IsEndOfFile());
    EXPECT_EQ(file.GetPosition(), 1000u);

    // A Seek that does not move keeps the flag; one that moves clears it.
    file.Seek(0, seekCurrent);
    EXPECT_TRUE(file.IsEndOfFile());
    file.Seek(10, seekBegin);
    EXPECT_FALSE(file.IsEndOfFile());

    // A full read leaves it clear.
    std::vector<uint8_t> bytes(50);
    EXPECT_EQ(file.Read(bytes.data(), bytes.size()), 50u);
    EXPECT_FALSE(file.IsEndOfFile());

    // The end of the file as origin: the position is the size and nothing more comes.
    EXPECT_EQ(file.Seek(0, seekEnd), 1000u);
    EXPECT_EQ(file.GetPosition(), 1000u);
    EXPECT_EQ(file.Read(bytes.data(), bytes.size()), 0u);
    EXPECT_TRUE(file.IsEndOfFile());
    EXPECT_EQ(file.Seek(-10, seekEnd), 990u);
    EXPECT_FALSE(file.IsEndOfFile());

    // A position far beyond the end, or one an offset from damaged data wrapped around,
    // delivers nothing rather than throwing.
    EXPECT_EQ(ReadAt(file, uint64_t{1} << 40, 10).size(), 0u);
    EXPECT_TRUE(file.IsEndOfFile());
    file.Seek(-1, seekBegin);
    EXPECT_EQ(file.GetPosition(), UINT64_MAX);
    EXPECT_EQ(file.Read(bytes.data(), bytes.size()), 0u);
    EXPECT_TRUE(file.IsEndOfFile());

    // An unknown origin leaves the position where it is.
    EXPECT_EQ(file.Seek(5, 9), UINT64_MAX);
    // Close clears the flag.
    file.Close();
    EXPECT_FALSE(file.IsEndOfFile());
}

struct BadSectorCase {
    const char* what;
    uint32_t bufferSize;
    uint64_t fileSize;
    std::vector<ProbeFile::Range> bad;
    uint64_t readAt;
    size_t readCount;
    size_t expected;
    bool uncached = false;
};

TEST(CFile64Ex, UnreadableSectorsComeBackAsZeros)
{
    const BadSectorCase cases[] = {
        {"through a window", 65536, 8192, {{1024, 1536}}, 0, 4096, 4096},
        {"in a direct read", 1024, 8192, {{1024, 1536}}, 0, 4096, 4096},
        {"unaligned read over it", 65536, 8192, {{1024, 1536}}, 1000, 600, 600},
        {"two sectors apart", 65536, 8192, {{512, 1024}, {4096, 4608}}, 0, 8192, 8192},
        {"the first sector", 65536, 8192, {{0, 512}}, 0, 1024, 1024},
        // A failing last sector does not make the file longer than it is.
        {"the last, partial sector", 65536, 1000, {{512, 1024}}, 0, 2000, 1000},
        {"the last sector, direct", 512, 1000, {{512, 1024}}, 0, 2000, 1000},
        {"uncached, unaligned over it", 65536, 8192, {{1024, 1536}}, 1000, 600, 600, true},
        {"uncached, the last sector", 65536, 1000, {{512, 1024}}, 0, 2000, 1000, true},
    };
    ScratchDir dir;
    int n = 0;
    for (const BadSectorCase& c : cases) {
        SCOPED_TRACE(c.what);
        ProbeFile file(c.bufferSize, 512);
        file.bad = c.bad;
        ASSERT_TRUE(file.Open(dir.PatternFile("bad" + std::to_string(n++), c.fileSize), modeRead));
        size_t got = 0;
        std::vector<uint8_t> bytes;
        if (c.uncached) {
            bytes.assign(c.readCount, 0xEE);
            got = file.ReadAtUncached(c.readAt, bytes.data(), bytes.size());
            bytes.resize(got);
        } else {
            bytes = ReadAt(file, c.readAt, c.readCount, &got);
        }
        EXPECT_EQ(got, c.expected);
        EXPECT_EQ(file.IsEndOfFile(), c.expected < c.readCount);
        std::vector<uint8_t> expected = Pattern(c.readAt, c.expected);
        for (size_t i = 0; i < expected.size(); ++i) {
            const uint64_t at = c.readAt + i;
            for (const ProbeFile::Range& r : file.bad)
                if (at >= r.begin && at < r.end) expected[i] = 0;
        }
        EXPECT_EQ(bytes, expected);
    }
}

TEST(CFile64Ex, DiskIsReadInSectorAlignedPiecesOnlyAfterAnError)
{
    struct Case {
        std::optional<uint32_t> queried;
        uint32_t sector;
    };
    // No answer (0) is the usual 512; a device with 4096-byte sectors is read in those.
    const Case cases[] = {{0u, 512}, {4096u, 4096}};
    ScratchDir dir;
    const std::string path = dir.PatternFile("f", 20000);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.sector);
        ProbeFile file(8192, c.queried);
        ASSERT_TRUE(file.Open(path, modeRead | shareDenyWrite));
        EXPECT_EQ(file.SectorSize(), c.sector);

        // A healthy disk: one call for the whole window.
        EXPECT_EQ(ReadAt(file, 100, 8192), Pattern(100, 8192));
        ASSERT_EQ(file.calls.size(), 1u);
        EXPECT_EQ(file.calls.front().offset, 100u);
        EXPECT_EQ(file.calls.front().count, 8192u);

        // An error: the failed call, then a head piece up to the first boundary and one
        // piece per sector.
        ProbeFile failing(8192, c.queried);
        failing.bad = {{5000, 5001}};
        ASSERT_TRUE(failing.Open(path, modeRead | shareDenyWrite));
        ReadAt(failing, 100, 8192);
        ASSERT_GE(failing.calls.size(), 3u);
        EXPECT_EQ(failing.calls[0].count, 8192u);
        EXPECT_EQ(failing.calls[1].offset, 100u);
        EXPECT_EQ(failing.calls[1].count, c.sector - 100);
        for (size_t i = 2; i < failing.calls.size(); ++i) {
            EXPECT_EQ(failing.calls[i].offset % c.sector, 0u) << "call " << i;
            EXPECT_LE(failing.calls[i].count, c.sector) << "call " << i;
        }
        ExpectCover(failing, 1, 100, 100 + 8192);
    }
}

TEST(CFile64Ex, ReadingChangesNothingOnDisk)
{
    ScratchDir dir;
    const std::string path = dir.PatternFile("source.pst", 150000);
    // An old, exact modification time: any write would replace it.
    const timespec times[2] = {{1000000000, 123456789}, {1000000000, 123456789}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
    struct stat before {};
    ASSERT_EQ(::stat(path.c_str(), &before), 0);

    {
        CFile64Ex file;
        ASSERT_TRUE(file.Open(path, 0x8020));
        std::vector<uint8_t> bytes(200000);
        EXPECT_EQ(file.Read(bytes.data(), bytes.size()), 150000u);
        for (uint64_t at = 0; at < 150000; at += 7919) ReadAt(file, at, 8192);
        file.Seek(0, seekEnd);
        file.Read(bytes.data(), 10);
        file.Flush();
        file.Close();
    }
    struct stat after {};
    ASSERT_EQ(::stat(path.c_str(), &after), 0);
    EXPECT_EQ(test::ReadBytes(path), Pattern(0, 150000));
    EXPECT_EQ(after.st_size, before.st_size);
    EXPECT_EQ(after.st_mtim.tv_sec, before.st_mtim.tv_sec);
    EXPECT_EQ(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec);
    EXPECT_EQ(after.st_ctim.tv_sec, before.st_ctim.tv_sec);
    EXPECT_EQ(after.st_ctim.tv_nsec, before.st_ctim.tv_nsec);
}

// The windows must never hand out bytes that the file no longer holds.
TEST(CFile64Ex, WindowsDoNotOutliveWhatTheyCopied)
{
    ScratchDir dir;
    const std::string first = dir.PatternFile("first", 5000);
    CFile64Ex file;
    ASSERT_TRUE(file.Open(first, modeReadWrite | shareExclusive));
    ASSERT_EQ(ReadAt(file, 0, 100), Pattern(0, 100));

    // A write through the object shows in the next read.
    file.Seek(10, seekBegin);
    const uint8_t stamp[3] = {'X', 'Y', 'Z'};
    file.Write(stamp, sizeof stamp);
    EXPECT_EQ(file.GetPosition(), 13u);
    std::vector<uint8_t> expected = Pattern(0, 100);
    std::copy(std::begin(stamp), std::end(stamp), expected.begin() + 10);
    EXPECT_EQ(ReadAt(file, 0, 100), expected);

    // A shortened file ends where it now ends.
    file.SetLength(50);
    EXPECT_EQ(file.GetPosition(), 0u);
    size_t got = 0;
    ReadAt(file, 0, 100, &got);
    EXPECT_EQ(got, 50u);
    EXPECT_TRUE(file.IsEndOfFile());
    file.Close();

    // The same object opened on another file reads that file.
    const std::string second = dir.File("second");
    test::WriteBytes(second, Pattern(7777, 100));
    ASSERT_TRUE(file.Open(second, modeRead));
    EXPECT_EQ(ReadAt(file, 0, 100), Pattern(7777, 100));
}

TEST(CFile64Ex, HandleOperationsAreNotSupported)
{
    ScratchDir dir;
    CFile64Ex file;
    ASSERT_TRUE(file.Open(dir.PatternFile("f", 10), modeRead));
    EXPECT_THROW(file.Duplicate(), CNotSupportedException);
    EXPECT_THROW(file.LockRange(0, 1), CNotSupportedException);
    EXPECT_THROW(file.UnlockRange(0, 1), CNotSupportedException);
    try {
        file.LockRange(0, 1);
        ADD_FAILURE() << "no exception";
    } catch (const FrameworkException& e) {
        EXPECT_EQ(e.Description(), "An unsupported operation was attempted.");
    }
}

} // namespace
} // namespace krv

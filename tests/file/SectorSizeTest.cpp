// SectorSizeTest.cpp: finding a device's logical sector size in a sysfs-like tree.
#include "engine/file/SectorSize.h"

#include "tests/file/FileFixture.h"

#include <gtest/gtest.h>

#include <sys/sysmacros.h>

namespace krv {
namespace {

namespace fs = std::filesystem;

void WriteText(const fs::path& file, const std::string& text)
{
    fs::create_directories(file.parent_path());
    std::ofstream(file) << text;
}

// The layout of /sys: dev/block/MAJ:MIN are links into the device tree, a whole disk has
// queue/, a partition is a directory inside its disk without one.
TEST(SectorSize, ReadsDiskAndPartitionFromTheDeviceTree)
{
    test::ScratchDir dir;
    const fs::path devices = dir.Path() / "devices";
    const fs::path links = dir.Path() / "dev" / "block";
    WriteText(devices / "disk" / "queue" / "logical_block_size", "4096\n");
    fs::create_directories(devices / "disk" / "part1");
    WriteText(devices / "zero" / "queue" / "logical_block_size", "0\n");
    WriteText(devices / "odd" / "queue" / "logical_block_size", "520\n");
    WriteText(devices / "huge" / "queue" / "logical_block_size", "1048576\n");
    WriteText(devices / "junk" / "queue" / "logical_block_size", "abc\n");
    fs::create_directories(devices / "noqueue");
    fs::create_directories(links);
    const std::pair<const char*, const char*> entries[] = {
        {"8:0", "../../devices/disk"},    {"8:1", "../../devices/disk/part1"}, {"9:0", "../../devices/zero"},
        {"9:1", "../../devices/odd"},     {"9:2", "../../devices/huge"},       {"9:3", "../../devices/junk"},
        {"9:4", "../../devices/noqueue"}, {"9:5", "../../devices/gone"},
    };
    for (const auto& [name, target] : entries) fs::create_directory_symlink(target, links / name);

    struct Case {
        unsigned major;
        unsigned minor;
        uint32_t expected;
    };
    const Case cases[] = {
        {8, 0, 4096}, // whole disk
        {8, 1, 4096}, // partition: its disk's queue
        {9, 0, 0},    // a zero answer is no answer
        {9, 1, 0},    // not a power of two
        {9, 2, 0},    // beyond any real sector size
        {9, 3, 0},    // not a number
        {9, 4, 0},    // no queue anywhere
        {9, 5, 0},    // dangling link
        {0, 42, 0},   // no block device at all (tmpfs, overlay)
    };
    for (const Case& c : cases)
        EXPECT_EQ(BlockDeviceSectorSize(makedev(c.major, c.minor), links.string()), c.expected)
            << c.major << ":" << c.minor;
}

} // namespace
} // namespace krv

// SectorSize.cpp: reading a block device's logical sector size from sysfs.
#include "engine/file/SectorSize.h"

#include <charconv>
#include <filesystem>
#include <fstream>
#include <sys/sysmacros.h>

namespace krv {
namespace {

constexpr uint32_t kSmallestSector = 512;
constexpr uint32_t kLargestSector = 65536;

// The number in a sysfs attribute file; 0 when it is missing or not a number.
uint32_t ReadNumber(const std::filesystem::path& file)
{
    std::ifstream in(file);
    std::string text;
    if (!in || !std::getline(in, text)) return 0;
    uint32_t value = 0;
    const char* end = text.data() + text.size();
    auto [next, ec] = std::from_chars(text.data(), end, value);
    if (ec != std::errc() || next == text.data()) return 0;
    return value;
}

bool Plausible(uint32_t size) { return size >= kSmallestSector && size <= kLargestSector && (size & (size - 1)) == 0; }

} // namespace

uint32_t BlockDeviceSectorSize(dev_t device, const std::string& sysDevBlock)
{
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::path link = fs::path(sysDevBlock) / (std::to_string(major(device)) + ":" + std::to_string(minor(device)));
    // The entry is a link into the device tree; a partition sits inside its disk's
    // directory and has no queue/ of its own.
    const fs::path node = fs::canonical(link, ec);
    if (ec) return 0;
    for (const fs::path& dir : {node, node.parent_path()}) {
        const uint32_t size = ReadNumber(dir / "queue" / "logical_block_size");
        if (size != 0) return Plausible(size) ? size : 0;
    }
    return 0;
}

} // namespace krv

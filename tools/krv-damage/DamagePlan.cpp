// DamagePlan.cpp: turning a kind of damage into edits, with seeded random choices.
#include "tools/krv-damage/DamagePlan.h"

#include "pstformat/PageTrailer.h"

#include <algorithm>
#include <random>
#include <unordered_set>

namespace krv::damage {
namespace {

constexpr uint64_t kSectorSize = 512;

// A value below `bound` (> 0). Plain modulo rather than a distribution object: the
// standard leaves distributions' algorithms open, and a seed must give the same damage
// with every standard library; the bias is negligible for file-sized bounds.
uint64_t Below(std::mt19937_64& random, uint64_t bound) { return random() % bound; }

// `count` distinct values below `bound`, ascending (Floyd's sampling: one draw per value).
std::vector<uint64_t> DistinctBelow(std::mt19937_64& random, uint64_t bound, uint64_t count)
{
    count = std::min(count, bound);
    std::unordered_set<uint64_t> chosen;
    chosen.reserve(count);
    for (uint64_t j = bound - count; j < bound; ++j) {
        const uint64_t t = Below(random, j + 1);
        chosen.insert(chosen.contains(t) ? j : t);
    }
    std::vector<uint64_t> values(chosen.begin(), chosen.end());
    std::sort(values.begin(), values.end());
    return values;
}

std::string LayoutName(const std::optional<pstformat::Layout>& layout)
{
    if (!layout) return "either layout (the header names none)";
    switch (*layout) {
    case pstformat::Layout::Ansi:
        return "ansi layout";
    case pstformat::Layout::Unicode:
        return "unicode layout";
    case pstformat::Layout::Unicode4k:
        return "unicode4k layout";
    }
    return "unicode layout";
}

void AddZeroRange(DamagePlan& plan, uint64_t offset, uint64_t length)
{
    if (offset >= plan.copyLength) return;
    length = std::min(length, plan.copyLength - offset);
    if (length != 0) plan.zeroRanges.push_back({offset, length});
}

} // namespace

std::variant<DamagePlan, std::string> BuildDamagePlan(const DamageOptions& options, const StoreFacts& facts,
                                                      uint64_t sourceSize)
{
    std::mt19937_64 random(options.seed);
    DamagePlan plan;
    plan.copyLength = sourceSize;
    const uint64_t count = options.count.value_or(1);

    switch (options.kind) {
    case DamageKind::ZeroHeader: {
        const uint64_t size = HeaderSizeOf(facts);
        AddZeroRange(plan, 0, size);
        plan.target = "header of the " + LayoutName(facts.layout) + ", " + std::to_string(size) + " bytes";
        break;
    }
    case DamageKind::ZeroRange:
        if (*options.offset > sourceSize)
            return "offset " + std::to_string(*options.offset) + " lies beyond the end of the file";
        AddZeroRange(plan, *options.offset, *options.length);
        plan.target = "range at " + std::to_string(*options.offset);
        break;
    case DamageKind::Truncate: {
        const uint64_t size = options.length ? *options.length : *options.offset;
        if (size > sourceSize)
            return "cannot truncate to " + std::to_string(size) + " bytes: the file has " + std::to_string(sourceSize);
        plan.copyLength = size;
        plan.target = "new size " + std::to_string(size);
        break;
    }
    case DamageKind::FlipBytes:
        for (const uint64_t offset : DistinctBelow(random, sourceSize, count))
            plan.flips.push_back({offset, static_cast<uint8_t>(1 + Below(random, 255))});
        plan.target = std::to_string(plan.flips.size()) + " random bytes";
        break;
    case DamageKind::ZeroSectors: {
        const uint64_t sectors = (sourceSize + kSectorSize - 1) / kSectorSize;
        const std::vector<uint64_t> chosen = DistinctBelow(random, sectors, count);
        for (const uint64_t sector : chosen) AddZeroRange(plan, sector * kSectorSize, kSectorSize);
        plan.target = std::to_string(chosen.size()) + " random 512-byte sectors";
        break;
    }
    case DamageKind::KillBbt:
    case DamageKind::KillNbt:
        plan.killPageType = options.kind == DamageKind::KillBbt ? pstformat::PageTypeBbt : pstformat::PageTypeNbt;
        plan.killPageLayout = facts.layout;
        plan.target = std::string(options.kind == DamageKind::KillBbt ? "block" : "node") + " B-tree pages of the " +
                      LayoutName(facts.layout);
        break;
    case DamageKind::KillRoots: {
        if (!facts.rootNbt || !facts.rootBbt) {
            if (!facts.wVer) return std::string("the file is too short to hold a header");
            return "the header's version " + std::to_string(*facts.wVer) + " names no layout whose roots can be read";
        }
        const uint64_t nbt = facts.rootNbt->ib;
        const uint64_t bbt = facts.rootBbt->ib;
        const uint64_t pageSize = pstformat::TraitsOf(*facts.layout).pageSize;
        // Pages lie on page boundaries inside the file, past the header: roots elsewhere are
        // no pages of the layout the header names, and zeroing there would pass for damage
        // it is not.
        for (const uint64_t ib : {nbt, bbt})
            if (ib % pageSize != 0 || ib < pstformat::TraitsOf(*facts.layout).headerSize || ib >= sourceSize)
                return "the header's root at " + std::to_string(ib) + " is no page of the " + LayoutName(facts.layout);
        AddZeroRange(plan, std::min(nbt, bbt), pageSize);
        if (nbt != bbt) AddZeroRange(plan, std::max(nbt, bbt), pageSize);
        // Two roots closer than a page apart would overlap; merge them into one range.
        if (plan.zeroRanges.size() == 2 &&
            plan.zeroRanges[0].offset + plan.zeroRanges[0].length > plan.zeroRanges[1].offset) {
            plan.zeroRanges[0].length =
                plan.zeroRanges[1].offset + plan.zeroRanges[1].length - plan.zeroRanges[0].offset;
            plan.zeroRanges.pop_back();
        }
        plan.target =
            "root pages at " + std::to_string(nbt) + " (node tree) and " + std::to_string(bbt) + " (block tree)";
        break;
    }
    case DamageKind::Shift:
        if (*options.offset > sourceSize)
            return "offset " + std::to_string(*options.offset) + " lies beyond the end of the file";
        if (count > kMaxInsertedBytes) return "shift inserts at most " + std::to_string(kMaxInsertedBytes) + " bytes";
        plan.insertAt = *options.offset;
        plan.inserted.resize(count);
        for (uint8_t& byte : plan.inserted) byte = static_cast<uint8_t>(random());
        plan.target = std::to_string(count) + " random bytes inserted at " + std::to_string(plan.insertAt);
        break;
    }
    return plan;
}

} // namespace krv::damage

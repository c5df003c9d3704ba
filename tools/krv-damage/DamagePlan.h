// DamagePlan.h: the edits that turn a source file into its damaged copy.
//
// Every kind of damage comes down to the same few edits, applied while the source streams
// into the copy: how much of the source to copy, byte ranges to zero, bytes to XOR, pages
// of one B-tree type to zero, and bytes to insert at one offset. Offsets are the source's.
#ifndef KRV_TOOLS_KRVDAMAGE_DAMAGEPLAN_H
#define KRV_TOOLS_KRVDAMAGE_DAMAGEPLAN_H

#include "pstformat/Layout.h"
#include "tools/krv-damage/DamageOptions.h"
#include "tools/krv-damage/StoreFacts.h"

#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace krv::damage {

struct ByteRange {
    uint64_t offset = 0;
    uint64_t length = 0;
};

struct ByteFlip {
    uint64_t offset = 0;
    uint8_t mask = 0; // never 0, so the byte always changes
};

struct DamagePlan {
    uint64_t copyLength = 0;                         // source bytes that reach the copy
    std::vector<ByteRange> zeroRanges;               // ascending, disjoint, inside copyLength
    std::vector<ByteFlip> flips;                     // ascending offsets, distinct, inside copyLength
    std::optional<uint8_t> killPageType;             // zero every page-aligned page of this ptype
    std::optional<pstformat::Layout> killPageLayout; // recognised in this layout; none: either
    uint64_t insertAt = 0;                           // the inserted bytes go before this source offset
    std::vector<uint8_t> inserted;
    std::string target; // what the plan aims at, for the report line
};

// Largest insertion the tool holds in memory.
inline constexpr uint64_t kMaxInsertedBytes = uint64_t{1} << 30;

// The plan for the options on a source of `sourceSize` bytes, or why there is none. Random
// choices come from a std::mt19937_64 seeded with options.seed, so a seed always gives
// the same plan for the same source.
[[nodiscard]] std::variant<DamagePlan, std::string> BuildDamagePlan(const DamageOptions& options,
                                                                    const StoreFacts& facts, uint64_t sourceSize);

} // namespace krv::damage

#endif

// SectorChains.h: following sector chains of an untrusted file, each sector claimed once.
//
// Every sector (or mini sector) belongs to at most one chain: the FAT and DIFAT sectors,
// the directory, the mini FAT, the mini stream and each stream. Claiming each sector as
// a chain passes through it finds a cycle at its first repeated link and a sector shared
// by two chains at once, and bounds every walk by the number of sectors.
#ifndef KRV_PLATFORM_STORAGE_SECTORCHAINS_H
#define KRV_PLATFORM_STORAGE_SECTORCHAINS_H

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace krv::storage {

class SectorClaims {
public:
    explicit SectorClaims(uint32_t sectorCount) : used_(sectorCount, 0) {}

    // False when `sector` is out of range or already belongs to a chain.
    [[nodiscard]] bool Claim(uint32_t sector);

private:
    std::vector<uint8_t> used_;
};

// The chain that starts at `start` (ENDOFCHAIN: an empty chain) and follows `table` (the
// FAT or the mini FAT) to ENDOFCHAIN. None when a link lies outside the table or the
// claimable range, or was claimed before (a cycle, or a sector of another chain).
std::optional<std::vector<uint32_t>> FollowChain(std::span<const uint32_t> table, uint32_t start, SectorClaims& claims);

} // namespace krv::storage

#endif

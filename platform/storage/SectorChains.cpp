// SectorChains.cpp: bounded chain walks over the FAT and the mini FAT.
#include "platform/storage/SectorChains.h"

#include "platform/storage/CompoundFormat.h"

namespace krv::storage {

bool SectorClaims::Claim(uint32_t sector)
{
    if (sector >= used_.size() || used_[sector] != 0) return false;
    used_[sector] = 1;
    return true;
}

std::optional<std::vector<uint32_t>> FollowChain(std::span<const uint32_t> table, uint32_t start, SectorClaims& claims)
{
    std::vector<uint32_t> chain;
    for (uint32_t sector = start; sector != kEndOfChain; sector = table[sector]) {
        // Claim fails on a repeated sector, so the walk ends after at most one pass over
        // the claimable range.
        if (sector >= table.size() || !claims.Claim(sector)) return std::nullopt;
        chain.push_back(sector);
    }
    return chain;
}

} // namespace krv::storage

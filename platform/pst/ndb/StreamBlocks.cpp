// StreamBlocks.cpp: cutting a byte stream into full data blocks.
#include "platform/pst/ndb/StreamBlocks.h"

#include <algorithm>

namespace krv::pst {

std::vector<std::vector<uint8_t>> SplitIntoBlocks(std::span<const uint8_t> stream, pstformat::Layout layout)
{
    const size_t max = pstformat::TraitsOf(layout).maxBlockData;
    std::vector<std::vector<uint8_t>> blocks;
    blocks.reserve((stream.size() + max - 1) / max);
    for (size_t at = 0; at < stream.size(); at += max) {
        const auto piece = stream.subspan(at, std::min(max, stream.size() - at));
        blocks.emplace_back(piece.begin(), piece.end());
    }
    return blocks;
}

} // namespace krv::pst

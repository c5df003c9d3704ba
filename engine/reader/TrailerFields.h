// TrailerFields.h: where a layout's block trailer keeps its fields and how its blocks are
// sized, as compile-time constants, so that the scan's byte loops specialise on them.
#ifndef KRV_ENGINE_READER_TRAILERFIELDS_H
#define KRV_ENGINE_READER_TRAILERFIELDS_H

#include "engine/reader/ScanCandidates.h"
#include "pstformat/BlockTrailer.h"
#include "pstformat/Endian.h"
#include "pstformat/Layout.h"

#include <cstddef>
#include <cstdint>

namespace krv {

template <const pstformat::LayoutTraits& L>
struct TrailerFields {
    static constexpr size_t kSize = L.blockTrailerSize;
    static constexpr size_t kBidOffset = pstformat::BlockTrailerBidOffset(L);
    static constexpr size_t kCrcOffset = pstformat::BlockTrailerCrcOffset(L);
    static constexpr size_t kBidSize = L.idSize;
    static constexpr size_t kAlignment = L.blockAlignment;
    static constexpr size_t kMaxStoredSize = L.maxBlockSize;
    static constexpr size_t kMaxCb = L.maxBlockData;
    static_assert((kAlignment & (kAlignment - 1)) == 0, "blocks are aligned to a power of two");
    static_assert(kMaxStoredSize % kAlignment == 0 && kMaxStoredSize / kAlignment <= BlockCandidate::kMaxStoredUnits);
    static_assert(kMaxCb < 65536 && kSize <= kAlignment);
    static_assert(kBidSize == 4 || kBidSize == 8);
    // Blocks of the 4 KiB-page layout hold up to 65512 bytes, so the test on cb's high byte
    // that rules out most offsets in the other layouts is no test there; instead the BID's
    // top byte must be 0, which holds for every BID a store can reach (they count up by 4
    // from a small number) and for 1 random byte in 256.
    static constexpr bool kBidTopByteZero = L.layout == pstformat::Layout::Unicode4k;
    static uint64_t Bid(const uint8_t* trailer)
    {
        if constexpr (kBidSize == 4)
            return pstformat::LoadLe<uint32_t>(trailer + kBidOffset);
        else
            return pstformat::LoadLe<uint64_t>(trailer + kBidOffset);
    }
};

using AnsiTrailer = TrailerFields<pstformat::kAnsi>;
using UnicodeTrailer = TrailerFields<pstformat::kUnicode>;
using Unicode4kTrailer = TrailerFields<pstformat::kUnicode4k>;

} // namespace krv

#endif

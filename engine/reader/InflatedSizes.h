// InflatedSizes.h: what the block B-tree leaves of a 4 KiB-page source say a compressed
// block inflates to, for the copy of the block each entry describes.
//
// The layout keeps the inflated size twice, in the block's trailer and in its BBTENTRY
// (pstformat/BlockTrailer.h); readers of sound files take one or the other. A damaged file
// may have lost either, so the reader keeps the entries' sizes beside its block index and
// tries both (LayoutPstReaderBlockData.cpp). Only entries that name a compressed block are kept: one word
// of key and one size each, for the blocks of a layout whose blocks are mostly compressed.
#ifndef KRV_ENGINE_READER_INFLATEDSIZES_H
#define KRV_ENGINE_READER_INFLATEDSIZES_H

#include <cstddef>
#include <cstdint>
#include <optional>
#include <unordered_map>

namespace krv {

class InflatedSizes {
public:
    // An entry's copy: its BID (bit 0 clear), stored size and signature, as a block record
    // carries them.
    void Note(uint64_t bid, uint16_t cb, uint16_t wSig, uint16_t cbInflated);
    [[nodiscard]] std::optional<uint16_t> Find(uint64_t bid, uint16_t cb, uint16_t wSig) const;
    void Clear() { m_sizes.clear(); }
    [[nodiscard]] size_t Size() const { return m_sizes.size(); }

private:
    struct Key {
        uint64_t bid;
        uint32_t check; // cb << 16 | wSig, as the ranking keys entries
        bool operator==(const Key&) const = default;
    };
    struct KeyHash {
        size_t operator()(const Key& k) const { return std::hash<uint64_t>()(k.bid * 0x9E3779B97F4A7C15ull ^ k.check); }
    };
    // Entries of one copy that disagree (a stale page beside a sound one) keep the first.
    std::unordered_map<Key, uint16_t, KeyHash> m_sizes;
};

} // namespace krv

#endif

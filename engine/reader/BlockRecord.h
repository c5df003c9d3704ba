// BlockRecord.h: one copy of a block found in the source file, and the order that ranks copies.
#ifndef KRV_ENGINE_READER_BLOCKRECORD_H
#define KRV_ENGINE_READER_BLOCKRECORD_H

#include <cstdint>
#include <span>

namespace krv {

// Kept small: a damaged multi-gigabyte file yields millions of copies. The reader that
// found a record is the one that owns its index, so it is not stored per record.
struct BlockRecord {
    uint64_t bid = 0;    // bit 0 cleared
    uint64_t offset = 0; // file offset of the block's first byte
    // Bit fields keep the record at 32 bytes now that a stored size can reach 65536, in the
    // order the fields always had.
    uint64_t storedSize : 24 = 0; // 64..8192, a multiple of 64; 512..65536 (4 KiB-page layout)
    uint64_t cb : 16 = 0;         // data length from the trailer, as stored
    uint64_t wSig : 16 = 0;       // signature from the trailer
    uint64_t zeroData : 8 = 0;    // data and CRC were all zero
    int32_t chainScore = -1;      // -1 until ranked
    int32_t usedMark = 0;         // set when the block's node was written to the output
};

// True when the trailer's signature is the one a sound file writes for this bid at this
// offset; a copy moved elsewhere (a stale copy, a fragment) fails it.
[[nodiscard]] bool SignatureMatches(const BlockRecord& record);

// Puts the copies of one block in ascending trust, best last: lower chain score first,
// then a mismatching signature before a matching one, then all-zero data before real
// data, then lower file offset first. Stable: copies that compare equal keep their order.
void SortByBlockOrder(std::span<BlockRecord> copies);

} // namespace krv

#endif

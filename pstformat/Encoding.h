// Encoding.h: the two ways a mail store may encode the data of its blocks ([MS-PST] 5.1, 5.2).
//
// Only external (data) blocks are encoded; internal blocks (BID bit 1 set) and pages never
// are. The header's bCryptMethod names the method a sound file used for all its blocks:
//
// | bCryptMethod | name              | BlockEncoding | key of each block       |
// |--------------|-------------------|---------------|-------------------------|
// | 0x00         | NDB_CRYPT_NONE    | Plain         | none                    |
// | 0x01         | NDB_CRYPT_PERMUTE | Permute       | none                    |
// | 0x02         | NDB_CRYPT_CYCLIC  | Cyclic        | low 32 bits of its BID  |
//
// Both methods work through one published 768-byte table, read as R (bytes 0-255), S
// (256-511) and I (512-767, the inverse of R). The permutative method maps each byte b to
// R[b] when encoding and I[b] when decoding. The cyclic method is its own inverse.
#ifndef KRV_PSTFORMAT_ENCODING_H
#define KRV_PSTFORMAT_ENCODING_H

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

namespace krv::pstformat {

inline constexpr uint8_t kCryptMethodNone = 0x00;
inline constexpr uint8_t kCryptMethodPermute = 0x01;
inline constexpr uint8_t kCryptMethodCyclic = 0x02;

// How the data blocks of one node are stored. A damaged file's header cannot be trusted to
// say, so the reader settles it per node (Unknown until then).
enum class BlockEncoding : uint32_t {
    Unknown = 0,
    Plain = 1,
    Permute = 2,
    Cyclic = 3,
};

// The table itself: R, S, I.
[[nodiscard]] const std::array<uint8_t, 768>& CryptTable();

void EncodePermute(uint8_t* data, size_t n);
void DecodePermute(uint8_t* data, size_t n);

// Encodes or decodes in place; the key is the low 32 bits of the block's BID.
void CyclicCrypt(uint8_t* data, size_t n, uint32_t key);

// The encoding a header's bCryptMethod names; none for values no sound file carries.
[[nodiscard]] std::optional<BlockEncoding> EncodingFromCryptMethod(uint8_t bCryptMethod);

// Decode (or encode) the cb data bytes of the external block `bid` in place. False, with
// the data untouched, for Unknown. The cyclic key is taken from the BID with its reserved
// bit 0 cleared: references to a block (XBLOCK entries, node and subnode entries) are seen
// with bit 0 set in files Outlook wrote, while the block was keyed by its own BID.
[[nodiscard]] bool DecodeBlockData(BlockEncoding encoding, uint8_t* data, size_t n, uint64_t bid);
[[nodiscard]] bool EncodeBlockData(BlockEncoding encoding, uint8_t* data, size_t n, uint64_t bid);

} // namespace krv::pstformat

#endif

// BthHeader.h: the B-tree-on-heap (BTH) that property contexts and the row indexes of
// table contexts are ([MS-PST] 2.3.2).
//
// BTHHEADER (2.3.2.1), one heap allocation of 8 bytes, little-endian:
//
// | field      | offset(size) | meaning                                                  |
// |------------|--------------|----------------------------------------------------------|
// | bType      | 0(1)         | 0xB5, the client signature of a BTH                      |
// | cbKey      | 1(1)         | key bytes: 2, 4, 8 or 16                                 |
// | cbEnt      | 2(1)         | data bytes of a leaf record: 1 to 32                     |
// | bIdxLevels | 3(1)         | index levels above the leaves; 0 when the root is a leaf |
// | hidRoot    | 4(4)         | the root record array; 0 for an empty tree               |
//
// Record arrays are heap allocations of whole records. A leaf record (2.3.2.3) is key
// (cbKey) then data (cbEnt); an index record (2.3.2.2) is key (cbKey) then hidNextLevel
// (4), the first key of the array it names. Keys are little-endian numbers and ascend.
#ifndef KRV_PSTFORMAT_BTHHEADER_H
#define KRV_PSTFORMAT_BTHHEADER_H

#include <cstddef>
#include <cstdint>

namespace krv::pstformat {

inline constexpr size_t kBthHeaderSize = 8;
inline constexpr size_t kBthBType = 0;
inline constexpr size_t kBthCbKey = 1;
inline constexpr size_t kBthCbEnt = 2;
inline constexpr size_t kBthIdxLevels = 3;
inline constexpr size_t kBthHidRoot = 4;

inline constexpr size_t kBthHidNextLevelSize = 4; // after the key of an index record
inline constexpr size_t kMaxBthEntrySize = 32;

[[nodiscard]] constexpr bool IsBthKeySize(size_t cbKey)
{
    return cbKey == 2 || cbKey == 4 || cbKey == 8 || cbKey == 16;
}
[[nodiscard]] constexpr bool IsBthEntrySize(size_t cbEnt) { return cbEnt >= 1 && cbEnt <= kMaxBthEntrySize; }

} // namespace krv::pstformat

#endif

// HeapIds.h: heap item ids (HID), heap-or-node ids (HNID) and the fixed numbers of a heap-on-node.
//
// | id   | bits                                                                       | [MS-PST] |
// |------|----------------------------------------------------------------------------|----------|
// | HID  | hidType 0-4 (always 0), hidIndex 5-15 (1-based), hidBlockIndex 16-31        | 2.3.1.1  |
// | HNID | a HID when its low five bits are 0, else the NID of a subnode of the node   | 2.3.3.2  |
//
// Every block of a heap starts with a header and ends with a page map (2.3.1.2 - 2.3.1.5):
//
// | block          | header      | size | fields                                              |
// |----------------|-------------|------|-----------------------------------------------------|
// | 0              | HNHDR       | 12   | ibHnpm(2) bSig 0xEC(1) bClientSig(1) hidUserRoot(4) |
// |                |             |      | rgbFillLevel(4): blocks 0-7, low nibble first       |
// | 8, 136, 264 .. | HNBITMAPHDR | 66   | ibHnpm(2) rgbFillLevel(64): this block and the next |
// |                |             |      | 127, low nibble first                               |
// | any other      | HNPAGEHDR   | 2    | ibHnpm(2)                                           |
//
// HNPAGEMAP at ibHnpm: cAlloc(2) cFree(2) rgibAlloc[cAlloc + 1](2 each); item i spans
// rgibAlloc[i] .. rgibAlloc[i + 1] from the block start.
#ifndef KRV_PLATFORM_PST_LTP_HEAPIDS_H
#define KRV_PLATFORM_PST_LTP_HEAPIDS_H

#include <cstddef>
#include <cstdint>

namespace krv::pst {

inline constexpr uint8_t kHeapSignature = 0xEC;
inline constexpr uint8_t kClientSigTable = 0x7C;
inline constexpr uint8_t kClientSigBth = 0xB5;
inline constexpr uint8_t kClientSigProperties = 0xBC;

// Largest heap item; anything bigger goes to a subnode.
inline constexpr size_t kMaxHeapItem = 3580;
// hidIndex has 11 bits and starts at 1; hidBlockIndex has 16.
inline constexpr size_t kMaxItemsPerHeapBlock = 2047;
inline constexpr size_t kMaxHeapBlocks = 65536;

inline constexpr size_t kHeapHeaderSize = 12;
inline constexpr size_t kHeapBitmapHeaderSize = 66;
inline constexpr size_t kHeapPageHeaderSize = 2;
inline constexpr size_t kFillLevelsPerBitmap = 128;

[[nodiscard]] constexpr uint32_t MakeHid(size_t block, size_t index)
{
    return static_cast<uint32_t>((block << 16) | (index << 5));
}
[[nodiscard]] constexpr size_t HidBlock(uint32_t hid) { return hid >> 16; }
[[nodiscard]] constexpr size_t HidIndex(uint32_t hid) { return (hid >> 5) & 0x7FF; }
[[nodiscard]] constexpr bool IsHid(uint32_t hnid) { return (hnid & 0x1F) == 0; }

// Blocks 8, 136, 264, ... carry the fill levels of the 128 blocks from themselves on.
[[nodiscard]] constexpr bool IsHeapBitmapBlock(size_t block)
{
    return block >= 8 && (block - 8) % kFillLevelsPerBitmap == 0;
}

[[nodiscard]] constexpr size_t HeapBlockHeaderSize(size_t block)
{
    if (block == 0) return kHeapHeaderSize;
    return IsHeapBitmapBlock(block) ? kHeapBitmapHeaderSize : kHeapPageHeaderSize;
}

} // namespace krv::pst

#endif

// Bth.h: walking the B-tree-on-heap under a node's heap, one call per leaf record.
//
// BTHHEADER ([MS-PST] 2.3.2.1), 8 bytes in a heap allocation: bType 0(1), not checked;
// cbKey 1(1); cbEnt 2(1); bIdxLevels 3(1); hidRoot 4(4), 0 for an empty tree. Records
// are packed in heap allocations: a leaf record is cbKey key bytes and cbEnt data bytes;
// an intermediate record is cbKey key bytes and the 4-byte HID of a lower allocation.
// Bytes after the last whole record of an allocation are ignored.
#ifndef KRV_ENGINE_ITEMS_BTH_H
#define KRV_ENGINE_ITEMS_BTH_H

#include "engine/reader/PstNode.h"

#include <cstddef>
#include <cstdint>

namespace krv {

inline constexpr size_t kBthHeaderSize = 8;

// Called once per leaf record: the heap's client signature, the key, and the record's
// data. The pointers are valid for the call only.
using BthVisitor = void (*)(uint8_t clientSig, const uint8_t* key, uint32_t cbKey, const uint8_t* data,
                            uint32_t cbEnt, void* context);

// Walks the BTH of a property context (client signature 0xBC) or the row index of a table
// context (0x7C, the BTH that its TCINFO's hidRowIndex names). True when the heap, its
// user root and the BTH header could be read; records that cannot be read are passed
// over. Trees of one intermediate level are followed; any other depth is walked as if
// the root were a leaf level.
bool WalkBth(const PstNode& node, BthVisitor visitor, void* context);

} // namespace krv

#endif

// Bth.h: walking the B-tree-on-heap under a node's heap, one call per leaf record.
//
// The BTH's header and records are pstformat/BthHeader.h ([MS-PST] 2.3.2). This walker
// does not check bType, and ignores the bytes after the last whole record of an
// allocation.
#ifndef KRV_ENGINE_ITEMS_BTH_H
#define KRV_ENGINE_ITEMS_BTH_H

#include "engine/reader/PstNode.h"
#include "pstformat/BthHeader.h"

#include <cstddef>
#include <cstdint>

namespace krv {

using pstformat::kBthHeaderSize;

// Called once per leaf record: the heap's client signature, the key, and the record's
// data. The pointers are valid for the call only.
using BthVisitor = void (*)(uint8_t clientSig, const uint8_t* key, uint32_t cbKey, const uint8_t* data, uint32_t cbEnt,
                            void* context);

// Walks the BTH of a property context (client signature 0xBC) or the row index of a table
// context (0x7C, the BTH that its TCINFO's hidRowIndex names). True when the heap, its
// user root and the BTH header could be read; records that cannot be read are passed
// over. Trees of one intermediate level are followed; any other depth is walked as if
// the root were a leaf level.
bool WalkBth(const PstNode& node, BthVisitor visitor, void* context);

} // namespace krv

#endif

// RejectReason.h: why the reader or the item layer refused bytes of a damaged source.
//
// Every check that finds a structure corrupt and makes a read answer false, none or 0 names
// one of these reasons (see RejectCounts.h). The names are short and stable: tools print
// them and tests compare them, so a reason is never renamed or renumbered, only added.
#ifndef KRV_ENGINE_READER_REJECTREASON_H
#define KRV_ENGINE_READER_REJECTREASON_H

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

namespace krv {

enum class RejectReason : uint8_t {
    // The block and node trees (engine/reader).
    BlockMissing,        // "block-missing": a tree names a BID the block index does not hold (at
                         // the offset of the block that names it, when a block does)
    BlockShortRead,      // "block-short-read": fewer bytes came than the block's size
    InternalBlockHeader, // "internal-block-header": an internal block too short for its header
    DataTreeDepth,       // "data-tree-depth": an XBLOCK below the levels a data tree has
    DataTreeEntry,       // "data-tree-entry": a block index past what the data tree lists
    XXBlockChild,        // "xxblock-child": an XXBLOCK entry that is no XBLOCK
    SubnodeTreeBid,      // "subnode-tree-bid": a subnode tree rooted at a data block's BID
    SubnodeTreeLoop,     // "subnode-tree-loop": a subnode block met again in one listing
    SubnodeTreeBtype,    // "subnode-tree-btype": a subnode tree block that is no subnode block
    SubnodeTreeLevel,    // "subnode-tree-level": a subnode block neither SLBLOCK nor SIBLOCK
    SubnodeTreeDepth,    // "subnode-tree-depth": an SIBLOCK below the levels followed
    PageShortRead,       // "page-short-read": a page the scan found cannot be read back whole
    PageCounts,          // "page-counts": a B-tree page whose level or entry counts make no sense
    PageEntry,           // "page-entry": a B-tree page entry that cannot be parsed
    HeaderMissing,       // "header-missing": the scan found no valid header of the layout
    // The structures inside a node (engine/items).
    NodeSizeClipped,  // "node-size-clipped": lcbTotal larger than the data tree holds
    NodeSizeTooLarge, // "node-size-too-large": a data size no value can have
    SubnodeLoop,      // "subnode-loop": a subnode whose subnode tree is an ancestor's
    SubnodeDepth,     // "subnode-depth": subnodes nested deeper than items ever are
    SubnodeBudget,    // "subnode-budget": more subnodes under one node than are loaded
    HeapTooShort,     // "heap-too-short": a heap's first block shorter than its header
    HeapClient,       // "heap-client": a heap whose client signature is not the one read
    HeapUserRoot,     // "heap-user-root": a heap without its user root
    HeapAllocIndex,   // "heap-alloc-index": a HID of allocation index 0
    HeapPageMap,      // "heap-page-map": a page map outside its block
    HeapAllocRange,   // "heap-alloc-range": an allocation's offsets outside its block
    BthHeader,        // "bth-header": a BTH header allocation too short
    BthRecordSize,    // "bth-record-size": a BTH whose records have no size
    PcShape,          // "pc-shape": a property context BTH without 2-byte keys, 6-byte data
    PcTooMany,        // "pc-too-many": more records than property identifiers exist
    TcInfoShort,      // "tcinfo-short": a TCINFO too short for its fixed part
    TcInfoColumns,    // "tcinfo-columns": cCols does not match the column descriptors
    TcRowIndex,       // "tc-row-index": a table without its row index
    TcRowLayout,      // "tc-row-layout": a cell existence bitmap that does not end the row
    TcColumn,         // "tc-column": a column descriptor whose cells cannot be read
    TcRowMatrix,      // "tc-row-matrix": a row matrix subnode that is not there
    TcRowBudget,      // "tc-row-budget": more row entries than one table reads
    ValueShort,       // "value-short": fewer stored bytes than the value's type needs
    ValueHnidKind,    // "value-hnid-kind": a subnode NID where a value's HID belongs
    ValueSubnode,     // "value-subnode": a value's subnode that is not there
    ValueType,        // "value-type": a property type no store holds in that place
    MvCount,          // "mv-count": a multi-value count larger than its data
    MvOffset,         // "mv-offset": multi-value element offsets out of order
    BlockInflate,     // "block-inflate": a compressed block that inflates to neither copy of its size
};

inline constexpr size_t kRejectReasonCount = static_cast<size_t>(RejectReason::BlockInflate) + 1;

// The reason's stable name, as in the comments above.
[[nodiscard]] std::string_view RejectReasonName(RejectReason reason);

// The reason of a name; none for a name that is no reason's.
[[nodiscard]] std::optional<RejectReason> RejectReasonOfName(std::string_view name);

} // namespace krv

#endif

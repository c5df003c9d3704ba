// NdbWriter.h: the node database of a new store file ([MS-PST] 2.2): nodes go in as data
// blocks and subnodes and leave as blocks, data trees and subnode trees; Flush adds the
// node and block B-trees, the allocation maps, the density list and the header.
//
// Blocks are written when their node is put, so the file's size on disk follows the nodes
// as they come; nothing of their data stays in memory. After Flush the file is a complete
// and consistent store, and it stays that store until the next Flush however the process
// ends: new blocks only go to space that store leaves free, and the space of replaced and
// deleted nodes is given back only by the Flush that writes trees no longer naming it
// (copy on write, [MS-PST] 2.6.1.2). When a block needs the file to grow between two
// Flushes, the new intervals' maps are written empty and the last Flush's header again with
// the new end, so that the store never ends before the file does.
//
// Failures are reported as NdbError values: FileTooLarge when an ANSI file would pass its
// largest size (0x7C004400 bytes, pstformat/AllocationMap.h), checked before anything of
// the node is written, so the store stays as it was and a later Flush leaves a consistent
// file; WriteFailed for the file system's errors, after which the node is not stored.
#ifndef KRV_PLATFORM_PST_NDB_NDBWRITER_H
#define KRV_PLATFORM_PST_NDB_NDBWRITER_H

#include "platform/pst/ndb/BTreeBuilder.h"
#include "platform/pst/ndb/BlockTable.h"
#include "platform/pst/ndb/NdbError.h"
#include "platform/pst/ndb/NidCounters.h"
#include "platform/pst/ndb/NodeContent.h"
#include "platform/pst/ndb/NodeTreeWriter.h"
#include "platform/pst/ndb/OutputFile.h"
#include "platform/pst/ndb/SpaceAllocator.h"
#include "platform/pst/ndb/StoreHeader.h"
#include "pstformat/AllocationMap.h"
#include "pstformat/Encoding.h"
#include "pstformat/Layout.h"

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace krv::pst {

// How data blocks are encoded: the header's bCryptMethod.
enum class CryptMethod : uint8_t {
    None = pstformat::kCryptMethodNone,
    Permute = pstformat::kCryptMethodPermute,
    Cyclic = pstformat::kCryptMethodCyclic,
};

// A node as the node B-tree lists it.
struct NodeInfo {
    uint32_t nid = 0;
    uint32_t nidParent = 0;
    uint64_t bidData = 0;
    uint64_t bidSub = 0;
};

class NdbWriter : private BlockTarget, private PageTarget {
public:
    // Creates the store file `path` and writes an empty store into it. An existing file is
    // refused (FileExists) unless `replaceExisting`, in which case it is unlinked, never
    // truncated. None, with the reason in `error`, on failure; a file made here is then
    // removed again.
    static std::unique_ptr<NdbWriter> Create(const std::string& path, pstformat::Layout layout, CryptMethod crypt,
                                             NdbError& error, bool replaceExisting = false);

    // Closes the file without a Flush: whatever the last Flush wrote stays the store.
    ~NdbWriter() override;
    NdbWriter(const NdbWriter&) = delete;
    NdbWriter& operator=(const NdbWriter&) = delete;

    // Stores node `nid` (not 0) with its data and subnodes, or replaces the node of that NID;
    // the replaced node's blocks are released at the next Flush. Data blocks of `content` must hold 1 to
    // maxBlockData bytes each (MeasureNodeTree lists the rules). A node without data blocks
    // is listed with bidData 0.
    [[nodiscard]] NdbError PutNode(uint32_t nid, uint32_t nidParent, const NodeContent& content);

    // Removes a node; its blocks are released at the next Flush. NoSuchNode when it is not
    // there.
    [[nodiscard]] NdbError DeleteNode(uint32_t nid);

    // True when blocks of `storedBytes` more bytes on disk (as MeasureNodeTree counts them),
    // making `blocks` more blocks of `nodes` more nodes, would fit below the layout's largest
    // size together with the B-trees a Flush then writes. PutNode asks the same of each node;
    // a caller asks ahead for nodes it must still be able to put before the next Flush.
    [[nodiscard]] bool WillFit(uint64_t storedBytes, uint64_t nodes, uint64_t blocks) const;

    // Makes sure the disk (and the process's file-size limit) can take as much as WillFit
    // asks about, by allocating it ahead: a caller that reserves, before each node, room
    // for that node and for everything the next Flush writes can always still Flush, even
    // when the disk fills up meanwhile. WriteFailed, with the system's reason, otherwise.
    [[nodiscard]] NdbError ReserveRoom(uint64_t storedBytes, uint64_t nodes, uint64_t blocks);

    [[nodiscard]] std::optional<NodeInfo> FindNode(uint32_t nid) const;
    [[nodiscard]] size_t NodeCount() const { return m_nodes.size(); }

    // A NID of `nidType` that no node uses yet (the header's rgnid counters); 0 when the
    // type is 32 or above or its indexes are used up.
    [[nodiscard]] uint32_t AllocateNid(uint8_t nidType) { return m_nids.Allocate(nidType); }

    // Writes the B-trees, the allocation maps, the density list and last the header. It
    // rewrites both B-trees whole, so its cost grows with the store: call it at checkpoints,
    // not after every node. After a failed Flush the file is a consistent store again once
    // a Flush succeeds.
    [[nodiscard]] NdbError Flush();

    // Flush, sync and close. The writer refuses everything afterwards (Closed).
    [[nodiscard]] NdbError Close();

    // The size of the file: whole intervals of the allocation maps, as far as the nodes
    // written so far reach. A Flush may add B-tree pages to it.
    [[nodiscard]] uint64_t FileSize() const { return m_space.FileSize(); }
    [[nodiscard]] pstformat::Layout GetLayout() const { return m_layout; }

    // Test hook: place nothing before file offset `ib` from now on.
    void SetAllocationFloorForTesting(uint64_t ib) { m_space.SetFloorForTesting(ib); }

private:
    struct NodeRecord {
        uint32_t nidParent = 0;
        uint64_t bidData = 0;
        uint64_t bidSub = 0;
        // The node's blocks are exactly those with BIDs in [firstBid, endBid): one PutNode
        // takes its BIDs in one run.
        uint64_t firstBid = 0;
        uint64_t endBid = 0;
    };

    NdbWriter(std::unique_ptr<OutputFile> file, pstformat::Layout layout, CryptMethod crypt);

    std::optional<uint64_t> WriteBlock(std::span<const uint8_t> data, bool internal, NdbError& error) override;
    std::optional<pstformat::Bref> PlacePage(NdbError& error) override;
    bool WritePage(uint64_t ib, std::span<const uint8_t> page, NdbError& error) override;

    // B-tree pages of both trees with `nodes` and `blocks` more entries.
    [[nodiscard]] uint64_t TreePagesWith(uint64_t nodes, uint64_t blocks) const;
    [[nodiscard]] bool WriteTrees(pstformat::Bref& nbt, pstformat::Bref& bbt, NdbError& error);
    [[nodiscard]] bool WriteMapsAndHeader(const pstformat::Bref& nbt, const pstformat::Bref& bbt, NdbError& error);
    [[nodiscard]] bool FollowFileSize(NdbError& error);
    // Writes the empty maps of the intervals from file offset `from` to `to` and the
    // committed header grown to cover them.
    [[nodiscard]] bool CommitGrowth(uint64_t from, uint64_t to, NdbError& error);
    [[nodiscard]] bool WriteStoreHeader(const StoreHeaderState& state, NdbError& error);
    // Drops the blocks of a node from the block tree to come. Their space is free at once
    // when no flushed tree names them, else after the next Flush.
    void ReleaseBlocks(uint64_t firstBid, uint64_t endBid);

    std::unique_ptr<OutputFile> m_file;
    pstformat::Layout m_layout;
    uint8_t m_cryptMethod;
    pstformat::BlockEncoding m_encoding;
    SpaceAllocator m_space;
    BlockTable m_blocks;
    std::map<uint32_t, NodeRecord> m_nodes;
    NidCounters m_nids;
    uint64_t m_bidNextB;
    uint64_t m_bidNextP;
    uint32_t m_dwUnique = 0;
    uint64_t m_sizeOnDisk = 0;
    std::vector<uint64_t> m_treePages; // pages of the B-trees the header names
    struct Extent {
        uint64_t ib;
        uint64_t size;
    };
    std::vector<Extent> m_pendingFree;           // blocks released since the last Flush
    uint64_t m_committedBidEnd = 0;              // blocks below this BID may be named on disk
    std::optional<StoreHeaderState> m_committed; // what the header on disk says
    pstformat::DList m_dList;                    // the density list on disk (Unicode)
    uint64_t m_dListBid = 0;
    std::vector<uint64_t> m_placedPages; // pages placed by the Flush under way
    bool m_closed = false;
};

} // namespace krv::pst

#endif

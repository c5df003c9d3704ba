// BlockIndex.h: every copy found of every block, by BID; the best copy is last.
#ifndef KRV_ENGINE_READER_BLOCKINDEX_H
#define KRV_ENGINE_READER_BLOCKINDEX_H

#include "engine/reader/BlockRecord.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>

namespace krv {

// Keys ignore bit 0 of the BID. Lists keep append order until the ranking reorders them.
//
// A damaged file of many gigabytes yields tens of millions of copies, so the index keeps
// all records in one flat array and a compact hash table from BID to a slice of it. While
// the scan appends, a BID's copies lie scattered through the array; Seal() groups them
// into contiguous slices, which Copies() and ForEachList() hand out as spans.
//
// Two states:
//   appending - after Append: Find works; Copies and the non-const ForEachList seal first.
//   sealed    - after Seal (or on a new index): every operation works without moving
//               records, except Append, which goes back to appending.
// Pointers and spans into the index stay valid until the next Append, Seal, RemoveLast or
// Clear, or until Copies or the non-const ForEachList seals an index that was appending.
class BlockIndex {
public:
    BlockIndex();
    ~BlockIndex();
    BlockIndex(const BlockIndex&) = delete;
    BlockIndex& operator=(const BlockIndex&) = delete;

    void Clear();
    // Appends a copy under record.bid (stored with bit 0 cleared). Answers false, and keeps
    // nothing, only when the index already holds the most copies it can address (2^32 - 2).
    bool Append(const BlockRecord& record);
    // Groups every BID's copies contiguously, in append order, and releases what the
    // appending state needed. The scan calls it after its last Append. Cheap when sealed.
    void Seal();
    bool IsSealed() const;

    // The best (last) copy of bid, or null when none was found.
    BlockRecord* Find(uint64_t bid);
    const BlockRecord* Find(uint64_t bid) const;
    // Every copy of bid in list order (best last); empty when none. Seals first.
    std::span<BlockRecord> Copies(uint64_t bid);
    // Removes and drops the last (best) copy of bid; the BID disappears with its last copy.
    // Answers false when bid has no copy. Seals first.
    bool RemoveLast(uint64_t bid);

    // BIDs that have at least one copy.
    size_t KeyCount() const;
    size_t RecordCount() const;

    // Visits each BID once with its list (best last). The order of BIDs is not
    // significant but stays the same while the index is unchanged. The visitor may
    // reorder the records inside the span (the ranking sorts them) and change their
    // fields, except bid. The non-const form seals first; the const form of an appending
    // index visits grouped copies of the records.
    void ForEachList(const std::function<void(uint64_t bid, std::span<BlockRecord> copies)>& visit);
    void ForEachList(const std::function<void(uint64_t bid, std::span<const BlockRecord> copies)>& visit) const;

    // Bytes held by the index (allocated capacity, not just what is in use), for benchmarks.
    size_t MemoryBytes() const;

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

} // namespace krv

#endif

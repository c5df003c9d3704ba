// BlockIndex.cpp: the flat record array, grouped by BID on Seal, behind the BID table.
#include "engine/reader/BlockIndex.h"

#include "engine/reader/BlockKeyTable.h"
#include "engine/reader/TrivialArray.h"

#include <algorithm>
#include <limits>
#include <utility>

namespace krv {

namespace {

// Record positions are 32-bit to keep the table small; the top value marks "none".
constexpr uint32_t kNone = std::numeric_limits<uint32_t>::max();
constexpr size_t kMaxRecords = kNone - 1;
constexpr size_t kMinRecordCapacity = 1024;

// The memory budget per copy (array plus table) assumes records this small.
static_assert(sizeof(BlockRecord) <= 32);

uint64_t KeyOf(uint64_t bid) { return bid & ~uint64_t{1}; }

} // namespace

// The table's slot for a BID says, while appending, where its last copy is; once sealed,
// where its slice begins.
struct BlockIndex::Impl {
    // Every copy. Sealed: each BID's copies form one slice, in append order; a slice may
    // be followed by copies that RemoveLast dropped. Appending: in append order.
    TrivialArray<BlockRecord> records;
    // Appending only: for each record, the ordinal of its BID (kNone for a dropped one).
    // Ordinals follow first appearance, so grouping keeps a scan's file order.
    TrivialArray<uint32_t> groups;
    BlockKeyTable table;
    uint32_t groupCount = 0;
    size_t live = 0;
    bool sealed = true;

    // Where each BID's slice begins in a grouped array, BIDs in ordinal order.
    TrivialArray<uint32_t> GroupStarts() const
    {
        TrivialArray<uint32_t> starts = TrivialArray<uint32_t>::Zeroed(groupCount);
        for (uint32_t g : groups) {
            if (g != kNone) {
                ++starts[g];
            }
        }
        uint32_t sum = 0;
        for (uint32_t& s : starts) {
            const uint32_t n = s;
            s = sum;
            sum += n;
        }
        return starts;
    }

    // Copies the live records into out, grouped; cursors enter as GroupStarts() and leave
    // as the end of each slice.
    void Scatter(TrivialArray<uint32_t>& cursors, TrivialArray<BlockRecord>& out) const
    {
        for (size_t i = 0; i < records.Size(); ++i) {
            const uint32_t g = groups[i];
            if (g != kNone) {
                out[cursors[g]++] = records[i];
            }
        }
    }

    void Seal()
    {
        if (sealed) {
            return;
        }
        // Allocate everything first so that running out of memory leaves the index as it was.
        TrivialArray<uint32_t> cursors = GroupStarts();
        TrivialArray<BlockRecord> grouped = TrivialArray<BlockRecord>::Zeroed(live);
        table.ForEach([&](BlockKeySlot& s) { s.pos = cursors[groups[s.pos]]; });
        Scatter(cursors, grouped);
        records = std::move(grouped);
        groups.Release();
        groupCount = 0;
        sealed = true;
    }

    // Back to appending: every slice becomes one group again, its BID pointing at its last copy.
    void Unseal()
    {
        TrivialArray<uint32_t> fresh;
        fresh.Reallocate(records.Capacity());
        fresh.Fill(records.Size(), kNone);
        groups = std::move(fresh);
        groupCount = 0;
        table.ForEach([&](BlockKeySlot& s) {
            std::fill_n(groups.begin() + s.pos, s.count, groupCount++);
            s.pos += s.count - 1;
        });
        sealed = false;
    }

    bool Append(const BlockRecord& record)
    {
        if (records.Size() >= kMaxRecords) {
            return false;
        }
        if (sealed) {
            Unseal();
        }
        if (records.Size() == records.Capacity()) {
            // Growth by half rather than doubling bounds the slack of a huge scan.
            const size_t size = records.Size();
            const size_t capacity = std::min(kMaxRecords, std::max(kMinRecordCapacity, size + size / 2));
            records.Reallocate(capacity);
            groups.Reallocate(capacity);
        }
        const uint64_t key = KeyOf(record.bid);
        const auto pos = static_cast<uint32_t>(records.Size());
        uint32_t group;
        if (BlockKeySlot* s = table.Find(key)) {
            group = groups[s->pos];
            s->pos = pos;
            ++s->count;
        } else {
            table.Insert(key, pos);
            group = groupCount++;
        }
        records.PushBack(record);
        records.Back().bid = key;
        groups.PushBack(group);
        ++live;
        return true;
    }

    const BlockRecord* Last(const BlockKeySlot& s) const { return &records[sealed ? s.pos + s.count - 1 : s.pos]; }

    void Clear()
    {
        records.Release();
        groups.Release();
        table.Clear();
        groupCount = 0;
        live = 0;
        sealed = true;
    }
};

BlockIndex::BlockIndex() : m_impl(std::make_unique<Impl>()) {}

BlockIndex::~BlockIndex() = default;

void BlockIndex::Clear() { m_impl->Clear(); }

bool BlockIndex::Append(const BlockRecord& record) { return m_impl->Append(record); }

void BlockIndex::Seal() { m_impl->Seal(); }

bool BlockIndex::IsSealed() const { return m_impl->sealed; }

BlockRecord* BlockIndex::Find(uint64_t bid) { return const_cast<BlockRecord*>(std::as_const(*this).Find(bid)); }

const BlockRecord* BlockIndex::Find(uint64_t bid) const
{
    const BlockKeySlot* s = m_impl->table.Find(KeyOf(bid));
    return s != nullptr ? m_impl->Last(*s) : nullptr;
}

std::span<BlockRecord> BlockIndex::Copies(uint64_t bid)
{
    m_impl->Seal();
    const BlockKeySlot* s = m_impl->table.Find(KeyOf(bid));
    if (s == nullptr) {
        return {};
    }
    return {m_impl->records.Data() + s->pos, s->count};
}

bool BlockIndex::RemoveLast(uint64_t bid)
{
    m_impl->Seal();
    BlockKeySlot* s = m_impl->table.Find(KeyOf(bid));
    if (s == nullptr) {
        return false;
    }
    // The dropped copy stays in the array, outside every slice, until the next regrouping.
    --m_impl->live;
    if (--s->count == 0) {
        m_impl->table.Erase(s);
    }
    return true;
}

size_t BlockIndex::KeyCount() const { return m_impl->table.Size(); }

size_t BlockIndex::RecordCount() const { return m_impl->live; }

void BlockIndex::ForEachList(const std::function<void(uint64_t bid, std::span<BlockRecord> copies)>& visit)
{
    m_impl->Seal();
    BlockRecord* records = m_impl->records.Data();
    m_impl->table.ForEach([&](const BlockKeySlot& s) { visit(s.key, {records + s.pos, s.count}); });
}

void BlockIndex::ForEachList(const std::function<void(uint64_t bid, std::span<const BlockRecord> copies)>& visit) const
{
    const Impl& impl = *m_impl;
    if (impl.sealed) {
        const BlockRecord* records = impl.records.Data();
        impl.table.ForEach([&](const BlockKeySlot& s) { visit(s.key, {records + s.pos, s.count}); });
        return;
    }
    // An appending index cannot be regrouped in place by a const visit; group a copy.
    TrivialArray<uint32_t> ends = impl.GroupStarts();
    TrivialArray<BlockRecord> grouped = TrivialArray<BlockRecord>::Zeroed(impl.live);
    impl.Scatter(ends, grouped);
    impl.table.ForEach([&](const BlockKeySlot& s) {
        const uint32_t end = ends[impl.groups[s.pos]];
        visit(s.key, {grouped.Data() + (end - s.count), s.count});
    });
}

size_t BlockIndex::MemoryBytes() const
{
    return sizeof(Impl) + m_impl->records.Capacity() * sizeof(BlockRecord) +
           m_impl->groups.Capacity() * sizeof(uint32_t) + m_impl->table.Bytes();
}

} // namespace krv

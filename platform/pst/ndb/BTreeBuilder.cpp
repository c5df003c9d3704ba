// BTreeBuilder.cpp: packing entries into pages, levels above the leaves, page sealing.
#include "platform/pst/ndb/BTreeBuilder.h"

#include "pstformat/PageTrailer.h"

#include <algorithm>

namespace krv::pst {

using namespace krv::pstformat;

uint64_t BTreePageCount(uint64_t entries, size_t leafCapacity, size_t branchCapacity)
{
    uint64_t level = std::max<uint64_t>(1, (entries + leafCapacity - 1) / leafCapacity);
    uint64_t total = level;
    while (level > 1) {
        level = (level + branchCapacity - 1) / branchCapacity;
        total += level;
    }
    return total;
}

BTreeBuilder::BTreeBuilder(Layout layout, uint8_t ptype, PageTarget& target)
    : m_layout(layout), m_ptype(ptype), m_target(target), m_leafEntrySize(BTreeEntrySize(layout, ptype, 0)),
      m_leafCapacity(BTreeEntryCapacity(layout, m_leafEntrySize)), m_pageSize(TraitsOf(layout).pageSize)
{}

bool BTreeBuilder::Add(const BBTEntry& entry, NdbError& error)
{
    const std::span<uint8_t> out = NextLeafEntry(entry.bref.bid, error);
    if (out.empty()) return false;
    if (!WriteBBTEntry(entry, m_layout, out)) {
        error = {NdbErrc::FileTooLarge, 0, "a block reference does not fit the layout"};
        return false;
    }
    return true;
}

bool BTreeBuilder::Add(const NBTEntry& entry, NdbError& error)
{
    const std::span<uint8_t> out = NextLeafEntry(entry.nid, error);
    if (out.empty()) return false;
    if (!WriteNBTEntry(entry, m_layout, out)) {
        error = {NdbErrc::FileTooLarge, 0, "a node entry does not fit the layout"};
        return false;
    }
    return true;
}

std::span<uint8_t> BTreeBuilder::NextLeafEntry(uint64_t key, NdbError& error)
{
    if (m_leafCount == m_leafCapacity && !CloseLeaf(error)) return {};
    if (m_leafCount == 0) {
        m_page.fill(0);
        m_leafFirstKey = key;
    }
    return BTreePageEntry(Page(), m_layout, m_leafCount++, m_leafEntrySize);
}

bool BTreeBuilder::CloseLeaf(NdbError& error)
{
    const auto ref = WritePage(0, m_leafEntrySize, m_leafCount, error);
    if (!ref) return false;
    m_children.push_back({m_leafFirstKey, *ref});
    m_leafCount = 0;
    return true;
}

std::optional<Bref> BTreeBuilder::Finish(NdbError& error)
{
    if (m_leafCount > 0 || m_children.empty()) {
        if (m_leafCount == 0) m_page.fill(0);
        if (!CloseLeaf(error)) return std::nullopt;
    }
    const size_t btSize = TraitsOf(m_layout).btEntrySize;
    const size_t btCapacity = BTreeEntryCapacity(m_layout, btSize);
    for (uint8_t level = 1; m_children.size() > 1; ++level) {
        std::vector<BTEntry> parents;
        for (size_t first = 0; first < m_children.size(); first += btCapacity) {
            const size_t count = std::min(btCapacity, m_children.size() - first);
            m_page.fill(0);
            for (size_t i = 0; i < count; ++i)
                if (!WriteBTEntry(m_children[first + i], m_layout, BTreePageEntry(Page(), m_layout, i, btSize))) {
                    error = {NdbErrc::FileTooLarge, 0, "a page reference does not fit the layout"};
                    return std::nullopt;
                }
            const auto ref = WritePage(level, btSize, count, error);
            if (!ref) return std::nullopt;
            parents.push_back({m_children[first].btkey, *ref});
        }
        m_children = std::move(parents);
    }
    return m_children.front().bref;
}

std::optional<Bref> BTreeBuilder::WritePage(uint8_t cLevel, size_t entrySize, size_t count, NdbError& error)
{
    const auto ref = m_target.PlacePage(error);
    if (!ref) return std::nullopt;
    const BTreePageInfo info{static_cast<uint16_t>(count), BTreeEntryCapacity(m_layout, entrySize),
                             static_cast<uint8_t>(entrySize), cLevel};
    if (!WriteBTreePageInfo(info, m_layout, Page()) || !SealPage(Page(), m_layout, m_ptype, ref->bid, ref->ib)) {
        error = {NdbErrc::FileTooLarge, 0, "a page does not fit the layout"};
        return std::nullopt;
    }
    if (!m_target.WritePage(ref->ib, Page(), error)) return std::nullopt;
    m_pagesWritten.push_back(ref->ib);
    return ref;
}

} // namespace krv::pst

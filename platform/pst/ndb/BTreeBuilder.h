// BTreeBuilder.h: writes a node or block B-tree bottom-up from its leaf entries in key
// order: leaf pages packed full, then levels of BTENTRY pages until one root page is left.
#ifndef KRV_PLATFORM_PST_NDB_BTREEBUILDER_H
#define KRV_PLATFORM_PST_NDB_BTREEBUILDER_H

#include "platform/pst/ndb/NdbError.h"
#include "pstformat/BTreePage.h"
#include "pstformat/Ids.h"
#include "pstformat/Layout.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace krv::pst {

// Where the pages of a tree go: a place and a page BID for each, then the sealed bytes.
class PageTarget {
public:
    virtual ~PageTarget() = default;
    [[nodiscard]] virtual std::optional<pstformat::Bref> PlacePage(NdbError& error) = 0;
    [[nodiscard]] virtual bool WritePage(uint64_t ib, std::span<const uint8_t> page, NdbError& error) = 0;
};

// Pages a tree of `entries` leaf entries needs, all levels counted; at least the root.
[[nodiscard]] uint64_t BTreePageCount(uint64_t entries, size_t leafCapacity, size_t branchCapacity);

class BTreeBuilder {
public:
    // ptype: PageTypeBbt or PageTypeNbt.
    BTreeBuilder(pstformat::Layout layout, uint8_t ptype, PageTarget& target);

    // Leaf entries, keys strictly ascending.
    [[nodiscard]] bool Add(const pstformat::BBTEntry& entry, NdbError& error);
    [[nodiscard]] bool Add(const pstformat::NBTEntry& entry, NdbError& error);

    // Writes the pages still open and the levels above; answers the root's BREF. A tree of
    // no entries is one empty leaf page.
    [[nodiscard]] std::optional<pstformat::Bref> Finish(NdbError& error);

    // File offsets of every page written.
    [[nodiscard]] const std::vector<uint64_t>& PagesWritten() const { return m_pagesWritten; }

private:
    [[nodiscard]] std::span<uint8_t> NextLeafEntry(uint64_t key, NdbError& error);
    [[nodiscard]] bool CloseLeaf(NdbError& error);
    [[nodiscard]] std::optional<pstformat::Bref> WritePage(uint8_t cLevel, size_t entrySize, size_t count,
                                                           NdbError& error);

    pstformat::Layout m_layout;
    uint8_t m_ptype;
    PageTarget& m_target;
    size_t m_leafEntrySize;
    size_t m_leafCapacity;
    [[nodiscard]] std::span<uint8_t> Page() { return std::span<uint8_t>(m_page).first(m_pageSize); }

    size_t m_pageSize;
    std::array<uint8_t, pstformat::kMaxPageSize> m_page{};
    size_t m_leafCount = 0; // entries in the open leaf page
    uint64_t m_leafFirstKey = 0;
    std::vector<pstformat::BTEntry> m_children; // one per page of the level being built
    std::vector<uint64_t> m_pagesWritten;
};

} // namespace krv::pst

#endif

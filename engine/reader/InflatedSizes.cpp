// InflatedSizes.cpp: the table of inflated sizes from block B-tree leaves, and its filling
// from the leaf pages the scan found.
#include "engine/reader/InflatedSizes.h"

#include "engine/reader/LayoutPstReader.h"
#include "engine/reader/PageRuns.h"
#include "pstformat/BTreePage.h"
#include "pstformat/BlockTrailer.h"
#include "pstformat/Ids.h"
#include "pstformat/PageTrailer.h"
#include "pstformat/Signature.h"

#include <span>

namespace krv {

void InflatedSizes::Note(uint64_t bid, uint16_t cb, uint16_t wSig, uint16_t cbInflated)
{
    m_sizes.try_emplace(Key{pstformat::BidKey(bid), uint32_t{cb} << 16 | wSig}, cbInflated);
}

std::optional<uint16_t> InflatedSizes::Find(uint64_t bid, uint16_t cb, uint16_t wSig) const
{
    const auto it = m_sizes.find(Key{pstformat::BidKey(bid), uint32_t{cb} << 16 | wSig});
    if (it == m_sizes.end()) return std::nullopt;
    return it->second;
}

void LayoutPstReader::NoteInflatedSizes(const std::vector<PageRecord>& bbtPages)
{
    m_inflatedSizes.Clear();
    if (m_traits.layout != pstformat::Layout::Unicode4k) return;
    ForEachReadPage(m_file, bbtPages, m_traits.pageSize, [this](const PageRecord&, std::span<const uint8_t> page) {
        if (page.empty()) return;
        const auto info = pstformat::ParseBTreePageInfo(page, m_traits.layout);
        const auto trailer = pstformat::ParsePageTrailer(page, m_traits.layout);
        if (!info || !trailer || info->cLevel != 0 || trailer->ptype != pstformat::PageTypeBbt) return;
        const size_t entrySize = m_traits.bbtEntrySize;
        for (size_t i = 0; i < info->cEnt; ++i) {
            const auto entry =
                pstformat::ParseBBTEntry(pstformat::BTreePageEntry(page, m_traits.layout, i, entrySize), m_traits.layout);
            if (!entry) break;
            if (!pstformat::IsCompressedBlock(m_traits.layout, entry->cb, entry->cbInflated)) continue;
            m_inflatedSizes.Note(entry->bref.bid, entry->cb,
                                 pstformat::ComputeSignature(entry->bref.bid, entry->bref.ib), entry->cbInflated);
        }
    });
}

} // namespace krv

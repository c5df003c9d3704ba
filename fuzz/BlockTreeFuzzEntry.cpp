// BlockTreeFuzzEntry.cpp: one fuzz input through the data trees, subnode trees and collectors.
//
// Whatever the scan indexed is taken as a root: a fuzzed image holds trees that list
// themselves, each other, blocks that are missing or of the wrong kind, and counts that
// overrun their block. Every answer must still be a record of the index (or none), and the
// collectors must agree with a plain two-pass formulation of what they collect.
#include "fuzz/ReaderFuzzEntries.h"

#include "engine/file/CFile64Ex.h"
#include "engine/reader/LayoutPstReader.h"
#include "engine/reader/PstNode.h"
#include "fuzz/FuzzSource.h"
#include "fuzz/ImageSealing.h"
#include "pstformat/Endian.h"
#include "pstformat/HexText.h"
#include "pstformat/Ids.h"
#include "tests/reader/TestReaderHost.h"

#include <algorithm>
#include <memory>
#include <optional>
#include <set>
#include <unordered_set>
#include <utility>
#include <vector>

namespace krv::fuzz {
namespace {

using pstformat::Hex;
using pstformat::IsInternalBid;
using pstformat::Layout;

// Indexes around the first blocks and around the fan-outs an XXBLOCK may be read with.
constexpr uint32_t kIndexes[] = {0, 1, 2, 7, 1018, 1019, 1020, 1021, 2038, 2042, 0x7FFFFFFF, 0xFFFFFFFF};
// BIDs no sound store indexes: no-block, the flag bits alone, all ones.
constexpr uint64_t kOddBids[] = {0, 1, 2, 3, ~uint64_t{0}};

// The data bytes of a BID's best copy as the collectors see them: its stored bytes read
// back, cut to cb; none when fewer bytes come than its stored size.
std::optional<std::vector<uint8_t>> BestCopyData(LayoutPstReader& reader, uint64_t bid)
{
    const BlockRecord* record = reader.Blocks().Find(bid);
    if (record == nullptr) return std::nullopt;
    std::vector<uint8_t> bytes(record->storedSize);
    if (reader.ReadAt(record->offset, bytes.data(), bytes.size()) < bytes.size()) return std::nullopt;
    bytes.resize(std::min<size_t>(record->cb, bytes.size()));
    return bytes;
}

struct InternalView {
    uint8_t btype = 0;
    uint8_t level = 0;
    std::vector<uint64_t> children; // what the block lists, in order, zeros included
};

// Entries are read only within cb and only up to cEnt; a block shorter than its header has
// none and no type.
std::optional<InternalView> ViewInternal(const std::vector<uint8_t>& data, Layout layout)
{
    if (data.size() < 4) return std::nullopt;
    const pstformat::LayoutTraits& t = pstformat::TraitsOf(layout);
    InternalView view;
    view.btype = data[0];
    view.level = data[1];
    const size_t cEnt = pstformat::LoadLe<uint16_t>(data.data() + 2);
    size_t first = 0, size = 0, at = 0;
    if (view.btype == 1) {
        first = 8, size = t.idSize, at = 0;
    } else if (view.btype == 2 && view.level == 1) {
        first = t.subnodeEntriesOffset, size = 2 * t.idSize, at = t.idSize; // SIENTRY: nid, bid
    } else if (view.btype == 2 && view.level == 0) {
        first = t.subnodeEntriesOffset, size = 3 * t.idSize, at = 2 * t.idSize; // SLENTRY: nid, data, sub
    } else {
        return view;
    }
    for (size_t i = 0; i < cEnt && first + (i + 1) * size <= data.size(); ++i)
        view.children.push_back(pstformat::LoadLeId(data.data() + first + i * size + at, t.idSize));
    return view;
}

// The roots of one kind (btype 1: data trees, 2: subnode trees): every candidate minus
// everything any candidate lists. Data blocks are data-tree candidates of their own.
std::set<uint64_t> TwoPassRoots(LayoutPstReader& reader, uint8_t btype)
{
    std::vector<uint64_t> bids;
    std::as_const(reader.Blocks()).ForEachList([&bids](uint64_t bid, std::span<const BlockRecord>) {
        bids.push_back(bid);
    });
    std::set<uint64_t> candidates;
    std::set<uint64_t> listed;
    for (uint64_t bid : bids) {
        if (!IsInternalBid(bid)) {
            if (btype == 1) candidates.insert(bid);
            continue;
        }
        const auto data = BestCopyData(reader, bid);
        if (!data) continue;
        const auto view = ViewInternal(*data, reader.Layout());
        if (!view || view->btype != btype) continue;
        candidates.insert(bid);
        for (uint64_t child : view->children)
            if (child != 0) listed.insert(pstformat::BidKey(child));
    }
    std::set<uint64_t> roots;
    std::set_difference(candidates.begin(), candidates.end(), listed.begin(), listed.end(),
                        std::inserter(roots, roots.end()));
    return roots;
}

class TreeChecks {
public:
    TreeChecks(LayoutPstReader& reader, uint64_t imageSize) : m_reader(reader), m_imageSize(imageSize) {}

    std::string DataBlocks(uint64_t bid)
    {
        const BlockRecord* best = m_reader.Blocks().Find(bid);
        for (uint32_t index : kIndexes) {
            const BlockRecord* found = m_reader.GetDataBlock(bid, index);
            if (found == nullptr) continue;
            if (best == nullptr || bid == 0)
                return "GetDataBlock(" + Hex(bid) + ") answered a block for a BID that has none";
            if (m_reader.Blocks().Find(found->bid) != found || found->offset + found->storedSize > m_imageSize)
                return "GetDataBlock(" + Hex(bid) + ", " + std::to_string(index) + ") is not a best copy in the file";
            if (!IsInternalBid(bid) && (index != 0 || found != best))
                return "GetDataBlock(" + Hex(bid) + ", " + std::to_string(index) + ") of a data block is not the block";
        }
        if (m_reader.GetDataBlock(bid | 1, 0) != m_reader.GetDataBlock(bid, 0))
            return "GetDataBlock(" + Hex(bid) + ") depends on bit 0";
        if (!IsInternalBid(bid) || best == nullptr) return {};
        // An XBLOCK's index-th block is its index-th entry's block.
        const auto data = BestCopyData(m_reader, bid);
        const auto view = data ? ViewInternal(*data, m_reader.Layout()) : std::nullopt;
        if (!view || view->btype != 1 || view->level != 1) return {};
        for (size_t i = 0; i < view->children.size() && i < 8; ++i) {
            const uint64_t child = view->children[i];
            if (child == 0 || IsInternalBid(child)) continue;
            if (m_reader.GetDataBlock(bid, static_cast<uint32_t>(i)) != m_reader.Blocks().Find(child))
                return "GetDataBlock(" + Hex(bid) + ", " + std::to_string(i) + ") is not the XBLOCK's entry " +
                       Hex(child);
        }
        return {};
    }

    std::string DataSize(uint64_t bid)
    {
        const uint32_t size = m_reader.GetDataSize(bid);
        const BlockRecord* best = m_reader.Blocks().Find(bid);
        if (bid == 0 || best == nullptr) return size == 0 ? "" : "GetDataSize(" + Hex(bid) + ") of no block is not 0";
        if (!IsInternalBid(bid)) return size == best->cb ? "" : "GetDataSize(" + Hex(bid) + ") is not the block's cb";
        // A tree's size is the lcbTotal word of its best copy, whatever its type.
        uint8_t head[8] = {};
        const uint32_t lcbTotal =
            m_reader.ReadAt(best->offset, head, sizeof head) == sizeof head ? pstformat::LoadLe<uint32_t>(head + 4) : 0;
        return size == lcbTotal ? "" : "GetDataSize(" + Hex(bid) + ") is not the tree's lcbTotal";
    }

    std::string Subnodes(uint64_t bid)
    {
        PstNodeMap map;
        // What the map held before must go.
        map.Append(0x21, std::make_unique<PstNode>(nullptr, 0x21, 0, 0, 0));
        const size_t count = m_reader.ListSubnodes(bid, map);
        if (count != map.Size()) return "ListSubnodes(" + Hex(bid) + ") answered another count than its map holds";
        if ((bid == 0 || !IsInternalBid(bid) || m_reader.Blocks().Find(bid) == nullptr) && count != 0)
            return "ListSubnodes(" + Hex(bid) + ") listed subnodes of no subnode block";
        std::string failure;
        map.ForEach([&](uint32_t nid, const PstNodeMap::Versions& versions) {
            std::set<std::pair<uint64_t, uint64_t>> identities;
            for (const auto& version : versions) {
                if (version->reader != &m_reader || version->nid != nid || version->nidParent != 0 ||
                    !identities.emplace(version->bidData, version->bidSub).second)
                    failure =
                        "ListSubnodes(" + Hex(bid) + ") holds a stale, foreign or duplicate version of " + Hex(nid);
            }
            if (versions.empty()) failure = "ListSubnodes(" + Hex(bid) + ") holds an empty list";
        });
        if (!failure.empty()) return failure;
        if (IsInternalBid(bid) && m_reader.Blocks().Find(bid) != nullptr) {
            PstNodeMap again;
            if (m_reader.ListSubnodes(bid | 1, again) != count)
                return "ListSubnodes(" + Hex(bid) + ") depends on bit 0";
            return SLBlockEntriesListed(bid, map);
        }
        return {};
    }

    // Every entry an SLBLOCK holds is a version of its NID in the listing.
    std::string SLBlockEntriesListed(uint64_t bid, const PstNodeMap& map)
    {
        const auto data = BestCopyData(m_reader, bid);
        const auto view = data ? ViewInternal(*data, m_reader.Layout()) : std::nullopt;
        if (!view || view->btype != 2 || view->level != 0) return {};
        const pstformat::LayoutTraits& t = pstformat::TraitsOf(m_reader.Layout());
        for (size_t i = 0; i < view->children.size(); ++i) {
            const uint8_t* entry = data->data() + t.subnodeEntriesOffset + i * 3 * t.idSize;
            const uint32_t nid = pstformat::LoadLe<uint32_t>(entry);
            const uint64_t bidData = pstformat::LoadLeId(entry + t.idSize, t.idSize);
            const uint64_t bidSub = pstformat::LoadLeId(entry + 2 * t.idSize, t.idSize);
            const PstNodeMap::Versions* versions = map.FindVersions(nid);
            const bool found = versions != nullptr &&
                               std::any_of(versions->begin(), versions->end(),
                                           [&](const auto& v) { return v->bidData == bidData && v->bidSub == bidSub; });
            if (!found) return "ListSubnodes(" + Hex(bid) + ") lost the SLBLOCK's entry for " + Hex(nid);
        }
        return {};
    }

private:
    LayoutPstReader& m_reader;
    uint64_t m_imageSize;
};

std::string CheckCollector(const char* what, size_t answered, const std::unordered_set<uint64_t>& collected,
                           const std::set<uint64_t>& expected)
{
    if (answered != collected.size()) return std::string(what) + " answered another size than its set holds";
    if (std::set<uint64_t>(collected.begin(), collected.end()) != expected)
        return std::string(what) + " differs from the two-pass roots (" + std::to_string(collected.size()) + " vs " +
               std::to_string(expected.size()) + ")";
    return {};
}

} // namespace

std::string RunBlockTreeInput(std::span<const uint8_t> input)
{
    if (input.empty()) return {};
    const uint8_t options = input[0];
    const Layout layout = (options & 1) != 0 ? Layout::Unicode : Layout::Ansi;
    std::vector<uint8_t> image(input.begin() + 1, input.end());
    if ((options & 8) != 0) SealBlocks(image, layout);
    if ((options & 16) != 0) {
        SealPages(image, layout);
        SealHeader(image);
    }
    if (!SharedFuzzSource().Write(image)) return "the fuzz source cannot be written";

    CFile64Ex file;
    if (!file.Open(SharedFuzzSource().Path(), modeRead | shareDenyWrite)) return "the fuzz source cannot be opened";
    test::TestReaderHost host((options & 2) != 0, (options & 4) != 0);
    std::unique_ptr<LayoutPstReader> reader;
    if (layout == Layout::Ansi)
        reader = std::make_unique<AnsiPstReader>(host, file);
    else
        reader = std::make_unique<UnicodePstReader>(host, file);
    reader->ScanFile(17, 2);

    std::vector<uint64_t> roots(std::begin(kOddBids), std::end(kOddBids));
    std::as_const(reader->Blocks()).ForEachList([&roots](uint64_t bid, std::span<const BlockRecord>) {
        roots.push_back(bid);
    });
    reader->Nodes().ForEach([&roots](uint32_t, const PstNodeMap::Versions& versions) {
        for (const auto& version : versions) {
            roots.push_back(version->bidData);
            roots.push_back(version->bidSub);
        }
    });
    std::sort(roots.begin(), roots.end());
    roots.erase(std::unique(roots.begin(), roots.end()), roots.end());

    TreeChecks checks(*reader, image.size());
    for (uint64_t bid : roots) {
        for (std::string failure : {checks.DataBlocks(bid), checks.DataSize(bid), checks.Subnodes(bid)})
            if (!failure.empty()) return failure;
    }

    const std::set<uint64_t> dataRoots = TwoPassRoots(*reader, 1);
    const std::set<uint64_t> subnodeRoots = TwoPassRoots(*reader, 2);
    if (std::string failure =
            CheckCollector("CollectTopDataBlocks", reader->CollectTopDataBlocks(), reader->TopDataBlocks(), dataRoots);
        !failure.empty())
        return failure;
    return CheckCollector("CollectTopSubnodeBlocks", reader->CollectTopSubnodeBlocks(), reader->TopSubnodeBlocks(),
                          subnodeRoots);
}

} // namespace krv::fuzz

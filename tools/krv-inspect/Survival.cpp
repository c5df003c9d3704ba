// Survival.cpp: following each message's trees in the original, and finding their blocks
// again, byte for byte, anywhere in the damaged copy.
#include "tools/krv-inspect/Survival.h"

#include "engine/reader/PstNode.h"
#include "pstformat/BlockTrailer.h"
#include "pstformat/Endian.h"
#include "pstformat/Ids.h"
#include "pstformat/XBlock.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <unordered_map>
#include <unordered_set>

namespace krv::inspect {
namespace {

// Trees deeper than this are not what a writer makes: a loop or garbage.
constexpr int kMaxTreeDepth = 8;

struct WantedBlock {
    std::vector<uint8_t> data;    // the cb data bytes as stored
    std::vector<uint8_t> trailer; // the whole trailer
    size_t storedSize = 0;
    bool found = false;
};

class TreeWalker {
public:
    TreeWalker(PstReader& reader, std::unordered_map<uint64_t, WantedBlock>& wanted)
        : m_reader(reader), m_traits(pstformat::TraitsOf(reader.Layout())), m_wanted(wanted)
    {}

    // Adds the blocks of the data tree rooted at bid to `blocks`; false when the original
    // itself cannot give one of them.
    bool DataTree(uint64_t bid, std::vector<uint64_t>& blocks, int depth)
    {
        std::vector<uint8_t> data;
        if (!Take(bid, blocks, data, depth)) return false;
        if (!pstformat::IsInternalBid(bid)) return true;
        const auto header = pstformat::ParseInternalBlockHeader(data);
        if (!header || header->btype != pstformat::kBlockTypeData) return false;
        for (size_t i = 0; i < header->cEnt; ++i) {
            const auto child = pstformat::ParseXBlockEntry(data, m_reader.Layout(), i);
            if (!child || !DataTree(*child, blocks, depth + 1)) return false;
        }
        return true;
    }

    // The subnode tree rooted at bid, and the data and subnode trees of every subnode.
    bool SubnodeTree(uint64_t bid, std::vector<uint64_t>& blocks, int depth)
    {
        std::vector<uint8_t> data;
        if (!Take(bid, blocks, data, depth)) return false;
        const auto header = pstformat::ParseInternalBlockHeader(data);
        if (!header || header->btype != pstformat::kBlockTypeSubnode) return false;
        for (size_t i = 0; i < header->cEnt; ++i) {
            if (header->cLevel == pstformat::kLevelSLBlock) {
                const auto entry = pstformat::ParseSLEntry(data, m_reader.Layout(), i);
                if (!entry) return false;
                if (entry->bidData != 0 && !DataTree(entry->bidData, blocks, depth + 1)) return false;
                if (entry->bidSub != 0 && !SubnodeTree(entry->bidSub, blocks, depth + 1)) return false;
            } else {
                const auto entry = pstformat::ParseSIEntry(data, m_reader.Layout(), i);
                if (!entry || !SubnodeTree(entry->bid, blocks, depth + 1)) return false;
            }
        }
        return true;
    }

private:
    // Records bid as wanted (its bytes from the original) and hands back its data.
    bool Take(uint64_t bid, std::vector<uint64_t>& blocks, std::vector<uint8_t>& data, int depth)
    {
        if (depth > kMaxTreeDepth) return false;
        const uint64_t key = pstformat::BidKey(bid);
        const BlockRecord* record = m_reader.Blocks().Find(key);
        if (record == nullptr || record->storedSize < m_traits.blockTrailerSize ||
            record->cb > record->storedSize - m_traits.blockTrailerSize)
            return false;
        data.resize(record->cb);
        if (m_reader.ReadAt(record->offset, data.data(), data.size()) != data.size()) return false;
        std::vector<uint8_t> trailer(m_traits.blockTrailerSize);
        if (m_reader.ReadAt(record->offset + record->storedSize - trailer.size(), trailer.data(), trailer.size()) !=
            trailer.size())
            return false;
        blocks.push_back(key);
        WantedBlock& wanted = m_wanted[key];
        wanted.data = data;
        wanted.trailer = std::move(trailer);
        wanted.storedSize = record->storedSize;
        return true;
    }

    PstReader& m_reader;
    const pstformat::LayoutTraits& m_traits;
    std::unordered_map<uint64_t, WantedBlock>& m_wanted;
};

std::vector<uint8_t> ReadWhole(const std::string& path, bool& ok)
{
    std::ifstream in(path, std::ios::binary);
    ok = static_cast<bool>(in);
    if (!ok) return {};
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Marks every wanted block that the image holds at some byte offset with the same data
// and trailer. The trailer's BID is the key: every offset is tried as the start of a
// trailer, and only an offset whose BID field names a wanted block is compared further.
void FindIntact(const std::vector<uint8_t>& image, const pstformat::LayoutTraits& traits,
                std::unordered_map<uint64_t, WantedBlock>& wanted)
{
    const size_t trailerSize = traits.blockTrailerSize;
    const size_t bidOffset = traits.idSize == 4 ? 4 : 8;
    if (image.size() < trailerSize) return;
    for (size_t at = 0; at + trailerSize <= image.size(); ++at) {
        const uint64_t bid = pstformat::BidKey(pstformat::LoadLeId(image.data() + at + bidOffset, traits.idSize));
        const auto it = wanted.find(bid);
        if (it == wanted.end() || it->second.found) continue;
        WantedBlock& block = it->second;
        if (block.storedSize > at + trailerSize) continue;
        const size_t start = at + trailerSize - block.storedSize;
        if (std::memcmp(image.data() + at, block.trailer.data(), trailerSize) != 0) continue;
        if (std::memcmp(image.data() + start, block.data.data(), block.data.size()) != 0) continue;
        block.found = true;
    }
}

} // namespace

SurvivalReport MeasureSurvival(PstReader& original, const std::string& damagedPath)
{
    SurvivalReport report;
    std::unordered_map<uint64_t, WantedBlock> wanted;
    TreeWalker walker(original, wanted);
    std::vector<std::vector<uint64_t>> trees;
    original.Nodes().ForEach([&](uint32_t nid, const PstNodeMap::Versions&) {
        if ((nid & 0x1F) != pstformat::NidTypeNormalMessage) return;
        const PstNode* node = original.Nodes().FindCurrent(nid);
        if (node == nullptr) return;
        MessageSurvival message;
        message.nid = nid;
        message.bidData = pstformat::BidKey(node->bidData);
        message.bidSub = pstformat::BidKey(node->bidSub);
        message.hasSubnodes = node->bidSub != 0;
        std::vector<uint64_t> blocks;
        message.complete = node->bidData != 0 && walker.DataTree(node->bidData, blocks, 0) &&
                           (node->bidSub == 0 || walker.SubnodeTree(node->bidSub, blocks, 0));
        report.messages.push_back(message);
        trees.push_back(std::move(blocks));
    });

    bool ok = false;
    const std::vector<uint8_t> image = ReadWhole(damagedPath, ok);
    report.damagedReadable = ok;
    if (ok) FindIntact(image, pstformat::TraitsOf(original.Layout()), wanted);
    for (size_t i = 0; i < report.messages.size(); ++i) {
        MessageSurvival& message = report.messages[i];
        message.blocks = static_cast<uint32_t>(trees[i].size());
        message.missingBlocks = static_cast<uint32_t>(
            std::count_if(trees[i].begin(), trees[i].end(), [&](uint64_t bid) { return !wanted[bid].found; }));
    }
    std::sort(report.messages.begin(), report.messages.end(),
              [](const MessageSurvival& a, const MessageSurvival& b) { return a.nid < b.nid; });
    return report;
}

std::string ToJson(const SurvivalReport& report)
{
    size_t surviving = 0;
    std::string list;
    for (const MessageSurvival& message : report.messages) {
        const bool survives = message.complete && message.missingBlocks == 0;
        surviving += survives ? 1 : 0;
        if (!list.empty()) list += ", ";
        list += "{\"nid\": " + std::to_string(message.nid) + ", \"data_bid\": " + std::to_string(message.bidData) +
                ", \"sub_bid\": " + std::to_string(message.bidSub) + ", \"blocks\": " + std::to_string(message.blocks) +
                ", \"missing_blocks\": " + std::to_string(message.missingBlocks) +
                ", \"complete_in_original\": " + (message.complete ? "true" : "false") +
                ", \"has_subnodes\": " + (message.hasSubnodes ? "true" : "false") +
                ", \"survives\": " + (survives ? "true" : "false") + "}";
    }
    return "{\"damaged_readable\": " + std::string(report.damagedReadable ? "true" : "false") +
           ", \"messages\": " + std::to_string(report.messages.size()) +
           ", \"surviving\": " + std::to_string(surviving) + ", \"list\": [" + list + "]}";
}

} // namespace krv::inspect

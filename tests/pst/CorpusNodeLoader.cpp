// CorpusNodeLoader.cpp: data trees and subnode trees of a walked store, followed to their leaves.
#include "tests/pst/CorpusNodeLoader.h"

#include "pstformat/Encoding.h"
#include "pstformat/Endian.h"
#include "pstformat/Ids.h"
#include "pstformat/XBlock.h"

namespace krv::test {
namespace {

using namespace krv::pstformat;

class Loader {
public:
    Loader(std::span<const uint8_t> file, const StrictWalk& walk) : m_file(file), m_walk(walk) {}

    bool Data(uint64_t bid, int depth, std::vector<std::vector<uint8_t>>& out, std::string& why) const
    {
        const auto stored = Stored(bid, why);
        if (!stored) return false;
        if (!IsInternalBid(bid)) {
            std::vector<uint8_t> data(stored->begin(), stored->end());
            const auto encoding = EncodingFromCryptMethod(m_walk.cryptMethod);
            if (!encoding || !DecodeBlockData(*encoding, data.data(), data.size(), bid)) {
                why = "unknown block encoding";
                return false;
            }
            out.push_back(std::move(data));
            return true;
        }
        const auto header = ParseInternalBlockHeader(*stored);
        if (!header || header->btype != kBlockTypeData || depth > 1) {
            why = "block " + std::to_string(bid) + " is no data tree block";
            return false;
        }
        for (size_t i = 0; i < header->cEnt; ++i) {
            const auto child = ParseXBlockEntry(*stored, m_walk.layout, i);
            if (!child || !Data(*child, depth + 1, out, why)) return false;
        }
        return true;
    }

    bool Subnodes(uint64_t bid, int depth, std::map<uint32_t, pst::NodeContent>& out, std::string& why) const
    {
        const auto stored = Stored(bid, why);
        if (!stored) return false;
        const auto header = ParseInternalBlockHeader(*stored);
        if (!IsInternalBid(bid) || !header || header->btype != kBlockTypeSubnode || depth > 16) {
            why = "block " + std::to_string(bid) + " is no subnode block";
            return false;
        }
        for (size_t i = 0; i < header->cEnt; ++i) {
            if (header->cLevel == kLevelSIBlock) {
                const auto e = ParseSIEntry(*stored, m_walk.layout, i);
                if (!e || !Subnodes(e->bid, depth + 1, out, why)) return false;
                continue;
            }
            const auto e = ParseSLEntry(*stored, m_walk.layout, i);
            if (!e) {
                why = "short SLBLOCK";
                return false;
            }
            pst::NodeContent& node = out[e->nid];
            if (e->bidData != 0 && !Data(e->bidData, 0, node.blocks, why)) return false;
            if (e->bidSub != 0 && !Subnodes(e->bidSub, depth + 1, node.subnodes, why)) return false;
        }
        return true;
    }

private:
    std::optional<std::span<const uint8_t>> Stored(uint64_t bid, std::string& why) const
    {
        const WalkedBlock* block = m_walk.FindBlock(bid);
        if (!block || !RangeFits(m_file.size(), static_cast<size_t>(block->ib), block->cb)) {
            why = "block " + std::to_string(bid) + " is not in the file";
            return std::nullopt;
        }
        return m_file.subspan(static_cast<size_t>(block->ib), block->cb);
    }

    std::span<const uint8_t> m_file;
    const StrictWalk& m_walk;
};

} // namespace

std::optional<pst::NodeContent> LoadCorpusNode(std::span<const uint8_t> file, const StrictWalk& walk, uint32_t nid,
                                               std::string& why)
{
    const WalkedNode* node = walk.FindNode(nid);
    if (!node) {
        why = "node " + std::to_string(nid) + " is not in the node tree";
        return std::nullopt;
    }
    const Loader loader(file, walk);
    pst::NodeContent content;
    if (node->bidData != 0 && !loader.Data(node->bidData, 0, content.blocks, why)) return std::nullopt;
    if (node->bidSub != 0 && !loader.Subnodes(node->bidSub, 0, content.subnodes, why)) return std::nullopt;
    return content;
}

} // namespace krv::test

// CorpusSource.cpp: opening, walking and scanning a corpus file; reassembling node data from its B-trees.
#include "tests/items/CorpusSource.h"

#include "engine/items/NodeData.h"
#include "engine/items/NodeLoad.h"
#include "pstformat/Encoding.h"
#include "pstformat/Ids.h"
#include "pstformat/XBlock.h"
#include "tests/support/CorpusFiles.h"

#include <span>

namespace krv::test {

std::vector<std::string> CorpusPaths() { return ListCorpusFiles(KRV_CORPUS_DIR); }

CorpusSource::CorpusSource(const std::string& path) : m_bytes(ReadFileBytes(path))
{
    m_walk = WalkPst(m_bytes);
    if (!m_walk.problems.empty() || m_walk.blocks.empty()) {
        m_why = m_walk.problems.empty() ? "no blocks" : m_walk.problems.front();
        return;
    }
    if (!m_file.Open(path, modeRead | shareDenyWrite)) {
        m_why = "cannot open";
        return;
    }
    if (m_walk.layout == pstformat::Layout::Ansi)
        m_reader = std::make_unique<AnsiPstReader>(m_host, m_file);
    else
        m_reader = std::make_unique<UnicodePstReader>(m_host, m_file);
    m_reader->ScanFile(17, 2);
    m_ok = true;
}

PstNode* CorpusSource::LoadedNode(uint32_t nid)
{
    PstNode* node = m_reader->Nodes().FindCurrent(nid);
    if (node != nullptr) Load(*node, pstformat::BlockEncoding::Unknown);
    return node;
}

std::vector<uint8_t> CorpusSource::OracleData(uint64_t bidData, bool decode) const
{
    return OracleData(bidData, decode, 0);
}

std::vector<uint8_t> CorpusSource::OracleData(uint64_t bidData, bool decode, int depth) const
{
    const WalkedBlock* block = m_walk.FindBlock(bidData);
    if (block == nullptr || block->ib + block->cb > m_bytes.size()) return {};
    const std::span<const uint8_t> data(m_bytes.data() + block->ib, block->cb);
    if (!pstformat::IsInternalBid(bidData)) {
        std::vector<uint8_t> out(data.begin(), data.end());
        const auto encoding = pstformat::EncodingFromCryptMethod(m_walk.cryptMethod);
        if (!decode) return out;
        if (!encoding || (*encoding != pstformat::BlockEncoding::Plain &&
                          !pstformat::DecodeBlockData(*encoding, out.data(), out.size(), block->bid)))
            return {};
        return out;
    }
    if (depth >= 2) return {}; // XXBLOCK -> XBLOCK -> data: nothing sound is deeper
    const auto header = pstformat::ParseInternalBlockHeader(data);
    if (!header || header->btype != pstformat::kBlockTypeData) return {};
    std::vector<uint8_t> out;
    for (size_t i = 0; i < header->cEnt; ++i) {
        const auto child = pstformat::ParseXBlockEntry(data, m_walk.layout, i);
        if (!child) return {};
        const std::vector<uint8_t> part = OracleData(*child, decode, depth + 1);
        if (part.empty()) return {};
        out.insert(out.end(), part.begin(), part.end());
    }
    return out;
}

} // namespace krv::test

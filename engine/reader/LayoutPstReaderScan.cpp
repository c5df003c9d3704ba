// LayoutPstReaderScan.cpp: rebuilding the block and node indexes from a scan of the whole source.
#include "engine/reader/LayoutPstReader.h"

#include "engine/reader/PageCheck.h"
#include "engine/reader/SourceScan.h"

namespace krv {

uint32_t LayoutPstReader::ScanFile(uint8_t progressBase, uint32_t progressDivisor)
{
    m_blockIndex.Clear();
    m_nodeIndex.Clear();
    m_rejects.Clear();

    ScanFindings findings;
    ScanSource(
        m_file, Layout(), m_host, progressBase, progressDivisor,
        [this](const BlockRecord& record) { m_blockIndex.Append(record); }, findings);
    m_blockIndex.Seal();
    m_lastScan =
        ScanStats{findings.bbtPages.size(), findings.nbtPages.size(), !findings.header.empty(), findings.aborted};

    // Without a header the ranking runs without root bonuses. An abort keeps everything
    // found before it: the indexes are built from that.
    std::optional<pstformat::Bref> rootBbt;
    std::optional<pstformat::Bref> rootNbt;
    if (const auto roots = ReadHeaderRoots(findings.header, Layout())) {
        rootBbt = roots->bbt;
        rootNbt = roots->nbt;
    } else {
        Reject(m_rejects, RejectReason::HeaderMissing);
    }
    const uint32_t blocks = BuildBlockIndex(findings.bbtPages, rootBbt);
    const uint32_t nodes = BuildNodeIndex(findings.nbtPages, rootNbt);
    return blocks + nodes;
}

} // namespace krv

// LayoutPstReaderProbe.cpp: the reader's layout probe, over the source probe of its layout.
#include "engine/reader/LayoutPstReader.h"

#include "engine/reader/SourceProbe.h"

namespace krv {

void LayoutPstReader::ProbeLayout(int& headerFound, uint64_t& pageCount, uint8_t progressBase, uint32_t progressDivisor)
{
    const ProbeCounts counts = ProbeSource(m_file, Layout(), m_host, progressBase, progressDivisor);
    headerFound = counts.headerFound ? 1 : 0;
    pageCount = counts.pageCount;
}

} // namespace krv

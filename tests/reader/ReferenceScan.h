// ReferenceScan.h: the scan and the layout probe done the plain way, one read per position.
//
// Every stored size is tried at every position, straight from the procedure's description;
// no window reaches past the length the file had when the pass began.
// Far too slow for real use; the tests hold the engine's bulk scanner and probe to exactly
// what these produce: the same blocks in the same order, the same page lists and header,
// the same progress reports and the same number of abort queries.
#ifndef KRV_TESTS_READER_REFERENCESCAN_H
#define KRV_TESTS_READER_REFERENCESCAN_H

#include "engine/reader/BlockRecord.h"
#include "pstformat/Layout.h"

#include <cstdint>
#include <vector>

namespace krv {
class CFile64Ex;
class ReaderHost;
} // namespace krv

namespace krv::test {

struct ReferenceScanResult {
    std::vector<BlockRecord> blocks; // in the order they were accepted
    std::vector<uint64_t> bbtPages;
    std::vector<uint64_t> nbtPages;
    std::vector<uint8_t> header; // empty when none
};

ReferenceScanResult ReferenceScan(CFile64Ex& file, pstformat::Layout layout, ReaderHost& host, uint8_t progressBase,
                                  uint32_t progressDivisor);

struct ReferenceProbeResult {
    bool headerFound = false;
    uint64_t pageCount = 0;
};

ReferenceProbeResult ReferenceProbe(CFile64Ex& file, pstformat::Layout layout, ReaderHost& host, uint8_t progressBase,
                                    uint32_t progressDivisor);

} // namespace krv::test

#endif

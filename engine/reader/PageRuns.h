// PageRuns.h: reading back the B-tree pages that the scan found, nearby ones together.
//
// The index build reads every page the scan listed once more. Through the file layer's
// windows, each page far from the one before brings in a whole window of bytes that nobody
// asks for: with pages a few KiB apart, most of the source is read again for a few per cent
// of it. Read one by one, pages side by side would each cost a system call instead. So the
// pages go in runs: a page joins the run of the one before it when it follows close behind,
// and each run is one read past the windows.
#ifndef KRV_ENGINE_READER_PAGERUNS_H
#define KRV_ENGINE_READER_PAGERUNS_H

#include "engine/reader/PstReader.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <vector>

namespace krv {

class CFile64Ex;

// Calls visit for every record in list order with the pageSize bytes at its offset, or with
// an empty span when fewer could be read there. The list may be in any order; runs form
// only where it ascends.
void ForEachReadPage(CFile64Ex& file, const std::vector<PageRecord>& pages, size_t pageSize,
                     const std::function<void(const PageRecord& record, std::span<const uint8_t> page)>& visit);

} // namespace krv

#endif

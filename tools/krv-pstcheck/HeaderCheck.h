// HeaderCheck.h: the file header's own fields, and its counters against what the file uses.
#ifndef KRV_TOOLS_KRVPSTCHECK_HEADERCHECK_H
#define KRV_TOOLS_KRVPSTCHECK_HEADERCHECK_H

#include "tools/krv-pstcheck/BTreeIndex.h"
#include "tools/krv-pstcheck/Report.h"
#include "tools/krv-pstcheck/StoreImage.h"

#include <cstdint>
#include <optional>
#include <span>

namespace krv::pstcheck {

// Checks magic, version, both CRCs, the client fields, sentinel, encoding and the ROOT
// fields that need nothing else (file size, AMap validity). None when the header is too
// damaged to tell the layout: nothing further can be checked then.
[[nodiscard]] std::optional<StoreImage> CheckHeader(const StoreFile& file, Report& report);

// Offline folder files of Outlook 2013 and later (wVer 36: 4 KiB pages, compressed blocks),
// a layout [MS-PST] does not describe and the checker's rules do not cover: true for such
// a file, whose header alone is then checked (magic, both CRCs, client magic, sentinel,
// encoding, the ROOT fields that need nothing else); false for any other file, which is
// left to CheckHeader.
[[nodiscard]] bool CheckUnicode4kHeader(const StoreFile& file, Report& report);

// bidNextB and bidNextP must lie beyond every BID in use, and rgnid[t] must be at least
// the largest nidIndex of type t in the node B-tree: it holds the last index handed out.
void CheckHeaderCounters(const StoreImage& store, const BTreeIndex& index, Report& report);

} // namespace krv::pstcheck

#endif

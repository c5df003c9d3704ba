// Unicode4kSource.h: telling a source in the 4 KiB-page layout before it is scanned.
//
// Offline folder files of Outlook 2013 and later use a variant of the 64-bit layout with
// 4 KiB pages and larger blocks, read by Unicode4kPstReader. A header that names the
// layout sends the layout decision to that reader first (LayoutDecision.h).
#ifndef KRV_ENGINE_READER_UNICODE4KSOURCE_H
#define KRV_ENGINE_READER_UNICODE4KSOURCE_H

namespace krv {

class CFile64Ex;

// True when the header at the start of the file has the magic and the 4 KiB-page wVer.
// A header damaged there, or a file too short to hold one, answers false: it goes to the
// scan like any other damaged source. Leaves the file positioned anywhere.
[[nodiscard]] bool IsUnicode4kSource(CFile64Ex& file);

} // namespace krv

#endif

// TableTemplates.h: the column sets of the table templates every Outlook store carries, in
// Outlook's own column order, so that tables built from them match Outlook's byte layout.
//
// Taken from stores Outlook wrote (the majority form among them; newer Outlook versions
// add columns, which readers accept). String columns are PT_UNICODE in the Unicode layout
// and PT_STRING8 in the ANSI one. A new folder's hierarchy, contents and associated
// contents tables start as empty copies of 0x60D, 0x60E and 0x60F; a message's recipient
// and attachment tables use 0x692 and 0x671.
#ifndef KRV_PLATFORM_PST_LTP_TABLETEMPLATES_H
#define KRV_PLATFORM_PST_LTP_TABLETEMPLATES_H

#include "platform/pst/ltp/TableContextBuilder.h"
#include "pstformat/Layout.h"

#include <array>
#include <cstdint>
#include <vector>

namespace krv::pst {

inline constexpr uint32_t kNidHierarchyTableTemplate = 0x60D;
inline constexpr uint32_t kNidContentsTableTemplate = 0x60E;
inline constexpr uint32_t kNidAssocContentsTableTemplate = 0x60F;
inline constexpr uint32_t kNidSearchContentsTableTemplate = 0x610;
inline constexpr uint32_t kNidAttachmentTable = 0x671;
inline constexpr uint32_t kNidRecipientTable = 0x692;

// Every template node, the three above 0x692 included (0x6B6, 0x6D7, 0x6F8).
inline constexpr std::array<uint32_t, 9> kTableTemplateNids{0x60D, 0x60E, 0x60F, 0x610, 0x671,
                                                            0x692, 0x6B6, 0x6D7, 0x6F8};

// The template's columns in existence-bit order (row id and row version first); empty for
// a NID that is not a template.
[[nodiscard]] std::vector<uint32_t> TemplateColumns(uint32_t templateNid, pstformat::Layout layout);

// The row index width of the template's table: 4 bytes for 0x6D7 and 0x6F8, which Outlook
// writes so in ANSI stores as well, the layout's for the others.
[[nodiscard]] RowIndexWidth TemplateRowIndexWidth(uint32_t templateNid);

} // namespace krv::pst

#endif

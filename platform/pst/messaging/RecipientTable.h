// RecipientTable.h: the recipients of one message, kept as rows until the message is
// written, then laid out as the table context of its subnode 0x692 ([MS-PST] 2.4.5.2).
//
// Each row is numbered by the store (PidTagRowid, which is also the row's LTP row id),
// counting from 1 within the message. The table has the columns of the recipient template
// (0x692) followed by any further property the rows carry, in the order first met, so
// that no recipient property is lost; a table context holds at most 255 columns.
#ifndef KRV_PLATFORM_PST_MESSAGING_RECIPIENTTABLE_H
#define KRV_PLATFORM_PST_MESSAGING_RECIPIENTTABLE_H

#include "platform/pst/messaging/PropertyBag.h"
#include "platform/pst/ndb/NodeContent.h"
#include "pstformat/Layout.h"

#include <cstdint>
#include <string>
#include <vector>

namespace krv::pst {

// PidTagRecipientType values.
inline constexpr uint32_t kRecipientTo = 1;
inline constexpr uint32_t kRecipientCc = 2;
inline constexpr uint32_t kRecipientBcc = 3;

class RecipientTable {
public:
    struct Row {
        uint32_t rowId = 0;
        PropertyBag properties;
    };

    explicit RecipientTable(pstformat::Layout layout);

    // True when the rows, with `properties` added or put in place of row `replacing`,
    // still fit the 255 columns of a table.
    [[nodiscard]] bool Fits(const PropertyBag& properties, uint32_t replacing = 0) const;

    // Adds a row; its row id.
    uint32_t Add(PropertyBag properties);
    // Replaces the properties of a row; false when there is no such row.
    bool Replace(uint32_t rowId, PropertyBag properties);
    bool Remove(uint32_t rowId);

    [[nodiscard]] const std::vector<Row>& Rows() const { return m_rows; }

    // The display names of the recipients of `type` (PidTagRecipientType without its
    // flag bits; a row without a type counts as To) joined by "; ", each the recipient's
    // PidTagDisplayName or else its PidTagEmailAddress.
    [[nodiscard]] std::u16string DisplayList(uint32_t type) const;

    // The table context.
    [[nodiscard]] NodeContent Build() const;

private:
    [[nodiscard]] std::vector<uint32_t> Columns(const PropertyBag* extra, uint32_t replacing) const;

    pstformat::Layout m_layout;
    std::vector<Row> m_rows;
    uint32_t m_nextRowId = 1;
};

} // namespace krv::pst

#endif

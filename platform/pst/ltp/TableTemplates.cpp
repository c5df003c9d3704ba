// TableTemplates.cpp: the column lists of the templates, written with Unicode string types.
#include "platform/pst/ltp/TableTemplates.h"

#include <span>

namespace krv::pst {
namespace {

constexpr uint32_t kHierarchy[] = {
    0x67F20003, 0x67F30003, 0x3001001F, 0x36020003, 0x36030003, 0x360A000B, 0x0E300102,
    0x0E330014, 0x0E340102, 0x0E380003, 0x3613001F, 0x66350003, 0x66360003,
};

constexpr uint32_t kContents[] = {
    0x67F20003, 0x67F30003, 0x0E170003, 0x001A001F, 0x0E070003, 0x00170003, 0x0042001F,
    0x0037001F, 0x0E060040, 0x00390040, 0x0E080003, 0x0E04001F, 0x0E03001F, 0x0057000B,
    0x0058000B, 0x00360003, 0x10970003, 0x0070001F, 0x00710102, 0x30130102, 0x65C60003,
    0x30080040, 0x0E300102, 0x0E330014, 0x0E340102, 0x0E3D0102, 0x0E3C0102, 0x0E380003,
};

constexpr uint32_t kAssocContents[] = {
    0x67F20003, 0x67F30003, 0x0E170003, 0x001A001F, 0x0E070003, 0x3001001F, 0x70030003, 0x70040102,
    0x70050102, 0x7006001F, 0x70070003, 0x6800001F, 0x6803000B, 0x68051003, 0x682F001F,
};

constexpr uint32_t kSearchContents[] = {
    0x67F20003, 0x67F30003, 0x67F10003, 0x0E05001F, 0x0E170003, 0x001A001F, 0x0E070003,
    0x00170003, 0x0042001F, 0x0037001F, 0x0E060040, 0x0E080003, 0x0E04001F, 0x0E03001F,
    0x0057000B, 0x0058000B, 0x00360003, 0x0E2A000B, 0x30080040,
};

constexpr uint32_t kAttachments[] = {0x67F20003, 0x67F30003, 0x370B0003, 0x0E200003, 0x37050003, 0x3704001F};

constexpr uint32_t kRecipients[] = {
    0x67F20003, 0x67F30003, 0x0E0F000B, 0x3002001F, 0x3003001F, 0x0FFF0102, 0x3001001F,
    0x0C150003, 0x300B0102, 0x0FF90102, 0x0FFE0003, 0x39000003, 0x3A40000B, 0x39FF001F,
};

constexpr uint32_t kTemplate6B6[] = {0x67F20003, 0x67F30003, 0x0E330014, 0x0E370102, 0x0E380003};

constexpr uint32_t kTemplate6D7[] = {
    0x67F20003, 0x67F30003, 0x0E3E0102, 0x0E310102, 0x0E300102, 0x0E380003, 0x0E340102, 0x0E330014, 0x001A001F,
};

constexpr uint32_t kTemplate6F8[] = {0x67F20003, 0x67F30003, 0x30070040, 0x0E330014};

std::span<const uint32_t> Columns(uint32_t nid)
{
    switch (nid) {
    case 0x60D:
        return kHierarchy;
    case 0x60E:
        return kContents;
    case 0x60F:
        return kAssocContents;
    case 0x610:
        return kSearchContents;
    case 0x671:
        return kAttachments;
    case 0x692:
        return kRecipients;
    case 0x6B6:
        return kTemplate6B6;
    case 0x6D7:
        return kTemplate6D7;
    case 0x6F8:
        return kTemplate6F8;
    default:
        return {};
    }
}

} // namespace

std::vector<uint32_t> TemplateColumns(uint32_t templateNid, pstformat::Layout layout)
{
    std::vector<uint32_t> tags;
    for (uint32_t tag : Columns(templateNid)) {
        // PT_UNICODE (0x001F) becomes PT_STRING8 (0x001E) in the ANSI layout, single or multi-valued.
        const uint32_t type = tag & 0xFFFF;
        if (layout == pstformat::Layout::Ansi && (type == 0x001F || type == 0x101F)) tag -= 1;
        tags.push_back(tag);
    }
    return tags;
}

RowIndexWidth TemplateRowIndexWidth(uint32_t templateNid)
{
    return templateNid == 0x6D7 || templateNid == 0x6F8 ? RowIndexWidth::FourBytes : RowIndexWidth::OfLayout;
}

} // namespace krv::pst

// TextConversion.cpp: code-page-aware string conversion for the output.
#include "engine/recovery/TextConversion.h"

#include "engine/items/PropertyContext.h"
#include "platform/mapi/PropTags.h"
#include "platform/os/CodePage.h"

namespace krv {

std::u16string AnsiToWide(std::string_view text, uint32_t codePage)
{
    const uint32_t configured = AnsiCodePage();
    if (codePage != configured) {
        if (std::optional<std::u16string> exact = DecodeExactly(text, codePage)) return std::move(*exact);
    }
    return AnsiToUtf16(text, configured);
}

std::string WideToAnsi(std::u16string_view text) { return Utf16ToAnsi(text, AnsiCodePage()); }

uint32_t MessageCodePage(const PstNode& message)
{
    for (const ULONG tag : {PR_MESSAGE_CODEPAGE, PR_INTERNET_CPID}) {
        LPSPropValue raw = nullptr;
        if (!GetOneProp(message, tag, raw)) continue;
        const MapiPtr<SPropValue> value(raw);
        if (IsConvertibleCodePage(value->Value.ul)) return value->Value.ul;
    }
    return AnsiCodePage();
}

} // namespace krv

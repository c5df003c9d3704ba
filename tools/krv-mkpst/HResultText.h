// HResultText.h: a result code as people read it: its MAPI name and its number.
#ifndef KRV_TOOLS_KRVMKPST_HRESULTTEXT_H
#define KRV_TOOLS_KRVMKPST_HRESULTTEXT_H

#include "platform/mapi/MapiErrors.h"

#include <string>

namespace krv::mkpst {

// "MAPI_E_NOT_ENOUGH_DISK (0x8004010D)"; just the number for a code without a name here.
[[nodiscard]] std::string HResultText(HRESULT hr);

} // namespace krv::mkpst

#endif

// PropCopy.h: deep copies of property values, every string, binary and multi-value array
// going with the copy's base block.
#ifndef KRV_PLATFORM_MAPI_PROPCOPY_H
#define KRV_PLATFORM_MAPI_PROPCOPY_H

#include "platform/mapi/PropValue.h"

// Copies *source into *destination, the value's data allocated with MAPIAllocateMore on
// `base`. A value of an unknown type is MAPI_E_INVALID_PARAMETER.
HRESULT PropCopyMore(LPSPropValue destination, const SPropValue* source, void* base);

// Copies `count` values into one new base block (*destination; freed with MAPIFreeBuffer).
HRESULT ScDupPropset(int count, const SPropValue* source, LPSPropValue* destination);

#endif

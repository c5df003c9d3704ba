// MapiTypes.h: everything of the messaging interface's plain data in one include.
#ifndef KRV_PLATFORM_MAPI_MAPITYPES_H
#define KRV_PLATFORM_MAPI_MAPITYPES_H

#include "platform/mapi/AdrList.h"
#include "platform/mapi/MapiAllocator.h"
#include "platform/mapi/MapiErrors.h"
#include "platform/mapi/NamedProp.h"
#include "platform/mapi/ObjectTypes.h"
#include "platform/mapi/PropTagArray.h"
#include "platform/mapi/PropTags.h"
#include "platform/mapi/PropTypes.h"
#include "platform/mapi/PropValue.h"
#include "platform/mapi/RowSet.h"
#include "platform/mapi/WinTypes.h"

#endif

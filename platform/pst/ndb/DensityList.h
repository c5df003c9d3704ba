// DensityList.h: the density list of a Unicode store, built from the allocation maps: the
// interval now being filled, and the others that still have room, most room first.
#ifndef KRV_PLATFORM_PST_NDB_DENSITYLIST_H
#define KRV_PLATFORM_PST_NDB_DENSITYLIST_H

#include "platform/pst/ndb/SpaceAllocator.h"
#include "pstformat/AllocationMap.h"

namespace krv::pst {

[[nodiscard]] pstformat::DList BuildDensityList(const SpaceAllocator& space);

} // namespace krv::pst

#endif

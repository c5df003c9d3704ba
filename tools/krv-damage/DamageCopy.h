// DamageCopy.h: streams the source into the copy, applying a damage plan on the way.
#ifndef KRV_TOOLS_KRVDAMAGE_DAMAGECOPY_H
#define KRV_TOOLS_KRVDAMAGE_DAMAGECOPY_H

#include "tools/krv-damage/DamagePlan.h"

#include <cstdint>

namespace krv {
class CFile64;
}

namespace krv::damage {

struct DamageOutcome {
    uint64_t bytesWritten = 0; // size of the copy
    uint64_t bytesChanged = 0; // bytes zeroed or flipped whose value did change
    uint64_t pagesZeroed = 0;  // B-tree pages recognised and zeroed
};

// Reads the plan's copyLength bytes from `source` (from offset 0) and writes the damaged
// result to `copy` (an empty file open for writing). Throws the file's exception when a
// read or a write fails; std::runtime_error when the source turns out shorter than planned.
DamageOutcome CopyWithDamage(CFile64& source, CFile64& copy, const DamagePlan& plan);

} // namespace krv::damage

#endif

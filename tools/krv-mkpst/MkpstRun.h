// MkpstRun.h: one run of krv-mkpst: the store opened, its folders and messages written,
// the session closed, the manifest written.
#ifndef KRV_TOOLS_KRVMKPST_MKPSTRUN_H
#define KRV_TOOLS_KRVMKPST_MKPSTRUN_H

#include "tools/krv-mkpst/MkpstOptions.h"

namespace krv::mkpst {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;

// Reports failures and progress on stderr; answers the exit code.
[[nodiscard]] int RunMkpst(const MkpstOptions& options);

} // namespace krv::mkpst

#endif

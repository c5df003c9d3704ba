// OutlookVersion.h: the automation stand-in that answers "which Outlook is installed".
//
// On Windows the engine asks the installed Outlook for its major version to choose the
// output layout. Here the messaging layer we ship answers for itself: 16, a version that
// writes both layouts. KRV_OUTLOOK_VERSION overrides the answer (a number, or "none" for
// a mail client that cannot be asked).
#ifndef KRV_PLATFORM_MAPI_OUTLOOKVERSION_H
#define KRV_PLATFORM_MAPI_OUTLOOKVERSION_H

#include <cstdint>

namespace krv {

// The major version the messaging layer claims.
inline constexpr uint32_t kShippedOutlookMajorVersion = 16;
// The answer when no version can be had; below 11, so the 32-bit layout is chosen.
inline constexpr uint32_t kUnknownOutlookMajorVersion = 9;

uint32_t DetectOutlookMajorVersion();

} // namespace krv

#endif

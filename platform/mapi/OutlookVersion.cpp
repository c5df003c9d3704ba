// OutlookVersion.cpp: answers the messaging layer's version, or the override.
#include "platform/mapi/OutlookVersion.h"

#include <cstdlib>
#include <cstring>

namespace krv {

uint32_t DetectOutlookMajorVersion()
{
    const char* over = std::getenv("KRV_OUTLOOK_VERSION");
    if (over == nullptr || *over == '\0') return kShippedOutlookMajorVersion;
    if (std::strcmp(over, "none") == 0) return kUnknownOutlookMajorVersion;
    // Like a version string "11.0.8169": the major version is the leading number.
    char* end = nullptr;
    unsigned long major = std::strtoul(over, &end, 10);
    if (end == over || major == 0 || major > 1000) return kUnknownOutlookMajorVersion;
    return static_cast<uint32_t>(major);
}

} // namespace krv

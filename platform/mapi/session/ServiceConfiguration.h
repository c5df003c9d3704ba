// ServiceConfiguration.h: reads the values ConfigureMsgService hands a personal-folders
// service into the settings its store file is created with.
#ifndef KRV_PLATFORM_MAPI_SESSION_SERVICECONFIGURATION_H
#define KRV_PLATFORM_MAPI_SESSION_SERVICECONFIGURATION_H

#include "platform/mapi/PropValue.h"
#include "platform/mapi/store/PstProvider.h"

#include <optional>
#include <string>

namespace krv::mapi {

inline constexpr const char* kDefaultStoreDisplayName = "Personal Folders";

// What the values said; a setting absent from them stays none.
struct PstServiceValues {
    std::optional<std::string> path;        // PR_PST_PATH, as file-system bytes (UTF-8)
    std::optional<std::string> displayName; // PR_DISPLAY_NAME, 8-bit (ANSI code page)
    std::optional<ULONG> encryption;        // PR_PST_ENCRYPTION
    std::optional<std::string> newPassword; // PR_PST_PW_SZ_NEW
    std::optional<bool> rememberPassword;   // PR_PST_REMEMBER_PW
};

// Reads the values, either string width of each. Values of other tags and PT_ERROR values
// are passed over, as a provider does with settings that are not its own. An empty or
// missing string where a path must be, or an encryption setting that is none of the
// three PSTF_ values, is MAPI_E_INVALID_PARAMETER.
[[nodiscard]] HRESULT ReadPstServiceValues(ULONG count, const SPropValue* values, PstServiceValues* out);

// The store file's settings: the path made absolute (so a later change of the working
// directory still names the same file), the encryption defaulting to none and the display
// name to Outlook's own default. A missing path
// is MAPI_E_UNCONFIGURED: without one, and without a dialog to ask, there is no store.
[[nodiscard]] HRESULT MakePstServiceConfig(const PstServiceValues& values, bool unicode, PstServiceConfig* out);

} // namespace krv::mapi

#endif

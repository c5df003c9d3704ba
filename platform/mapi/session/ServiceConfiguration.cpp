// ServiceConfiguration.cpp: personal-folders service values to store-file settings.
#include "platform/mapi/session/ServiceConfiguration.h"

#include "platform/mapi/session/ProfileTags.h"
#include "platform/os/CodePage.h"

#include <filesystem>
#include <string_view>
#include <system_error>

namespace krv::mapi {
namespace {

enum class Text { Ansi, FileName };

// A string value of either width as 8-bit text: ANSI code page for names and passwords,
// UTF-8 for paths (what Linux file names are). A null pointer reads as empty.
std::string StringOf(const SPropValue& value, Text kind)
{
    if (PROP_TYPE(value.ulPropTag) == PT_STRING8) return value.Value.lpszA ? value.Value.lpszA : "";
    const std::u16string_view wide = value.Value.lpszW ? std::u16string_view(value.Value.lpszW) : u"";
    return kind == Text::FileName ? Utf16ToUtf8(wide) : Utf16ToAnsi(wide);
}

bool IsKnownEncryption(ULONG value)
{
    return value == PSTF_NO_ENCRYPTION || value == PSTF_COMPRESSABLE_ENCRYPTION || value == PSTF_BEST_ENCRYPTION;
}

} // namespace

HRESULT ReadPstServiceValues(ULONG count, const SPropValue* values, PstServiceValues* out)
{
    if (out == nullptr || (count > 0 && values == nullptr)) return MAPI_E_INVALID_PARAMETER;
    *out = PstServiceValues{};
    for (ULONG i = 0; i < count; ++i) {
        const SPropValue& value = values[i];
        switch (value.ulPropTag) {
        case PR_PST_PATH_A:
        case PR_PST_PATH_W:
            out->path = StringOf(value, Text::FileName);
            if (out->path->empty()) return MAPI_E_INVALID_PARAMETER;
            break;
        case PR_DISPLAY_NAME_A:
        case PR_DISPLAY_NAME_W:
            out->displayName = StringOf(value, Text::Ansi);
            break;
        case PR_PST_ENCRYPTION:
            if (!IsKnownEncryption(value.Value.ul)) return MAPI_E_INVALID_PARAMETER;
            out->encryption = value.Value.ul;
            break;
        case PR_PST_PW_SZ_NEW_A:
        case PR_PST_PW_SZ_NEW_W:
            out->newPassword = StringOf(value, Text::Ansi);
            break;
        case PR_PST_REMEMBER_PW:
            out->rememberPassword = value.Value.b != 0;
            break;
        default:
            // PR_PST_PW_SZ_OLD only unlocks an existing file; a new one has no password yet.
            break;
        }
    }
    return S_OK;
}

HRESULT MakePstServiceConfig(const PstServiceValues& values, bool unicode, PstServiceConfig* out)
{
    if (out == nullptr) return MAPI_E_INVALID_PARAMETER;
    if (!values.path) return MAPI_E_UNCONFIGURED;
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::absolute(*values.path, error);
    if (error) return MAPI_E_NOT_FOUND; // no working directory to resolve a relative path in
    *out = PstServiceConfig{};
    out->path = absolute.string();
    out->displayName = values.displayName.value_or(kDefaultStoreDisplayName);
    out->unicode = unicode;
    out->encryption = values.encryption.value_or(PSTF_NO_ENCRYPTION);
    out->password = values.newPassword.value_or("");
    return S_OK;
}

} // namespace krv::mapi

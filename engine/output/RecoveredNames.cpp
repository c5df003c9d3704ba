// RecoveredNames.cpp: the two process-wide counters and the placeholder test.
#include "engine/output/RecoveredNames.h"

#include "engine/output/DestinationObjects.h"
#include "resources/StringTable.h"

#include <charconv>
#include <cstdio>
#include <cstring>

namespace krv {
namespace {

std::string FormatNumbered(StringId pattern, unsigned long number)
{
    char text[64];
    std::snprintf(text, sizeof text, LoadString(pattern), number);
    return text;
}

// The placeholder pattern up to its number.
constexpr std::string_view kPlaceholderPrefix = "Recovered_Folder";

} // namespace

std::string NextRecoveredFolderName()
{
    static unsigned long counter = 0;
    return FormatNumbered(StringId::TextRecoveredFolderPattern, ++counter);
}

std::string NextRecoveredGroupName()
{
    static unsigned long counter = 0;
    return FormatNumbered(StringId::TextRecoveredGroupPattern, ++counter);
}

bool IsRecoveredFolderName(const std::string& name)
{
    if (name.size() <= kPlaceholderPrefix.size() || name.compare(0, kPlaceholderPrefix.size(), kPlaceholderPrefix) != 0)
        return false;
    const char* digits = name.data() + kPlaceholderPrefix.size();
    const char* end = name.data() + name.size();
    unsigned long number = 0;
    const auto [stop, error] = std::from_chars(digits, end, number);
    return error == std::errc() && stop == end && digits[0] >= '0' && digits[0] <= '9';
}

bool IsRecoveredFolderName(IMAPIProp* folder) { return IsRecoveredFolderName(GetObjectString(folder, 0x3001)); }

} // namespace krv

// RecoveryContext.cpp: formatted texts and the record of failed writes.
#include "engine/recovery/RecoveryContext.h"

#include <cstdarg>
#include <cstdio>
#include <vector>

namespace krv {

namespace {

std::string FormatText(StringId id, va_list args)
{
    const char* format = LoadString(id);
    va_list again;
    va_copy(again, args);
    const int needed = std::vsnprintf(nullptr, 0, format, args);
    std::string text;
    if (needed > 0) {
        std::vector<char> buffer(static_cast<size_t>(needed) + 1);
        std::vsnprintf(buffer.data(), buffer.size(), format, again);
        text.assign(buffer.data(), static_cast<size_t>(needed));
    }
    va_end(again);
    return text;
}

} // namespace

void RecoveryContext::LogFormatted(StringId id, ...)
{
    va_list args;
    va_start(args, id);
    std::string text = FormatText(id, args);
    va_end(args);
    SendLogLine(text);
}

void RecoveryContext::ErrorFormatted(StringId id, ...)
{
    va_list args;
    va_start(args, id);
    std::string text = FormatText(id, args);
    va_end(args);
    SendError(text);
}

bool RecoveryContext::NoteWrite(HRESULT result)
{
    if (result == MAPI_E_NOT_ENOUGH_DISK) OutputFull = true;
    if (result == MAPI_E_STORE_FULL) {
        StoreFull = true;
        SplitPending = 1;
    }
    return SUCCEEDED(result);
}

} // namespace krv

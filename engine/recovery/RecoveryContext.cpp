// RecoveryContext.cpp: formatted texts and the record of failed writes.
#include "engine/recovery/RecoveryContext.h"

#include <cstdarg>

namespace krv {

void RecoveryContext::LogFormatted(StringId id, ...)
{
    va_list args;
    va_start(args, id);
    std::string text = FormatText(LoadString(id), args);
    va_end(args);
    SendLogLine(text);
}

void RecoveryContext::ErrorFormatted(StringId id, ...)
{
    va_list args;
    va_start(args, id);
    std::string text = FormatText(LoadString(id), args);
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

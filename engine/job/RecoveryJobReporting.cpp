// RecoveryJobReporting.cpp: how a job talks to its caller: progress, abort queries and texts.
#include "engine/job/RecoveryJob.h"

#include "platform/os/FrameworkException.h"

#include <cstdarg>
#include <vector>

namespace krv {

RecoveryJob::RecoveryJob(ProgressCallback callback, uintptr_t userData) : m_callback(callback), m_userData(userData) {}

RecoveryJob::~RecoveryJob() = default;

int32_t RecoveryJob::Send(int32_t code, void* data)
{
    if (m_callback == nullptr) return 0;
    return m_callback(code, data, m_userData);
}

void RecoveryJob::ReportProgress(uint8_t percent)
{
    uint8_t value = percent;
    Send(MsgProgress, &value);
}

bool RecoveryJob::IsAborted() { return Send(MsgAbortQuery, nullptr) != 0; }

void RecoveryJob::SendText(int32_t code, const std::string& text)
{
    if (m_callback == nullptr) return;
    // The callee gets a writable, zero-terminated copy valid for the call only.
    std::vector<char> copy(text.begin(), text.end());
    copy.push_back('\0');
    Send(code, copy.data());
}

void RecoveryJob::SendFormatted(int32_t code, StringId id, ...)
{
    if (m_callback == nullptr) return;
    const char* format = LoadString(id);
    va_list args;
    va_start(args, id);
    const std::string text = FormatText(format, args);
    va_end(args);
    SendText(code, text);
}

std::string RecoveryJob::ExceptionText(StringId id, const FrameworkException& exception)
{
    // The description travels through a buffer of 4096 characters, terminator included.
    constexpr size_t kDescriptionLimit = 4095;
    std::string description = exception.Description();
    if (description.size() > kDescriptionLimit) description.resize(kDescriptionLimit);
    std::string text = LoadString(id);
    std::string::size_type at = text.find("%1");
    if (at != std::string::npos) text.replace(at, 2, description);
    return text;
}

} // namespace krv

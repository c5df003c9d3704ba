// ReaderHost.cpp: the default per-position stop question, answered by the host's IsAborted.
#include "engine/reader/ReaderHost.h"

namespace krv {

namespace {

int32_t AskHost(int32_t, void*, uintptr_t host) { return reinterpret_cast<ReaderHost*>(host)->IsAborted() ? 1 : 0; }

} // namespace

AbortQuery ReaderHost::PositionAbortQuery() { return AbortQuery{&AskHost, 0, reinterpret_cast<uintptr_t>(this)}; }

} // namespace krv

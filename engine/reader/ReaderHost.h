// ReaderHost.h: what a reader needs from the job that runs it.
//
// The reader sits below the job driver; it sees the scan options and the two callback
// operations through this interface and nothing else of the job.
#ifndef KRV_ENGINE_READER_READERHOST_H
#define KRV_ENGINE_READER_READERHOST_H

#include <cstdint>

namespace krv {

// The stop question as one plain call: function(code, nullptr, userData) answers nonzero
// to stop. It has the shape of the engine's callback, so that a job can hand over its
// caller's function itself. The probe and the scan put the question after every byte
// offset, hundreds of millions of times over a large source, so a query must cost that one
// call and nothing on top (no virtual dispatch, no layers of the job in between).
struct AbortQuery {
    int32_t (*function)(int32_t code, void* data, uintptr_t userData) = nullptr;
    int32_t code = 0;
    uintptr_t userData = 0;

    // Nobody to ask, as in a job without callback, is an answer to go on.
    bool Ask() const { return function != nullptr && function(code, nullptr, userData) != 0; }
};

class ReaderHost {
public:
    virtual ~ReaderHost() = default;
    // Jump over what was recognised at a position instead of moving on by one byte.
    virtual bool FastScan() const = 0;
    // Do not index blocks whose data and checksum are all zero.
    virtual bool IgnoreZeroBlocks() const = 0;
    virtual void ReportProgress(uint8_t percent) = 0;
    // True when the caller asked to stop.
    virtual bool IsAborted() = 0;
    // The question of IsAborted as the passes put it at every position; it must answer
    // exactly as IsAborted would, one query for one query. The default goes through
    // IsAborted; a host that holds the caller's function hands that over instead. Taken
    // once per pass.
    virtual AbortQuery PositionAbortQuery();
};

} // namespace krv

#endif

// ReaderHost.h: what a reader needs from the job that runs it.
//
// The reader sits below the job driver; it sees the scan options and the two callback
// operations through this interface and nothing else of the job.
#ifndef KRV_ENGINE_READER_READERHOST_H
#define KRV_ENGINE_READER_READERHOST_H

#include <cstdint>

namespace krv {

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
};

} // namespace krv

#endif

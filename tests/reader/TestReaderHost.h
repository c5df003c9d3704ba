// TestReaderHost.h: a ReaderHost for tests: chosen options, recorded progress, scripted abort.
#ifndef KRV_TESTS_READER_TESTREADERHOST_H
#define KRV_TESTS_READER_TESTREADERHOST_H

#include "engine/reader/ReaderHost.h"

#include <cstdint>
#include <vector>

namespace krv::test {

class TestReaderHost final : public ReaderHost {
public:
    TestReaderHost() = default;
    TestReaderHost(bool fast, bool ignoreZero) : fastScan(fast), ignoreZeroBlocks(ignoreZero) {}

    bool FastScan() const override { return fastScan; }
    bool IgnoreZeroBlocks() const override { return ignoreZeroBlocks; }
    void ReportProgress(uint8_t percent) override { progress.push_back(percent); }
    bool IsAborted() override
    {
        ++abortQueries;
        return stopAtQuery != 0 && abortQueries >= stopAtQuery;
    }

    bool fastScan = false;
    bool ignoreZeroBlocks = false;
    // The abort query answers "stop" from this query on (1 = the very first); 0: never.
    uint64_t stopAtQuery = 0;

    std::vector<uint8_t> progress;
    uint64_t abortQueries = 0;
};

} // namespace krv::test

#endif

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
    // How the passes' per-position questions arrive: through IsAborted (the default), as
    // plain calls of Answer, counted apart (as a job hands over its caller's function), or
    // not at all (as a job without callback).
    enum class QueryPath { ThroughIsAborted, Direct, Nobody };
    AbortQuery PositionAbortQuery() override
    {
        switch (queryPath) {
        case QueryPath::Direct:
            return AbortQuery{&Answer, kQueryCode, reinterpret_cast<uintptr_t>(this)};
        case QueryPath::Nobody:
            return AbortQuery{};
        case QueryPath::ThroughIsAborted:
            break;
        }
        return ReaderHost::PositionAbortQuery();
    }

    static constexpr int32_t kQueryCode = 51;

    bool fastScan = false;
    bool ignoreZeroBlocks = false;
    // The abort query answers "stop" from this query on (1 = the very first); 0: never.
    uint64_t stopAtQuery = 0;

    QueryPath queryPath = QueryPath::ThroughIsAborted;

    std::vector<uint8_t> progress;
    uint64_t abortQueries = 0;
    uint64_t directAnswers = 0;
    bool wrongQuery = false; // a direct call came with another code or with data

private:
    static int32_t Answer(int32_t code, void* data, uintptr_t self)
    {
        auto& host = *reinterpret_cast<TestReaderHost*>(self);
        if (code != kQueryCode || data != nullptr) host.wrongQuery = true;
        ++host.directAnswers;
        return host.stopAtQuery != 0 && host.directAnswers >= host.stopAtQuery ? 1 : 0;
    }
};

} // namespace krv::test

#endif

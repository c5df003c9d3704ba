// CorpusSource.h: a real mail store opened for the item tests: its own B-trees and the engine's scan.
//
// The strict walker's view of the file (its block and node B-trees, the header's encoding)
// is the oracle; the reader's scan and index are what the item layer reads through.
#ifndef KRV_TESTS_ITEMS_CORPUSSOURCE_H
#define KRV_TESTS_ITEMS_CORPUSSOURCE_H

#include "engine/file/CFile64Ex.h"
#include "engine/reader/LayoutPstReader.h"
#include "engine/reader/PstNode.h"
#include "tests/reader/TestReaderHost.h"
#include "tests/support/StrictPstWalker.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace krv::test {

// The corpus files; empty when the folder is absent (tests then skip).
std::vector<std::string> CorpusPaths();

class CorpusSource {
public:
    explicit CorpusSource(const std::string& path);

    // False when the walker found the file unsound (the oracle would mean nothing) or the
    // file could not be opened; Why() says which.
    bool Ok() const { return m_ok; }
    const std::string& Why() const { return m_why; }

    const StrictWalk& Walk() const { return m_walk; }
    const std::vector<uint8_t>& Bytes() const { return m_bytes; }
    LayoutPstReader& Reader() { return *m_reader; }

    // The current version of nid in the scanned node index after Load with the encoding
    // found by trial; null when the scan did not find the NID.
    PstNode* LoadedNode(uint32_t nid);

    // The node's data as the file's own block tree and header encoding give it (decoded,
    // or as stored): the oracle for ReadAll. Empty when a block is not listed.
    std::vector<uint8_t> OracleData(uint64_t bidData, bool decode = true) const;

private:
    std::vector<uint8_t> OracleData(uint64_t bid, bool decode, int depth) const;

    std::vector<uint8_t> m_bytes;
    StrictWalk m_walk;
    CFile64Ex m_file;
    TestReaderHost m_host;
    std::unique_ptr<LayoutPstReader> m_reader;
    bool m_ok = false;
    std::string m_why;
};

} // namespace krv::test

#endif

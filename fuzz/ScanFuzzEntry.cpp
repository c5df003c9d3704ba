// ScanFuzzEntry.cpp: one fuzz input through the scan, the probe and the index build.
//
// The bulk scanner finds candidates up front over pieces of the source and walks positions
// in jumps; the reference tries every stored size at every position with one read each.
// Any difference in what they accept, in what order, with which progress reports and abort
// queries, is a fault of the fast path.
#include "fuzz/ReaderFuzzEntries.h"

#include "engine/file/CFile64Ex.h"
#include "engine/reader/LayoutPstReader.h"
#include "engine/reader/PstNode.h"
#include "engine/reader/SourceProbe.h"
#include "engine/reader/SourceScan.h"
#include "fuzz/FuzzSource.h"
#include "fuzz/ImageSealing.h"
#include "tests/reader/ReferenceScan.h"
#include "tests/reader/TestReaderHost.h"

#include <algorithm>
#include <memory>
#include <set>
#include <sstream>
#include <tuple>
#include <vector>

namespace krv::fuzz {
namespace {

using pstformat::Layout;
using test::TestReaderHost;

constexpr size_t kPieces[] = {kScanPiecePositions, 4099, 777, 64};

struct ScanOptions {
    Layout layout = Layout::Ansi;
    bool fast = false;
    bool ignoreZero = false;
    size_t piece = kScanPiecePositions;
    bool seal = false;
    uint64_t stopAt = 0; // the abort query that says stop; 0: none does
};

ScanOptions ReadOptions(uint8_t byte, size_t imageSize)
{
    ScanOptions options;
    options.layout = (byte & 1) != 0 ? Layout::Unicode : Layout::Ansi;
    options.fast = (byte & 2) != 0;
    options.ignoreZero = (byte & 4) != 0;
    options.piece = kPieces[(byte >> 3) & 3];
    options.seal = (byte & 0x20) != 0;
    constexpr uint64_t kNever = 0;
    const uint64_t stops[] = {kNever, 1, 2, imageSize / 2 + 1};
    options.stopAt = stops[byte >> 6];
    return options;
}

struct ScanOutcome {
    std::vector<BlockRecord> blocks;
    std::vector<uint64_t> bbtPages;
    std::vector<uint64_t> nbtPages;
    std::vector<uint8_t> header;
    std::vector<uint8_t> progress;
    uint64_t abortQueries = 0;
};

class Failure {
public:
    template <class T>
    Failure& operator<<(const T& value)
    {
        m_text << value;
        return *this;
    }
    std::string Text() const { return m_text.str(); }

private:
    std::ostringstream m_text;
};

std::string Describe(const BlockRecord& r)
{
    std::ostringstream s;
    s << "{bid 0x" << std::hex << r.bid << std::dec << " at " << r.offset << " S " << r.storedSize << " cb " << r.cb
      << " sig " << r.wSig << " zero " << static_cast<int>(r.zeroData) << "}";
    return s.str();
}

bool SameRecord(const BlockRecord& a, const BlockRecord& b)
{
    return a.bid == b.bid && a.offset == b.offset && a.storedSize == b.storedSize && a.cb == b.cb && a.wSig == b.wSig &&
           a.zeroData == b.zeroData && a.chainScore == b.chainScore && a.usedMark == b.usedMark;
}

TestReaderHost HostFor(const ScanOptions& options, uint64_t stopAt)
{
    TestReaderHost host(options.fast, options.ignoreZero);
    host.stopAtQuery = stopAt;
    return host;
}

bool OpenSource(CFile64Ex& file) { return file.Open(SharedFuzzSource().Path(), modeRead | shareDenyWrite); }

ScanOutcome EngineScan(const ScanOptions& options, uint64_t stopAt)
{
    ScanOutcome out;
    CFile64Ex file;
    if (!OpenSource(file)) return out;
    TestReaderHost host = HostFor(options, stopAt);
    ScanFindings findings;
    ScanSource(
        file, options.layout, host, 17, 2, [&out](const BlockRecord& r) { out.blocks.push_back(r); }, findings,
        options.piece);
    for (const PageRecord& page : findings.bbtPages) out.bbtPages.push_back(page.offset);
    for (const PageRecord& page : findings.nbtPages) out.nbtPages.push_back(page.offset);
    out.header = findings.header;
    out.progress = host.progress;
    out.abortQueries = host.abortQueries;
    return out;
}

ScanOutcome ReferenceScanOf(const ScanOptions& options)
{
    ScanOutcome out;
    CFile64Ex file;
    if (!OpenSource(file)) return out;
    TestReaderHost host = HostFor(options, options.stopAt);
    test::ReferenceScanResult r = test::ReferenceScan(file, options.layout, host, 17, 2);
    out.blocks = std::move(r.blocks);
    out.bbtPages = std::move(r.bbtPages);
    out.nbtPages = std::move(r.nbtPages);
    out.header = std::move(r.header);
    out.progress = host.progress;
    out.abortQueries = host.abortQueries;
    return out;
}

std::string CompareScans(const ScanOutcome& expected, const ScanOutcome& actual)
{
    const size_t common = std::min(expected.blocks.size(), actual.blocks.size());
    for (size_t i = 0; i < common; ++i) {
        if (!SameRecord(expected.blocks[i], actual.blocks[i]))
            return (Failure() << "scan: block " << i << " is " << Describe(actual.blocks[i]) << ", the reference found "
                              << Describe(expected.blocks[i]))
                .Text();
    }
    if (expected.blocks.size() != actual.blocks.size())
        return (Failure() << "scan: " << actual.blocks.size() << " blocks, the reference found "
                          << expected.blocks.size())
            .Text();
    if (expected.bbtPages != actual.bbtPages) return "scan: the block-tree pages differ from the reference's";
    if (expected.nbtPages != actual.nbtPages) return "scan: the node-tree pages differ from the reference's";
    if (expected.header != actual.header) return "scan: the header held differs from the reference's";
    if (expected.progress != actual.progress) return "scan: the progress reports differ from the reference's";
    if (expected.abortQueries != actual.abortQueries)
        return (Failure() << "scan: " << actual.abortQueries << " abort queries, the reference asked "
                          << expected.abortQueries)
            .Text();
    return {};
}

std::string CompareProbes(const ScanOptions& options)
{
    CFile64Ex referenceFile;
    CFile64Ex engineFile;
    if (!OpenSource(referenceFile) || !OpenSource(engineFile)) return "probe: the source cannot be opened";
    TestReaderHost referenceHost = HostFor(options, options.stopAt);
    TestReaderHost engineHost = HostFor(options, options.stopAt);
    const test::ReferenceProbeResult expected =
        test::ReferenceProbe(referenceFile, options.layout, referenceHost, 8, 12);
    const ProbeCounts actual = ProbeSource(engineFile, options.layout, engineHost, 8, 12, options.piece);
    if (expected.headerFound != actual.headerFound || expected.pageCount != actual.pageCount)
        return (Failure() << "probe: header " << actual.headerFound << " pages " << actual.pageCount
                          << ", the reference found header " << expected.headerFound << " pages " << expected.pageCount)
            .Text();
    if (referenceHost.progress != engineHost.progress) return "probe: the progress reports differ from the reference's";
    if (referenceHost.abortQueries != engineHost.abortQueries)
        return "probe: the abort queries differ from the reference's";
    return {};
}

// Block order as the ranking promises it: lower score, then a mismatching signature, then
// all-zero data, then lower offset, first.
auto TrustOf(const BlockRecord& r)
{
    return std::make_tuple(r.chainScore, SignatureMatches(r), r.zeroData == 0, r.offset);
}

std::string CheckBlockIndex(const LayoutPstReader& reader, const ScanOutcome& full)
{
    std::set<uint64_t> scanned;
    for (const BlockRecord& r : full.blocks) scanned.insert(r.bid);
    const BlockIndex& index = reader.Blocks();
    if (index.KeyCount() != scanned.size() || index.RecordCount() != full.blocks.size())
        return (Failure() << "index: " << index.KeyCount() << " BIDs in " << index.RecordCount()
                          << " copies, the scan found " << scanned.size() << " in " << full.blocks.size())
            .Text();
    std::string failure;
    index.ForEachList([&](uint64_t bid, std::span<const BlockRecord> copies) {
        if (!failure.empty()) return;
        if (copies.empty() || scanned.count(bid) == 0) {
            failure = (Failure() << "index: BID 0x" << std::hex << bid << " was not scanned or has no copy").Text();
            return;
        }
        for (const BlockRecord& copy : copies) {
            const bool ranked = copies.size() > 1;
            if (copy.bid != bid || (!ranked && copy.chainScore != -1) || copy.chainScore < -1 || copy.chainScore > 8) {
                failure = (Failure() << "index: copy " << Describe(copy) << " score " << copy.chainScore
                                     << " under BID 0x" << std::hex << bid)
                              .Text();
                return;
            }
        }
        for (size_t i = 1; i < copies.size(); ++i) {
            if (TrustOf(copies[i]) < TrustOf(copies[i - 1])) {
                failure =
                    (Failure() << "index: copies of BID 0x" << std::hex << bid << " are not in block order").Text();
                return;
            }
        }
        if (index.Find(bid) != &copies.back() || index.Find(bid | 1) != &copies.back())
            failure = (Failure() << "index: Find(0x" << std::hex << bid << ") is not the last copy").Text();
    });
    return failure;
}

std::string CheckNodeIndex(const LayoutPstReader& reader)
{
    const PstNodeMap& nodes = reader.Nodes();
    std::string failure;
    nodes.ForEach([&](uint32_t nid, const PstNodeMap::Versions& versions) {
        if (!failure.empty()) return;
        std::set<std::pair<uint64_t, uint64_t>> identities;
        for (const auto& version : versions) {
            if (version == nullptr || version->nid != nid || version->reader != &reader ||
                !identities.emplace(version->bidData, version->bidSub).second) {
                failure =
                    (Failure() << "nodes: NID 0x" << std::hex << nid << " holds a foreign or duplicate version").Text();
                return;
            }
        }
        if (versions.empty()) {
            failure = (Failure() << "nodes: NID 0x" << std::hex << nid << " has no version").Text();
            return;
        }
        const PstNode& current = *versions.back();
        for (size_t i = 0; i < current.children.size(); ++i) {
            const PstNode* child = nodes.FindCurrent(current.children[i]);
            const bool repeated = std::find(current.children.begin() + static_cast<std::ptrdiff_t>(i) + 1,
                                            current.children.end(), current.children[i]) != current.children.end();
            if (child == nullptr || child->nidParent != nid || repeated) {
                failure = (Failure() << "nodes: child 0x" << std::hex << current.children[i] << " of 0x" << nid
                                     << " is absent, repeated or names another parent")
                              .Text();
                return;
            }
        }
        // Every node whose indexed parent exists is among that parent's children.
        if (current.nidParent != 0) {
            const PstNode* parent = nodes.FindCurrent(current.nidParent);
            if (parent != nullptr &&
                std::find(parent->children.begin(), parent->children.end(), nid) == parent->children.end())
                failure =
                    (Failure() << "nodes: 0x" << std::hex << nid << " is missing from its parent's children").Text();
        }
    });
    return failure;
}

std::string CheckIndexes(const ScanOptions& options, const ScanOutcome& full)
{
    CFile64Ex file;
    if (!OpenSource(file)) return "index: the source cannot be opened";
    TestReaderHost host = HostFor(options, 0);
    std::unique_ptr<LayoutPstReader> reader;
    if (options.layout == Layout::Ansi)
        reader = std::make_unique<AnsiPstReader>(host, file);
    else
        reader = std::make_unique<UnicodePstReader>(host, file);
    const uint32_t count = reader->ScanFile(17, 2);
    if (count != reader->Blocks().KeyCount() + reader->Nodes().Size())
        return (Failure() << "index: ScanFile answered " << count << " for " << reader->Blocks().KeyCount()
                          << " BIDs and " << reader->Nodes().Size() << " NIDs")
            .Text();
    const ScanStats& stats = reader->LastScanStats();
    if (stats.aborted || stats.bbtPages != full.bbtPages.size() || stats.nbtPages != full.nbtPages.size() ||
        stats.headerFound == full.header.empty())
        return "index: ScanFile collected other pages or header than the scan";
    if (std::string failure = CheckBlockIndex(*reader, full); !failure.empty()) return failure;
    return CheckNodeIndex(*reader);
}

} // namespace

std::string RunScanInput(std::span<const uint8_t> input)
{
    if (input.empty()) return {};
    std::vector<uint8_t> image(input.begin() + 1, input.end());
    const ScanOptions options = ReadOptions(input[0], image.size());
    if (options.seal) {
        SealBlocks(image, options.layout);
        SealPages(image, options.layout);
        SealHeader(image);
    }
    if (!SharedFuzzSource().Write(image)) return "the fuzz source cannot be written";

    const ScanOutcome engine = EngineScan(options, options.stopAt);
    if (image.size() <= kReferenceLimit) {
        if (std::string failure = CompareScans(ReferenceScanOf(options), engine); !failure.empty()) return failure;
        if (std::string failure = CompareProbes(options); !failure.empty()) return failure;
    }
    const ScanOutcome full = options.stopAt == 0 ? engine : EngineScan(options, 0);
    return CheckIndexes(options, full);
}

} // namespace krv::fuzz

// SeedMaker.cpp: krv_fuzz_seeds writes starting inputs for the reader's fuzz targets.
//
// usage: krv_fuzz_seeds OUTDIR CORPUS_DIR [--large]
// Writes OUTDIR/scan/ and OUTDIR/blocktree/: images built with the reader tests' builders
// (planted random images; data and subnode trees, sound, looping and overrunning), and
// pieces of real mail stores: their first bytes, their B-tree pages and blocks cut out, and
// each internal block with the blocks it lists laid side by side. Small by default, so that
// the output can be kept as the committed seed folder; --large adds each store's first
// 64 KiB and lets the cut trees grow to that size, for a longer fuzzing session. Every input starts with the option byte of its
// target (fuzz/ReaderFuzzEntries.h).
#include "pstformat/BlockTrailer.h"
#include "pstformat/Endian.h"
#include "pstformat/Ids.h"
#include "pstformat/Layout.h"
#include "pstformat/PageTrailer.h"
#include "pstformat/XBlock.h"
#include "tests/reader/BlockImageBuilder.h"
#include "tests/reader/ScanPlanting.h"
#include "tests/support/CorpusFiles.h"
#include "tests/support/StrictPstWalker.h"

#include <algorithm>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

using namespace krv;
using namespace krv::test;
using pstformat::Layout;
using pstformat::SIEntry;
using pstformat::SLEntry;

// Small stores of both layouts with permissive licences; only pieces of them are kept.
constexpr const char* kStores[] = {"gopst-32-bit.pst", "pstsdk-test_ansi.pst", "pstsdk-test_unicode.pst",
                                   "gopst-support.pst"};

// Option bits shared by both targets.
constexpr uint8_t kUnicode = 1;
// Scan target: piece of 777 positions, so items straddle pieces; the fast scan.
constexpr uint8_t kScanSmallPieces = 2 << 3;
constexpr uint8_t kScanFast = 2;
// Block-tree target: seal the blocks after mutation.
constexpr uint8_t kTreeSealBlocks = 8;

uint8_t LayoutBit(Layout layout) { return layout == Layout::Unicode ? kUnicode : 0; }
const char* LayoutName(Layout layout) { return layout == Layout::Unicode ? "unicode" : "ansi"; }

class SeedWriter {
public:
    explicit SeedWriter(std::filesystem::path dir) : m_dir(std::move(dir))
    {
        std::filesystem::create_directories(m_dir);
    }

    void Write(const std::string& name, uint8_t options, const std::vector<uint8_t>& image)
    {
        std::ofstream out(m_dir / (name + ".bin"), std::ios::binary | std::ios::trunc);
        out.put(static_cast<char>(options));
        out.write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
        if (!out) throw std::runtime_error("cannot write " + (m_dir / name).string());
        ++m_count;
    }
    size_t Count() const { return m_count; }

private:
    std::filesystem::path m_dir;
    size_t m_count = 0;
};

std::vector<uint8_t> Slice(const std::vector<uint8_t>& file, uint64_t offset, size_t length)
{
    if (offset >= file.size()) return {};
    const size_t end = static_cast<size_t>(std::min<uint64_t>(file.size(), offset + length));
    return {file.begin() + static_cast<std::ptrdiff_t>(offset), file.begin() + static_cast<std::ptrdiff_t>(end)};
}

void Append64(std::vector<uint8_t>& image, const std::vector<uint8_t>& piece)
{
    image.resize((image.size() + 63) / 64 * 64, 0);
    image.insert(image.end(), piece.begin(), piece.end());
}

// The stored bytes of a walked block, or nothing when they do not fit the file.
std::vector<uint8_t> StoredBlock(const std::vector<uint8_t>& file, const WalkedBlock& block, Layout layout)
{
    const auto stored = pstformat::BlockStoredSize(block.cb, layout);
    if (!stored || block.ib + *stored > file.size()) return {};
    return Slice(file, block.ib, *stored);
}

// The BIDs an internal block lists: its XBLOCK entries, SIENTRY bids or SLENTRY bidData/bidSub.
std::vector<uint64_t> Listed(const std::vector<uint8_t>& stored, uint16_t cb, Layout layout)
{
    std::vector<uint64_t> bids;
    const std::span<const uint8_t> data(stored.data(), std::min<size_t>(cb, stored.size()));
    const auto header = pstformat::ParseInternalBlockHeader(data);
    if (!header) return bids;
    for (size_t i = 0; i < header->cEnt; ++i) {
        if (header->btype == pstformat::kBlockTypeData) {
            const auto bid = pstformat::ParseXBlockEntry(data, layout, i);
            if (!bid) break;
            bids.push_back(*bid);
        } else if (header->cLevel == pstformat::kLevelSIBlock) {
            const auto entry = pstformat::ParseSIEntry(data, layout, i);
            if (!entry) break;
            bids.push_back(entry->bid);
        } else {
            const auto entry = pstformat::ParseSLEntry(data, layout, i);
            if (!entry) break;
            bids.push_back(entry->bidData);
            bids.push_back(entry->bidSub);
        }
    }
    return bids;
}

void BuilderSeeds(SeedWriter& scan, SeedWriter& tree)
{
    for (Layout layout : {Layout::Ansi, Layout::Unicode}) {
        const std::string name = LayoutName(layout);
        scan.Write("planted-" + name, LayoutBit(layout) | kScanSmallPieces, PlantedRandomImage(layout, 12000, 5));
        const uint8_t options = LayoutBit(layout) | kTreeSealBlocks;

        // Blocks of every size class fit the scan target's reference limit only a few at a
        // time: the largest one a block can be, and two past half of it.
        const size_t maxData = pstformat::TraitsOf(layout).maxBlockData;
        BlockImageBuilder largest(layout);
        largest.Data(0x10, maxData);
        largest.Data(0x14, 700);
        scan.Write("largest-block-" + name, LayoutBit(layout) | kScanSmallPieces, largest.Bytes());
        BlockImageBuilder large(layout);
        large.Data(0x10, 4100);
        large.Data(0x14, 5000);
        large.XBlock(0x22, 1, 9100, {0x10, 0x14});
        scan.Write("large-blocks-" + name, LayoutBit(layout), large.Bytes());

        // Fast-scan jumps that land right on the start of another block: after a block whose
        // data ends in nonzero bytes, and after one whose last ten data bytes are zero.
        Image jumps(4096);
        for (size_t i = 0; i < jumps.size(); ++i) jumps[i] = static_cast<uint8_t>(1 + i % 251);
        PlantBlock(jumps, layout, 0, 100, 0x10);
        PlantBlock(jumps, layout, 100, 30, 0x14);
        std::fill_n(jumps.begin() + 2048 + 90, 10, uint8_t{0});
        PlantBlock(jumps, layout, 2048, 100, 0x18);
        PlantBlock(jumps, layout, 2048 + 90, 30, 0x1C);
        scan.Write("fast-jumps-" + name, LayoutBit(layout) | kScanFast, jumps);

        BlockImageBuilder xblock(layout);
        for (uint64_t bid : {0x10, 0x14, 0x18}) xblock.Data(bid, 300);
        xblock.XBlock(0x22, 1, 900, {0x10, 0x14, 0x18});
        xblock.XBlock(0x26, 1, 900, {0x10, 0x14, 0x18, 0x1C}, 40); // cEnt overruns the data
        tree.Write("xblock-" + name, options, xblock.Bytes());

        BlockImageBuilder xxblock(layout);
        for (uint64_t bid : {0x10, 0x14, 0x18, 0x1C}) xxblock.Data(bid, 100);
        xxblock.XBlock(0x22, 1, 200, {0x10, 0x14});
        xxblock.XBlock(0x26, 1, 200, {0x18, 0x1C});
        xxblock.XBlock(0x2A, 2, 400, {0x22, 0x26});
        xxblock.XBlock(0x2E, 2, 400, {0x2E, 0x22}); // lists itself
        tree.Write("xxblock-" + name, options, xxblock.Bytes());

        BlockImageBuilder subnodes(layout);
        subnodes.Data(0x10, 64);
        subnodes.SLBlock(0x22, {SLEntry{0x21, 0x10, 0}, SLEntry{0x41, 0x10, 0x2A}});
        subnodes.SLBlock(0x26, {SLEntry{0x61, 0x10, 0}, SLEntry{0x21, 0x10, 0}});
        subnodes.SIBlock(0x2A, {SIEntry{0x21, 0x22}, SIEntry{0x61, 0x26}});
        subnodes.SIBlock(0x2E, {SIEntry{0x21, 0x2E}, SIEntry{0x41, 0x2A}}); // lists itself and a tree
        tree.Write("subnodes-" + name, options, subnodes.Bytes());
    }
}

void StoreSeeds(SeedWriter& scan, SeedWriter& tree, const std::string& corpus, bool large)
{
    const size_t sliceSize = large ? 64 * 1024 : 16 * 1024;
    for (const char* store : kStores) {
        const std::vector<uint8_t> file = ReadFileBytes(corpus + "/" + store);
        if (file.empty()) {
            std::fprintf(stderr, "krv_fuzz_seeds: %s not found in %s, skipped\n", store, corpus.c_str());
            continue;
        }
        const StrictWalk walk = WalkPst(file);
        const Layout layout = walk.layout;
        const uint8_t bit = LayoutBit(layout);
        const std::string stem = std::filesystem::path(store).stem().string();

        // The first bytes of a store are its header and allocation maps; its pages and
        // blocks begin some 20 KiB in, so only a large slice holds them as they lie.
        if (large) {
            scan.Write(stem + "-head", bit, Slice(file, 0, sliceSize));
            tree.Write(stem + "-head", bit, Slice(file, 0, sliceSize));
        }

        // The first pages of both trees and the first blocks, each on its own, then all of
        // them side by side behind the header.
        std::vector<uint8_t> mosaic = Slice(file, 0, 1024);
        for (const auto* pages : {&walk.bbtPages, &walk.nbtPages}) {
            for (size_t i = 0; i < pages->size() && i < 2; ++i) {
                const auto page = Slice(file, (*pages)[i], pstformat::kPageSize);
                scan.Write(stem + "-page-" + std::to_string((*pages)[i]), bit, page);
                Append64(mosaic, page);
            }
        }
        size_t blocks = 0;
        for (const WalkedBlock& block : walk.blocks) {
            if (blocks == 4) break;
            const auto stored = StoredBlock(file, block, layout);
            if (stored.empty()) continue;
            scan.Write(stem + "-block-" + std::to_string(block.ib), bit, stored);
            Append64(mosaic, stored);
            ++blocks;
        }
        scan.Write(stem + "-mosaic", bit, mosaic);

        // The store's largest block on its own.
        const auto largestBlock =
            std::max_element(walk.blocks.begin(), walk.blocks.end(),
                             [](const WalkedBlock& a, const WalkedBlock& b) { return a.cb < b.cb; });
        if (largestBlock != walk.blocks.end()) {
            const auto stored = StoredBlock(file, *largestBlock, layout);
            if (!stored.empty()) scan.Write(stem + "-largest-block", bit, stored);
        }

        // Internal blocks with what they list, two levels down.
        size_t trees = 0;
        for (const WalkedBlock& block : walk.blocks) {
            if (trees == 3) break;
            if (!pstformat::IsInternalBid(block.bid)) continue;
            std::vector<uint8_t> image;
            std::vector<uint64_t> pending = {block.bid};
            for (int level = 0; level < 3 && !pending.empty(); ++level) {
                std::vector<uint64_t> next;
                for (uint64_t bid : pending) {
                    const WalkedBlock* found = walk.FindBlock(bid);
                    if (found == nullptr) continue;
                    const auto stored = StoredBlock(file, *found, layout);
                    if (stored.empty() || image.size() + stored.size() > sliceSize) continue;
                    Append64(image, stored);
                    if (pstformat::IsInternalBid(bid)) {
                        for (uint64_t child : Listed(stored, found->cb, layout))
                            if (child != 0) next.push_back(child);
                    }
                }
                pending = std::move(next);
            }
            tree.Write(stem + "-tree-" + std::to_string(block.ib), bit | kTreeSealBlocks, image);
            ++trees;
        }
    }
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 3 || argc > 4 || (argc == 4 && std::string(argv[3]) != "--large")) {
        std::fputs("usage: krv_fuzz_seeds OUTDIR CORPUS_DIR [--large]\n", stderr);
        return 1;
    }
    try {
        const std::filesystem::path out = argv[1];
        SeedWriter scan(out / "scan");
        SeedWriter tree(out / "blocktree");
        BuilderSeeds(scan, tree);
        StoreSeeds(scan, tree, argv[2], argc == 4);
        std::printf("krv_fuzz_seeds: %zu scan inputs, %zu block-tree inputs in %s\n", scan.Count(), tree.Count(),
                    out.string().c_str());
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "krv_fuzz_seeds: %s\n", e.what());
        return 1;
    }
}

// ItemSeedMaker.cpp: krv_fuzz_item_seeds writes starting inputs for the item layer's fuzz targets.
//
// usage: krv_fuzz_item_seeds OUTDIR CORPUS_DIR [PER_STORE]
// Walks each store of CORPUS_DIR with the strict walker and writes, into OUTDIR/propctx/
// and OUTDIR/tablectx/, its property-context and table-context nodes in the targets' input
// form (fuzz/ItemFuzzEntries.h): the node's data blocks (at most four) and the first
// subnodes (at most eight, first block each), stored with the store's own encoding. At
// most PER_STORE nodes of each kind per store (default 6), the smallest first, so that
// the output can be kept as the committed seed folder.
#include "pstformat/Encoding.h"
#include "pstformat/Endian.h"
#include "pstformat/Heap.h"
#include "pstformat/Ids.h"
#include "pstformat/Layout.h"
#include "pstformat/XBlock.h"
#include "tests/support/CorpusFiles.h"
#include "tests/support/StrictPstWalker.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

namespace {

using namespace krv;
using namespace krv::test;
using pstformat::BlockEncoding;
using pstformat::Layout;

using Bytes = std::vector<uint8_t>;

constexpr size_t kMaxDataBlocks = 4;
constexpr size_t kMaxSubnodes = 8;
using pstformat::kClientSigPropertyContext;
using pstformat::kClientSigTableContext;
using pstformat::kHeapHeaderSize;
using pstformat::kHeapSignature;
using pstformat::kHnhdrBClientSig;
using pstformat::kHnhdrBSig;

// The stored bytes of a block, decoded when it is a data block.
std::optional<Bytes> BlockData(const StrictWalk& walk, const Bytes& file, uint64_t bid, BlockEncoding encoding)
{
    const WalkedBlock* block = walk.FindBlock(bid);
    if (block == nullptr || block->ib > file.size() || block->cb > file.size() - block->ib) return std::nullopt;
    Bytes data(file.begin() + static_cast<std::ptrdiff_t>(block->ib),
               file.begin() + static_cast<std::ptrdiff_t>(block->ib + block->cb));
    if (!pstformat::IsInternalBid(bid) && !pstformat::DecodeBlockData(encoding, data.data(), data.size(), bid))
        return std::nullopt;
    return data;
}

// The data blocks of a node: the block itself, or the first ones an XBLOCK lists.
std::vector<Bytes> DataBlocks(const StrictWalk& walk, const Bytes& file, uint64_t bid, BlockEncoding encoding)
{
    std::vector<Bytes> blocks;
    const auto data = BlockData(walk, file, bid, encoding);
    if (!data) return blocks;
    if (!pstformat::IsInternalBid(bid)) {
        blocks.push_back(*data);
        return blocks;
    }
    const auto header = pstformat::ParseInternalBlockHeader(*data);
    if (!header || header->btype != 1 || header->cLevel != 1) return blocks;
    for (size_t i = 0; i < std::min<size_t>(header->cEnt, kMaxDataBlocks); ++i) {
        const auto child = pstformat::ParseXBlockEntry(*data, walk.layout, i);
        if (!child) break;
        if (const auto bytes = BlockData(walk, file, *child, encoding)) blocks.push_back(*bytes);
    }
    return blocks;
}

struct Seed {
    std::string name;
    Bytes input;
};

void PutPiece(Bytes& out, const Bytes& piece)
{
    const size_t length = std::min<size_t>(piece.size(), 0xFFFF);
    out.push_back(static_cast<uint8_t>(length));
    out.push_back(static_cast<uint8_t>(length >> 8));
    out.insert(out.end(), piece.begin(), piece.begin() + static_cast<std::ptrdiff_t>(length));
}

std::optional<Seed> NodeSeed(const StrictWalk& walk, const Bytes& file, const WalkedNode& node, BlockEncoding encoding)
{
    const std::vector<Bytes> blocks = DataBlocks(walk, file, node.bidData, encoding);
    if (blocks.empty() || blocks.front().size() < kHeapHeaderSize || blocks.front()[kHnhdrBSig] != kHeapSignature)
        return std::nullopt;
    const uint8_t clientSig = blocks.front()[kHnhdrBClientSig];
    if (clientSig != kClientSigTableContext && clientSig != kClientSigPropertyContext) return std::nullopt;

    std::vector<std::pair<uint32_t, Bytes>> subnodes;
    if (node.bidSub != 0) {
        const auto data = BlockData(walk, file, node.bidSub, encoding);
        const auto header = data ? pstformat::ParseInternalBlockHeader(*data) : std::nullopt;
        if (header && header->btype == 2 && header->cLevel == 0) {
            for (size_t i = 0; i < header->cEnt && subnodes.size() < kMaxSubnodes; ++i) {
                const auto entry = pstformat::ParseSLEntry(*data, walk.layout, i);
                if (!entry) break;
                const std::vector<Bytes> sub = DataBlocks(walk, file, entry->bidData, encoding);
                if (!sub.empty()) subnodes.emplace_back(entry->nid, sub.front());
            }
        }
    }

    // The blocks go in plain; the option bits store them as the store did.
    uint8_t options = walk.layout == Layout::Unicode ? 1 : 0;
    if (encoding == BlockEncoding::Permute) options |= 1 << 1;
    if (encoding == BlockEncoding::Cyclic) options |= 2 << 1;
    options |= static_cast<uint8_t>((node.nid % 8) << 5); // runs of 1 to 8 bytes
    if (node.nid % 3 == 0) options |= 8;                  // some find their encoding by trial
    Seed seed;
    seed.input.push_back(options);
    seed.input.push_back(static_cast<uint8_t>(blocks.size() - 1));
    for (const Bytes& block : blocks) PutPiece(seed.input, block);
    for (const auto& [nid, data] : subnodes) {
        Bytes piece(4);
        pstformat::StoreLe<uint32_t>(piece.data(), nid);
        piece.insert(piece.end(), data.begin(), data.end());
        PutPiece(seed.input, piece);
    }
    char nid[16];
    std::snprintf(nid, sizeof nid, "%x", node.nid);
    seed.name = std::string(clientSig == kClientSigTableContext ? "tc-" : "pc-") + nid;
    return seed;
}

void WriteSeed(const std::filesystem::path& dir, const std::string& store, const Seed& seed)
{
    std::filesystem::create_directories(dir);
    std::ofstream out(dir / (store + "-" + seed.name + ".bin"), std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(seed.input.data()), static_cast<std::streamsize>(seed.input.size()));
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: krv_fuzz_item_seeds OUTDIR CORPUS_DIR [PER_STORE]\n");
        return 2;
    }
    const std::filesystem::path outDir = argv[1];
    const size_t perStore = argc > 3 ? static_cast<size_t>(std::strtoul(argv[3], nullptr, 10)) : 6;
    size_t written = 0;
    try {
        for (const std::string& path : ListCorpusFiles(argv[2])) {
            const Bytes file = ReadFileBytes(path);
            const StrictWalk walk = WalkPst(file);
            const auto encoding = pstformat::EncodingFromCryptMethod(walk.cryptMethod);
            if (!walk.problems.empty() || !encoding) continue;
            std::vector<Seed> tables, properties;
            for (const WalkedNode& node : walk.nodes) {
                if (auto seed = NodeSeed(walk, file, node, *encoding))
                    (seed->name.starts_with("tc-") ? tables : properties).push_back(std::move(*seed));
            }
            const std::string store = std::filesystem::path(path).stem().string();
            using Kind = std::pair<std::vector<Seed>*, const char*>;
            for (const auto& [seeds, target] : {Kind{&tables, "tablectx"}, Kind{&properties, "propctx"}}) {
                std::stable_sort(seeds->begin(), seeds->end(),
                                 [](const Seed& a, const Seed& b) { return a.input.size() < b.input.size(); });
                // The smallest, and the largest one that fits the fuzzers' input limit.
                std::vector<const Seed*> kept;
                for (size_t i = 0; i < seeds->size() && kept.size() + 1 < perStore; ++i) kept.push_back(&(*seeds)[i]);
                for (auto it = seeds->rbegin(); it != seeds->rend(); ++it) {
                    if (it->input.size() <= 65537 && std::find(kept.begin(), kept.end(), &*it) == kept.end()) {
                        kept.push_back(&*it);
                        break;
                    }
                }
                for (const Seed* seed : kept) WriteSeed(outDir / target, store, *seed);
                written += kept.size();
            }
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "krv_fuzz_item_seeds: %s\n", e.what());
        return 1;
    }
    std::printf("%zu item seeds written to %s\n", written, outDir.c_str());
    return 0;
}

// BlockCheck.cpp: placement, trailer, signature and CRC of each block.
#include "tools/krv-pstcheck/BlockCheck.h"

#include "pstformat/BlockTrailer.h"
#include "pstformat/Crc.h"
#include "pstformat/Endian.h"
#include "pstformat/Signature.h"

#include <string>

namespace krv::pstcheck {

using namespace krv::pstformat;

namespace {

constexpr uint64_t kFirstDataOffset = 0x4400;

std::string Where(const BlockEntry& b) { return "block " + Hex(b.bid) + " ib " + Hex(b.ib); }

bool CheckOne(const StoreImage& store, const BlockEntry& b, Report& report)
{
    const std::string where = Where(b);
    if (b.ib % store.traits->blockAlignment != 0) {
        report.Error("block.alignment", where, "not on a 64-byte boundary");
        return false;
    }
    const auto stored = BlockStoredSize(b.cb, store.layout);
    if (!stored) {
        report.Error("block.size", where,
                     "cb " + std::to_string(b.cb) + " is more than a block holds (" +
                         std::to_string(store.traits->maxBlockData) + ")");
        return false;
    }
    if (b.ib < kFirstDataOffset || !RangeFits(store.size, b.ib, *stored)) {
        report.Error("block.range", where, std::to_string(*stored) + " bytes outside the data area of the file");
        return false;
    }
    const auto read = store.Read(b.ib, *stored);
    if (!read) {
        report.Error("block.range", where, "the file no longer holds these " + std::to_string(*stored) + " bytes");
        return false;
    }
    const std::span<const uint8_t> block(*read);
    const auto trailer = ParseBlockTrailerOf(block, store.layout);
    if (!trailer) return false;
    bool sound = true;
    if (trailer->cb != b.cb) {
        report.Error("block.trailer", where,
                     "trailer cb " + ExpectedFound(std::to_string(b.cb), std::to_string(trailer->cb)) + " (the BBT's)");
        sound = false;
    }
    if (trailer->bid != b.bid) {
        report.Error("block.trailer", where, "trailer bid " + ExpectedFound(b.bid, trailer->bid) + " (the BBT's)");
        sound = false;
    }
    if (const uint16_t sig = ComputeSignature(b.bid, b.ib); trailer->wSig != sig) {
        report.Error("block.signature", where, "wSig " + ExpectedFound(sig, trailer->wSig));
        sound = false;
    }
    if (const uint32_t crc = ComputeCrc(0, block.data(), b.cb); trailer->dwCRC != crc) {
        report.Error("block.crc", where, "dwCRC " + ExpectedFound(crc, trailer->dwCRC));
        sound = false;
    }
    return sound;
}

} // namespace

std::set<uint64_t> CheckBlocks(const StoreImage& store, const BTreeIndex& index, Report& report)
{
    std::set<uint64_t> sound;
    for (const auto& [key, block] : index.blocks)
        if (CheckOne(store, block, report)) sound.insert(key);
    return sound;
}

} // namespace krv::pstcheck

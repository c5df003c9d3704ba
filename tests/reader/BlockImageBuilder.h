// BlockImageBuilder.h: file images of sealed data, XBLOCK/XXBLOCK and SLBLOCK/SIBLOCK blocks.
//
// Blocks are laid one after another on 64-byte boundaries.
#ifndef KRV_TESTS_READER_BLOCKIMAGEBUILDER_H
#define KRV_TESTS_READER_BLOCKIMAGEBUILDER_H

#include "pstformat/Layout.h"
#include "pstformat/XBlock.h"
#include "tests/reader/ScanPlanting.h"

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <vector>

namespace krv::test {

class BlockImageBuilder {
public:
    explicit BlockImageBuilder(pstformat::Layout layout) : m_layout(layout) {}

    // A data block of cb bytes of a pattern that never ends in zero.
    void Data(uint64_t bid, size_t cb);
    // An XBLOCK (cLevel 1) or XXBLOCK (cLevel 2). storedCount, when given, is written as
    // cEnt instead of the number of BIDs; `trailing` is placed right after the entries, in
    // the filler that cb does not cover.
    void XBlock(uint64_t bid, uint8_t cLevel, uint32_t lcbTotal, const std::vector<uint64_t>& bids,
                std::optional<uint16_t> storedCount = std::nullopt, const std::vector<uint64_t>& trailing = {});
    void SLBlock(uint64_t bid, const std::vector<pstformat::SLEntry>& entries);
    void SIBlock(uint64_t bid, const std::vector<pstformat::SIEntry>& entries,
                 std::optional<uint16_t> storedCount = std::nullopt, const std::vector<uint64_t>& trailing = {});

    uint64_t OffsetOf(uint64_t bid) const { return m_offsets.at(bid); }
    const Image& Bytes() const { return m_image; }

private:
    // Places cb data bytes (and what follows them) at the next boundary and seals them.
    void Place(uint64_t bid, std::vector<uint8_t> bytes, size_t cb);
    void AppendIds(std::vector<uint8_t>& bytes, const std::vector<uint64_t>& ids) const;

    pstformat::Layout m_layout;
    Image m_image = Image(512, 0);
    std::map<uint64_t, uint64_t> m_offsets;
};

} // namespace krv::test

#endif

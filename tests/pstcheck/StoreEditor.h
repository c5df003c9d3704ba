// StoreEditor.h: byte-level edits of a sound store that break one rule and keep every
// checksum right, so that a single check of krv-pstcheck has something to find.
#ifndef KRV_TESTS_PSTCHECK_STOREEDITOR_H
#define KRV_TESTS_PSTCHECK_STOREEDITOR_H

#include "pstformat/Header.h"
#include "pstformat/Layout.h"
#include "tests/support/StrictPstWalker.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <vector>

namespace krv::test {

class StoreEditor {
public:
    explicit StoreEditor(std::vector<uint8_t> bytes);

    [[nodiscard]] const StrictWalk& Walk() const { return m_walk; }
    [[nodiscard]] pstformat::Layout Layout() const { return m_walk.layout; }
    [[nodiscard]] std::vector<uint8_t>& Bytes() { return m_bytes; }

    // File offset of the leaf entry of a block or node; none when the walk did not meet it.
    [[nodiscard]] std::optional<uint64_t> BlockEntryAt(uint64_t bid) const;
    [[nodiscard]] std::optional<uint64_t> NodeEntryAt(uint32_t nid) const;

    // Recomputes the CRC and signature of the page at `ib`, keeping its type and BID.
    void ResealPage(uint64_t ib);

    // A block's cb data bytes as stored, and a fresh trailer CRC after they were changed.
    [[nodiscard]] std::span<uint8_t> BlockData(const WalkedBlock& block);
    void ResealBlock(const WalkedBlock& block);

    // A data block decoded, and the decoded bytes (same size) encoded back in its place.
    [[nodiscard]] std::vector<uint8_t> DecodedBlock(const WalkedBlock& block) const;
    void StoreDecodedBlock(const WalkedBlock& block, std::vector<uint8_t> data);

    // Parses the header, lets `change` edit it, and writes it back with fresh CRCs.
    void EditHeader(const std::function<void(pstformat::Header&)>& change);

private:
    std::optional<uint64_t> LeafEntryAt(const std::vector<uint64_t>& pages, uint64_t key, bool blocks) const;

    std::vector<uint8_t> m_bytes;
    StrictWalk m_walk;
};

// Offset, within the first block of a PC's heap, of the dwValueHnid of property `propId`;
// none when the PC is not a one-block heap with a one-level BTH holding it.
[[nodiscard]] std::optional<size_t> PcValueOffset(std::span<const uint8_t> heapBlock, uint16_t propId);

} // namespace krv::test

#endif

// Ids.h: node ids (NID), block ids (BID) and block references (BREF) of a mail store.
//
// | id   | bits                                                                 | [MS-PST] |
// |------|----------------------------------------------------------------------|----------|
// | NID  | 32 bits: nidType in bits 0-4, nidIndex in bits 5-31                  | 2.2.2.1  |
// | BID  | 32 bits (ANSI) or 64 (Unicode); bit 0 reserved, bit 1 fInternal      | 2.2.2.2  |
// | IB   | absolute file offset, 32 or 64 bits                                  | 2.2.2.3  |
// | BREF | bid then ib: 8 bytes (ANSI) or 16 (Unicode)                          | 2.2.2.4  |
//
// BIDs and IBs are held as 64-bit values in both layouts (32-bit values zero-extended).
// Bit 0 of a BID carries no meaning for lookups: readers drop it before comparing.
#ifndef KRV_PSTFORMAT_IDS_H
#define KRV_PSTFORMAT_IDS_H

#include <cstdint>

namespace krv::pstformat {

// nidType values. The node database does not interpret them; the layers above do.
enum NidType : uint8_t {
    NidTypeHid = 0x00,
    NidTypeInternal = 0x01,
    NidTypeNormalFolder = 0x02,
    NidTypeSearchFolder = 0x03,
    NidTypeNormalMessage = 0x04,
    NidTypeAttachment = 0x05,
    NidTypeSearchUpdateQueue = 0x06,
    NidTypeSearchCriteriaObject = 0x07,
    NidTypeAssocMessage = 0x08,
    NidTypeContentsTableIndex = 0x0A,
    NidTypeReceiveFolderTable = 0x0B,
    NidTypeOutgoingQueueTable = 0x0C,
    NidTypeHierarchyTable = 0x0D,
    NidTypeContentsTable = 0x0E,
    NidTypeAssocContentsTable = 0x0F,
    NidTypeSearchContentsTable = 0x10,
    NidTypeAttachmentTable = 0x11,
    NidTypeRecipientTable = 0x12,
    NidTypeSearchTableIndex = 0x13,
    NidTypeLtp = 0x1F,
};

// Fixed nodes every store has.
inline constexpr uint32_t kNidMessageStore = 0x21;
inline constexpr uint32_t kNidNameToIdMap = 0x61;
inline constexpr uint32_t kNidRootFolder = 0x122;

[[nodiscard]] constexpr uint8_t NidTypeOf(uint32_t nid) { return static_cast<uint8_t>(nid & 0x1F); }
[[nodiscard]] constexpr uint32_t NidIndexOf(uint32_t nid) { return nid >> 5; }
[[nodiscard]] constexpr uint32_t MakeNid(uint8_t type, uint32_t index) { return (index << 5) | (type & 0x1Fu); }

inline constexpr uint64_t kBidReservedBit = 0x1;
inline constexpr uint64_t kBidInternalBit = 0x2;
// Successive block BIDs of a writer differ by this step, so that bits 0 and 1 stay free.
inline constexpr uint64_t kBidStep = 0x4;

// Internal blocks (XBLOCK, XXBLOCK, SLBLOCK, SIBLOCK) are stored without encoding.
[[nodiscard]] constexpr bool IsInternalBid(uint64_t bid) { return (bid & kBidInternalBit) != 0; }
// The BID as a lookup key: the reserved bit cleared.
[[nodiscard]] constexpr uint64_t BidKey(uint64_t bid) { return bid & ~kBidReservedBit; }

struct Bref {
    uint64_t bid = 0;
    uint64_t ib = 0;
    friend constexpr bool operator==(const Bref&, const Bref&) = default;
};

} // namespace krv::pstformat

#endif

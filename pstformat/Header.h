// Header.h: the HEADER at file offset 0 and the ROOT inside it ([MS-PST] 2.2.2.6, 2.2.2.5).
//
// | field          | ANSI off | size | Unicode off | size | note                              |
// |----------------|----------|------|-------------|------|-----------------------------------|
// | dwMagic        | 0        | 4    | 0           | 4    | "!BDN" = 0x4E444221               |
// | dwCRCPartial   | 4        | 4    | 4           | 4    | CRC of the 471 bytes at 8..478    |
// | wMagicClient   | 8        | 2    | 8           | 2    | "SM" .pst, "SO" .ost              |
// | wVer           | 10       | 2    | 10          | 2    | 14/15 ANSI, >= 23 Unicode         |
// | wVerClient     | 12       | 2    | 12          | 2    |                                   |
// | bPlatformCreate| 14       | 1    | 14          | 1    |                                   |
// | bPlatformAccess| 15       | 1    | 15          | 1    |                                   |
// | dwReserved1/2  | 16, 20   | 4+4  | 16, 20      | 4+4  |                                   |
// | bidUnused      | -        |      | 24          | 8    |                                   |
// | bidNextB       | 24       | 4    | 516         | 8    | next block BID                    |
// | bidNextP       | 28       | 4    | 32          | 8    | next page BID                     |
// | dwUnique       | 32       | 4    | 40          | 4    |                                   |
// | rgnid[32]      | 36       | 128  | 44          | 128  | last nidIndex per nidType         |
// | qwUnused       | -        |      | 172         | 8    |                                   |
// | root (ROOT)    | 164      | 40   | 180         | 72   | table below                       |
// | dwAlign        | -        |      | 252         | 4    |                                   |
// | rgbFM          | 204      | 128  | 256         | 128  | deprecated, 0xFF                  |
// | rgbFP          | 332      | 128  | 384         | 128  | deprecated, 0xFF                  |
// | bSentinel      | 460      | 1    | 512         | 1    | 0x80                              |
// | bCryptMethod   | 461      | 1    | 513         | 1    | see Encoding.h                    |
// | rgbReserved    | 462      | 2    | 514         | 2    |                                   |
// | ullReserved    | 464      | 8    | -           |      |                                   |
// | dwReserved     | 472      | 4    | -           |      |                                   |
// | dwCRCFull      | -        |      | 524         | 4    | CRC of the 516 bytes at 8..523    |
// | rgbReserved2   | 476      | 3    | 528         | 3    |                                   |
// | bReserved      | 479      | 1    | 531         | 1    |                                   |
// | rgbReserved3   | 480      | 32   | 532         | 32   |                                   |
// | (size)         | 512      |      | 564         |      |                                   |
//
// ROOT, offsets from its start:
//
// | field      | ANSI off | size | Unicode off | size |
// |------------|----------|------|-------------|------|
// | dwReserved | 0        | 4    | 0           | 4    |
// | ibFileEof  | 4        | 4    | 4           | 8    |
// | ibAMapLast | 8        | 4    | 12          | 8    |
// | cbAMapFree | 12       | 4    | 20          | 8    |
// | cbPMapFree | 16       | 4    | 28          | 8    |
// | BREFNBT    | 20       | 8    | 36          | 16   |
// | BREFBBT    | 28       | 8    | 52          | 16   |
// | fAMapValid | 36       | 1    | 68          | 1    |
// | bReserved  | 37       | 1    | 69          | 1    |
// | wReserved  | 38       | 2    | 70          | 2    |
//
// The partial CRC covers the same 471 bytes in both layouts; in the Unicode layout those
// bytes stop inside rgbFP, so only the full CRC guards bCryptMethod and bidNextB there.
//
// The 4 KiB-page variant's header is the Unicode one with wVer 36 (kVersionUnicode4k,
// Layout.h); every "Unicode" column above applies to it.
#ifndef KRV_PSTFORMAT_HEADER_H
#define KRV_PSTFORMAT_HEADER_H

#include "pstformat/Ids.h"
#include "pstformat/Layout.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace krv::pstformat {

inline constexpr uint32_t kHeaderMagic = 0x4E444221; // "!BDN"
inline constexpr uint16_t kMagicClientPst = 0x4D53;  // "SM"
inline constexpr uint16_t kMagicClientOst = 0x4F53;  // "SO"
inline constexpr uint16_t kVersionAnsi = 14;
inline constexpr uint16_t kVersionUnicode = 23;
inline constexpr uint8_t kHeaderSentinel = 0x80;

inline constexpr size_t kHeaderCrcPartialOffset = 4;
inline constexpr size_t kHeaderCrcPartialStart = 8;
inline constexpr size_t kHeaderCrcPartialLength = 471;
inline constexpr size_t kHeaderCrcFullOffset = 524; // Unicode only
inline constexpr size_t kHeaderCrcFullStart = 8;
inline constexpr size_t kHeaderCrcFullLength = 516;

// fAMapValid values.
inline constexpr uint8_t kAMapInvalid = 0x00;
inline constexpr uint8_t kAMapValid1 = 0x01; // deprecated
inline constexpr uint8_t kAMapValid2 = 0x02;

struct HeaderOffsets {
    size_t bidNextB;
    size_t bidNextP;
    size_t dwUnique;
    size_t rgnid;
    size_t root;
    size_t rgbFM;
    size_t rgbFP;
    size_t bSentinel;
    size_t bCryptMethod;
    // within ROOT
    size_t ibFileEof;
    size_t ibAMapLast;
    size_t cbAMapFree;
    size_t cbPMapFree;
    size_t brefNbt;
    size_t brefBbt;
    size_t fAMapValid;
};

inline constexpr HeaderOffsets kAnsiHeaderOffsets{24, 28, 32, 36, 164, 204, 332, 460, 461, 4, 8, 12, 16, 20, 28, 36};
inline constexpr HeaderOffsets kUnicodeHeaderOffsets{516, 32, 40, 44, 180, 256, 384, 512,
                                                     513, 4,  12, 20, 28,  36,  52,  68};

[[nodiscard]] constexpr const HeaderOffsets& HeaderOffsetsOf(Layout layout)
{
    return layout == Layout::Ansi ? kAnsiHeaderOffsets : kUnicodeHeaderOffsets;
}

struct Root {
    uint64_t ibFileEof = 0;
    uint64_t ibAMapLast = 0;
    uint64_t cbAMapFree = 0;
    uint64_t cbPMapFree = 0;
    Bref nbt;
    Bref bbt;
    uint8_t fAMapValid = kAMapInvalid;
    friend bool operator==(const Root&, const Root&) = default;
};

// The fields of a header that a reader looks at or a writer must set; reserved and unused
// fields are written as zero and not kept.
struct Header {
    uint32_t dwMagic = kHeaderMagic;
    uint32_t dwCRCPartial = 0;
    uint16_t wMagicClient = kMagicClientPst;
    uint16_t wVer = 0;
    uint16_t wVerClient = 19;
    uint8_t bPlatformCreate = 0x01;
    uint8_t bPlatformAccess = 0x01;
    uint64_t bidNextB = 0;
    uint64_t bidNextP = 0;
    uint32_t dwUnique = 0;
    std::array<uint32_t, 32> rgnid{};
    Root root;
    std::array<uint8_t, 128> rgbFM{};
    std::array<uint8_t, 128> rgbFP{};
    uint8_t bSentinel = kHeaderSentinel;
    uint8_t bCryptMethod = 0;
    uint32_t dwCRCFull = 0; // Unicode only
    friend bool operator==(const Header&, const Header&) = default;
};

// CRCs over the covered bytes of a header as it stands in `bytes`; none when the span is
// too short to hold them.
[[nodiscard]] std::optional<uint32_t> ComputeHeaderCrcPartial(std::span<const uint8_t> bytes);
[[nodiscard]] std::optional<uint32_t> ComputeHeaderCrcFull(std::span<const uint8_t> bytes);

// Reads the fields of a header of the given layout from the start of `bytes`; none when
// fewer than the layout's headerCheckedSize bytes are there (every field kept here lies
// before that point). Nothing is validated: the magic, the version and the CRCs are the
// caller's to judge, with the functions below.
[[nodiscard]] std::optional<Header> ParseHeader(std::span<const uint8_t> bytes, Layout layout);

// True when the magic is right and every CRC the layout keeps matches: the partial CRC in
// the ANSI layout, the partial and the full CRC in the Unicode layout.
[[nodiscard]] bool HeaderChecksumsMatch(std::span<const uint8_t> bytes, Layout layout);

// True when `bytes`, the start of a file, hold the magic and a wVer of the 4 KiB-page
// variant (kVersionUnicode4k). Only those two fields are asked: its checksums and the rest
// may be damaged, while a file whose magic or version is gone is left to the scan.
[[nodiscard]] bool NamesUnicode4kLayout(std::span<const uint8_t> bytes);

// Bytes from the start of a file that NamesUnicode4kLayout needs: the magic and wVer.
inline constexpr size_t kHeaderVersionEnd = 12;

// Writes a whole header (headerSize bytes) of the layout from `header`, zeroing reserved
// fields and computing dwCRCPartial and dwCRCFull; the CRC fields of `header` are ignored.
// False, writing nothing, when `out` is too small or a 64-bit value does not fit a 32-bit
// field of the ANSI layout.
[[nodiscard]] bool WriteHeader(const Header& header, Layout layout, std::span<uint8_t> out);

} // namespace krv::pstformat

#endif

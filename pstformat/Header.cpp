// Header.cpp: reading, checking and writing the file header in both layouts.
#include "pstformat/Header.h"

#include "pstformat/Crc.h"
#include "pstformat/Endian.h"

#include <algorithm>

namespace krv::pstformat {
namespace {

constexpr size_t kOffMagic = 0;
constexpr size_t kOffMagicClient = 8;
constexpr size_t kOffVer = 10;
constexpr size_t kOffVerClient = 12;
constexpr size_t kOffPlatformCreate = 14;
constexpr size_t kOffPlatformAccess = 15;

} // namespace

std::optional<uint32_t> ComputeHeaderCrcPartial(std::span<const uint8_t> bytes)
{
    if (!RangeFits(bytes.size(), kHeaderCrcPartialStart, kHeaderCrcPartialLength)) return std::nullopt;
    return ComputeCrc(0, bytes.data() + kHeaderCrcPartialStart, kHeaderCrcPartialLength);
}

std::optional<uint32_t> ComputeHeaderCrcFull(std::span<const uint8_t> bytes)
{
    if (!RangeFits(bytes.size(), kHeaderCrcFullStart, kHeaderCrcFullLength)) return std::nullopt;
    return ComputeCrc(0, bytes.data() + kHeaderCrcFullStart, kHeaderCrcFullLength);
}

std::optional<Header> ParseHeader(std::span<const uint8_t> bytes, Layout layout)
{
    const LayoutTraits& t = TraitsOf(layout);
    const HeaderOffsets& o = HeaderOffsetsOf(layout);
    if (bytes.size() < t.headerCheckedSize) return std::nullopt;
    const uint8_t* p = bytes.data();
    const size_t w = t.idSize;

    Header h;
    h.dwMagic = LoadLe<uint32_t>(p + kOffMagic);
    h.dwCRCPartial = LoadLe<uint32_t>(p + kHeaderCrcPartialOffset);
    h.wMagicClient = LoadLe<uint16_t>(p + kOffMagicClient);
    h.wVer = LoadLe<uint16_t>(p + kOffVer);
    h.wVerClient = LoadLe<uint16_t>(p + kOffVerClient);
    h.bPlatformCreate = p[kOffPlatformCreate];
    h.bPlatformAccess = p[kOffPlatformAccess];
    h.bidNextB = LoadLeId(p + o.bidNextB, w);
    h.bidNextP = LoadLeId(p + o.bidNextP, w);
    h.dwUnique = LoadLe<uint32_t>(p + o.dwUnique);
    for (size_t i = 0; i < h.rgnid.size(); ++i) h.rgnid[i] = LoadLe<uint32_t>(p + o.rgnid + 4 * i);

    const uint8_t* r = p + o.root;
    h.root.ibFileEof = LoadLeId(r + o.ibFileEof, w);
    h.root.ibAMapLast = LoadLeId(r + o.ibAMapLast, w);
    h.root.cbAMapFree = LoadLeId(r + o.cbAMapFree, w);
    h.root.cbPMapFree = LoadLeId(r + o.cbPMapFree, w);
    h.root.nbt = {LoadLeId(r + o.brefNbt, w), LoadLeId(r + o.brefNbt + w, w)};
    h.root.bbt = {LoadLeId(r + o.brefBbt, w), LoadLeId(r + o.brefBbt + w, w)};
    h.root.fAMapValid = r[o.fAMapValid];

    std::copy_n(p + o.rgbFM, h.rgbFM.size(), h.rgbFM.begin());
    std::copy_n(p + o.rgbFP, h.rgbFP.size(), h.rgbFP.begin());
    h.bSentinel = p[o.bSentinel];
    h.bCryptMethod = p[o.bCryptMethod];
    if (layout != Layout::Ansi) h.dwCRCFull = LoadLe<uint32_t>(p + kHeaderCrcFullOffset);
    return h;
}

bool HeaderChecksumsMatch(std::span<const uint8_t> bytes, Layout layout)
{
    if (bytes.size() < TraitsOf(layout).headerCheckedSize) return false;
    if (LoadLe<uint32_t>(bytes.data() + kOffMagic) != kHeaderMagic) return false;
    const auto partial = ComputeHeaderCrcPartial(bytes);
    if (!partial || *partial != LoadLe<uint32_t>(bytes.data() + kHeaderCrcPartialOffset)) return false;
    if (layout == Layout::Ansi) return true;
    const auto full = ComputeHeaderCrcFull(bytes);
    return full && *full == LoadLe<uint32_t>(bytes.data() + kHeaderCrcFullOffset);
}

bool NamesUnicode4kLayout(std::span<const uint8_t> bytes)
{
    static_assert(kOffVer + 2 == kHeaderVersionEnd);
    if (bytes.size() < kHeaderVersionEnd) return false;
    return LoadLe<uint32_t>(bytes.data() + kOffMagic) == kHeaderMagic &&
           LoadLe<uint16_t>(bytes.data() + kOffVer) == kVersionUnicode4k;
}

bool WriteHeader(const Header& h, Layout layout, std::span<uint8_t> out)
{
    const LayoutTraits& t = TraitsOf(layout);
    const HeaderOffsets& o = HeaderOffsetsOf(layout);
    const size_t w = t.idSize;
    if (out.size() < t.headerSize) return false;
    for (uint64_t v : {h.bidNextB, h.bidNextP, h.root.ibFileEof, h.root.ibAMapLast, h.root.cbAMapFree,
                       h.root.cbPMapFree, h.root.nbt.bid, h.root.nbt.ib, h.root.bbt.bid, h.root.bbt.ib})
        if (!FitsIdWidth(v, w)) return false;

    uint8_t* p = out.data();
    std::fill_n(p, t.headerSize, uint8_t{0});
    StoreLe<uint32_t>(p + kOffMagic, h.dwMagic);
    StoreLe<uint16_t>(p + kOffMagicClient, h.wMagicClient);
    StoreLe<uint16_t>(p + kOffVer, h.wVer);
    StoreLe<uint16_t>(p + kOffVerClient, h.wVerClient);
    p[kOffPlatformCreate] = h.bPlatformCreate;
    p[kOffPlatformAccess] = h.bPlatformAccess;
    StoreLeId(p + o.bidNextB, w, h.bidNextB);
    StoreLeId(p + o.bidNextP, w, h.bidNextP);
    StoreLe<uint32_t>(p + o.dwUnique, h.dwUnique);
    for (size_t i = 0; i < h.rgnid.size(); ++i) StoreLe<uint32_t>(p + o.rgnid + 4 * i, h.rgnid[i]);

    uint8_t* r = p + o.root;
    StoreLeId(r + o.ibFileEof, w, h.root.ibFileEof);
    StoreLeId(r + o.ibAMapLast, w, h.root.ibAMapLast);
    StoreLeId(r + o.cbAMapFree, w, h.root.cbAMapFree);
    StoreLeId(r + o.cbPMapFree, w, h.root.cbPMapFree);
    StoreLeId(r + o.brefNbt, w, h.root.nbt.bid);
    StoreLeId(r + o.brefNbt + w, w, h.root.nbt.ib);
    StoreLeId(r + o.brefBbt, w, h.root.bbt.bid);
    StoreLeId(r + o.brefBbt + w, w, h.root.bbt.ib);
    r[o.fAMapValid] = h.root.fAMapValid;

    std::copy(h.rgbFM.begin(), h.rgbFM.end(), p + o.rgbFM);
    std::copy(h.rgbFP.begin(), h.rgbFP.end(), p + o.rgbFP);
    p[o.bSentinel] = h.bSentinel;
    p[o.bCryptMethod] = h.bCryptMethod;

    // The full CRC covers the partial CRC's bytes and more, but not the partial CRC field
    // itself, so the order of the two does not matter.
    StoreLe<uint32_t>(p + kHeaderCrcPartialOffset, ComputeCrc(0, p + kHeaderCrcPartialStart, kHeaderCrcPartialLength));
    if (layout != Layout::Ansi)
        StoreLe<uint32_t>(p + kHeaderCrcFullOffset, ComputeCrc(0, p + kHeaderCrcFullStart, kHeaderCrcFullLength));
    return true;
}

} // namespace krv::pstformat

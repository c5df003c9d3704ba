// HeaderCheck.cpp: header fields, checksums and counters.
#include "tools/krv-pstcheck/HeaderCheck.h"

#include "pstformat/Endian.h"
#include "pstformat/Ids.h"

#include <algorithm>
#include <array>
#include <string>

namespace krv::pstcheck {

using namespace krv::pstformat;

namespace {

constexpr const char* kWhere = "header";
constexpr uint16_t kClientVersionPst = 19;
constexpr uint16_t kClientVersionOst = 12;

void CheckCrcs(std::span<const uint8_t> file, const Header& h, Layout layout, Report& report)
{
    const auto partial = ComputeHeaderCrcPartial(file);
    if (partial && *partial != h.dwCRCPartial)
        report.Error("header.crc-partial", kWhere, "dwCRCPartial " + ExpectedFound(*partial, h.dwCRCPartial));
    if (layout == Layout::Ansi) return;
    const auto full = ComputeHeaderCrcFull(file);
    if (full && *full != h.dwCRCFull)
        report.Error("header.crc-full", kWhere, "dwCRCFull " + ExpectedFound(*full, h.dwCRCFull));
}

void CheckClientMagic(const Header& h, Report& report)
{
    if (h.wMagicClient != kMagicClientPst && h.wMagicClient != kMagicClientOst)
        report.Error("header.client-magic", kWhere,
                     "wMagicClient " + ExpectedFound("0x4d53 (SM) or 0x4f53 (SO)", Hex(h.wMagicClient)));
}

void CheckClientFields(const Header& h, bool isOst, Report& report)
{
    CheckClientMagic(h, report);
    // Writers should name the client version their kind of store carries; readers ignore it.
    const uint16_t client = isOst ? kClientVersionOst : kClientVersionPst;
    if (h.wVerClient != client)
        report.Warning("header.client-version", kWhere,
                       "wVerClient " + ExpectedFound(std::to_string(client), std::to_string(h.wVerClient)));
    if (h.bPlatformCreate != 0x01)
        report.Error("header.platform", kWhere, "bPlatformCreate " + ExpectedFound(0x01, h.bPlatformCreate));
    if (h.bPlatformAccess != 0x01)
        report.Error("header.platform", kWhere, "bPlatformAccess " + ExpectedFound(0x01, h.bPlatformAccess));
}

void CheckRoot(uint64_t fileSize, const Header& h, Report& report)
{
    if (h.root.ibFileEof != fileSize)
        report.Error("root.file-eof", kWhere,
                     "ibFileEof " + ExpectedFound(fileSize, h.root.ibFileEof) + " (the file's size)");
    // VALID_AMAP1 is what older Outlook versions wrote; their maps are sound all the same.
    // INVALID_AMAP says the maps are stale and must be rebuilt before anyone allocates.
    if (h.root.fAMapValid == kAMapInvalid)
        report.Error("root.amap-valid", kWhere, "fAMapValid 0 (INVALID_AMAP): the allocation maps are stale");
    else if (h.root.fAMapValid != kAMapValid1 && h.root.fAMapValid != kAMapValid2)
        report.Error("root.amap-valid", kWhere, "fAMapValid " + ExpectedFound(kAMapValid2, h.root.fAMapValid));
}

} // namespace

std::optional<StoreImage> CheckHeader(const StoreFile& source, Report& report)
{
    // As much as the larger of the two layouts' headers.
    const size_t headSize = std::max(kAnsi.headerSize, kUnicode.headerSize);
    const std::vector<uint8_t> head = source.Read(0, static_cast<size_t>(std::min<uint64_t>(source.Size(), headSize)))
                                          .value_or(std::vector<uint8_t>{});
    const std::span<const uint8_t> file(head);
    const auto magic = LoadLe<uint32_t>(file, 0);
    const auto wVer = LoadLe<uint16_t>(file, 10);
    if (!magic || !wVer) {
        report.Error("header.size", kWhere, "file of " + std::to_string(source.Size()) + " bytes holds no header");
        return std::nullopt;
    }
    if (*magic != kHeaderMagic) report.Error("header.magic", kWhere, "dwMagic " + ExpectedFound(kHeaderMagic, *magic));
    const auto layout = LayoutFromVersion(*wVer);
    if (!layout) {
        report.Error("header.version", kWhere,
                     "wVer " + ExpectedFound("14 or 15 (ANSI) or 23 (Unicode)", std::to_string(*wVer)) +
                         ": the layout is unknown, nothing else can be checked");
        return std::nullopt;
    }
    const LayoutTraits& traits = TraitsOf(*layout);
    const auto header = ParseHeader(file, *layout);
    if (!header || file.size() < traits.headerSize) {
        report.Error("header.size", kWhere,
                     "file of " + std::to_string(source.Size()) + " bytes is shorter than the " +
                         std::to_string(traits.headerSize) + "-byte header");
        return std::nullopt;
    }

    StoreImage store;
    store.file = &source;
    store.size = source.Size();
    store.layout = *layout;
    store.traits = &traits;
    store.header = *header;
    store.isOst = header->wMagicClient == kMagicClientOst;

    CheckCrcs(file, *header, *layout, report);
    CheckClientFields(*header, store.isOst, report);
    if (header->bSentinel != kHeaderSentinel)
        report.Error("header.sentinel", kWhere, "bSentinel " + ExpectedFound(kHeaderSentinel, header->bSentinel));
    if (const auto encoding = EncodingFromCryptMethod(header->bCryptMethod))
        store.encoding = *encoding;
    else
        report.Error("header.crypt-method", kWhere,
                     "bCryptMethod " + ExpectedFound("0, 1 or 2", Hex(header->bCryptMethod)) +
                         ": data blocks cannot be decoded, so nothing inside the nodes is checked");
    CheckRoot(source.Size(), *header, report);
    return store;
}

bool CheckUnicode4kHeader(const StoreFile& source, Report& report)
{
    const std::vector<uint8_t> head =
        source.Read(0, static_cast<size_t>(std::min<uint64_t>(source.Size(), kUnicode4k.headerSize)))
            .value_or(std::vector<uint8_t>{});
    const std::span<const uint8_t> file(head);
    const auto wVer = LoadLe<uint16_t>(file, 10);
    if (!wVer || *wVer != kVersionUnicode4k) return false;
    if (const auto magic = LoadLe<uint32_t>(file, 0); magic && *magic != kHeaderMagic)
        report.Error("header.magic", kWhere, "dwMagic " + ExpectedFound(kHeaderMagic, *magic));
    const auto header = ParseHeader(file, Layout::Unicode4k);
    if (!header) {
        report.Error("header.size", kWhere,
                     "file of " + std::to_string(source.Size()) + " bytes is shorter than the " +
                         std::to_string(kUnicode4k.headerSize) + "-byte header");
        return true;
    }
    // Which client version Outlook writes in this layout is not known; only the magic is held
    // to the rule.
    CheckCrcs(file, *header, Layout::Unicode4k, report);
    CheckClientMagic(*header, report);
    if (header->bSentinel != kHeaderSentinel)
        report.Error("header.sentinel", kWhere, "bSentinel " + ExpectedFound(kHeaderSentinel, header->bSentinel));
    if (!EncodingFromCryptMethod(header->bCryptMethod))
        report.Error("header.crypt-method", kWhere,
                     "bCryptMethod " + ExpectedFound("0, 1 or 2", Hex(header->bCryptMethod)));
    CheckRoot(source.Size(), *header, report);
    return true;
}

void CheckHeaderCounters(const StoreImage& store, const BTreeIndex& index, Report& report)
{
    const Header& h = store.header;
    if (!index.blocks.empty()) {
        const uint64_t last = index.blocks.rbegin()->first;
        if (h.bidNextB <= last)
            report.Error("header.bid-next-b", kWhere,
                         "bidNextB " + Hex(h.bidNextB) + " is not beyond the largest block BID in use, " + Hex(last));
    }
    if (index.maxPageBid != 0 && h.bidNextP <= index.maxPageBid)
        report.Error("header.bid-next-p", kWhere,
                     "bidNextP " + Hex(h.bidNextP) + " is not beyond the largest page BID in use, " +
                         Hex(index.maxPageBid));

    std::array<uint32_t, 32> largest{};
    for (const auto& [nid, node] : index.nodes) {
        uint32_t& top = largest[NidTypeOf(nid)];
        if (NidIndexOf(nid) > top) top = NidIndexOf(nid);
    }
    for (size_t t = 0; t < largest.size(); ++t)
        if (largest[t] > h.rgnid[t])
            report.Error("header.rgnid", kWhere,
                         "rgnid[" + Hex(t) + "] " + Hex(h.rgnid[t]) + " is below nidIndex " + Hex(largest[t]) +
                             " already in use: the next node of this type would reuse it");
}

} // namespace krv::pstcheck

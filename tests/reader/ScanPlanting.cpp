// ScanPlanting.cpp: planting sealed blocks, pages and headers into byte images.
#include "tests/reader/ScanPlanting.h"

#include "pstformat/BTreePage.h"
#include "pstformat/BlockTrailer.h"
#include "pstformat/Crc.h"
#include "pstformat/Header.h"
#include "pstformat/Signature.h"
#include "tests/reader/PageBuilder.h"

#include <algorithm>
#include <stdexcept>

namespace krv::test {

using pstformat::Layout;

size_t PlantBlock(Image& image, Layout layout, uint64_t offset, size_t cb, uint64_t bid, PlantData data)
{
    const pstformat::LayoutTraits& t = pstformat::TraitsOf(layout);
    const auto stored = pstformat::BlockStoredSize(cb, layout);
    if (!stored || offset + *stored > image.size()) throw std::invalid_argument("block does not fit");
    uint8_t* start = image.data() + offset;
    if (data == PlantData::Zero) std::fill_n(start, cb, uint8_t{0});
    pstformat::BlockTrailer trailer;
    trailer.cb = static_cast<uint16_t>(cb);
    trailer.wSig = pstformat::ComputeSignature(bid, offset);
    trailer.dwCRC = pstformat::ComputeCrc(0, start, cb);
    trailer.bid = bid;
    if (!pstformat::WriteBlockTrailer(trailer, layout, {start + *stored - t.blockTrailerSize, t.blockTrailerSize}))
        throw std::invalid_argument("trailer does not fit");
    return *stored;
}

void PlantHeader(Image& image, Layout layout, uint64_t offset, uint64_t rootBid)
{
    pstformat::Header header;
    header.wVer = layout == Layout::Ansi ? pstformat::kVersionAnsi : pstformat::kVersionUnicode;
    header.root.bbt = {rootBid, 0x4400};
    header.root.nbt = {rootBid + 4, 0x4600};
    std::vector<uint8_t> bytes(pstformat::TraitsOf(layout).headerSize);
    if (!pstformat::WriteHeader(header, layout, bytes)) throw std::invalid_argument("header cannot be written");
    // Near the end of an image only the part that the checksums cover needs to fit.
    const size_t covered = layout == Layout::Ansi ? 479 : 531;
    if (offset + covered > image.size()) throw std::invalid_argument("header does not fit");
    const size_t n = std::min<size_t>(bytes.size(), image.size() - offset);
    std::copy_n(bytes.begin(), n, image.begin() + static_cast<std::ptrdiff_t>(offset));
}

void PlantPage(Image& image, Layout layout, uint64_t offset, uint8_t ptype, uint64_t pageBid)
{
    Bytes page;
    if (ptype == pstformat::PageTypeBbt) {
        const pstformat::BBTEntry entries[] = {{{0x104, 0x1000}, 100, 2}, {{0x108, 0x1200}, 40, 1}};
        page = BlockLeafPage(layout, entries, pageBid, offset);
    } else {
        const pstformat::NBTEntry entries[] = {{0x21, 0x104, 0, 0}, {0x122, 0x108, 0x10A, 0x122}};
        page = NodeLeafPage(layout, entries, pageBid, offset);
    }
    if (offset + page.size() > image.size()) throw std::invalid_argument("page does not fit");
    std::copy(page.begin(), page.end(), image.begin() + static_cast<std::ptrdiff_t>(offset));
}

Image PlantedRandomImage(Layout layout, size_t size, uint32_t seed)
{
    std::mt19937 random(seed);
    Image image(size);
    for (auto& b : image) b = static_cast<uint8_t>(random());
    const auto below = [&random](size_t n) { return static_cast<size_t>(random() % n); };
    const size_t maxCb = pstformat::TraitsOf(layout).maxBlockData;

    // Zero runs, as unreadable sectors or unused space leave them.
    for (int i = 0; i < 4; ++i) {
        const size_t at = below(size - 9000);
        std::fill_n(image.begin() + static_cast<std::ptrdiff_t>(at), 512 + below(8000), uint8_t{0});
    }
    const auto bidOf = [&](uint64_t low) {
        const uint64_t high = layout == Layout::Ansi ? 0 : (static_cast<uint64_t>(random()) << 32);
        return (high | (static_cast<uint64_t>(random()) & ~uint64_t{3})) | low;
    };
    const auto place = [&](size_t cb) { return below(size - *pstformat::BlockStoredSize(cb, layout)); };

    for (int i = 0; i < 60; ++i) {
        const size_t cb = 1 + below(i % 3 == 0 ? maxCb : 300);
        const uint64_t at = place(cb);
        switch (i % 6) {
        case 0:
        case 1:
            PlantBlock(image, layout, at, cb, bidOf(0));
            break;
        case 2:
            PlantBlock(image, layout, at, cb, bidOf(0), PlantData::Zero);
            break;
        case 3: {
            const size_t icb = std::max<size_t>(cb, 8);
            const uint64_t iat = place(icb);
            image[iat] = static_cast<uint8_t>(1 + i % 2);
            PlantBlock(image, layout, iat, icb, bidOf(2));
            break;
        }
        case 4: {
            // Must not be taken: bid bit 0 set, or an internal block of btype 3.
            PlantBlock(image, layout, at, cb, bidOf(1));
            const size_t icb = std::max<size_t>(cb, 8);
            const uint64_t iat = place(icb);
            image[iat] = 3;
            PlantBlock(image, layout, iat, icb, bidOf(2));
            break;
        }
        default: {
            // A block inside another one's data, and a second block at the same offset
            // whose data covers the first one's trailer.
            const size_t outer = 200 + below(maxCb - 200);
            const uint64_t oat = place(outer);
            const size_t inner = 1 + below(100);
            PlantBlock(image, layout, oat + 1 + below(50), inner, bidOf(0));
            PlantBlock(image, layout, oat, outer, bidOf(0));
            PlantBlock(image, layout, oat, 1 + below(40), bidOf(0));
            break;
        }
        }
    }
    // Pages of both trees and two headers; the later header must be ignored.
    for (int i = 0; i < 3; ++i) {
        PlantPage(image, layout, below(size - 512), pstformat::PageTypeBbt, bidOf(0));
        PlantPage(image, layout, below(size - 512), pstformat::PageTypeNbt, bidOf(0));
    }
    PlantHeader(image, layout, below(size / 2), 0x1004);
    PlantHeader(image, layout, size / 2 + below(size / 2 - 600), 0x2008);
    // A small block that ends with the image.
    PlantBlock(image, layout, size - 64, 20, bidOf(0));
    return image;
}

} // namespace krv::test

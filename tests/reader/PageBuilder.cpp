// PageBuilder.cpp: sealed B-tree pages and blocks, file images and scratch files for tests.
#include "tests/reader/PageBuilder.h"

#include "pstformat/BlockTrailer.h"
#include "pstformat/PageTrailer.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <stdexcept>
#include <unistd.h>

namespace krv::test {

namespace {

// A page whose entries `write` fills; cbEnt and cEntMax are those of its type and level.
template <typename Entry, typename Writer>
Bytes SealedPage(pstformat::Layout layout, uint8_t ptype, uint8_t cLevel, std::span<const Entry> entries,
                 uint64_t pageBid, uint64_t homeOffset, Writer write)
{
    const size_t entrySize = pstformat::BTreeEntrySize(layout, ptype, cLevel);
    const uint8_t capacity = pstformat::BTreeEntryCapacity(layout, entrySize);
    if (entries.size() > capacity) throw std::invalid_argument("more entries than a page holds");
    Bytes page(pstformat::kPageSize, 0);
    for (size_t i = 0; i < entries.size(); ++i) {
        if (!write(entries[i], layout, pstformat::BTreePageEntry(std::span<uint8_t>(page), layout, i, entrySize)))
            throw std::invalid_argument("entry does not fit the layout");
    }
    const pstformat::BTreePageInfo info{static_cast<uint8_t>(entries.size()), capacity, static_cast<uint8_t>(entrySize),
                                        cLevel};
    if (!pstformat::WriteBTreePageInfo(info, layout, page) ||
        !pstformat::SealPage(page, layout, ptype, pageBid, homeOffset))
        throw std::invalid_argument("page cannot be sealed");
    return page;
}

} // namespace

Bytes IntermediatePage(pstformat::Layout layout, uint8_t ptype, uint8_t cLevel,
                       std::span<const pstformat::BTEntry> entries, uint64_t pageBid, uint64_t homeOffset)
{
    if (cLevel == 0) throw std::invalid_argument("an intermediate page has cLevel >= 1");
    return SealedPage(layout, ptype, cLevel, entries, pageBid, homeOffset,
                      [](const pstformat::BTEntry& e, pstformat::Layout l, std::span<uint8_t> out) {
                          return pstformat::WriteBTEntry(e, l, out);
                      });
}

Bytes BlockLeafPage(pstformat::Layout layout, std::span<const pstformat::BBTEntry> entries, uint64_t pageBid,
                    uint64_t homeOffset)
{
    return SealedPage(layout, pstformat::PageTypeBbt, 0, entries, pageBid, homeOffset,
                      [](const pstformat::BBTEntry& e, pstformat::Layout l, std::span<uint8_t> out) {
                          return pstformat::WriteBBTEntry(e, l, out);
                      });
}

Bytes NodeLeafPage(pstformat::Layout layout, std::span<const pstformat::NBTEntry> entries, uint64_t pageBid,
                   uint64_t homeOffset)
{
    return SealedPage(layout, pstformat::PageTypeNbt, 0, entries, pageBid, homeOffset,
                      [](const pstformat::NBTEntry& e, pstformat::Layout l, std::span<uint8_t> out) {
                          return pstformat::WriteNBTEntry(e, l, out);
                      });
}

Bytes Block(pstformat::Layout layout, std::span<const uint8_t> data, uint64_t bid, uint64_t homeOffset)
{
    const auto stored = pstformat::BlockStoredSize(data.size(), layout);
    if (!stored) throw std::invalid_argument("block data too long");
    Bytes block(*stored, 0);
    std::copy(data.begin(), data.end(), block.begin());
    if (!pstformat::SealBlock(block, data.size(), bid, homeOffset, layout))
        throw std::invalid_argument("block cannot be sealed");
    return block;
}

void FileImage::Place(uint64_t offset, std::span<const uint8_t> bytes)
{
    const size_t at = static_cast<size_t>(offset);
    if (m_bytes.size() < at + bytes.size()) m_bytes.resize(at + bytes.size(), 0);
    std::copy(bytes.begin(), bytes.end(), m_bytes.begin() + static_cast<std::ptrdiff_t>(at));
}

ScratchFile::ScratchFile(std::span<const uint8_t> bytes)
{
    const char* base = std::getenv("TMPDIR");
    std::string templ = std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/krv-reader-XXXXXX";
    const int fd = ::mkstemp(templ.data());
    if (fd < 0) throw std::runtime_error("mkstemp failed");
    ::close(fd);
    m_path = templ;
    std::ofstream out(m_path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) {
        std::remove(m_path.c_str());
        throw std::runtime_error("cannot write " + m_path);
    }
}

ScratchFile::~ScratchFile() { std::remove(m_path.c_str()); }

} // namespace krv::test

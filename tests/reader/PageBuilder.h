// PageBuilder.h: byte-built B-tree pages, blocks and file images for the reader tests.
//
// Every page and block is sealed (trailer, signature, CRC) for a home offset. Placing the
// bytes at that offset gives a sound item; placing a copy anywhere else gives what a stale
// copy or a fragment looks like: valid on its own, with a signature that no longer matches
// where it lies.
#ifndef KRV_TESTS_READER_PAGEBUILDER_H
#define KRV_TESTS_READER_PAGEBUILDER_H

#include "pstformat/BTreePage.h"
#include "pstformat/Layout.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace krv::test {

using Bytes = std::vector<uint8_t>;

// A page of BTENTRYs at cLevel >= 1, of the node (0x81) or block (0x80) tree.
Bytes IntermediatePage(pstformat::Layout layout, uint8_t ptype, uint8_t cLevel,
                       std::span<const pstformat::BTEntry> entries, uint64_t pageBid, uint64_t homeOffset);
// A block-tree leaf page (cLevel 0, ptype 0x80).
Bytes BlockLeafPage(pstformat::Layout layout, std::span<const pstformat::BBTEntry> entries, uint64_t pageBid,
                    uint64_t homeOffset);
// A node-tree leaf page (cLevel 0, ptype 0x81).
Bytes NodeLeafPage(pstformat::Layout layout, std::span<const pstformat::NBTEntry> entries, uint64_t pageBid,
                   uint64_t homeOffset);
// A block of the given data, stored size rounded up to 64 bytes.
Bytes Block(pstformat::Layout layout, std::span<const uint8_t> data, uint64_t bid, uint64_t homeOffset);

// The bytes of a file under construction; gaps are zeros.
class FileImage {
public:
    void Place(uint64_t offset, std::span<const uint8_t> bytes);
    const Bytes& Contents() const { return m_bytes; }
    size_t Size() const { return m_bytes.size(); }

private:
    Bytes m_bytes;
};

// A temporary file holding given bytes, removed when the object goes.
class ScratchFile {
public:
    explicit ScratchFile(std::span<const uint8_t> bytes);
    ~ScratchFile();
    ScratchFile(const ScratchFile&) = delete;
    ScratchFile& operator=(const ScratchFile&) = delete;

    const std::string& Path() const { return m_path; }

private:
    std::string m_path;
};

} // namespace krv::test

#endif

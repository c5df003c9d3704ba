// StoreImage.h: the file under check and the facts of its header that every check reads.
#ifndef KRV_TOOLS_KRVPSTCHECK_STOREIMAGE_H
#define KRV_TOOLS_KRVPSTCHECK_STOREIMAGE_H

#include "pstformat/Encoding.h"
#include "pstformat/Header.h"
#include "pstformat/Layout.h"
#include "tools/krv-pstcheck/StoreFile.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace krv::pstcheck {

struct StoreImage {
    const StoreFile* file = nullptr;
    uint64_t size = 0; // the file's, as opened
    pstformat::Layout layout = pstformat::Layout::Unicode;
    const pstformat::LayoutTraits* traits = &pstformat::kUnicode;
    pstformat::Header header;
    // An offline store ("SO"): the server copy is the master, and a few rules differ.
    bool isOst = false;
    // How data blocks are encoded; Unknown when the header names no known method.
    pstformat::BlockEncoding encoding = pstformat::BlockEncoding::Unknown;

    // As StoreFile::Read.
    [[nodiscard]] std::optional<std::vector<uint8_t>> Read(uint64_t offset, size_t length) const
    {
        return file == nullptr ? std::nullopt : file->Read(offset, length);
    }
};

} // namespace krv::pstcheck

#endif

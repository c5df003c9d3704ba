// StoreImage.h: the file under check and the facts of its header that every check reads.
#ifndef KRV_TOOLS_KRVPSTCHECK_STOREIMAGE_H
#define KRV_TOOLS_KRVPSTCHECK_STOREIMAGE_H

#include "pstformat/Encoding.h"
#include "pstformat/Header.h"
#include "pstformat/Layout.h"

#include <cstdint>
#include <span>

namespace krv::pstcheck {

struct StoreImage {
    std::span<const uint8_t> bytes;
    pstformat::Layout layout = pstformat::Layout::Unicode;
    const pstformat::LayoutTraits* traits = &pstformat::kUnicode;
    pstformat::Header header;
    // An offline store ("SO"): the server copy is the master, and a few rules differ.
    bool isOst = false;
    // How data blocks are encoded; Unknown when the header names no known method.
    pstformat::BlockEncoding encoding = pstformat::BlockEncoding::Unknown;
};

} // namespace krv::pstcheck

#endif

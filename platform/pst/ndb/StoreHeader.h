// StoreHeader.h: the header fields of a store written here, from the writer's state.
#ifndef KRV_PLATFORM_PST_NDB_STOREHEADER_H
#define KRV_PLATFORM_PST_NDB_STOREHEADER_H

#include "pstformat/Header.h"
#include "pstformat/Layout.h"

#include <array>
#include <cstdint>

namespace krv::pst {

struct StoreHeaderState {
    pstformat::Layout layout = pstformat::Layout::Unicode;
    uint8_t cryptMethod = 0;
    uint64_t bidNextB = 0;
    uint64_t bidNextP = 0;
    uint32_t dwUnique = 0;
    std::array<uint32_t, 32> rgnid{};
    pstformat::Root root;
};

// A header as Outlook writes one: "SM", version 14 (ANSI) or 23 (Unicode), client version
// 19, platform bytes 0x01, the deprecated free maps all 0xFF, sentinel 0x80; the rest from
// `state`. The CRCs are computed when it is written (pstformat::WriteHeader).
[[nodiscard]] pstformat::Header BuildStoreHeader(const StoreHeaderState& state);

} // namespace krv::pst

#endif

// CompressedRtf.h: RTF text in the LZFu form that PR_RTF_COMPRESSED holds.
#ifndef KRV_TOOLS_KRVMKPST_COMPRESSEDRTF_H
#define KRV_TOOLS_KRVMKPST_COMPRESSEDRTF_H

#include <cstdint>
#include <string_view>
#include <vector>

namespace krv::mkpst {

// The 16-byte header (sizes, "LZFu", the CRC of what follows) and runs of literal tokens
// closed by the end reference. Readers accept literals only; finding matches would make
// the property smaller, which a generator of test stores does not need.
[[nodiscard]] std::vector<uint8_t> CompressRtf(std::string_view rtf);

} // namespace krv::mkpst

#endif

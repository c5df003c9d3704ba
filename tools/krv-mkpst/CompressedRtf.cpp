// CompressedRtf.cpp: the literal-only LZFu writer.
#include "tools/krv-mkpst/CompressedRtf.h"

#include "pstformat/Crc.h"

namespace krv::mkpst {
namespace {

constexpr size_t kDictionarySize = 4096;
// Readers start with the dictionary filled by a fixed RTF prefix of this length, so the
// first byte written lands at this position.
constexpr size_t kPrefixLength = 207;
constexpr uint32_t kCompressedMagic = 0x75465A4C; // "LZFu"

void PutLe32(std::vector<uint8_t>& out, size_t at, uint32_t value)
{
    for (int k = 0; k < 4; ++k) out[at + k] = static_cast<uint8_t>(value >> (8 * k));
}

} // namespace

std::vector<uint8_t> CompressRtf(std::string_view rtf)
{
    std::vector<uint8_t> out(16);
    out.reserve(16 + rtf.size() + rtf.size() / 8 + 4);
    size_t write = kPrefixLength;
    size_t next = 0;
    for (bool ended = false; !ended;) {
        const size_t control = out.size();
        out.push_back(0);
        for (int token = 0; token < 8; ++token) {
            if (next < rtf.size()) {
                out.push_back(static_cast<uint8_t>(rtf[next++]));
                write = (write + 1) % kDictionarySize;
                continue;
            }
            // The end is a reference (control bit set) to the position the next byte would be
            // written at, big-endian: offset in the high 12 bits, length 0.
            out[control] = static_cast<uint8_t>(out[control] | (1u << token));
            const auto reference = static_cast<uint16_t>(write << 4);
            out.push_back(static_cast<uint8_t>(reference >> 8));
            out.push_back(static_cast<uint8_t>(reference & 0xFF));
            ended = true;
            break;
        }
    }
    const size_t contents = out.size() - 16;
    PutLe32(out, 0, static_cast<uint32_t>(contents + 12)); // COMPSIZE counts the header's last 12 bytes
    PutLe32(out, 4, static_cast<uint32_t>(rtf.size()));
    PutLe32(out, 8, kCompressedMagic);
    PutLe32(out, 12, pstformat::ComputeCrc(0, out.data() + 16, contents));
    return out;
}

} // namespace krv::mkpst

// ReaderLayout.h: the reader's own numbers per layout, on top of the format's sizes.
//
// How much of a header it examines and how the probe and the fast scan step.
//
// The format's sizes and offsets live in pstformat/Layout.h; these are the choices the
// damage-tolerant reader makes on top of them.
#ifndef KRV_ENGINE_READER_READERLAYOUT_H
#define KRV_ENGINE_READER_READERLAYOUT_H

#include "pstformat/Layout.h"

#include <cstddef>
#include <cstdint>

namespace krv {

struct ReaderLayout {
    // Header bytes examined and kept: through the end of the partial CRC's range (32-bit)
    // or three bytes past the full CRC (64-bit); both root BREFs lie inside.
    size_t headerLength;
    // The probe reads this many bytes per position and stops when fewer than probeMinimum
    // remain: enough for a header (32-bit) or a page (64-bit).
    size_t probeWindow;
    size_t probeMinimum;
    // The fast scan jumps over the non-zero part of these prefixes of a page or a header.
    size_t pageStepPrefix;
    size_t headerStepPrefix;
};

inline constexpr ReaderLayout kAnsiReader{479, 512, 479, 500, 479};
inline constexpr ReaderLayout kUnicodeReader{531, 531, 512, 496, 524};
// The 4 KiB-page layout keeps the 64-bit header; its probe looks at whole 4 KiB pages.
inline constexpr ReaderLayout kUnicode4kReader{531, 4096, 4096, 4072, 524};

[[nodiscard]] constexpr const ReaderLayout& ReaderLayoutOf(pstformat::Layout layout)
{
    switch (layout) {
    case pstformat::Layout::Ansi:
        return kAnsiReader;
    case pstformat::Layout::Unicode:
        return kUnicodeReader;
    case pstformat::Layout::Unicode4k:
        return kUnicode4kReader;
    }
    return kUnicodeReader;
}

} // namespace krv

#endif

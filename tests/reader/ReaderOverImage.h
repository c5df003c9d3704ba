// ReaderOverImage.h: a reader of one layout over a byte image written to a scratch file.
#ifndef KRV_TESTS_READER_READEROVERIMAGE_H
#define KRV_TESTS_READER_READEROVERIMAGE_H

#include "engine/file/CFile64Ex.h"
#include "engine/reader/LayoutPstReader.h"
#include "tests/reader/PageBuilder.h"
#include "tests/reader/TestReaderHost.h"

#include <memory>
#include <span>
#include <stdexcept>

namespace krv::test {

// The reader of `layout` over an open source.
inline std::unique_ptr<LayoutPstReader> ReaderOfLayout(pstformat::Layout layout, ReaderHost& host, CFile64Ex& file)
{
    if (layout == pstformat::Layout::Ansi) return std::make_unique<AnsiPstReader>(host, file);
    if (layout == pstformat::Layout::Unicode4k) return std::make_unique<Unicode4kPstReader>(host, file);
    return std::make_unique<UnicodePstReader>(host, file);
}

class ReaderOverImage {
public:
    ReaderOverImage(std::span<const uint8_t> image, pstformat::Layout layout, bool fast = false,
                    bool ignoreZero = false)
        : m_file(image), host(fast, ignoreZero)
    {
        if (!m_source.Open(m_file.Path(), modeRead | shareDenyWrite)) throw std::runtime_error("cannot open image");
        reader = ReaderOfLayout(layout, host, m_source);
    }

    // Scan options off: the form the ranking tests use.
    ReaderOverImage(pstformat::Layout layout, std::span<const uint8_t> image) : ReaderOverImage(image, layout) {}

    CFile64Ex& Source() { return m_source; }
    LayoutPstReader& Reader() { return *reader; }

private:
    ScratchFile m_file;
    CFile64Ex m_source;

public:
    TestReaderHost host;
    std::unique_ptr<LayoutPstReader> reader;
};

} // namespace krv::test

#endif

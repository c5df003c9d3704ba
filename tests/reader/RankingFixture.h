// RankingFixture.h: a reader of either layout over a byte-built file, for the ranking tests.
#ifndef KRV_TESTS_READER_RANKINGFIXTURE_H
#define KRV_TESTS_READER_RANKINGFIXTURE_H

#include "engine/file/CFile64Ex.h"
#include "engine/reader/LayoutPstReader.h"
#include "tests/reader/PageBuilder.h"
#include "tests/reader/TestReaderHost.h"

#include <memory>
#include <span>
#include <stdexcept>
#include <string>

namespace krv::test {

// Owns the scratch file, the open source and the reader, in the order they must go.
class ReaderOverImage {
public:
    ReaderOverImage(pstformat::Layout layout, std::span<const uint8_t> image) : m_scratch(image)
    {
        if (!m_file.Open(m_scratch.Path(), modeRead | shareDenyWrite | typeBinary))
            throw std::runtime_error("cannot open " + m_scratch.Path());
        if (layout == pstformat::Layout::Ansi) m_reader = std::make_unique<AnsiPstReader>(m_host, m_file);
        else m_reader = std::make_unique<UnicodePstReader>(m_host, m_file);
    }

    LayoutPstReader& Reader() { return *m_reader; }

private:
    ScratchFile m_scratch;
    CFile64Ex m_file;
    TestReaderHost m_host;
    std::unique_ptr<LayoutPstReader> m_reader;
};

inline const char* LayoutName(pstformat::Layout layout)
{
    return layout == pstformat::Layout::Ansi ? "Ansi" : "Unicode";
}

} // namespace krv::test

#endif

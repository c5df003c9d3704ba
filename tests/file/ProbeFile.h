// ProbeFile.h: a source file for tests that watches its disk reads and can fail some.
//
// Every read that reaches the operating system is logged; reads that touch a chosen byte
// range fail with EIO, as a bad sector answers, so that the file layer delivers the
// sectors there as zeros; and the sector size can be pretended.
#ifndef KRV_TESTS_FILE_PROBEFILE_H
#define KRV_TESTS_FILE_PROBEFILE_H

#include "engine/file/CFile64Ex.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace krv::test {

class ProbeFile : public CFile64Ex {
public:
    struct Call {
        uint64_t offset;
        size_t count;
    };
    struct Range {
        uint64_t begin;
        uint64_t end;
    };

    explicit ProbeFile(uint32_t bufferSize = 0, std::optional<uint32_t> sector = std::nullopt);

    std::vector<Call> calls;
    std::vector<Range> bad;

protected:
    ssize_t SysRead(void* buffer, size_t count) override;
    uint32_t QuerySectorSize() const override;

private:
    std::optional<uint32_t> m_sector;
};

} // namespace krv::test

#endif

// MappedFile.h: a store file mapped read-only, so that tests can check stores of several
// gigabytes whose bytes are mostly holes without reading them into memory.
#ifndef KRV_TESTS_SUPPORT_MAPPEDFILE_H
#define KRV_TESTS_SUPPORT_MAPPEDFILE_H

#include <cstdint>
#include <span>
#include <string>

namespace krv::test {

class MappedFile {
public:
    // Maps the whole file; Bytes() is empty when it cannot be opened or is empty.
    explicit MappedFile(const std::string& path);
    ~MappedFile();
    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;

    [[nodiscard]] std::span<const uint8_t> Bytes() const { return {m_data, m_size}; }

private:
    const uint8_t* m_data = nullptr;
    size_t m_size = 0;
};

} // namespace krv::test

#endif

// FileImage.h: a whole file mapped read-only into memory, for checks that jump around in it.
#ifndef KRV_TOOLS_KRVPSTCHECK_FILEIMAGE_H
#define KRV_TOOLS_KRVPSTCHECK_FILEIMAGE_H

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace krv::pstcheck {

class FileImage {
public:
    FileImage() = default;
    ~FileImage();
    FileImage(const FileImage&) = delete;
    FileImage& operator=(const FileImage&) = delete;

    // Maps the file; false with `error` set when it cannot be opened or mapped. An empty
    // file opens and maps to no bytes.
    [[nodiscard]] bool Open(const std::string& path, std::string& error);

    [[nodiscard]] std::span<const uint8_t> Bytes() const { return {m_data, m_size}; }

private:
    const uint8_t* m_data = nullptr;
    size_t m_size = 0;
};

} // namespace krv::pstcheck

#endif

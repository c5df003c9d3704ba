// StoreFile.h: the file under check, read through one bounded window instead of mapped
// whole: a store of any size costs the checker the same few pages of memory, and a file
// that shrinks while it is checked gives short reads, which are reported, not a SIGBUS.
#ifndef KRV_TOOLS_KRVPSTCHECK_STOREFILE_H
#define KRV_TOOLS_KRVPSTCHECK_STOREFILE_H

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace krv::pstcheck {

class StoreFile {
public:
    // Bytes read from each request on. The checks visit blocks in B-tree and node order,
    // not file order, so a miss costs one read of this size: 32 KiB serves the neighbours
    // that do follow (a node's blocks, a page's entries) without reading much in vain.
    static constexpr size_t kWindowSize = size_t{1} << 15;

    StoreFile() = default;
    ~StoreFile();
    StoreFile(const StoreFile&) = delete;
    StoreFile& operator=(const StoreFile&) = delete;

    // Opens a regular file for reading; false with `error` set when it cannot be opened or
    // is no regular file (a named pipe, a device, a directory).
    [[nodiscard]] bool Open(const std::string& path, std::string& error);

    // The file's size when it was opened: the size every check holds it to.
    [[nodiscard]] uint64_t Size() const { return m_size; }

    // The bytes [offset, offset + length); none when they lie past Size() or the file no
    // longer holds them all.
    [[nodiscard]] std::optional<std::vector<uint8_t>> Read(uint64_t offset, size_t length) const;

    // Where the first read came back short: the file shrank, or could not be read, while
    // it was being checked.
    [[nodiscard]] std::optional<uint64_t> ShortReadAt() const { return m_shortReadAt; }

private:
    // Reads up to `length` bytes at `offset` into `out`; the count read.
    size_t ReadAt(uint64_t offset, uint8_t* out, size_t length) const;

    int m_fd = -1;
    uint64_t m_size = 0;
    mutable std::vector<uint8_t> m_window;
    mutable uint64_t m_windowStart = 0;
    mutable std::optional<uint64_t> m_shortReadAt;
};

} // namespace krv::pstcheck

#endif

// FuzzSource.h: the one file every fuzz input is written to before a reader opens it.
//
// The reader reaches its source only through a path, so each input must become a file. An
// in-memory file (memfd) made once per process and rewritten per input keeps that cheap;
// where memfd is missing a temporary file on disk does the same job.
#ifndef KRV_FUZZ_FUZZSOURCE_H
#define KRV_FUZZ_FUZZSOURCE_H

#include <cstdint>
#include <span>
#include <string>

namespace krv::fuzz {

class FuzzSource {
public:
    FuzzSource();
    ~FuzzSource();
    FuzzSource(const FuzzSource&) = delete;
    FuzzSource& operator=(const FuzzSource&) = delete;

    // Replaces the whole contents; false when the file could not be made or written.
    [[nodiscard]] bool Write(std::span<const uint8_t> bytes);
    // A path that opens the current contents.
    const std::string& Path() const { return m_path; }

private:
    int m_fd = -1;
    bool m_unlinkAtEnd = false;
    std::string m_path;
};

// The process's one source; made on first use.
FuzzSource& SharedFuzzSource();

} // namespace krv::fuzz

#endif

// DamagedCopy.h: a damaged copy of a mail store, made by the krv-damage tool, removed when the object goes.
#ifndef KRV_TESTS_READER_DAMAGEDCOPY_H
#define KRV_TESTS_READER_DAMAGEDCOPY_H

#include <cstdint>
#include <string>
#include <vector>

namespace krv::test {

class DamagedCopy {
public:
    // Runs `tool SOURCE COPY args...`; Made() tells whether it succeeded.
    DamagedCopy(const std::string& tool, const std::string& source, const std::vector<std::string>& args);
    ~DamagedCopy();
    DamagedCopy(const DamagedCopy&) = delete;
    DamagedCopy& operator=(const DamagedCopy&) = delete;

    bool Made() const { return m_made; }
    // What went wrong when the copy was not made: the exit code and what the tool printed.
    const std::string& Error() const { return m_error; }
    const std::string& Path() const { return m_path; }
    // The copy's bytes, read once it is made.
    const std::vector<uint8_t>& Bytes() const { return m_bytes; }

private:
    std::string m_path;
    std::vector<uint8_t> m_bytes;
    std::string m_error;
    bool m_made = false;
};

} // namespace krv::test

#endif

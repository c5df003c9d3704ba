// FileFixture.h: scratch directories and files with recognisable bytes for the file tests.
#ifndef KRV_TESTS_FILE_FILEFIXTURE_H
#define KRV_TESTS_FILE_FILEFIXTURE_H

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

namespace krv::test {

// The byte at offset i of a pattern file. A multiplicative hash rather than i & 0xFF, so
// that bytes delivered from a wrong offset (even one off by a multiple of 256) differ.
inline uint8_t PatternByte(uint64_t i) { return static_cast<uint8_t>(((i + 1) * 0x9E3779B97F4A7C15ull) >> 56); }

inline std::vector<uint8_t> Pattern(uint64_t from, size_t count)
{
    std::vector<uint8_t> bytes(count);
    for (size_t i = 0; i < count; ++i) bytes[i] = PatternByte(from + i);
    return bytes;
}

inline void WriteBytes(const std::filesystem::path& path, const std::vector<uint8_t>& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    ASSERT_TRUE(out.good()) << path;
}

inline std::vector<uint8_t> ReadBytes(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A fresh directory under $TMPDIR (or /tmp), removed with everything in it at the end.
class ScratchDir {
public:
    ScratchDir()
    {
        const char* base = std::getenv("TMPDIR");
        std::string templ = std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/krv-file-XXXXXX";
        if (::mkdtemp(templ.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
        m_path = templ;
    }
    ~ScratchDir()
    {
        std::error_code ec;
        std::filesystem::remove_all(m_path, ec);
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    const std::filesystem::path& Path() const { return m_path; }
    std::string File(const std::string& name) const { return (m_path / name).string(); }

    // A file of `size` pattern bytes.
    std::string PatternFile(const std::string& name, size_t size) const
    {
        const std::string path = File(name);
        WriteBytes(path, Pattern(0, size));
        return path;
    }

private:
    std::filesystem::path m_path;
};

} // namespace krv::test

#endif

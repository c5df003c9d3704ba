// StoreFileTest.cpp: the checker's bounded reads give the file's bytes, refuse what lies
// past its end, and report, instead of dying of, a file that shrinks under them.
#include "tools/krv-pstcheck/StoreFile.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace krv::test {
namespace {

using pstcheck::StoreFile;

class StoreFileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        const char* dir = std::getenv("TMPDIR");
        std::string name = std::string(dir != nullptr && *dir != '\0' ? dir : "/tmp") + "/krv-storefile-XXXXXX";
        const int fd = ::mkstemp(name.data());
        ASSERT_GE(fd, 0);
        ::close(fd);
        m_path = name;
        // Three and a half windows of bytes that differ from offset to offset.
        m_bytes.resize(StoreFile::kWindowSize * 7 / 2);
        for (size_t i = 0; i < m_bytes.size(); ++i) m_bytes[i] = static_cast<uint8_t>((i * 131 + i / 251) & 0xFF);
        std::ofstream(m_path, std::ios::binary)
            .write(reinterpret_cast<const char*>(m_bytes.data()), static_cast<std::streamsize>(m_bytes.size()));
    }
    void TearDown() override { std::remove(m_path.c_str()); }

    std::vector<uint8_t> Expected(uint64_t offset, size_t length) const
    {
        return {m_bytes.begin() + static_cast<std::ptrdiff_t>(offset),
                m_bytes.begin() + static_cast<std::ptrdiff_t>(offset + length)};
    }

    std::string m_path;
    std::vector<uint8_t> m_bytes;
};

TEST_F(StoreFileTest, ReadsGiveTheFilesBytesAnywhereAndNothingPastTheEnd)
{
    StoreFile file;
    std::string error;
    ASSERT_TRUE(file.Open(m_path, error)) << error;
    ASSERT_EQ(file.Size(), m_bytes.size());
    const uint64_t window = StoreFile::kWindowSize;
    struct Case {
        uint64_t offset;
        size_t length;
    };
    // In file order, backwards, across a window's end, larger than a window, at the end.
    const Case cases[] = {{0, 512},
                          {512, 8192},
                          {window - 100, 512},
                          {17, 1},
                          {window * 2, 4096},
                          {window - 1, window + 2},
                          {m_bytes.size() - 512, 512},
                          {0, m_bytes.size()},
                          {m_bytes.size(), 0}};
    for (const Case& c : cases) {
        const auto bytes = file.Read(c.offset, c.length);
        ASSERT_TRUE(bytes.has_value()) << c.offset << "+" << c.length;
        EXPECT_EQ(*bytes, Expected(c.offset, c.length)) << c.offset << "+" << c.length;
    }
    const Case past[] = {{m_bytes.size() - 511, 512}, {m_bytes.size() + 1, 0}, {UINT64_MAX - 10, 512}};
    for (const Case& c : past) EXPECT_FALSE(file.Read(c.offset, c.length).has_value()) << c.offset;
    EXPECT_FALSE(file.ShortReadAt().has_value());
}

TEST_F(StoreFileTest, AFileThatShrinksUnderTheReadsGivesShortReadsThatAreReported)
{
    StoreFile file;
    std::string error;
    ASSERT_TRUE(file.Open(m_path, error)) << error;
    ASSERT_TRUE(file.Read(0, 512).has_value());
    const uint64_t cut = StoreFile::kWindowSize * 2;
    ASSERT_EQ(::truncate(m_path.c_str(), static_cast<off_t>(cut)), 0);

    // What was read ahead before the cut still answers; what lies past the cut does not.
    EXPECT_EQ(file.Read(4096, 512), Expected(4096, 512));
    EXPECT_FALSE(file.Read(cut + 4096, 512).has_value());
    EXPECT_EQ(file.ShortReadAt(), cut + 4096);
    // A read larger than the window, across the cut, and the first short read stays named.
    EXPECT_FALSE(file.Read(cut - 10, StoreFile::kWindowSize + 20).has_value());
    EXPECT_EQ(file.ShortReadAt(), cut + 4096);
    // Below the cut the file is still read.
    EXPECT_EQ(file.Read(cut - 512, 512), Expected(cut - 512, 512));
}

TEST_F(StoreFileTest, OnlyRegularFilesOpen)
{
    const std::string fifo = m_path + ".fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    for (const std::string& path : {fifo, std::string("/tmp"), m_path + ".missing"}) {
        StoreFile file;
        std::string error;
        EXPECT_FALSE(file.Open(path, error)) << path;
        EXPECT_NE(error.find(path), std::string::npos) << error;
        EXPECT_FALSE(file.Read(0, 1).has_value());
    }
    std::remove(fifo.c_str());
}

} // namespace
} // namespace krv::test

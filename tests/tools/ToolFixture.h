// ToolFixture.h: a scratch folder per test, corpus lookup and whole-file helpers for the
// tests that run the developer tools as child processes.
#ifndef KRV_TESTS_TOOLS_TOOLFIXTURE_H
#define KRV_TESTS_TOOLS_TOOLFIXTURE_H

#include "tests/support/CorpusFiles.h"
#include "tests/support/ToolRun.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace krv::test {

// Two small sound stores, one per layout.
inline const char* const kAnsiStore = "pstsdk-test_ansi.pst";
inline const char* const kUnicodeStore = "pstsdk-test_unicode.pst";

class ToolFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "krv-tools-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        m_dir = pattern;
    }
    void TearDown() override
    {
        std::error_code ec;
        std::filesystem::remove_all(m_dir, ec);
    }

    std::string Scratch(const std::string& name) const { return (m_dir / name).string(); }

    // The corpus file's path, or empty when the corpus (or that file) is absent.
    static std::string Corpus(const std::string& name)
    {
        const std::filesystem::path path = std::filesystem::path(KRV_CORPUS_DIR) / name;
        return std::filesystem::is_regular_file(path) ? path.string() : std::string();
    }

    static ToolResult Damage(const std::string& in, const std::string& out, std::vector<std::string> options)
    {
        options.insert(options.begin(), {in, out});
        return RunTool(KRV_BIN_DIR "/krv-damage", options);
    }

    static void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes)
    {
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }

    static bool Exists(const std::string& path) { return std::filesystem::exists(path); }

private:
    std::filesystem::path m_dir;
};

#define KRV_CORPUS_FILE_OR_SKIP(var, name)                                                                             \
    const std::string var = Corpus(name);                                                                              \
    if (var.empty()) GTEST_SKIP() << "corpus file " << (name) << " absent under " KRV_CORPUS_DIR

} // namespace krv::test

#endif

// CliFixture.h: a scratch folder per test, with the program's temporary and state folders
// inside it so that anything krv-repair leaves behind can be seen, and the sample store.
#ifndef KRV_TESTS_CLI_CLIFIXTURE_H
#define KRV_TESTS_CLI_CLIFIXTURE_H

#include "tests/cli/CliProcess.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace krv::test {

// The damaged store of the README's first command.
inline const char* const kSample = KRV_SOURCE_DIR "/samples/sample-damaged.pst";

class CliFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "krv-cli-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        m_dir = pattern;
        std::filesystem::create_directories(m_dir / "tmp");
        std::filesystem::create_directories(m_dir / "state");
    }
    void TearDown() override
    {
        std::error_code ec;
        std::filesystem::permissions(m_dir, std::filesystem::perms::owner_all, ec);
        std::filesystem::remove_all(m_dir, ec);
    }

    std::string Scratch(const std::string& name) const { return (m_dir / name).string(); }

    // The call with the program's temporary files and profiles kept in the scratch folder.
    CliCall Call(std::vector<std::string> args) const
    {
        CliCall call;
        call.args = std::move(args);
        call.env["TMPDIR"] = Scratch("tmp");
        call.env["XDG_STATE_HOME"] = Scratch("state");
        call.env["KRV_CODEPAGE"] = "";
        return call;
    }
    CliResult Run(std::vector<std::string> args) const { return RunCli(Call(std::move(args))); }

    // A copy of the sample under the scratch folder.
    std::string CopySample(const std::string& name) const
    {
        const std::string path = Scratch(name);
        std::filesystem::copy_file(kSample, path, std::filesystem::copy_options::overwrite_existing);
        return path;
    }

    // What krv-repair left in the temporary and state folders (a scratch folder, a profile
    // or its lock's companions): empty after every run, orderly or not.
    std::vector<std::string> LeftBehind() const
    {
        std::vector<std::string> found;
        std::error_code ec;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(m_dir / "tmp", ec))
            found.push_back(entry.path().string());
        const auto profiles = m_dir / "state" / "corvessa" / "profiles";
        for (const auto& entry : std::filesystem::directory_iterator(profiles, ec))
            if (entry.path().filename() != ".lock") found.push_back(entry.path().string());
        return found;
    }

    static std::string ReadFile(const std::string& path)
    {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    static void WriteFile(const std::string& path, const std::string& bytes)
    {
        std::ofstream(path, std::ios::binary) << bytes;
    }
    static bool Exists(const std::string& path)
    {
        std::error_code ec;
        return std::filesystem::exists(std::filesystem::symlink_status(path, ec));
    }

private:
    std::filesystem::path m_dir;
};

} // namespace krv::test

#endif

// TempFileTest.cpp: temporary file names, their directory and their removal.
#include "platform/os/TempFile.h"

#include "tests/platform/ScopedEnv.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace krv {
namespace {

namespace fs = std::filesystem;
using test::ScopedEnv;

// A private directory for one test, removed with its contents afterwards.
class TempFileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string pattern = (fs::temp_directory_path() / "krv-tempfile-test-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
    }
    void TearDown() override
    {
        std::error_code ec;
        fs::permissions(dir_, fs::perms::owner_all, ec);
        fs::remove_all(dir_, ec);
    }
    fs::path dir_;
};

TEST_F(TempFileTest, CreatesAnEmptyKrvFileInTmpdirAndRemovesIt)
{
    ScopedEnv env("TMPDIR", dir_.string() + "/");
    std::string path;
    {
        int error = -1;
        std::optional<TempFile> file = TempFile::Create(&error);
        ASSERT_TRUE(file.has_value());
        EXPECT_EQ(error, 0);
        path = file->Path();
        EXPECT_EQ(fs::path(path).parent_path(), dir_);
        const std::string name = fs::path(path).filename().string();
        EXPECT_EQ(name.rfind("KRV", 0), 0u) << name;
        EXPECT_EQ(name.size(), 9u) << name;
        EXPECT_TRUE(fs::is_regular_file(path));
        EXPECT_EQ(fs::file_size(path), 0u);

        std::optional<TempFile> second = TempFile::Create();
        ASSERT_TRUE(second.has_value());
        EXPECT_NE(second->Path(), path);
    }
    EXPECT_FALSE(fs::exists(path));
    EXPECT_TRUE(fs::is_empty(dir_));
}

TEST_F(TempFileTest, DirectoryFallsBackToTmp)
{
    {
        ScopedEnv env("TMPDIR", std::nullopt);
        EXPECT_EQ(TempDirectory(), "/tmp");
    }
    {
        ScopedEnv env("TMPDIR", (dir_ / "does-not-exist").string());
        EXPECT_EQ(TempDirectory(), "/tmp");
    }
    {
        ScopedEnv env("TMPDIR", "");
        EXPECT_EQ(TempDirectory(), "/tmp");
    }
    {
        ScopedEnv env("TMPDIR", dir_.string() + "//");
        EXPECT_EQ(TempDirectory(), dir_.string());
    }
}

TEST_F(TempFileTest, ReleasedAndMovedFilesAreRemovedExactlyOnce)
{
    ScopedEnv env("TMPDIR", dir_.string());
    std::string kept;
    std::string moved;
    {
        std::optional<TempFile> file = TempFile::Create();
        ASSERT_TRUE(file.has_value());
        kept = file->Release();
        EXPECT_TRUE(file->Path().empty());

        std::optional<TempFile> source = TempFile::Create();
        ASSERT_TRUE(source.has_value());
        moved = source->Path();
        TempFile target = std::move(*source);
        source.reset(); // the moved-from owner must not remove the file
        EXPECT_TRUE(fs::exists(moved));
        EXPECT_EQ(target.Path(), moved);
    }
    EXPECT_TRUE(fs::exists(kept));
    EXPECT_FALSE(fs::exists(moved));
    fs::remove(kept);
}

TEST_F(TempFileTest, ReportsErrnoWhenTheDirectoryIsNotWritable)
{
    if (::geteuid() == 0) GTEST_SKIP() << "root writes into read-only directories";
    fs::permissions(dir_, fs::perms::owner_read | fs::perms::owner_exec);
    ScopedEnv env("TMPDIR", dir_.string());
    int error = 0;
    EXPECT_FALSE(TempFile::Create(&error).has_value());
    EXPECT_EQ(error, EACCES);
}

} // namespace
} // namespace krv

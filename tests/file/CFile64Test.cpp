// CFile64Test.cpp: opening, reading, writing, locking and closing through CFile64.
#include "engine/file/CFile64.h"

#include "tests/file/FileFixture.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <optional>
#include <csignal>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace krv {
namespace {

namespace fs = std::filesystem;
using test::Pattern;
using test::ReadBytes;
using test::ScratchDir;

// Lets a test reach the descriptor, to look at its flags or pull it away underneath.
class ExposedFile : public CFile64 {
public:
    int Fd() const { return m_fd; }
};

struct OpenFailureCase {
    const char* what;
    std::string path;
    uint32_t mode;
    FileCause cause;
    int err;
};

TEST(CFile64Open, FailuresFillTheRecordWithThePathAsPassed)
{
    ScratchDir dir;
    const std::string plain = dir.PatternFile("plain.bin", 10);
    fs::create_directory(dir.Path() / "sub");
    const OpenFailureCase cases[] = {
        {"missing file", dir.File("missing.pst"), modeRead | shareDenyWrite, FileCause::FileNotFound, ENOENT},
        {"missing file, relative", "no-such-dir-krv/missing.pst", modeRead, FileCause::FileNotFound, ENOENT},
        {"directory, read", dir.File("sub"), modeRead | shareDenyWrite, FileCause::IsDirectory, EISDIR},
        {"directory, write", dir.File("sub"), modeReadWrite, FileCause::IsDirectory, EISDIR},
        {"directory, create", dir.File("sub"), modeCreate | modeWrite, FileCause::IsDirectory, EISDIR},
        {"file used as directory", plain + "/x", modeRead, FileCause::BadPath, ENOTDIR},
        {"path too long", "/" + std::string(5000, 'a'), modeRead, FileCause::BadPath, ENAMETOOLONG},
        {"name too long", dir.File(std::string(300, 'n')), modeRead, FileCause::BadPath, ENAMETOOLONG},
    };
    for (const OpenFailureCase& c : cases) {
        SCOPED_TRACE(c.what);
        CFile64 file;
        CFileException error;
        EXPECT_FALSE(file.Open(c.path, c.mode, &error));
        EXPECT_FALSE(file.IsOpen());
        EXPECT_EQ(error.Cause(), c.cause);
        EXPECT_EQ(error.OsError(), c.err);
        EXPECT_EQ(error.FileName(), c.path);
        // Without a record the failure is only the answer.
        EXPECT_FALSE(file.Open(c.path, c.mode));
    }
}

TEST(CFile64Open, MissingFileTextNamesThePath)
{
    CFile64 file;
    CFileException error;
    ASSERT_FALSE(file.Open("/nonexistent-krv/mail.pst", modeRead | shareDenyWrite | typeBinary, &error));
    EXPECT_EQ(error.Description(), "/nonexistent-krv/mail.pst was not found.");
}

TEST(CFile64Open, StoresTheAbsolutePathAndItsParts)
{
    ScratchDir dir;
    const std::string path = dir.PatternFile("Mail Box.pst", 10);
    const fs::path relative = fs::relative(path, fs::current_path());
    ASSERT_TRUE(relative.is_relative());

    CFile64 file;
    ASSERT_TRUE(file.Open(relative.string(), modeRead));
    EXPECT_EQ(fs::path(file.GetFilePath()), fs::absolute(relative));
    EXPECT_EQ(file.GetFileName(), "Mail Box.pst");
    EXPECT_EQ(file.GetFileTitle(), "Mail Box.pst");
    file.Close();
    EXPECT_EQ(file.GetFilePath(), "");
}

TEST(CFile64Open, CreateAndKeepRules)
{
    ScratchDir dir;
    struct Case {
        const char* what;
        bool exists;
        uint32_t mode;
        bool opens;
        size_t sizeAfter;
    };
    const Case cases[] = {
        {"open existing keeps it", true, modeReadWrite, true, 100},
        {"open missing fails", false, modeReadWrite, false, 0},
        {"create empties existing", true, modeCreate | modeWrite, true, 0},
        {"create makes missing", false, modeCreate | modeWrite, true, 0},
        {"create and keep leaves contents", true, modeCreate | modeNoTruncate | modeReadWrite, true, 100},
        {"create and keep makes missing", false, modeCreate | modeNoTruncate | modeWrite, true, 0},
        {"temporary-file mode", true, 0x9011, true, 0},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string path = dir.File("create" + std::to_string(n++));
        if (c.exists) test::WriteBytes(path, Pattern(0, 100));
        CFile64 file;
        EXPECT_EQ(file.Open(path, c.mode), c.opens);
        if (!c.opens) {
            EXPECT_FALSE(fs::exists(path));
            continue;
        }
        EXPECT_EQ(file.GetLength(), c.sizeAfter);
        file.Close();
        EXPECT_EQ(fs::file_size(path), c.sizeAfter);
    }
}

TEST(CFile64Open, NoInheritSetsCloseOnExec)
{
    ScratchDir dir;
    const std::string path = dir.PatternFile("f", 10);
    for (const bool noInherit : {false, true}) {
        ExposedFile file;
        ASSERT_TRUE(file.Open(path, modeRead | (noInherit ? uint32_t{modeNoInherit} : 0u)));
        const int flags = ::fcntl(file.Fd(), F_GETFD);
        ASSERT_GE(flags, 0);
        EXPECT_EQ((flags & FD_CLOEXEC) != 0, noInherit);
    }
}

TEST(CFile64, WriteSeekReadRoundTrip)
{
    ScratchDir dir;
    const std::string path = dir.File("rw.bin");
    CFile64 file;
    ASSERT_TRUE(file.Open(path, modeCreate | modeReadWrite | shareExclusive));
    const std::vector<uint8_t> data = Pattern(0, 5000);
    file.Write(data.data(), data.size());
    file.Write(data.data(), 0);
    EXPECT_EQ(file.GetPosition(), 5000u);
    EXPECT_EQ(file.GetLength(), 5000u);

    EXPECT_EQ(file.Seek(-1000, seekEnd), 4000u);
    EXPECT_EQ(file.Seek(-10, seekCurrent), 3990u);
    std::vector<uint8_t> got(100);
    EXPECT_EQ(file.Read(got.data(), got.size()), 100u);
    EXPECT_EQ(got, std::vector<uint8_t>(data.begin() + 3990, data.begin() + 4090));
    EXPECT_EQ(file.Seek(4990, seekBegin), 4990u);
    EXPECT_EQ(file.Read(got.data(), got.size()), 10u);
    EXPECT_EQ(file.Read(got.data(), got.size()), 0u);
    EXPECT_EQ(file.Read(got.data(), 0), 0u);

    // A length beyond the 32-bit range: positions are 64-bit throughout.
    const uint64_t big = (uint64_t{1} << 32) + 7;
    file.SetLength(big);
    EXPECT_EQ(file.GetLength(), big);
    EXPECT_EQ(file.GetPosition(), big);
    file.SetLength(10);
    EXPECT_EQ(file.GetLength(), 10u);
    file.Flush();
    file.Close();
    EXPECT_EQ(ReadBytes(path), Pattern(0, 10));
}

TEST(CFile64, BadSeeksThrow)
{
    ScratchDir dir;
    CFile64 file;
    ASSERT_TRUE(file.Open(dir.PatternFile("f", 100), modeRead));
    for (const auto& [offset, origin] : {std::pair<int64_t, uint32_t>{-1, seekBegin}, {-101, seekEnd}, {0, 7}}) {
        try {
            file.Seek(offset, origin);
            ADD_FAILURE() << "no exception for " << offset << "/" << origin;
        } catch (const CFileException& e) {
            EXPECT_EQ(e.Cause(), FileCause::BadSeek);
            EXPECT_EQ(e.FileName(), file.GetFilePath());
        }
    }
    EXPECT_EQ(file.GetPosition(), 0u);
}

TEST(CFile64, OperationsOnAClosedFileThrowInvalidFile)
{
    CFile64 file;
    std::vector<uint8_t> buffer(10);
    auto expectInvalid = [](auto&& call) {
        try {
            call();
            ADD_FAILURE() << "no exception";
        } catch (const CFileException& e) {
            EXPECT_EQ(e.Cause(), FileCause::InvalidFile);
            EXPECT_EQ(e.OsError(), EBADF);
        }
    };
    expectInvalid([&] { file.Read(buffer.data(), buffer.size()); });
    expectInvalid([&] { file.Write(buffer.data(), buffer.size()); });
    expectInvalid([&] { file.GetLength(); });
    expectInvalid([&] { file.GetPosition(); });
    expectInvalid([&] { file.Duplicate(); });
    // Closing, aborting and flushing a closed file are no-ops.
    file.Close();
    file.Abort();
    file.Flush();
    CFileStatus status;
    EXPECT_TRUE(file.GetStatus(status));
    EXPECT_EQ(status.fullName, "");
}

// Restores the file-size limit and SIGXFSZ when the test ends, however it ends.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t limit)
    {
        ::getrlimit(RLIMIT_FSIZE, &m_saved);
        m_savedHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit lowered = m_saved;
        lowered.rlim_cur = limit;
        m_ok = ::setrlimit(RLIMIT_FSIZE, &lowered) == 0;
    }
    ~FileSizeLimit()
    {
        ::setrlimit(RLIMIT_FSIZE, &m_saved);
        std::signal(SIGXFSZ, m_savedHandler);
    }
    bool Ok() const { return m_ok; }

private:
    rlimit m_saved{};
    void (*m_savedHandler)(int) = nullptr;
    bool m_ok = false;
};

TEST(CFile64, WriteThatCannotStoreEverythingThrowsDiskFull)
{
    ScratchDir dir;
    const std::vector<uint8_t> data = Pattern(0, 10000);
    {
        // The kernel stores what fits under the limit (a short write), then refuses.
        const std::string path = dir.File("limited.bin");
        CFile64 file;
        ASSERT_TRUE(file.Open(path, modeCreate | modeWrite));
        std::optional<CFileException> caught;
        bool limited = false;
        {
            // Nothing but the write happens under the limit: test output could hit it too.
            FileSizeLimit limit(4096);
            limited = limit.Ok();
            try {
                if (limited) file.Write(data.data(), data.size());
            } catch (const CFileException& e) {
                caught = e;
            }
        }
        ASSERT_TRUE(limited);
        ASSERT_TRUE(caught.has_value());
        EXPECT_EQ(caught->Cause(), FileCause::DiskFull);
        EXPECT_EQ(caught->FileName(), file.GetFilePath());
        EXPECT_EQ(file.GetLength(), 4096u);
    }
    {
        CFile64 full;
        ASSERT_TRUE(full.Open("/dev/full", modeWrite | shareDenyNone));
        try {
            full.Write(data.data(), data.size());
            ADD_FAILURE() << "no exception";
        } catch (const CFileException& e) {
            EXPECT_EQ(e.Cause(), FileCause::DiskFull);
            EXPECT_EQ(e.OsError(), ENOSPC);
            EXPECT_EQ(e.FileName(), "/dev/full");
        }
    }
}

TEST(CFile64, FailedCloseThrowsButTheDestructorDoesNot)
{
    ScratchDir dir;
    const std::string path = dir.PatternFile("f", 10);
    {
        ExposedFile file;
        ASSERT_TRUE(file.Open(path, modeRead));
        ASSERT_EQ(::close(file.Fd()), 0); // the descriptor vanishes underneath
        try {
            file.Close();
            ADD_FAILURE() << "no exception";
        } catch (const CFileException& e) {
            EXPECT_EQ(e.Cause(), FileCause::InvalidFile);
            EXPECT_EQ(e.FileName(), fs::absolute(path).string());
        }
        EXPECT_FALSE(file.IsOpen());
        EXPECT_EQ(file.GetFilePath(), "");
    }
    {
        auto file = std::make_unique<ExposedFile>();
        ASSERT_TRUE(file->Open(path, modeRead));
        ASSERT_EQ(::close(file->Fd()), 0);
        EXPECT_NO_THROW(file.reset());
    }
    {
        ExposedFile file;
        ASSERT_TRUE(file.Open(path, modeRead));
        ASSERT_EQ(::close(file.Fd()), 0);
        EXPECT_NO_THROW(file.Abort());
        EXPECT_FALSE(file.IsOpen());
        EXPECT_EQ(file.GetFilePath(), "");
    }
}

TEST(CFile64, DuplicateSharesPositionAndShareLock)
{
    ScratchDir dir;
    const std::string path = dir.PatternFile("f", 1000);
    auto original = std::make_unique<CFile64>();
    ASSERT_TRUE(original->Open(path, modeReadWrite | shareExclusive));
    std::unique_ptr<CFile64> copy = original->Duplicate();
    ASSERT_TRUE(copy->IsOpen());
    EXPECT_EQ(copy->GetFilePath(), original->GetFilePath());

    copy->Seek(600, seekBegin);
    EXPECT_EQ(original->GetPosition(), 600u);

    // The lock belongs to the open file, not to one descriptor: it lasts while either holds it.
    original.reset();
    CFile64 reader;
    CFileException error;
    EXPECT_FALSE(reader.Open(path, modeRead | shareDenyWrite, &error));
    EXPECT_EQ(error.Cause(), FileCause::SharingViolation);
    copy.reset();
    EXPECT_TRUE(reader.Open(path, modeRead | shareDenyWrite));
}

TEST(CFile64, RangeLocks)
{
    ScratchDir dir;
    const std::string path = dir.PatternFile("f", 1000);
    CFile64 writer;
    ASSERT_TRUE(writer.Open(path, modeReadWrite | shareDenyNone));
    CFile64 reader; // deny-none readers hold no share lock
    ASSERT_TRUE(reader.Open(path, modeRead | shareDenyNone));

    auto expectLockViolation = [&](uint64_t position, uint64_t count) {
        try {
            reader.LockRange(position, count);
            ADD_FAILURE() << "no exception for " << position << "+" << count;
        } catch (const CFileException& e) {
            EXPECT_EQ(e.Cause(), FileCause::LockViolation);
            EXPECT_EQ(e.FileName(), reader.GetFilePath());
        }
    };
    expectLockViolation(10, 10);
    // A range that no file offset can name is refused, not wrapped around.
    expectLockViolation(UINT64_MAX - 5, 10);
    expectLockViolation(uint64_t{1} << 63, 1);
    // Locking nothing must not turn into "to the end of the file".
    EXPECT_NO_THROW(reader.LockRange(10, 0));
    EXPECT_NO_THROW(reader.UnlockRange(10, 0));

    // Releasing a range of one's own must not open a hole in the share lock.
    writer.LockRange(0, 100);
    writer.UnlockRange(0, 100);
    expectLockViolation(0, 50);

    writer.Close();
    EXPECT_NO_THROW(reader.LockRange(0, 50));
    EXPECT_NO_THROW(reader.UnlockRange(0, 50));
}

TEST(CFile64, StatusReportsSizeTimesAndAttributes)
{
    ScratchDir dir;
    const std::string path = dir.PatternFile(".hidden.pst", 300);
    ASSERT_EQ(::chmod(path.c_str(), 0444), 0);
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);

    CFile64 file;
    ASSERT_TRUE(file.Open(path, modeRead));
    CFileStatus status;
    ASSERT_TRUE(file.GetStatus(status));
    EXPECT_EQ(status.size, 300u);
    EXPECT_EQ(status.mtime, st.st_mtime);
    EXPECT_NE(status.ctime, 0);
    EXPECT_NE(status.atime, 0);
    EXPECT_EQ(status.fullName, file.GetFilePath());
    EXPECT_EQ(status.attribute, attrReadOnly | attrHidden);

    // The size field keeps only the low 32 bits.
    const std::string big = dir.File("big");
    CFile64 grown;
    ASSERT_TRUE(grown.Open(big, modeCreate | modeReadWrite));
    grown.SetLength((uint64_t{1} << 32) + 5);
    ASSERT_TRUE(grown.GetStatus(status));
    EXPECT_EQ(status.size, 5u);
    EXPECT_EQ(status.attribute, attrNormal);
}

} // namespace
} // namespace krv

// FileKindTest.cpp: paths that name no file are refused at open, at once, saying what they are.
#include "engine/file/CFile64Ex.h"

#include "tests/file/FileFixture.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace krv {
namespace {

namespace fs = std::filesystem;
using test::ScratchDir;

// A Unix-domain socket bound to a path, as a running service leaves one.
class BoundSocket {
public:
    explicit BoundSocket(const std::string& path) : m_fd(::socket(AF_UNIX, SOCK_STREAM, 0))
    {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        if (m_fd < 0 || path.size() >= sizeof address.sun_path) return;
        std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
        m_bound = ::bind(m_fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    }
    ~BoundSocket()
    {
        if (m_fd >= 0) ::close(m_fd);
    }
    BoundSocket(const BoundSocket&) = delete;
    BoundSocket& operator=(const BoundSocket&) = delete;
    bool Bound() const { return m_bound; }

private:
    int m_fd;
    bool m_bound = false;
};

struct KindCase {
    const char* what;
    std::string path;
    uint32_t mode;
    FileCause cause;
    const char* text; // after the path
};

// Each kind through both classes (the cached reader is what opens sources). A FIFO without
// a writer would block a plain open(2) for reading forever; the open must come back at
// once instead.
TEST(FileKind, OpensThatReadRefusePathsThatNameNoFile)
{
    ScratchDir dir;
    const std::string directory = dir.File("folder.pst");
    fs::create_directory(directory);
    const std::string fifo = dir.File("pipe.pst");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0) << std::strerror(errno);
    const std::string linkToFifo = dir.File("link-to-pipe.pst");
    fs::create_symlink(fifo, linkToFifo);
    const std::string socketPath = dir.File("socket.pst");
    const BoundSocket socket(socketPath);
    ASSERT_TRUE(socket.Bound()) << socketPath;

    const uint32_t source = modeRead | shareDenyWrite | typeBinary;
    const KindCase cases[] = {
        {"directory", directory, source, FileCause::IsDirectory, " is a directory, not a file."},
        {"directory, no access", directory, modeNoAccess, FileCause::IsDirectory, " is a directory, not a file."},
        {"FIFO without a writer", fifo, source, FileCause::IsPipe, " is a pipe (FIFO), not a file."},
        {"FIFO, reading and writing", fifo, modeReadWrite, FileCause::IsPipe, " is a pipe (FIFO), not a file."},
        {"link to a FIFO", linkToFifo, source, FileCause::IsPipe, " is a pipe (FIFO), not a file."},
        {"endless device", "/dev/zero", source, FileCause::IsCharacterDevice, " is a character device, not a file."},
        {"endless random device", "/dev/urandom", source, FileCause::IsCharacterDevice,
         " is a character device, not a file."},
        {"empty device", "/dev/null", source, FileCause::IsCharacterDevice, " is a character device, not a file."},
        {"socket", socketPath, source, FileCause::IsSocket, " is a socket, not a file."},
        {"socket, writing", socketPath, modeReadWrite, FileCause::IsSocket, " is a socket, not a file."},
    };
    for (const KindCase& c : cases) {
        SCOPED_TRACE(c.what);
        CFileException plainError;
        CFile64 plain;
        EXPECT_FALSE(plain.Open(c.path, c.mode, &plainError));
        EXPECT_FALSE(plain.IsOpen());
        EXPECT_EQ(plainError.Cause(), c.cause);
        EXPECT_NE(plainError.OsError(), 0);
        EXPECT_EQ(plainError.FileName(), c.path);
        EXPECT_EQ(plainError.Description(), c.path + c.text);

        CFileException cachedError;
        CFile64Ex cached;
        EXPECT_FALSE(cached.Open(c.path, c.mode, &cachedError));
        EXPECT_FALSE(cached.IsOpen());
        EXPECT_EQ(cachedError.Cause(), c.cause);
        EXPECT_EQ(cachedError.Description(), c.path + c.text);
    }
    // The refused opens created nothing and left the FIFO a FIFO.
    EXPECT_TRUE(fs::is_fifo(fifo));
    EXPECT_TRUE(fs::is_directory(directory));
}

// Nothing is read from these, so nothing can fail to end: a file and a link to one, a
// device written to, a FIFO opened only for its times.
TEST(FileKind, OpensThatDoNotReadKeepDevicesAndFifos)
{
    ScratchDir dir;
    const std::string file = dir.PatternFile("store.pst", 3000);
    const std::string link = dir.File("link.pst");
    fs::create_symlink(file, link);
    const std::string fifo = dir.File("pipe");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0) << std::strerror(errno);
    struct Case {
        std::string path;
        uint32_t mode;
    } cases[] = {
        {file, modeRead | shareDenyWrite | typeBinary},
        {link, modeRead | shareDenyWrite | typeBinary},
        {"/dev/null", modeWrite | shareDenyNone},
        {fifo, modeNoAccess},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        CFile64 opened;
        CFileException error;
        EXPECT_TRUE(opened.Open(c.path, c.mode, &error)) << error.Description();
    }
}

} // namespace
} // namespace krv

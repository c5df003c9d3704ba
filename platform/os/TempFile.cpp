// TempFile.cpp: temporary files made with mkstemp and removed by their owner.
#include "platform/os/TempFile.h"

#include <cerrno>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace krv {

std::string TempDirectory()
{
    // Like glibc's own temporary names: $TMPDIR only when it is a directory, so a stale
    // setting does not make every temporary file fail.
    const char* env = std::getenv("TMPDIR");
    if (env != nullptr && *env != '\0') {
        struct stat st {};
        if (::stat(env, &st) == 0 && S_ISDIR(st.st_mode)) {
            std::string dir(env);
            while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
            return dir;
        }
    }
    return "/tmp";
}

std::optional<TempFile> TempFile::Create(int* error)
{
    std::string pattern = TempDirectory();
    if (pattern != "/") pattern += '/';
    pattern += kTempFilePrefix;
    pattern += "XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    int fd = ::mkstemp(name.data());
    if (fd < 0) {
        if (error != nullptr) *error = errno;
        return std::nullopt;
    }
    ::close(fd);
    if (error != nullptr) *error = 0;
    return TempFile(std::string(name.data()));
}

TempFile::TempFile(TempFile&& other) noexcept : path_(std::exchange(other.path_, std::string())) {}

TempFile& TempFile::operator=(TempFile&& other) noexcept
{
    if (this != &other) {
        Remove();
        path_ = std::exchange(other.path_, std::string());
    }
    return *this;
}

TempFile::~TempFile() { Remove(); }

std::string TempFile::Release() { return std::exchange(path_, std::string()); }

void TempFile::Remove() noexcept
{
    // The file may already be gone (the user of the path deleted it); that is fine.
    if (!path_.empty()) ::unlink(path_.c_str());
    path_.clear();
}

} // namespace krv

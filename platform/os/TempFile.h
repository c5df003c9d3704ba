// TempFile.h: uniquely named temporary files, removed when their owner goes.
//
// The directory is $TMPDIR when that names a directory, else /tmp; the name is the prefix
// "KRV" and six characters chosen by mkstemp, which creates the file (empty, mode 0600)
// so that no other process can take the same name.
#ifndef KRV_PLATFORM_OS_TEMPFILE_H
#define KRV_PLATFORM_OS_TEMPFILE_H

#include <optional>
#include <string>
#include <utility>

namespace krv {

inline constexpr const char* kTempFilePrefix = "KRV";

// The directory temporary files go to, without a trailing slash.
std::string TempDirectory();

// Owns one temporary file: removes it on destruction unless released.
class TempFile {
public:
    // Creates an empty file in TempDirectory(). None on failure, with errno in *error
    // when error is given (FileCauseFromErrno turns it into a file cause).
    [[nodiscard]] static std::optional<TempFile> Create(int* error = nullptr);

    TempFile(TempFile&& other) noexcept;
    TempFile& operator=(TempFile&& other) noexcept;
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;
    ~TempFile();

    const std::string& Path() const { return path_; }

    // Gives the file up: it is no longer removed, and the path is returned.
    std::string Release();

private:
    explicit TempFile(std::string path) : path_(std::move(path)) {}
    void Remove() noexcept;

    std::string path_; // empty once released or moved from
};

} // namespace krv

#endif

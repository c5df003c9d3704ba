// FileIdentity.h: whether two paths name one file, so that nothing is ever written over
// the file it was made from.
//
// On Linux a file can be deleted and replaced while another program holds it open, so
// creating an output at the source's own path, at a hard link to it or at a symbolic link
// to it would destroy the source without any error. Two paths name the same file when,
// after following links, they lead to the same device and inode, or when their canonical
// forms are equal (which also covers a path whose file does not exist yet).
#ifndef KRV_PLATFORM_OS_FILEIDENTITY_H
#define KRV_PLATFORM_OS_FILEIDENTITY_H

#include <cstdint>
#include <optional>
#include <string>

namespace krv {

struct FileIdentity {
    uint64_t device = 0;
    uint64_t inode = 0;

    friend bool operator==(const FileIdentity&, const FileIdentity&) = default;
};

// The file a path leads to after following links; none when nothing is there.
[[nodiscard]] std::optional<FileIdentity> IdentityOfPath(const std::string& path);

// The path made absolute with every link and "." or ".." resolved; a last part that does
// not exist is kept as it is below its resolved folder. Empty when even the folder cannot
// be resolved.
[[nodiscard]] std::string CanonicalPath(const std::string& path);

// True when `candidate` names the file `original` named when `identity` was taken (the
// identity is the one that counts when the original path has been renamed since), or the
// same canonical path as `original`.
[[nodiscard]] bool NamesSameFile(const std::string& candidate, const std::string& original,
                                 const std::optional<FileIdentity>& identity);

} // namespace krv

#endif

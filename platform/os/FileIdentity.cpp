// FileIdentity.cpp: device and inode behind a path, and canonical paths.
#include "platform/os/FileIdentity.h"

#include <climits>
#include <cstdlib>
#include <memory>
#include <sys/stat.h>

namespace krv {
namespace {

std::string RealPath(const std::string& path)
{
    std::unique_ptr<char, decltype(&std::free)> resolved(realpath(path.c_str(), nullptr), &std::free);
    return resolved ? std::string(resolved.get()) : std::string();
}

} // namespace

std::optional<FileIdentity> IdentityOfPath(const std::string& path)
{
    struct stat st {};
    if (path.empty() || stat(path.c_str(), &st) != 0) return std::nullopt;
    return FileIdentity{static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino)};
}

std::string CanonicalPath(const std::string& path)
{
    if (path.empty()) return {};
    if (std::string whole = RealPath(path); !whole.empty()) return whole;
    // The file is not there (yet): resolve its folder and keep the last part.
    const std::string::size_type slash = path.find_last_of('/');
    const std::string folder = slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    if (name.empty() || name == "." || name == "..") return {};
    std::string base = RealPath(folder);
    if (base.empty()) return {};
    if (base.back() != '/') base.push_back('/');
    return base + name;
}

bool NamesSameFile(const std::string& candidate, const std::string& original,
                   const std::optional<FileIdentity>& identity)
{
    if (identity) {
        if (const std::optional<FileIdentity> found = IdentityOfPath(candidate); found && *found == *identity)
            return true;
    }
    const std::string a = CanonicalPath(candidate);
    return !a.empty() && a == CanonicalPath(original);
}

} // namespace krv

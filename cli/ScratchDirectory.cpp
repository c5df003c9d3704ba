// ScratchDirectory.cpp: making, pointing the environment at, and removing the folder.
#include "cli/ScratchDirectory.h"

#include <cstdlib>
#include <filesystem>
#include <sys/stat.h>

namespace krv::cli {
namespace {

std::string BaseDirectory()
{
    // Both variables must hold absolute paths to be used at all.
    const char* env = std::getenv("TMPDIR");
    struct stat info {};
    if (env != nullptr && env[0] == '/' && ::stat(env, &info) == 0 && S_ISDIR(info.st_mode)) return env;
    return "/tmp";
}

} // namespace

std::unique_ptr<ScratchDirectory> ScratchDirectory::Create()
{
    std::string path = BaseDirectory();
    if (path.back() != '/') path += '/';
    path += "krv-repair-XXXXXX";
    if (::mkdtemp(path.data()) == nullptr) return nullptr;
    auto scratch = std::make_unique<ScratchDirectory>(path);
    const char* tmp = std::getenv("TMPDIR");
    const std::string oldTmp = tmp != nullptr ? tmp : "";
    if (::setenv("TMPDIR", path.c_str(), 1) != 0) return nullptr;
    if (::setenv("XDG_STATE_HOME", path.c_str(), 1) != 0) {
        if (tmp != nullptr) {
            ::setenv("TMPDIR", oldTmp.c_str(), 1);
        } else {
            ::unsetenv("TMPDIR");
        }
        return nullptr;
    }
    return scratch;
}

ScratchDirectory::~ScratchDirectory() { Remove(); }

void ScratchDirectory::Remove()
{
    // The engine may still create a file while the tree goes; a second pass takes it.
    for (int pass = 0; pass < 3; ++pass) {
        std::error_code ec;
        std::filesystem::remove_all(m_path, ec);
        if (!std::filesystem::exists(m_path, ec)) return;
    }
}

} // namespace krv::cli

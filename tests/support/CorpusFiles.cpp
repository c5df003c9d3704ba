// CorpusFiles.cpp: directory listing and whole-file reads for the corpus tests.
#include "tests/support/CorpusFiles.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <system_error>

namespace krv::test {

std::vector<std::string> ListCorpusFiles(const std::string& dir)
{
    namespace fs = std::filesystem;
    std::vector<std::string> files;
    std::error_code ec;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        const fs::path& path = it->path();
        const std::string ext = path.extension().string();
        if (it->is_regular_file(ec) && (ext == ".pst" || ext == ".ost")) files.push_back(path.string());
    }
    std::sort(files.begin(), files.end());
    return files;
}

std::vector<uint8_t> ReadFileBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    if (!in) return {};
    const std::streamoff size = in.tellg();
    if (size <= 0) return {};
    std::vector<uint8_t> bytes(static_cast<size_t>(size));
    in.seekg(0);
    if (!in.read(reinterpret_cast<char*>(bytes.data()), size)) return {};
    return bytes;
}

} // namespace krv::test

// OutputName.cpp: extension, default name, follow-up names.
#include "cli/OutputName.h"

#include <cctype>

namespace krv::cli {
namespace {

constexpr const char* kFixedSuffix = "_fixed";

// Where the extension's dot stands, or npos.
std::string::size_type ExtensionDot(const std::string& path)
{
    const std::string::size_type last = path.find_last_of("./\\:");
    return last != std::string::npos && path[last] == '.' ? last : std::string::npos;
}

} // namespace

std::string StripExtension(const std::string& path)
{
    const std::string::size_type dot = ExtensionDot(path);
    return dot == std::string::npos ? path : path.substr(0, dot);
}

std::string PathExtension(const std::string& path)
{
    const std::string::size_type dot = ExtensionDot(path);
    return dot == std::string::npos ? std::string() : path.substr(dot);
}

std::string DefaultOutputName(const std::string& source)
{
    // The desktop window's rule, so that both front ends name an output alike; but what a
    // repair writes is a personal-folders file, so an offline folder file's ".ost" becomes
    // ".pst" (an output named .ost would be taken for an offline store).
    std::string extension = PathExtension(source);
    std::string lower = extension;
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (lower == ".ost") extension = ".pst";
    return StripExtension(source) + kFixedSuffix + extension;
}

std::string OutputInDirectory(const std::string& directory, const std::string& source)
{
    const std::string::size_type slash = source.find_last_of('/');
    const std::string name = slash == std::string::npos ? source : source.substr(slash + 1);
    std::string joined = directory;
    if (joined.empty() || joined.back() != '/') joined += '/';
    return joined + DefaultOutputName(name);
}

std::string FollowUpName(const std::string& output, unsigned index)
{
    return StripExtension(output) + "_" + std::to_string(index) + PathExtension(output);
}

std::string ParentFolder(const std::string& path)
{
    std::string::size_type slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    // "/x" lives in "/", and "a//x" in "a".
    while (slash > 0 && path[slash - 1] == '/') --slash;
    return slash == 0 ? "/" : path.substr(0, slash);
}

} // namespace krv::cli

// OutputFiles.cpp: path states before and after, and the layout from the header.
#include "cli/OutputFiles.h"

#include "cli/OutputName.h"
#include "pstformat/Header.h"
#include "pstformat/Layout.h"

#include <fstream>
#include <sys/stat.h>

namespace krv::cli {

OutputFiles::OutputFiles(std::string output, bool split) : m_output(std::move(output)), m_split(split)
{
    for (unsigned index = 0;; ++index) {
        const std::optional<State> state = StateOf(PathOf(index));
        if (!state) break;
        m_before.emplace(index, *state);
        if (!m_split) break;
    }
}

std::string OutputFiles::PathOf(unsigned index) const { return index == 0 ? m_output : FollowUpName(m_output, index); }

std::optional<OutputFiles::State> OutputFiles::StateOf(const std::string& path)
{
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return std::nullopt;
    return State{static_cast<uint64_t>(info.st_dev),
                 static_cast<uint64_t>(info.st_ino),
                 info.st_ctim.tv_sec,
                 info.st_ctim.tv_nsec,
                 info.st_mtim.tv_sec,
                 info.st_mtim.tv_nsec,
                 static_cast<uint64_t>(info.st_size)};
}

std::vector<OutputFile> OutputFiles::Written() const
{
    std::vector<OutputFile> files;
    for (unsigned index = 0;; ++index) {
        const std::string path = PathOf(index);
        const std::optional<State> now = StateOf(path);
        if (!now) break;
        const auto before = m_before.find(index);
        // The parts are written in order: one left as it was ends the run's series.
        if (before != m_before.end() && before->second == *now) break;
        files.push_back({path, now->bytes});
        if (!m_split) break;
    }
    return files;
}

std::optional<std::string> StoreLayoutName(const std::string& path)
{
    std::vector<uint8_t> head(pstformat::kAnsi.headerCheckedSize);
    std::ifstream file(path, std::ios::binary);
    if (!file.read(reinterpret_cast<char*>(head.data()), static_cast<std::streamsize>(head.size())))
        return std::nullopt;
    // The magic and the version stand at the same place in both layouts; the version
    // names the layout.
    const std::optional<pstformat::Header> header = pstformat::ParseHeader(head, pstformat::Layout::Ansi);
    if (!header || header->dwMagic != pstformat::kHeaderMagic) return std::nullopt;
    const std::optional<pstformat::Layout> layout = pstformat::LayoutFromVersion(header->wVer);
    if (!layout) return std::nullopt;
    return *layout == pstformat::Layout::Ansi ? "ansi" : "unicode";
}

} // namespace krv::cli

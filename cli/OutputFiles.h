// OutputFiles.h: which files a repair wrote, and in which layout.
//
// A split repair writes OUTPUT, then OUTPUT_1, OUTPUT_2 ... as needed. A file that was at
// one of those paths before the run and is unchanged after it is not the run's work, so the
// state of each path is taken before the engine is called and compared after.
#ifndef KRV_CLI_OUTPUTFILES_H
#define KRV_CLI_OUTPUTFILES_H

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace krv::cli {

struct OutputFile {
    std::string path;
    uint64_t bytes = 0;
};

class OutputFiles {
public:
    // Notes what is at OUTPUT (and its follow-up paths when split) now.
    OutputFiles(std::string output, bool split);

    // The files the run wrote, first OUTPUT and then the follow-ups in order.
    std::vector<OutputFile> Written() const;

private:
    struct State {
        uint64_t device = 0;
        uint64_t inode = 0;
        int64_t changeSeconds = 0;
        int64_t changeNanoseconds = 0;
        int64_t modifySeconds = 0;
        int64_t modifyNanoseconds = 0;
        uint64_t bytes = 0;
        bool operator==(const State&) const = default;
    };
    static std::optional<State> StateOf(const std::string& path);
    std::string PathOf(unsigned index) const;

    std::string m_output;
    bool m_split;
    std::map<unsigned, State> m_before;
};

// "ansi" or "unicode" by the store's header; none when the file holds no store header.
std::optional<std::string> StoreLayoutName(const std::string& path);

} // namespace krv::cli

#endif

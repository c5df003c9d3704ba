// RecoveryFuzzEntry.cpp: one store image through the whole repair of a job.
//
// The job itself runs (RecoveryJob, as RepairEntry runs it), so that the fuzzer reaches
// every pass in the order and with the checks of a real repair, and the output is a real
// store written through the messaging interface.
#include "fuzz/RecoveryFuzzEntry.h"

#include "engine/job/RecoveryJob.h"
#include "fuzz/ImageSealing.h"
#include "platform/mapi/MapiAllocator.h"
#include "pstformat/Endian.h"
#include "tests/platform/ScopedEnv.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>
#include <vector>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace krv::fuzz {
namespace {

namespace fs = std::filesystem;
using pstformat::Layout;

constexpr uint8_t kUnicodeOutput = 0x01;
constexpr uint8_t kPassBitsShift = 1;
constexpr uint8_t kKeepChecks = 0x40;
constexpr uint8_t kOtherSwitches = 0x80;
constexpr uint32_t kSizeLimitMb = 1000;

// Where a header names its version (wVer), and the first version of the 64-bit layout.
constexpr size_t kHeaderVersionOffset = 10;
constexpr uint16_t kFirstUnicodeVersion = 23;

// The directory every run works in: made once per process, emptied after every run and
// removed when the process ends.
class PrivateDir {
public:
    PrivateDir()
    {
        std::error_code ec;
        const fs::path base = fs::is_directory("/dev/shm", ec) ? fs::path("/dev/shm") : fs::temp_directory_path(ec);
        std::string name = (base / "krv-fuzz-recovery-XXXXXX").string();
        if (::mkdtemp(name.data()) == nullptr) return;
        m_root = name;
        fs::create_directories(State(), ec);
        fs::create_directories(Temp(), ec);
    }
    ~PrivateDir()
    {
        std::error_code ec;
        if (!m_root.empty()) fs::remove_all(m_root, ec);
    }
    PrivateDir(const PrivateDir&) = delete;
    PrivateDir& operator=(const PrivateDir&) = delete;

    [[nodiscard]] bool Ok() const { return !m_root.empty(); }
    [[nodiscard]] fs::path Source() const { return m_root / "source.pst"; }
    [[nodiscard]] fs::path Output() const { return m_root / "out.pst"; }
    [[nodiscard]] fs::path State() const { return m_root / "state"; }
    [[nodiscard]] fs::path Temp() const { return m_root / "tmp"; }

    // What a run left that it should not have: a profile, a temporary file, a lock still
    // held. The profile store's own lock file may stay while nobody holds it.
    [[nodiscard]] std::string LeftOvers() const
    {
        std::string found;
        std::error_code ec;
        for (const auto& entry : fs::recursive_directory_iterator(State(), ec)) {
            if (!entry.is_regular_file()) continue;
            if (entry.path().filename() == ".lock" && LockIsFree(entry.path())) continue;
            found += ' ' + entry.path().string();
        }
        for (const auto& entry : fs::directory_iterator(Temp(), ec)) found += ' ' + entry.path().string();
        return found;
    }

    // Everything but the two empty directories goes, whatever the run left.
    void Clear() const
    {
        std::error_code ec;
        for (const auto& entry : fs::directory_iterator(m_root, ec)) fs::remove_all(entry.path(), ec);
        fs::create_directories(State(), ec);
        fs::create_directories(Temp(), ec);
    }

private:
    static bool LockIsFree(const fs::path& path)
    {
        const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
        if (fd < 0) return false;
        const bool free = ::flock(fd, LOCK_EX | LOCK_NB) == 0;
        ::close(fd);
        return free;
    }

    fs::path m_root;
};

PrivateDir& Dir()
{
    static PrivateDir dir;
    return dir;
}

size_t OpenDescriptors()
{
    size_t count = 0;
    std::error_code ec;
    for (auto it = fs::directory_iterator("/proc/self/fd", ec); !ec && it != fs::directory_iterator(); it.increment(ec))
        ++count;
    return count;
}

uint32_t FlagsFor(uint8_t options)
{
    uint32_t flags = (options & kUnicodeOutput) != 0 ? uint32_t{PstFormatUnicode} << KRV_OUTPUT_FORMAT_SHIFT
                                                     : uint32_t{PstFormatAnsi} << KRV_OUTPUT_FORMAT_SHIFT;
    constexpr uint32_t kPasses[] = {FlagLevel1Recovery, FlagLevel2Recovery, FlagLevel3Recovery, FlagLevel4Recovery,
                                    FlagLevel5Recovery};
    for (size_t i = 0; i < 5; ++i)
        if ((options >> (kPassBitsShift + i) & 1) != 0) flags |= kPasses[i];
    if ((options & kOtherSwitches) == 0)
        flags |= FlagFastRecovery | FlagIgnoreZeroBlock | FlagAlwaysIPMSubtree | FlagRecoverUnattchedAttach;
    else
        flags |= FlagHeuristicRecoverRoot | FlagRemoveEmptyFolder;
    return flags;
}

void Seal(std::vector<uint8_t>& image)
{
    Layout layout = Layout::Ansi;
    if (image.size() >= kHeaderVersionOffset + 2 &&
        pstformat::LoadLe<uint16_t>(image.data() + kHeaderVersionOffset) >= kFirstUnicodeVersion)
        layout = Layout::Unicode;
    SealStoreImage(image, layout);
}

bool WriteFile(const fs::path& path, const std::vector<uint8_t>& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

// What the job sent back.
struct JobReport {
    int itemCounts = 0;
    uint32_t items = 0;
    std::vector<std::string> errors;

    static int32_t Callback(int32_t code, void* data, uintptr_t userData)
    {
        auto& report = *reinterpret_cast<JobReport*>(userData);
        if (code == MsgItemCount) {
            ++report.itemCounts;
            if (data != nullptr) report.items = *static_cast<const uint32_t*>(data);
        }
        if (code == MsgError && data != nullptr) report.errors.emplace_back(static_cast<const char*>(data));
        return 0;
    }
};

// Errors that only a fault of ours explains: an exception that ended the job, messaging
// that would not start, an output that could not be created in an empty directory.
std::string FaultAmong(const std::vector<std::string>& errors)
{
    for (const std::string& text : errors)
        for (const char* fault : {"Error 2:", "Error 3:", "Error 4:", "Error 5:"})
            if (text.rfind(fault, 0) == 0) return "the job reported: " + text;
    return {};
}

// With KRV_FUZZ_KEEP_OUTPUT naming a directory, every output store is copied there (as
// out-<n>.pst) for judges that are too slow to run on every input.
void KeepOutput(const fs::path& output)
{
    static unsigned kept = 0;
    const char* dir = std::getenv("KRV_FUZZ_KEEP_OUTPUT");
    std::error_code ec;
    if (dir == nullptr || *dir == '\0' || !fs::exists(output, ec)) return;
    fs::copy_file(output, fs::path(dir) / ("out-" + std::to_string(++kept) + ".pst"),
                  fs::copy_options::overwrite_existing, ec);
}

} // namespace

uint8_t DefaultRecoveryOptions(bool unicodeOutput)
{
    return static_cast<uint8_t>((unicodeOutput ? kUnicodeOutput : 0) | (0x1F << kPassBitsShift));
}

std::string RunRecoveryInput(std::span<const uint8_t> input)
{
    if (input.empty()) return {};
    const PrivateDir& dir = Dir();
    if (!dir.Ok()) return "no private directory could be made";
    const uint8_t options = input[0];
    std::vector<uint8_t> image(input.begin() + 1, input.end());
    if ((options & kKeepChecks) == 0) Seal(image);

    const size_t liveBefore = MapiLiveBlockCount();
    const size_t descriptorsBefore = OpenDescriptors();
    std::string failure;
    if (!WriteFile(dir.Source(), image)) failure = "the image could not be written";
    JobReport report;
    if (failure.empty()) {
        const test::ScopedEnv state("XDG_STATE_HOME", dir.State().string());
        const test::ScopedEnv temp("TMPDIR", dir.Temp().string());
        RecoveryJob job(&JobReport::Callback, reinterpret_cast<uintptr_t>(&report));
        (void)job.Run(dir.Source().string(), &kSizeLimitMb, FlagsFor(options), dir.Output().string());
        if (std::getenv("KRV_FUZZ_VERBOSE") != nullptr) {
            std::fprintf(stderr, "options 0x%02x: %u items\n", options, report.items);
            for (const std::string& text : report.errors) std::fprintf(stderr, "  error: %s\n", text.c_str());
        }
        if (report.itemCounts != 1)
            failure = "the job sent its item count " + std::to_string(report.itemCounts) + " times";
        if (failure.empty()) failure = FaultAmong(report.errors);
    }
    if (failure.empty()) {
        const std::string left = dir.LeftOvers();
        if (!left.empty()) failure = "left behind:" + left;
    }
    if (failure.empty() && MapiLiveBlockCount() != liveBefore)
        failure = std::to_string(MapiLiveBlockCount() - liveBefore) + " MAPI blocks were not freed";
    if (failure.empty() && OpenDescriptors() != descriptorsBefore)
        failure = "file descriptors: " + std::to_string(descriptorsBefore) + " before, " +
                  std::to_string(OpenDescriptors()) + " after";
    KeepOutput(dir.Output());
    dir.Clear();
    return failure;
}

} // namespace krv::fuzz

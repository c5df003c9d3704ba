// RepairEntryTest.cpp: the engine library seen from outside, loaded with dlopen.
#include "RecordedMessage.h"

#include "platform/mapi/store/PstProvider.h"
#include "pstformat/Endian.h"
#include "pstformat/Header.h"
#include "pstformat/Layout.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dlfcn.h>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace krv::test {
namespace {

namespace fs = std::filesystem;
using EntryFn = int32_t (*)(const RepairRequest*);

class RepairEntryTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_library = dlopen(KRV_LIB_DIR "/libKRV.so", RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(m_library, nullptr) << dlerror();
        m_entry = reinterpret_cast<EntryFn>(dlsym(m_library, "RepairEntry"));
        ASSERT_NE(m_entry, nullptr) << dlerror();
        m_dir = fs::temp_directory_path() / ("krv-entry-" + std::to_string(getpid()));
        fs::create_directories(m_dir);
    }
    void TearDown() override
    {
        if (m_library != nullptr) dlclose(m_library);
        std::error_code ec;
        fs::remove_all(m_dir, ec);
    }

    // Runs one masked request and returns the result; `masked` keeps the caller's block.
    int32_t Run(const std::string& source, Recorder& recorder, RepairRequest& masked, uint32_t flags = 0)
    {
        m_output = (m_dir / "out.pst").string();
        masked.sourcePath = source.c_str();
        masked.sizeLimit = &m_sizeLimit;
        masked.flags = flags;
        masked.outputPath = m_output.c_str();
        masked.callback = &Recorder::Callback;
        masked.userData = reinterpret_cast<uintptr_t>(&recorder);
        KrvMaskRequest(&masked);
        return m_entry(&masked);
    }

    void* m_library = nullptr;
    EntryFn m_entry = nullptr;
    fs::path m_dir;
    std::string m_output;
    uint32_t m_sizeLimit = 1000;
};

TEST_F(RepairEntryTest, MissingSourceGivesError1AndLeavesTheCallersBlockMasked)
{
    const std::string source = (m_dir / "no-such.pst").string();
    Recorder recorder;
    RepairRequest request{};
    int32_t result = Run(source, recorder, request);

    EXPECT_EQ(result, 0);
    ASSERT_EQ(recorder.Codes(),
              (std::vector<int32_t>{MsgProgress, MsgSourceName, MsgError, MsgItemCount, MsgProgress}));
    EXPECT_EQ(recorder.messages[0].number, 0);
    EXPECT_EQ(recorder.messages[1].text, source);
    EXPECT_EQ(recorder.messages[2].text, "Error 1: Cannot open the file to be repaired. " + source + " was not found.");
    EXPECT_EQ(recorder.messages[3].number, 0);
    EXPECT_EQ(recorder.messages[4].number, 100);

    // Unmasking the caller's block gives back exactly what was masked.
    RepairRequest unmasked = request;
    KrvMaskRequest(&unmasked);
    EXPECT_EQ(unmasked.sourcePath, source.c_str());
    EXPECT_EQ(unmasked.sizeLimit, &m_sizeLimit);
    EXPECT_EQ(unmasked.callback, &Recorder::Callback);
    EXPECT_EQ(unmasked.userData, reinterpret_cast<uintptr_t>(&recorder));
    EXPECT_FALSE(fs::exists(m_output));
}

TEST_F(RepairEntryTest, SourceHeldByAWriterGivesTheSharingViolationAndItsAlert)
{
    const std::string source = (m_dir / "locked.pst").string();
    {
        std::ofstream(source) << "!BDN";
    }
    int writer = open(source.c_str(), O_RDWR);
    ASSERT_GE(writer, 0);
    struct flock lock {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    ASSERT_EQ(fcntl(writer, F_OFD_SETLK, &lock), 0);

    Recorder recorder;
    RepairRequest request{};
    int32_t result = Run(source, recorder, request);
    close(writer);

    EXPECT_EQ(result, 0);
    ASSERT_EQ(recorder.Codes(),
              (std::vector<int32_t>{MsgProgress, MsgSourceName, MsgError, MsgAlert, MsgItemCount, MsgProgress}));
    EXPECT_EQ(recorder.messages[2].text,
              "Error 1: Cannot open the file to be repaired. A sharing violation occurred while accessing " + source +
                  ".");
    EXPECT_EQ(recorder.messages[3].text,
              "Share violation when opening the source file '" + source +
                  "'. Please close any other applications accessing the file and try again.");
}

// A Unix-domain socket bound to a path, as a running service leaves one.
class BoundSocket {
public:
    explicit BoundSocket(const std::string& path) : m_fd(socket(AF_UNIX, SOCK_STREAM, 0))
    {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        if (m_fd < 0 || path.size() >= sizeof address.sun_path) return;
        std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
        m_bound = bind(m_fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    }
    ~BoundSocket()
    {
        if (m_fd >= 0) close(m_fd);
    }
    BoundSocket(const BoundSocket&) = delete;
    BoundSocket& operator=(const BoundSocket&) = delete;
    bool Bound() const { return m_bound; }

private:
    int m_fd;
    bool m_bound = false;
};

// Paths that name no file are refused at the open, each saying what it names: before, a
// directory was "denied", and /dev/zero, /dev/urandom or a FIFO without a writer kept the
// job reading (or waiting) forever.
TEST_F(RepairEntryTest, SourcesThatCannotBeOpenedEndWithError1)
{
    const std::string directory = m_dir.string();
    // One path component longer than any file system allows.
    const std::string tooLong = directory + "/" + std::string(300, 'a') + ".pst";
    const std::string fifo = (m_dir / "pipe.pst").string();
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0) << std::strerror(errno);
    const std::string socketPath = (m_dir / "socket.pst").string();
    const BoundSocket bound(socketPath);
    ASSERT_TRUE(bound.Bound());
    struct Case {
        std::string path;
        std::string description;
    } cases[] = {
        {directory, directory + " is a directory, not a file."},
        {tooLong, tooLong + " contains an invalid path."},
        {fifo, fifo + " is a pipe (FIFO), not a file."},
        {"/dev/zero", "/dev/zero is a character device, not a file."},
        {"/dev/urandom", "/dev/urandom is a character device, not a file."},
        {socketPath, socketPath + " is a socket, not a file."},
    };
    for (const Case& c : cases) {
        Recorder recorder;
        RepairRequest request{};
        EXPECT_EQ(Run(c.path, recorder, request), 0);
        ASSERT_EQ(recorder.Codes(),
                  (std::vector<int32_t>{MsgProgress, MsgSourceName, MsgError, MsgItemCount, MsgProgress}))
            << c.path.substr(0, 80);
        EXPECT_EQ(recorder.messages[2].text, "Error 1: Cannot open the file to be repaired. " + c.description);
    }
}

TEST_F(RepairEntryTest, SourceOfZerosIsAnalyzedFindsNothingAndIsNeverWritten)
{
    const std::string source = (m_dir / "zeros.pst").string();
    {
        std::ofstream(source, std::ios::binary) << std::string(100000, '\0');
    }
    const auto before = fs::last_write_time(source);

    Recorder recorder;
    RepairRequest request{};
    EXPECT_EQ(Run(source, recorder, request, FlagFastRecovery), 0);

    ASSERT_GE(recorder.messages.size(), 5u);
    EXPECT_EQ(recorder.messages[2].code, MsgLogLine);
    EXPECT_EQ(recorder.messages[2].text, "Analyzing the source file ...");
    // Zeros hold nothing: probe and scan progress, then the count 0 and 100, without the
    // 70 that follows a scan that found something, and without any error text.
    std::vector<int64_t> progress;
    size_t abortQueries = 0;
    for (const auto& m : recorder.messages) {
        EXPECT_NE(m.code, MsgError) << m.text;
        if (m.code == MsgProgress) progress.push_back(m.number);
        if (m.code == MsgAbortQuery) ++abortQueries;
    }
    EXPECT_GT(abortQueries, 0u);
    EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));
    EXPECT_EQ(std::count(progress.begin(), progress.end(), 70), 0);
    EXPECT_TRUE(std::any_of(progress.begin(), progress.end(), [](int64_t p) { return p > 0 && p <= 16; }));
    EXPECT_TRUE(std::any_of(progress.begin(), progress.end(), [](int64_t p) { return p >= 17 && p <= 67; }));
    const size_t n = recorder.messages.size();
    EXPECT_EQ(recorder.messages[n - 2].code, MsgItemCount);
    EXPECT_EQ(recorder.messages[n - 2].number, 0);
    EXPECT_EQ(recorder.messages[n - 1].code, MsgProgress);
    EXPECT_EQ(recorder.messages[n - 1].number, 100);
    EXPECT_EQ(fs::file_size(source), 100000u);
    EXPECT_EQ(fs::last_write_time(source), before);
}

TEST_F(RepairEntryTest, AStopAnswerDuringTheScanIsTheLastQueryAsked)
{
    const std::string source = (m_dir / "zeros.pst").string();
    {
        std::ofstream(source, std::ios::binary) << std::string(300000, '\0');
    }

    // The scan asks at every position it examines, so a run that never stops asks about
    // once per byte; one told to stop near the end of the scan must ask nothing more.
    Recorder full;
    RepairRequest first{};
    EXPECT_EQ(Run(source, full, first, FlagFastRecovery), 0);
    ASSERT_GT(full.abortQueries, 300000 / 2);

    Recorder stopping;
    stopping.stopFromQuery = full.abortQueries - 1000;
    RepairRequest second{};
    EXPECT_EQ(Run(source, stopping, second, FlagFastRecovery), 0);
    EXPECT_EQ(stopping.abortQueries, stopping.stopFromQuery);
    const size_t n = stopping.messages.size();
    ASSERT_GE(n, 2u);
    EXPECT_EQ(stopping.messages[n - 2].code, MsgItemCount);
    EXPECT_EQ(stopping.messages[n - 1].number, 100);
}

TEST_F(RepairEntryTest, SampleIsIndexedThenTheJobReachesSeventy)
{
    const std::string source = KRV_SOURCE_DIR "/samples/sample-damaged.pst";
    struct Case {
        uint32_t sourceFormat;
        bool probes; // only an undecided layout is probed (progress 1 to 16)
    } cases[] = {{PstFormatAuto, true}, {PstFormatUnicode, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.sourceFormat);
        Recorder recorder;
        RepairRequest request{};
        Run(source, recorder, request, FlagFastRecovery | FlagIgnoreZeroBlock | (c.sourceFormat << 16));
        std::vector<int64_t> progress;
        for (const auto& m : recorder.messages) {
            EXPECT_NE(m.code, MsgError) << m.text;
            if (m.code == MsgProgress) progress.push_back(m.number);
        }
        EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));
        EXPECT_EQ(std::any_of(progress.begin(), progress.end(), [](int64_t p) { return p > 0 && p <= 16; }), c.probes);
        EXPECT_EQ(std::count(progress.begin(), progress.end(), 70), 1);
        EXPECT_EQ(progress.back(), 100);
    }
}

std::vector<uint8_t> ReadAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteAll(const std::string& path, const std::vector<uint8_t>& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// A sound empty store (header intact), written by our own provider.
std::vector<uint8_t> SoundStore(const fs::path& dir)
{
    mapi::PstServiceConfig config;
    config.path = (dir / "sound.pst").string();
    config.unicode = true;
    if (FAILED(mapi::CreatePstStoreFile(config)) || FAILED(mapi::ClosePstStoreFile(config.path))) return {};
    std::vector<uint8_t> bytes = ReadAll(config.path);
    fs::remove(config.path);
    return bytes;
}

// A header that names the 4 KiB-page layout (wVer 36) sends the job to that layout's reader
// first; when the file holds no page of that layout (here a 64-bit store whose wVer was
// overwritten, sealed or not, or whose magic is gone too) the layout is decided by probing
// as for any damaged file and the store is repaired, whatever the user chose as long as it
// is a layout the file has.
TEST_F(RepairEntryTest, HeaderNamingTheFourKilobyteLayoutOverAnotherLayoutIsStillRepaired)
{
    const std::vector<uint8_t> sample = SoundStore(m_dir);
    ASSERT_GT(sample.size(), 600u);
    struct Case {
        const char* what;
        bool sealed; // checksums recomputed over the changed header
        bool keepMagic;
        uint32_t sourceFormat;
    } cases[] = {
        {"sound header", true, true, PstFormatAuto},
        {"sound header, layout chosen by the user", true, true, PstFormatUnicode},
        {"header checksums damaged", false, true, PstFormatAuto},
        {"magic damaged", true, false, PstFormatAuto},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<uint8_t> bytes = sample;
        pstformat::StoreLe<uint16_t>(bytes.data() + 10, pstformat::kVersionUnicode4k);
        if (!c.keepMagic) bytes[0] = 0;
        if (c.sealed) {
            pstformat::StoreLe<uint32_t>(bytes.data() + pstformat::kHeaderCrcPartialOffset,
                                         *pstformat::ComputeHeaderCrcPartial(bytes));
            pstformat::StoreLe<uint32_t>(bytes.data() + pstformat::kHeaderCrcFullOffset,
                                         *pstformat::ComputeHeaderCrcFull(bytes));
        }
        const std::string source = (m_dir / "outlook2013.ost").string();
        WriteAll(source, bytes);

        Recorder recorder;
        RepairRequest request{};
        const int32_t result =
            Run(source, recorder, request, FlagFastRecovery | FlagIgnoreZeroBlock | (c.sourceFormat << 16));
        std::vector<int64_t> progress;
        for (const auto& m : recorder.messages) {
            EXPECT_NE(m.code, MsgAlert) << m.text;
            if (m.code == MsgProgress) progress.push_back(m.number);
        }
        // The scan ran, found the store's blocks and the store was repaired.
        EXPECT_EQ(std::count(progress.begin(), progress.end(), 70), 1);
        EXPECT_EQ(result, 1);
        EXPECT_TRUE(fs::exists(m_output));
        fs::remove(m_output);
        EXPECT_EQ(ReadAll(source), bytes);
    }
}

// Appends to the source at every abort query, as a writer busy on the file would: three
// bytes per query, while the probe and the scan walk one position per query. Growth
// stops at a cap so that a job that follows it ends too, and fails the comparison instead
// of hanging.
struct GrowingSource {
    Recorder recorder;
    int fd = -1;
    uint64_t appended = 0;
    bool writeFailed = false;
    static constexpr uint64_t kCap = 16u << 20;

    static int32_t Callback(int32_t code, void* data, uintptr_t userData)
    {
        auto& self = *reinterpret_cast<GrowingSource*>(userData);
        if (code == MsgAbortQuery && self.appended < kCap) {
            const uint8_t bytes[3] = {0x21, 0x42, 0x44};
            if (write(self.fd, bytes, sizeof bytes) != static_cast<ssize_t>(sizeof bytes)) self.writeFailed = true;
            self.appended += sizeof bytes;
        }
        return Recorder::Callback(code, data, reinterpret_cast<uintptr_t>(&self.recorder));
    }
};

TEST_F(RepairEntryTest, SourceThatGrowsWhileItIsReadIsReadToItsFirstLength)
{
    const std::vector<uint8_t> sample = SoundStore(m_dir);
    ASSERT_GT(sample.size(), 600u);
    const std::string unchanged = (m_dir / "unchanged.pst").string();
    const std::string growing = (m_dir / "growing.pst").string();
    WriteAll(unchanged, sample);
    WriteAll(growing, sample);
    // The layout is given, so that one pass reads the file: each pass notes the length at
    // its own start (the probes' agreement with an unchanged copy is the reader tests').
    const uint32_t flags = FlagFastRecovery | FlagIgnoreZeroBlock | (PstFormatUnicode << 16);

    Recorder expected;
    RepairRequest first{};
    Run(unchanged, expected, first, flags);
    fs::remove(m_output); // the second run starts as the first did

    GrowingSource source;
    source.fd = open(growing.c_str(), O_WRONLY | O_APPEND);
    ASSERT_GE(source.fd, 0);
    RepairRequest second{};
    m_output = (m_dir / "out.pst").string();
    second.sourcePath = growing.c_str();
    second.sizeLimit = &m_sizeLimit;
    second.flags = flags;
    second.outputPath = m_output.c_str();
    second.callback = &GrowingSource::Callback;
    second.userData = reinterpret_cast<uintptr_t>(&source);
    KrvMaskRequest(&second);
    m_entry(&second);
    close(source.fd);

    EXPECT_FALSE(source.writeFailed);
    ASSERT_GT(fs::file_size(growing), 2 * sample.size()) << "the source did not grow faster than it was read";
    // The same messages with the same progress values and the same number of questions:
    // the growth was never read.
    EXPECT_EQ(source.recorder.abortQueries, expected.abortQueries);
    ASSERT_EQ(source.recorder.Codes(), expected.Codes());
    for (size_t i = 0; i < expected.messages.size(); ++i) {
        EXPECT_EQ(source.recorder.messages[i].number, expected.messages[i].number) << "message " << i;
        if (expected.messages[i].code != MsgSourceName) {
            EXPECT_EQ(source.recorder.messages[i].text, expected.messages[i].text) << "message " << i;
        }
    }
    const std::vector<int32_t> codes = expected.Codes();
    EXPECT_EQ(std::count(codes.begin(), codes.end(), MsgError), 0);
    // The scan found the store (the comparison is over a real pass).
    EXPECT_TRUE(std::any_of(expected.messages.begin(), expected.messages.end(),
                            [](const RecordedMessage& m) { return m.code == MsgProgress && m.number == 70; }));
}

TEST_F(RepairEntryTest, NoCallbackRunsSilently)
{
    const std::string source = (m_dir / "missing.pst").string();
    const std::string output = (m_dir / "out.pst").string();
    RepairRequest request{};
    request.sourcePath = source.c_str();
    request.sizeLimit = &m_sizeLimit;
    request.outputPath = output.c_str();
    KrvMaskRequest(&request);
    EXPECT_EQ(m_entry(&request), 0);
}

} // namespace
} // namespace krv::test

// RepairEntryTest.cpp: the engine library seen from outside, loaded with dlopen.
#include "RecordedMessage.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <dlfcn.h>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
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
    ASSERT_EQ(recorder.Codes(), (std::vector<int32_t>{MsgProgress, MsgSourceName, MsgError, MsgItemCount, MsgProgress}));
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
    { std::ofstream(source) << "!BDN"; }
    int writer = open(source.c_str(), O_RDWR);
    ASSERT_GE(writer, 0);
    struct flock lock{};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    ASSERT_EQ(fcntl(writer, F_OFD_SETLK, &lock), 0);

    Recorder recorder;
    RepairRequest request{};
    int32_t result = Run(source, recorder, request);
    close(writer);

    EXPECT_EQ(result, 0);
    ASSERT_EQ(recorder.Codes(), (std::vector<int32_t>{MsgProgress, MsgSourceName, MsgError, MsgAlert, MsgItemCount, MsgProgress}));
    EXPECT_EQ(recorder.messages[2].text,
              "Error 1: Cannot open the file to be repaired. A sharing violation occurred while accessing " + source + ".");
    EXPECT_EQ(recorder.messages[3].text, "Share violation when opening the source file '" + source +
                                             "'. Please close any other applications accessing the file and try again.");
}

TEST_F(RepairEntryTest, SourcesThatCannotBeOpenedEndWithError1)
{
    const std::string directory = m_dir.string();
    // One path component longer than any file system allows.
    const std::string tooLong = directory + "/" + std::string(300, 'a') + ".pst";
    struct Case {
        std::string path;
        std::string description;
    } cases[] = {
        {directory, "Access to " + directory + " was denied."},
        {tooLong, tooLong + " contains an invalid path."},
    };
    for (const Case& c : cases) {
        Recorder recorder;
        RepairRequest request{};
        EXPECT_EQ(Run(c.path, recorder, request), 0);
        ASSERT_EQ(recorder.Codes(), (std::vector<int32_t>{MsgProgress, MsgSourceName, MsgError, MsgItemCount, MsgProgress}))
            << c.path.substr(0, 80);
        EXPECT_EQ(recorder.messages[2].text, "Error 1: Cannot open the file to be repaired. " + c.description);
    }
}

TEST_F(RepairEntryTest, SourceOfZerosIsAnalyzedFindsNothingAndIsNeverWritten)
{
    const std::string source = (m_dir / "zeros.pst").string();
    { std::ofstream(source, std::ios::binary) << std::string(100000, '\0'); }
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
    { std::ofstream(source, std::ios::binary) << std::string(300000, '\0'); }

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
        bool probes;  // only an undecided layout is probed (progress 1 to 16)
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

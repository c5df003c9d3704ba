// RecoveryJobTest.cpp: the job's layout decision and its reporting operations.
#include "RecordedMessage.h"

#include "engine/job/RecoveryJob.h"
#include "platform/os/FrameworkException.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace krv::test {
namespace {

TEST(RecoveryJob, OutputLayoutFollowsTheFormatByteOrTheMailClientVersion)
{
    struct Case {
        uint32_t outputFormat;
        const char* outlookVersion; // null: not set
        uint8_t layout;
    } cases[] = {
        {PstFormatAuto, nullptr, 64}, // the shipped messaging layer answers 16
        {PstFormatAuto, "11", 64},
        {PstFormatAuto, "10", 32},
        {PstFormatAuto, "none", 32}, // cannot be asked: answer 9
        {PstFormatUnicode, "none", 64},
        {PstFormatAnsi, nullptr, 32},
        {9, nullptr, 32},
    };
    const uint32_t sizeLimit = 1000;
    for (const Case& c : cases) {
        if (c.outlookVersion != nullptr)
            setenv("KRV_OUTLOOK_VERSION", c.outlookVersion, 1);
        else
            unsetenv("KRV_OUTLOOK_VERSION");
        RecoveryJob job(nullptr, 0);
        EXPECT_EQ(job.Run("/nonexistent/source.pst", &sizeLimit, c.outputFormat << 24, "/nonexistent/out.pst"), 0);
        EXPECT_EQ(job.OutputLayout, c.layout)
            << "format " << c.outputFormat << " version " << (c.outlookVersion ? c.outlookVersion : "(default)");
    }
    unsetenv("KRV_OUTLOOK_VERSION");
}

class LongDescription : public FrameworkException {
public:
    std::string Description() const override { return std::string(5000, 'x'); }
};

TEST(RecoveryJob, ExceptionTextFillsPercentOneAndCutsLongDescriptions)
{
    EXPECT_EQ(RecoveryJob::ExceptionText(StringId::TextError2, CMemoryException()),
              "Error 2: General error. Out of memory.");
    EXPECT_EQ(RecoveryJob::ExceptionText(StringId::TextError2, CNotSupportedException()),
              "Error 2: General error. An unsupported operation was attempted.");
    std::string cut = RecoveryJob::ExceptionText(StringId::TextError1, LongDescription());
    EXPECT_EQ(cut, "Error 1: Cannot open the file to be repaired. " + std::string(4095, 'x'));
}

TEST(RecoveryJob, ReportingOperationsCarryTheirData)
{
    Recorder recorder;
    recorder.abortAnswer = 1;
    RecoveryJob job(&Recorder::Callback, reinterpret_cast<uintptr_t>(&recorder));
    job.ReportProgress(42);
    EXPECT_TRUE(job.IsAborted());
    job.SendFormatted(MsgError, StringId::TextError3, LoadString(StringId::TextMessageProcess));
    job.SendFormatted(MsgLogLine, StringId::TextRecoverMessage, "");

    ASSERT_EQ(recorder.Codes(), (std::vector<int32_t>{MsgProgress, MsgAbortQuery, MsgError, MsgLogLine}));
    EXPECT_EQ(recorder.messages[0].number, 42);
    EXPECT_EQ(recorder.messages[2].text, "Error 3: Unknown error in message recovery process.");
    EXPECT_EQ(recorder.messages[3].text, "Recover message '' ...");

    RecoveryJob silent(nullptr, 0);
    EXPECT_FALSE(silent.IsAborted());
}

} // namespace
} // namespace krv::test

// JobDriver.cpp: the order of one repair, its failure paths and its result.
#include "engine/file/CFile64Ex.h"
#include "engine/job/JobReaderHost.h"
#include "engine/job/RecoveryJob.h"
#include "engine/reader/LayoutDecision.h"
#include "engine/reader/LayoutPstReader.h"
#include "platform/mapi/OutlookVersion.h"

#include <new>

namespace krv {

namespace {

// The engine reads its source through a window of this many bytes.
constexpr uint32_t kSourceBufferSize = 65536;

} // namespace

void RecoveryJob::SettleOutputLayout()
{
    switch (options.OutputFormat) {
    case PstFormatAuto:
        // Mail clients from version 11 (2003) on write the 64-bit layout.
        OutputLayout = DetectOutlookMajorVersion() >= 11 ? 64 : 32;
        break;
    case PstFormatUnicode: OutputLayout = 64; break;
    default: OutputLayout = 32; break;
    }
}

int32_t RecoveryJob::Run(const std::string& sourcePath, const uint32_t* sizeLimit, uint32_t flags,
                         const std::string& outputPath)
{
    options.SetFromRequest(flags, *sizeLimit);
    ReportProgress(0);

    uint32_t total = 0;
    try {
        total = RunSteps(sourcePath, outputPath);
    } catch (const FrameworkException& e) {
        SendText(MsgError, ExceptionText(StringId::TextError2, e));
    } catch (const std::bad_alloc&) {
        SendText(MsgError, ExceptionText(StringId::TextError2, CMemoryException()));
    } catch (...) {
        SendFormatted(MsgError, StringId::TextError3, LoadString(StringId::TextWholeProcess));
    }

    Send(MsgItemCount, &total);
    ReportProgress(100);
    return total > 0 ? 1 : 0;
}

uint32_t RecoveryJob::RunSteps(const std::string& sourcePath, const std::string& outputPath)
{
    SettleOutputLayout();
    {
        std::string name = sourcePath;
        SendText(MsgSourceName, name);
    }

    // Deny write: nobody may change the file while it is indexed, and it is never
    // opened for writing by us.
    CFile64Ex source(kSourceBufferSize);
    CFileException error(FileCause::None, -1, std::string());
    if (!source.Open(sourcePath, modeRead | shareDenyWrite | typeBinary, &error)) {
        SendText(MsgError, ExceptionText(StringId::TextError1, error));
        if (error.Cause() == FileCause::SharingViolation)
            SendFormatted(MsgAlert, StringId::TextShareViolation, error.FileName().c_str());
        return 0;
    }
    SendFormatted(MsgLogLine, StringId::TextAnalyzing);

    uint32_t total = RecoverFromOpenSource(source, outputPath);
    source.Close();
    return total;
}

PstReader& RecoveryJob::ChooseReader(PstReader& ansi, PstReader& unicode)
{
    switch (options.SourceFormat) {
    case PstFormatAuto:
        return DecideLayoutByProbing(ansi, unicode).layout == pstformat::Layout::Unicode ? unicode : ansi;
    case PstFormatUnicode: return unicode;
    default: return ansi;
    }
}

uint32_t RecoveryJob::RecoverFromOpenSource(CFile64Ex& source, const std::string& /*outputPath*/)
{
    // The messaging layer is started here, before the scan, once the output store exists.

    JobReaderHost host(*this);
    AnsiPstReader ansi(host, source);
    UnicodePstReader unicode(host, source);
    PstReader& reader = ChooseReader(ansi, unicode);

    if (reader.ScanFile(17, 2) == 0) return 0;  // nothing recognised: no output, no text
    reader.CollectTopDataBlocks();
    reader.CollectTopSubnodeBlocks();
    ReportProgress(70);

    // The loop over output files (store creation, folder tree, messages, the deeper
    // passes and splitting) runs here once the output store exists. Until then nothing
    // is written and the count stays 0.
    return 0;
}

} // namespace krv

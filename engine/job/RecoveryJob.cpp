// RecoveryJob.cpp: the order of one repair, its failure paths and its result; how the job
// talks to its caller is RecoveryJobReporting.cpp.
#include "engine/job/RecoveryJob.h"

#include "engine/file/CFile64Ex.h"
#include "engine/job/JobReaderHost.h"
#include "engine/output/OutputStore.h"
#include "engine/reader/LayoutDecision.h"
#include "engine/reader/LayoutPstReader.h"
#include "engine/reader/Unicode4kSource.h"
#include "engine/recovery/FolderRecovery.h"
#include "engine/recovery/LostAndFound.h"
#include "engine/recovery/NamedPropertyMapping.h"
#include "engine/recovery/OutputSplitting.h"
#include "platform/mapi/OutlookVersion.h"

#include <new>
#include <utility>

namespace krv {

namespace {

// The engine reads its source through a window of this many bytes.
constexpr uint32_t kSourceBufferSize = 65536;
// The personal-folders value for "no encryption".
constexpr ULONG kNoEncryption = 0x80000000;

} // namespace

void RecoveryJob::SettleOutputLayout()
{
    switch (options.OutputFormat) {
    case PstFormatAuto:
        // Mail clients from version 11 (2003) on write the 64-bit layout.
        OutputLayout = DetectOutlookMajorVersion() >= 11 ? 64 : 32;
        break;
    case PstFormatUnicode:
        OutputLayout = 64;
        break;
    default:
        OutputLayout = 32;
        break;
    }
}

int32_t RecoveryJob::Run(const std::string& sourcePath, const uint32_t* sizeLimit, uint32_t flags,
                         const std::string& outputPath)
{
    options.SetFromRequest(flags, *sizeLimit);
    ReportProgress(0);

    m_total = 0;
    try {
        RunSteps(sourcePath, outputPath);
    } catch (const FrameworkException& e) {
        SendText(MsgError, ExceptionText(StringId::TextError2, e));
    } catch (const std::bad_alloc&) {
        SendText(MsgError, ExceptionText(StringId::TextError2, CMemoryException()));
    } catch (...) {
        SendFormatted(MsgError, StringId::TextError3, LoadString(StringId::TextWholeProcess));
    }

    // What was written before an exception stays written, and counts.
    uint32_t total = m_total;
    Send(MsgItemCount, &total);
    ReportProgress(100);
    return total > 0 ? 1 : 0;
}

void RecoveryJob::RunSteps(const std::string& sourcePath, const std::string& outputPath)
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
        return;
    }
    SendFormatted(MsgLogLine, StringId::TextAnalyzing);
    RecoverFromOpenSource(source, sourcePath, outputPath);
    source.Close();
}

PstReader& RecoveryJob::ChooseReader(PstReader& ansi, PstReader& unicode, PstReader& unicode4k, CFile64Ex& source)
{
    switch (options.SourceFormat) {
    case PstFormatAuto:
        switch (DecideLayoutByProbing(ansi, unicode, unicode4k, IsUnicode4kSource(source)).layout) {
        case pstformat::Layout::Unicode:
            return unicode;
        case pstformat::Layout::Unicode4k:
            return unicode4k;
        case pstformat::Layout::Ansi:
            return ansi;
        }
        return ansi;
    case PstFormatUnicode:
        return unicode;
    case PstFormatUnicode4k:
        return unicode4k;
    default:
        return ansi;
    }
}

void RecoveryJob::RecoverFromOpenSource(CFile64Ex& source, const std::string& sourcePath, const std::string& outputPath)
{
    OutputStore store;
    // No output file may take the place of the file being repaired.
    store.ProtectFile(sourcePath);
    if (!store.InitializeMessaging()) {
        SendFormatted(MsgError, StringId::TextError4);
        SendFormatted(MsgAlert, StringId::TextError4);
        Send(MsgCloseRequest, nullptr);
        return;
    }

    JobReaderHost host(*this);
    AnsiPstReader ansi(host, source);
    UnicodePstReader unicode(host, source);
    Unicode4kPstReader unicode4k(host, source);
    PstReader& reader = ChooseReader(ansi, unicode, unicode4k, source);

    if (reader.ScanFile(17, 2) != 0) { // nothing recognised: no output, no text
        reader.CollectTopDataBlocks();
        reader.CollectTopSubnodeBlocks();
        ReportProgress(70);
        WriteOutputFiles(reader, store, outputPath);
    }
    store.Shutdown();
}

void RecoveryJob::WriteOutputFiles(PstReader& reader, OutputStore& store, const std::string& outputPath)
{
    std::string currentPath = outputPath;
    uint32_t part = 0;
    for (;;) {
        if (IsAborted()) break;
        SplitPending = 0;
        OutputFull = false;
        StoreFull = false;
        const StringId name =
            options.OfflineFolderFile != 0 ? StringId::TextOfflineFolderName : StringId::TextPersonalFolderName;
        if (!store.CreateStore(currentPath, kNoEncryption, LoadString(name), std::string(), OutputLayout)) {
            if (store.LastFailure() == CreateStoreFailure::SameAsSource)
                SendFormatted(MsgError, StringId::TextOutputIsSource, currentPath.c_str());
            SendFormatted(MsgError, StringId::TextError5);
            SendFormatted(MsgAlert, StringId::TextError5);
            break;
        }

        BuildNamedPropMap(*this, reader, store);
        MapSpecialFolders(*this, reader, store);
        m_total += RecoverHierarchy(*this, reader, store);
        // Each pass runs even when the file is already full, and stops at its first check.
        using Pass = uint32_t (*)(RecoveryContext&, PstReader&, OutputStore&);
        const std::pair<uint32_t, Pass> passes[] = {
            {options.Level1Recovery, &RecoverOrphanNodes},        {options.Level2Recovery, &RecoverOlderNodeVersions},
            {options.Level3Recovery, &RecoverOrphanSubnodeTrees}, {options.Level4Recovery, &RecoverOrphanDataTrees},
            {options.Level5Recovery, &RecoverOlderBlockVersions},
        };
        for (const auto& [enabled, pass] : passes)
            if (enabled != 0) m_total += pass(*this, reader, store);

        if (OutputFull) {
            // Every further write would fail the same way; what was saved stays.
            SendFormatted(MsgError, StringId::TextOutputDiskFull, currentPath.c_str());
            SendFormatted(MsgAlert, StringId::TextOutputDiskFull, currentPath.c_str());
            break;
        }
        if (SplitPending == 0) break;
        ResetForNextPart(reader);
        store.CloseSession();
        ++part;
        const std::string nextPath = SplitPartName(outputPath, part);
        if (StoreFull) {
            SendFormatted(MsgLogLine, StringId::TextStoreFullNextPart, currentPath.c_str(), nextPath.c_str());
            StoreFull = false;
        }
        currentPath = nextPath;
    }
}

} // namespace krv

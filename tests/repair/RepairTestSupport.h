// RepairTestSupport.h: what the repair tests share: a sandbox for each repair, source
// stores written through the messaging objects, a source scanned by the engine's reader
// with a recording context for the passes, runs of RepairEntry, and the independent
// judges (krv-pstcheck, pffinfo, readpst, and libpff through tests/judges).
#ifndef KRV_TESTS_REPAIR_REPAIRTESTSUPPORT_H
#define KRV_TESTS_REPAIR_REPAIRTESTSUPPORT_H

#include "engine/file/CFile64Ex.h"
#include "engine/job/RepairEntry.h"
#include "engine/output/OutputStore.h"
#include "engine/reader/LayoutPstReader.h"
#include "engine/recovery/RecoveryContext.h"
#include "platform/mapi/MapiInterfaces.h"
#include "platform/mapi/ObjectRef.h"
#include "pstformat/Layout.h"
#include "tests/file/FileFixture.h"
#include "tests/job/RecordedMessage.h"
#include "tests/platform/ScopedEnv.h"
#include "tests/reader/TestReaderHost.h"
#include "tests/support/Json.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace krv::test {

// The options a front end passes by default: fast scan, unattached attachments, zero
// blocks ignored, root items under the IPM subtree, all five deeper passes.
inline constexpr uint32_t kFrontEndDefaults = FlagFastRecovery | FlagRecoverUnattchedAttach | FlagIgnoreZeroBlock |
                                              FlagAlwaysIPMSubtree | FlagLevel1Recovery | FlagLevel2Recovery |
                                              FlagLevel3Recovery | FlagLevel4Recovery | FlagLevel5Recovery;
inline constexpr uint32_t kOutputAnsi = uint32_t{PstFormatAnsi} << KRV_OUTPUT_FORMAT_SHIFT;
inline constexpr uint32_t kOutputUnicode = uint32_t{PstFormatUnicode} << KRV_OUTPUT_FORMAT_SHIFT;

// A scratch directory that is also where this process keeps its profiles
// (XDG_STATE_HOME) and its temporary files (TMPDIR) while the sandbox lives, so a test
// can see what a repair leaves behind.
class RepairSandbox {
public:
    RepairSandbox();
    RepairSandbox(const RepairSandbox&) = delete;
    RepairSandbox& operator=(const RepairSandbox&) = delete;

    [[nodiscard]] std::string File(const std::string& name) const { return dir.File(name); }
    // Profile files and "KRV" temporary files still present.
    [[nodiscard]] std::vector<std::string> LeftOvers() const;

    ScratchDir dir;

private:
    ScopedEnv m_state;
    ScopedEnv m_tmp;
};

// What one RepairEntry call sent back.
struct RepairRun {
    int32_t result = -1;
    Recorder recorder;
    [[nodiscard]] std::vector<std::string> Texts(int32_t code) const;
    [[nodiscard]] int64_t ItemCount() const;
};

[[nodiscard]] RepairRun RunRepair(const std::string& source, const std::string& output, uint32_t flags,
                                  uint32_t sizeLimit = 1000);

// ---- source stores written through the messaging objects

class SourceStore {
public:
    SourceStore(const std::string& path, pstformat::Layout layout);
    ~SourceStore();
    SourceStore(const SourceStore&) = delete;
    SourceStore& operator=(const SourceStore&) = delete;

    [[nodiscard]] bool Ok() const { return m_store.Get() != nullptr && m_subtree.Get() != nullptr; }
    [[nodiscard]] IMsgStore* Store() const { return m_store.Get(); }
    [[nodiscard]] IMAPIFolder* Subtree() const { return m_subtree.Get(); }
    [[nodiscard]] IMAPIFolder* Inbox() const { return m_inbox.Get(); }

    // A subfolder of parent, saved.
    [[nodiscard]] ObjectRef<IMAPIFolder> Folder(IMAPIFolder* parent, const std::string& name);
    // A message in folder with the subject and the values given (8-bit strings are
    // PT_STRING8), kept open for recipients and attachments; SaveMessage finishes it.
    [[nodiscard]] ObjectRef<IMessage> Message(IMAPIFolder* folder, const std::string& subject,
                                              const std::vector<SPropValue>& values = {});
    void AddRecipient(IMessage* message, const std::string& name, const std::string& address);
    void AddFileAttachment(IMessage* message, const std::string& name, const std::vector<uint8_t>& bytes);
    // An OLE attachment holding a compound file with one stream "CONTENTS".
    void AddOleAttachment(IMessage* message, const std::vector<uint8_t>& contents);
    void AddEmbeddedMessage(IMessage* message, const std::string& subject, const std::string& recipient);
    static void SaveMessage(IMessage* message);
    // The identifier the store assigns to a string-named property of PS_PUBLIC_STRINGS.
    [[nodiscard]] ULONG NamedId(const std::u16string& name);

    // Completes the file.
    void Close();

private:
    std::string m_path;
    ObjectRef<IMsgStore> m_store;
    ObjectRef<IMAPIFolder> m_subtree;
    ObjectRef<IMAPIFolder> m_inbox;
};

// The value points into `text`, which must outlive it.
inline SPropValue StringProp(ULONG tag, const char* text)
{
    SPropValue value{};
    value.ulPropTag = tag;
    value.Value.lpszA = const_cast<char*>(text);
    return value;
}
inline SPropValue StringProp(ULONG tag, const std::string& text) { return StringProp(tag, text.c_str()); }
SPropValue StringProp(ULONG tag, std::string&& text) = delete;
inline SPropValue LongProp(ULONG tag, ULONG number)
{
    SPropValue value{};
    value.ulPropTag = tag;
    value.Value.ul = number;
    return value;
}

// ---- a scanned source and the passes run over it

// The recovery passes' context with chosen options, recording what they report.
class TestContext final : public RecoveryContext {
public:
    [[nodiscard]] const RecoveryOptions& Options() const override { return options; }
    void SendLogLine(const std::string& text) override { logLines.push_back(text); }
    void SendError(const std::string& text) override { errors.push_back(text); }

    RecoveryOptions options;
    std::vector<std::string> logLines;
    std::vector<std::string> errors;
};

// A store file opened and indexed by the reader of its layout, as a job indexes its source.
class ScannedSource {
public:
    ScannedSource(const std::string& path, pstformat::Layout layout);
    [[nodiscard]] bool Ok() const { return m_indexed > 0; }
    [[nodiscard]] PstReader& Reader() { return *m_reader; }

private:
    TestReaderHost m_host{true, true};
    CFile64Ex m_file{65536};
    std::unique_ptr<PstReader> m_reader;
    uint32_t m_indexed = 0;
};

// An output store for the passes: messaging started and a store created at path.
class OutputFixture {
public:
    OutputFixture(const std::string& path, bool unicode);
    ~OutputFixture() { store.Shutdown(); }
    OutputFixture(const OutputFixture&) = delete;
    OutputFixture& operator=(const OutputFixture&) = delete;

    [[nodiscard]] bool Ok() const { return m_created; }
    // Closes the output file so that judges can read it.
    void Close() { store.CloseSession(); }

    OutputStore store;

private:
    bool m_created = false;
};

// The walk a job makes for one output file: names, special folders, the tree.
uint32_t RecoverTree(TestContext& context, PstReader& reader, OutputStore& store);

// One source written, scanned and walked into an output, step by step, so that a test can
// damage the source's index in between.
class PassFixture {
public:
    explicit PassFixture(pstformat::Layout layout = pstformat::Layout::Unicode, bool unicodeOutput = true);

    // The source store, to write into before Scan.
    [[nodiscard]] SourceStore& Source() { return *m_source; }
    // Completes the source and indexes it.
    PstReader& Scan();
    [[nodiscard]] PstReader& Reader() { return m_scanned->Reader(); }
    // The output store, created on first use.
    [[nodiscard]] OutputStore& Output();
    // Closes the output and reads it back with libpff.
    [[nodiscard]] std::optional<Json> Dump();

    TestContext context;
    RepairSandbox sandbox;

private:
    pstformat::Layout m_layout;
    bool m_unicodeOutput;
    std::unique_ptr<SourceStore> m_source;
    std::unique_ptr<ScannedSource> m_scanned;
    std::unique_ptr<OutputFixture> m_output;
};

// The current version of a node of the source's index (asserting that it is there).
[[nodiscard]] PstNode& NodeOf(PstReader& reader, uint32_t nid);
// The NID of the folder (or message) of the source whose display name (or subject) is
// `name`; 0 when there is none.
[[nodiscard]] uint32_t NidNamed(PstReader& reader, const std::string& name);

// ---- judges

struct Verdict {
    int exitCode = -1;
    std::string output;
};

[[nodiscard]] Verdict Pstcheck(const std::string& store);
[[nodiscard]] Verdict Pffinfo(const std::string& store);
[[nodiscard]] Verdict Readpst(const std::string& store, const std::string& scratch);
// tests/judges/libpff_compare.py ORIGINAL REPAIRED.
[[nodiscard]] Verdict LibpffCompare(const std::string& original, const std::string& repaired);
// What libpff reads from a store (tests/judges/libpff_compare.py --dump); none when the
// judge cannot run or libpff cannot read the file.
[[nodiscard]] std::optional<Json> LibpffDump(const std::string& store);
// True when pffinfo, readpst, pffexport and python3-pypff are all there.
[[nodiscard]] bool JudgesInstalled();

// The messages of a dump in one folder ("<IPM subtree>/Inbox").
[[nodiscard]] std::vector<const Json*> MessagesIn(const Json& dump, const std::string& folder);
[[nodiscard]] bool HasFolder(const Json& dump, const std::string& folder);

} // namespace krv::test

#endif

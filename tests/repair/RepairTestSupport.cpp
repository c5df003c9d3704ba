// RepairTestSupport.cpp: sandboxes, source stores, scanned sources, repair runs and judges.
#include "tests/repair/RepairTestSupport.h"

#include "engine/items/NodeData.h"
#include "engine/items/NodeLoad.h"
#include "engine/items/NodeStrings.h"
#include "engine/reader/PstNode.h"
#include "engine/recovery/FolderRecovery.h"
#include "engine/recovery/NamedPropertyMapping.h"
#include "platform/mapi/AdrList.h"
#include "platform/mapi/MapiAllocator.h"
#include "platform/mapi/PropTags.h"
#include "platform/mapi/store/IpmSubtree.h"
#include "platform/mapi/store/PstProvider.h"
#include "platform/storage/StorageInterfaces.h"
#include "tests/support/ToolRun.h"

#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <stdexcept>
#include <sys/file.h>
#include <unistd.h>

namespace krv::test {
namespace {

namespace fs = std::filesystem;

constexpr ULONG kInboxTag = 0x00000102;

std::string StateDir(const ScratchDir& dir) { return dir.File("state"); }
std::string TempDir(const ScratchDir& dir) { return dir.File("tmp"); }

std::string JudgeScript() { return std::string(KRV_SOURCE_DIR) + "/tests/judges/libpff_compare.py"; }

Verdict FromResult(const ToolResult& result) { return Verdict{result.exitCode, result.out + result.err}; }

// A value array with its strings chained to it, as FreePadrlist frees it.
LPSPropValue RecipientRow(const std::string& name, const std::string& address, ULONG* count)
{
    LPSPropValue row = nullptr;
    if (FAILED(MapiAllocateArray(4, &row))) return nullptr;
    auto chain = [row](const std::string& text) {
        char* copy = nullptr;
        if (FAILED(MapiAllocateMoreArray(text.size() + 1, row, &copy))) return static_cast<char*>(nullptr);
        std::memcpy(copy, text.c_str(), text.size() + 1);
        return copy;
    };
    row[0].ulPropTag = PR_DISPLAY_NAME_A;
    row[0].Value.lpszA = chain(name);
    row[1].ulPropTag = PROP_TAG(PT_STRING8, 0x3003); // PR_EMAIL_ADDRESS
    row[1].Value.lpszA = chain(address);
    row[2].ulPropTag = PROP_TAG(PT_STRING8, 0x3002); // PR_ADDRTYPE
    row[2].Value.lpszA = chain("SMTP");
    row[3].ulPropTag = PROP_TAG(PT_LONG, 0x0C15); // PR_RECIPIENT_TYPE: To
    row[3].Value.ul = 1;
    *count = 4;
    return row;
}

ObjectRef<IMAPIFolder> OpenFolder(IMsgStore* store, const SPropValue& entryId)
{
    ObjectRef<IMAPIFolder> folder;
    ULONG type = 0;
    ObjectRef<IUnknown> opened;
    if (FAILED(store->OpenEntry(entryId.Value.bin.cb, reinterpret_cast<LPENTRYID>(entryId.Value.bin.lpb),
                                &IID_IMAPIFolder, MAPI_MODIFY, &type, opened.Out())) ||
        !opened)
        return folder;
    (void)opened->QueryInterface(IID_IMAPIFolder, reinterpret_cast<void**>(folder.Out()));
    return folder;
}

} // namespace

RepairSandbox::RepairSandbox() : m_state("XDG_STATE_HOME", StateDir(dir)), m_tmp("TMPDIR", TempDir(dir))
{
    fs::create_directories(StateDir(dir));
    fs::create_directories(TempDir(dir));
}

// True when another process could take the lock on `path` right now.
bool LockIsFree(const fs::path& path)
{
    const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0) return false;
    const bool free = ::flock(fd, LOCK_EX | LOCK_NB) == 0;
    ::close(fd);
    return free;
}

std::vector<std::string> RepairSandbox::LeftOvers() const
{
    std::vector<std::string> found;
    std::error_code ec;
    for (const auto& entry : fs::recursive_directory_iterator(StateDir(dir), ec)) {
        if (!entry.is_regular_file()) continue;
        // The profile store's lock file stays, as it should; a lock still held on it would not.
        if (entry.path().filename() == ".lock" && LockIsFree(entry.path())) continue;
        found.push_back(entry.path().string());
    }
    for (const auto& entry : fs::directory_iterator(TempDir(dir), ec))
        if (entry.path().filename().string().rfind("KRV", 0) == 0) found.push_back(entry.path().string());
    return found;
}

std::vector<std::string> RepairRun::Texts(int32_t code) const
{
    std::vector<std::string> texts;
    for (const RecordedMessage& m : recorder.messages)
        if (m.code == code) texts.push_back(m.text);
    return texts;
}

int64_t RepairRun::ItemCount() const
{
    for (const RecordedMessage& m : recorder.messages)
        if (m.code == MsgItemCount) return m.number;
    return -1;
}

RepairRun RunRepair(const std::string& source, const std::string& output, uint32_t flags, uint32_t sizeLimit)
{
    RepairRun run;
    RepairRequest request{};
    request.sourcePath = source.c_str();
    request.sizeLimit = &sizeLimit;
    request.flags = flags;
    request.outputPath = output.c_str();
    request.callback = &Recorder::Callback;
    request.userData = reinterpret_cast<uintptr_t>(&run.recorder);
    KrvMaskRequest(&request);
    run.result = RepairEntry(&request);
    return run;
}

// ---- SourceStore

SourceStore::SourceStore(const std::string& path, pstformat::Layout layout) : m_path(path)
{
    mapi::PstServiceConfig config;
    config.path = path;
    config.displayName = "Source Folders";
    config.unicode = layout == pstformat::Layout::Unicode;
    if (FAILED(mapi::CreatePstStoreFile(config))) return;
    if (FAILED(mapi::OpenPstMsgStore(path, MDB_WRITE | MAPI_BEST_ACCESS, m_store.Out()))) return;
    ULONG count = 0;
    LPSPropValue values = nullptr;
    if (FAILED(HrValidateIPMSubtree(m_store.Get(), MAPI_FORCE_CREATE | MAPI_FULL_IPM_TREE, &count, &values, nullptr)))
        return;
    const MapiPtr<SPropValue> owned(values);
    for (ULONG i = 0; i < count; ++i) {
        if (values[i].ulPropTag == PR_IPM_SUBTREE_ENTRYID) m_subtree = OpenFolder(m_store.Get(), values[i]);
        if (values[i].ulPropTag == kInboxTag) m_inbox = OpenFolder(m_store.Get(), values[i]);
    }
}

SourceStore::~SourceStore() { Close(); }

ObjectRef<IMAPIFolder> SourceStore::Folder(IMAPIFolder* parent, const std::string& name)
{
    ObjectRef<IMAPIFolder> folder;
    std::string text = name;
    EXPECT_EQ(parent->CreateFolder(FOLDER_GENERIC, text.data(), nullptr, nullptr, OPEN_IF_EXISTS, folder.Out()), S_OK)
        << name;
    return folder;
}

ObjectRef<IMessage> SourceStore::Message(IMAPIFolder* folder, const std::string& subject,
                                         const std::vector<SPropValue>& values)
{
    ObjectRef<IMessage> message;
    EXPECT_EQ(folder->CreateMessage(nullptr, 0, message.Out()), S_OK);
    if (!message) return message;
    std::vector<SPropValue> all{StringProp(PR_SUBJECT_A, subject)};
    all.insert(all.end(), values.begin(), values.end());
    for (SPropValue& value : all) EXPECT_EQ(message->SetProps(1, &value, nullptr), S_OK);
    EXPECT_EQ(message->SaveChanges(KEEP_OPEN_READWRITE), S_OK);
    return message;
}

void SourceStore::AddRecipient(IMessage* message, const std::string& name, const std::string& address)
{
    ADRLIST* raw = nullptr;
    ASSERT_EQ(AllocateAdrList(1, &raw), S_OK);
    AdrListPtr list(raw);
    list->aEntries[0].rgPropVals = RecipientRow(name, address, &list->aEntries[0].cValues);
    ASSERT_NE(list->aEntries[0].rgPropVals, nullptr);
    EXPECT_EQ(message->ModifyRecipients(MODRECIP_ADD, list.get()), S_OK);
}

void SourceStore::AddFileAttachment(IMessage* message, const std::string& name, const std::vector<uint8_t>& bytes)
{
    ObjectRef<IAttach> attachment;
    ULONG number = 0;
    ASSERT_EQ(message->CreateAttach(nullptr, 0, &number, attachment.Out()), S_OK);
    std::vector<uint8_t> data = bytes;
    SPropValue values[4]{};
    values[0] = LongProp(PR_ATTACH_METHOD, 1);
    values[1] = StringProp(PR_ATTACH_LONG_FILENAME_A, name);
    values[2] = StringProp(PR_ATTACH_FILENAME_A, name);
    values[3].ulPropTag = PROP_TAG(PT_BINARY, 0x3701); // PR_ATTACH_DATA_BIN
    values[3].Value.bin = SBinary{static_cast<ULONG>(data.size()), data.data()};
    for (SPropValue& value : values) EXPECT_EQ(attachment->SetProps(1, &value, nullptr), S_OK);
    EXPECT_EQ(attachment->SaveChanges(0), S_OK);
}

void SourceStore::AddOleAttachment(IMessage* message, const std::vector<uint8_t>& contents)
{
    ObjectRef<IAttach> attachment;
    ULONG number = 0;
    ASSERT_EQ(message->CreateAttach(nullptr, 0, &number, attachment.Out()), S_OK);
    ObjectRef<IUnknown> opened;
    ASSERT_EQ(attachment->OpenProperty(PR_ATTACH_DATA_OBJ, &IID_IStorage, 0, 0x0B, opened.Out()), S_OK);
    ObjectRef<IStorage> storage;
    ASSERT_EQ(opened->QueryInterface(IID_IStorage, reinterpret_cast<void**>(storage.Out())), S_OK);
    ObjectRef<IStream> stream;
    ASSERT_EQ(
        storage->CreateStream(u"CONTENTS", STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE, 0, 0, stream.Out()),
        S_OK);
    ULONG written = 0;
    ASSERT_EQ(stream->Write(contents.data(), static_cast<ULONG>(contents.size()), &written), S_OK);
    stream.Reset();
    ASSERT_EQ(storage->Commit(0), S_OK);
    storage.Reset();
    opened.Reset();
    EXPECT_EQ(attachment->SaveChanges(0), S_OK);
}

void SourceStore::AddEmbeddedMessage(IMessage* message, const std::string& subject, const std::string& recipient)
{
    ObjectRef<IAttach> attachment;
    ULONG number = 0;
    ASSERT_EQ(message->CreateAttach(nullptr, 0, &number, attachment.Out()), S_OK);
    ObjectRef<IUnknown> opened;
    ASSERT_EQ(attachment->OpenProperty(PR_ATTACH_DATA_OBJ, &IID_IMessage, 0, MAPI_MODIFY | MAPI_CREATE, opened.Out()),
              S_OK);
    ObjectRef<IMessage> inner;
    ASSERT_EQ(opened->QueryInterface(IID_IMessage, reinterpret_cast<void**>(inner.Out())), S_OK);
    SPropValue value = StringProp(PR_SUBJECT_A, subject);
    EXPECT_EQ(inner->SetProps(1, &value, nullptr), S_OK);
    AddRecipient(inner.Get(), recipient, recipient);
    EXPECT_EQ(inner->SaveChanges(0), S_OK);
    EXPECT_EQ(attachment->SaveChanges(0), S_OK);
}

void SourceStore::SaveMessage(IMessage* message) { EXPECT_EQ(message->SaveChanges(MAPI_DEFERRED_ERRORS), S_OK); }

ULONG SourceStore::NamedId(const std::u16string& name)
{
    std::u16string text = name;
    GUID set = PS_PUBLIC_STRINGS;
    MAPINAMEID id{};
    id.lpguid = &set;
    id.ulKind = MNID_STRING;
    id.Kind.lpwstrName = text.data();
    LPMAPINAMEID names[1] = {&id};
    LPSPropTagArray tags = nullptr;
    EXPECT_EQ(m_store->GetIDsFromNames(1, names, MAPI_CREATE, &tags), S_OK);
    const MapiPtr<SPropTagArray> owned(tags);
    return owned && owned->cValues == 1 ? PROP_ID(owned->aulPropTag[0]) : 0;
}

void SourceStore::Close()
{
    m_inbox.Reset();
    m_subtree.Reset();
    if (m_store) {
        ULONG flags = LOGOFF_NO_WAIT;
        (void)m_store->StoreLogoff(&flags);
        m_store.Reset();
        (void)mapi::ClosePstStoreFile(m_path);
    }
}

// ---- ScannedSource, OutputFixture, the walk

ScannedSource::ScannedSource(const std::string& path, pstformat::Layout layout)
{
    if (!m_file.Open(path, modeRead | shareDenyWrite | typeBinary)) return;
    if (layout == pstformat::Layout::Unicode)
        m_reader = std::make_unique<UnicodePstReader>(m_host, m_file);
    else
        m_reader = std::make_unique<AnsiPstReader>(m_host, m_file);
    m_indexed = m_reader->ScanFile(17, 2);
    m_reader->CollectTopDataBlocks();
    m_reader->CollectTopSubnodeBlocks();
}

OutputFixture::OutputFixture(const std::string& path, bool unicode)
{
    if (!store.InitializeMessaging()) return;
    m_created = store.CreateStore(path, 0x80000000, "Recovered Personal Folder", "", unicode ? 64 : 32);
}

uint32_t RecoverTree(TestContext& context, PstReader& reader, OutputStore& store)
{
    BuildNamedPropMap(context, reader, store);
    MapSpecialFolders(context, reader, store);
    return RecoverHierarchy(context, reader, store);
}

PassFixture::PassFixture(pstformat::Layout layout, bool unicodeOutput)
    : m_layout(layout), m_unicodeOutput(unicodeOutput),
      m_source(std::make_unique<SourceStore>(sandbox.File("source.pst"), layout))
{
    context.OutputLayout = unicodeOutput ? 64 : 32;
}

PstReader& PassFixture::Scan()
{
    m_source->Close();
    m_scanned = std::make_unique<ScannedSource>(sandbox.File("source.pst"), m_layout);
    EXPECT_TRUE(m_scanned->Ok());
    return m_scanned->Reader();
}

OutputStore& PassFixture::Output()
{
    if (!m_output) {
        m_output = std::make_unique<OutputFixture>(sandbox.File("out.pst"), m_unicodeOutput);
        EXPECT_TRUE(m_output->Ok());
    }
    return m_output->store;
}

std::optional<Json> PassFixture::Dump()
{
    if (m_output) m_output->Close();
    return LibpffDump(sandbox.File("out.pst"));
}

PstNode& NodeOf(PstReader& reader, uint32_t nid)
{
    PstNode* node = reader.Nodes().FindCurrent(nid);
    if (node == nullptr) throw std::runtime_error("no node " + std::to_string(nid));
    return *node;
}

uint32_t NidNamed(PstReader& reader, const std::string& name)
{
    uint32_t found = 0;
    reader.Nodes().ForEach([&](uint32_t nid, PstNodeMap::Versions& versions) {
        if (found != 0 || versions.empty() || !versions.back()) return;
        PstNode& node = *versions.back();
        Load(node, pstformat::BlockEncoding::Unknown);
        if (GetNodeDisplayName(node) == name || GetNodeString(node, 0x0037) == name) found = nid;
    });
    return found;
}

// ---- judges

Verdict Pstcheck(const std::string& store)
{
    return FromResult(RunTool(std::string(KRV_BIN_DIR) + "/krv-pstcheck", {store}));
}

Verdict Pffinfo(const std::string& store) { return FromResult(RunTool("/usr/bin/pffinfo", {"-a", store})); }

Verdict Readpst(const std::string& store, const std::string& scratch)
{
    fs::create_directories(scratch);
    return FromResult(RunTool("/usr/bin/readpst", {"-q", "-D", "-o", scratch, store}));
}

Verdict LibpffCompare(const std::string& original, const std::string& repaired)
{
    return FromResult(RunTool("/usr/bin/python3", {JudgeScript(), original, repaired}));
}

std::optional<Json> LibpffDump(const std::string& store)
{
    const ToolResult result = RunTool("/usr/bin/python3", {JudgeScript(), "--dump", store});
    if (result.exitCode != 0) return std::nullopt;
    return ParseJson(result.out);
}

bool JudgesInstalled()
{
    for (const char* tool : {"/usr/bin/pffinfo", "/usr/bin/readpst", "/usr/bin/pffexport", "/usr/bin/python3"})
        if (!fs::exists(tool)) return false;
    return RunTool("/usr/bin/python3", {"-c", "import pypff"}).exitCode == 0;
}

std::vector<const Json*> MessagesIn(const Json& dump, const std::string& folder)
{
    std::vector<const Json*> found;
    for (const Json& message : dump["messages"].items)
        if (message["folder"].text == folder) found.push_back(&message);
    return found;
}

bool HasFolder(const Json& dump, const std::string& folder)
{
    for (const Json& path : dump["folders"].items)
        if (path.text == folder) return true;
    return false;
}

} // namespace krv::test

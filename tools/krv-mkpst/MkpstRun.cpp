// MkpstRun.cpp: the order of a run, and what it tells the user.
#include "tools/krv-mkpst/MkpstRun.h"

#include "platform/mapi/PropTags.h"
#include "platform/mapi/session/MapiSubsystem.h"
#include "platform/os/CodePage.h"
#include "tools/krv-mkpst/HResultText.h"
#include "tools/krv-mkpst/Manifest.h"
#include "tools/krv-mkpst/MessageWriter.h"
#include "platform/mapi/ObjectRef.h"
#include "platform/pst/ndb/Unicode4kCopy.h"
#include "tools/krv-mkpst/StoreSession.h"

#include <cstdio>
#include <filesystem>
#include <unistd.h>

namespace krv::mkpst {
namespace {

namespace fs = std::filesystem;

constexpr ULONG kCreateFolderFlags = OPEN_IF_EXISTS | MAPI_DEFERRED_ERRORS; // 9
constexpr const char* kDisplayName = "Personal Folders";

int Failed(const std::string& what, HRESULT hr)
{
    std::fprintf(stderr, "krv-mkpst: %s failed: %s\n", what.c_str(), HResultText(hr).c_str());
    return kExitFailed;
}

// Starts the messaging subsystem for the run and stops it again.
class MessagingScope {
public:
    MessagingScope() : m_hr(MAPIInitialize(nullptr)) {}
    ~MessagingScope()
    {
        if (SUCCEEDED(m_hr)) MAPIUninitialize();
    }
    MessagingScope(const MessagingScope&) = delete;
    MessagingScope& operator=(const MessagingScope&) = delete;
    [[nodiscard]] HRESULT Result() const { return m_hr; }

private:
    HRESULT m_hr;
};

// A folder's PR_DISPLAY_NAME in UTF-8, read in the width of the layout.
std::string DisplayName(IMAPIProp* object, bool unicode)
{
    const MapiPtr<SPropTagArray> tags = MakePropTagArray({unicode ? PR_DISPLAY_NAME_W : PR_DISPLAY_NAME_A});
    if (!tags) return {};
    ULONG count = 0;
    LPSPropValue raw = nullptr;
    const HRESULT hr = object->GetProps(tags.get(), 0, &count, &raw);
    const MapiPtr<SPropValue> values(raw);
    if (FAILED(hr) || count != 1 || !values || values->ulPropTag != tags->aulPropTag[0]) return {};
    return unicode ? Utf16ToUtf8(values->Value.lpszW) : Utf16ToUtf8(AnsiToUtf16(values->Value.lpszA));
}

// The names of the folders already below `folder` (the ones the store made itself).
std::vector<std::string> ChildNames(IMAPIFolder* folder, bool unicode)
{
    std::vector<std::string> names;
    ObjectRef<IMAPITable> table;
    if (FAILED(folder->GetHierarchyTable(0, table.Out())) || !table) return names;
    const ULONG tag = unicode ? PR_DISPLAY_NAME_W : PR_DISPLAY_NAME_A;
    const MapiPtr<SPropTagArray> columns = MakePropTagArray({tag});
    if (!columns || FAILED(table->SetColumns(columns.get(), 0))) return names;
    ULONG count = 0;
    if (FAILED(table->GetRowCount(0, &count))) return names;
    LPSRowSet raw = nullptr;
    if (FAILED(table->QueryRows(static_cast<LONG>(count), 0, &raw))) return names;
    const RowSetPtr rows(raw);
    for (ULONG r = 0; rows && r < rows->cRows; ++r) {
        const SRow& row = rows->aRow[r];
        if (row.cValues < 1 || row.lpProps[0].ulPropTag != tag) continue;
        names.push_back(unicode ? Utf16ToUtf8(row.lpProps[0].Value.lpszW)
                                : Utf16ToUtf8(AnsiToUtf16(row.lpProps[0].Value.lpszA)));
    }
    return names;
}

class Progress {
public:
    Progress(uint32_t total, bool quiet) : m_total(total), m_quiet(quiet || total == 0), m_tty(::isatty(2) != 0)
    {
        m_step = total >= 20 ? total / 20 : 1;
    }
    void Done(uint32_t done)
    {
        if (m_quiet || (done % m_step != 0 && done != m_total)) return;
        std::fprintf(stderr, m_tty ? "\rkrv-mkpst: %u of %u messages" : "krv-mkpst: %u of %u messages\n", done,
                     m_total);
        if (m_tty && done == m_total) std::fputc('\n', stderr);
    }

private:
    uint32_t m_total;
    bool m_quiet;
    bool m_tty;
    uint32_t m_step = 1;
};

} // namespace

int RunMkpst(const MkpstOptions& options)
{
    std::error_code ec;
    if (fs::exists(options.out, ec) || fs::is_symlink(options.out, ec)) {
        if (!options.force) {
            std::fprintf(stderr, "krv-mkpst: %s exists; --force replaces it\n", options.out.c_str());
            return kExitFailed;
        }
        // As the engine does before it creates its output: a new store, never an old one.
        if (!fs::remove(options.out, ec) || ec) {
            std::fprintf(stderr, "krv-mkpst: cannot remove %s: %s\n", options.out.c_str(), ec.message().c_str());
            return kExitFailed;
        }
    }

    MessagingScope messaging;
    if (FAILED(messaging.Result())) return Failed("MAPIInitialize", messaging.Result());

    const bool unicode = options.unicode;
    // The 4 KiB-page layout is a copy of a 64-bit store written beside the output first.
    const std::string storePath = options.unicode4k ? options.out + ".unicode.tmp" : options.out;
    if (options.unicode4k) fs::remove(storePath, ec);
    StoreParameters parameters;
    parameters.path = storePath;
    parameters.displayName = kDisplayName;
    parameters.unicode = unicode;
    parameters.encryption = EncryptionSetting(options.encryption);
    StoreSession session;
    std::string step;
    HRESULT hr = session.Open(parameters, &step);
    if (FAILED(hr)) return Failed("creating the store (" + step + ")", hr);
    if (!options.quiet)
        std::fprintf(stderr, "krv-mkpst: writing %s through the temporary profile %s\n", options.out.c_str(),
                     session.ProfileName().c_str());

    ManifestSummary summary;
    summary.layout = options.unicode4k ? "unicode4k" : unicode ? "unicode" : "ansi";
    summary.encryption = EncryptionName(options.encryption);
    summary.seed = options.seed;
    summary.displayName = kDisplayName;
    const std::string topPath = "/" + DisplayName(session.IpmSubtree(), unicode);
    summary.folders.push_back({topPath, 0, true});
    for (const std::string& name : ChildNames(session.IpmSubtree(), unicode))
        summary.folders.push_back({topPath + "/" + name, 0, true});

    ManifestWriter manifest;
    if (!options.manifest.empty() && !manifest.Open(options.manifest)) {
        std::fprintf(stderr, "krv-mkpst: cannot write the manifest %s\n", options.manifest.c_str());
        return kExitFailed;
    }

    WriteFailure failure;
    WriteContext context;
    context.unicode = unicode;
    context.copyComputed = options.copyComputed;
    context.fingerprints = !options.manifest.empty();
    summary.namedProps = PlanNamedProps(options.namedProps);
    if (!MapNamedProps(session.Store(), summary.namedProps, context.names, failure))
        return Failed(failure.what, failure.hr);

    // Folders: every one stays open while messages go into them.
    const std::vector<FolderPlan> plans = PlanFolders(options);
    std::vector<ObjectRef<IMAPIFolder>> folders;
    std::vector<std::string> paths;
    for (size_t i = 0; i < plans.size(); ++i) {
        const FolderPlan& plan = plans[i];
        IMAPIFolder* parent = plan.parent == kTopFolder ? session.IpmSubtree() : folders[plan.parent].Get();
        // The engine creates folders under 8-bit names; a name 8-bit text cannot hold is set
        // afterwards as the folder's display name, as a recovered folder's own name is.
        std::string name = Utf16ToAnsi(Utf8ToUtf16(plan.createName));
        ObjectRef<IMAPIFolder> folder;
        hr = parent->CreateFolder(FOLDER_GENERIC, name.data(), nullptr, nullptr, kCreateFolderFlags, folder.Out());
        if (FAILED(hr) || !folder)
            return Failed("CreateFolder " + plan.createName, FAILED(hr) ? hr : MAPI_E_CALL_FAILED);
        PropWriter w(folder.Get(), unicode, failure);
        if (plan.finalName != plan.createName) w.Text(0x3001, plan.finalName);
        if (options.copyComputed) WriteCopiedFolderComputed(w, static_cast<uint32_t>(i) + 0x1000);
        w.SaveKeepOpen("folder");
        if (FAILED(failure.hr)) return Failed(failure.what + " (folder " + plan.finalName + ")", failure.hr);
        paths.push_back((plan.parent == kTopFolder ? topPath : paths[plan.parent]) + "/" + plan.finalName);
        summary.folders.push_back({paths.back(), plan.messages, false});
        folders.push_back(std::move(folder));
    }

    Progress progress(options.messages, options.quiet);
    for (uint32_t i = 0; i < options.messages; ++i) {
        const MessagePlan plan = PlanMessage(options, i, static_cast<uint32_t>(folders.size()));
        WrittenMessage written;
        if (!WriteMessage(folders[plan.folder].Get(), plan, context, written, failure))
            return Failed(failure.what + " (message " + std::to_string(i) + ")", failure.hr);
        manifest.Message(plan, paths[plan.folder], written);
        summary.messages += 1;
        summary.recipients += plan.recipients.size();
        summary.attachments += plan.attachments.size();
        progress.Done(i + 1);
    }

    folders.clear();
    hr = session.Close(&step);
    if (FAILED(hr)) return Failed(step, hr);
    if (!fs::is_regular_file(storePath, ec)) {
        std::fprintf(stderr, "krv-mkpst: no store file at %s after closing\n", storePath.c_str());
        return kExitFailed;
    }
    if (options.unicode4k) {
        pst::Unicode4kCopyOptions copyOptions;
        copyOptions.compress = options.compress;
        const pst::NdbError copied = pst::CopyAsUnicode4k(storePath, options.out, copyOptions);
        fs::remove(storePath, ec);
        if (!copied.ok()) {
            std::fprintf(stderr, "krv-mkpst: copying into the 4 KiB-page layout failed: %s\n",
                         pst::NdbErrorText(copied).c_str());
            return kExitFailed;
        }
    }
    if (!options.manifest.empty() && !manifest.Finish(summary)) {
        std::fprintf(stderr, "krv-mkpst: writing the manifest %s failed\n", options.manifest.c_str());
        return kExitFailed;
    }
    return kExitOk;
}

} // namespace krv::mkpst

// IpmSubtree.cpp: the standard folders of a store, found or created.
#include "platform/mapi/store/IpmSubtree.h"

#include "platform/mapi/PropTags.h"
#include "platform/mapi/store/PstMsgStore.h"
#include "platform/mapi/store/StoreResults.h"
#include "platform/pst/messaging/StringProperties.h"

#include <optional>
#include <vector>

namespace {

using krv::mapi::OpenStoreFile;
namespace pst = krv::pst;

constexpr ULONG kInboxEntryIdTag = PROP_TAG(PT_BINARY, 0x0000);
constexpr uint16_t kIdContainerClass = 0x3613;

struct SpecialFolder {
    ULONG tag;          // the entry ID's tag in the answer
    ULONG mask;         // PR_VALID_FOLDER_MASK bit
    bool storeProperty; // the store keeps the entry ID under `tag`
};

constexpr SpecialFolder kSubtree{PR_IPM_SUBTREE_ENTRYID, 0x01, false};
constexpr SpecialFolder kInbox{kInboxEntryIdTag, 0x02, false};
constexpr SpecialFolder kOutbox{PR_IPM_OUTBOX_ENTRYID, 0x04, true};
constexpr SpecialFolder kWastebasket{PR_IPM_WASTEBASKET_ENTRYID, 0x08, false};
constexpr SpecialFolder kSentMail{PR_IPM_SENTMAIL_ENTRYID, 0x10, true};
constexpr SpecialFolder kViews{PR_VIEWS_ENTRYID, 0x20, true};
constexpr SpecialFolder kCommonViews{PR_COMMON_VIEWS_ENTRYID, 0x40, true};
constexpr SpecialFolder kFinder{PR_FINDER_ENTRYID, 0x80, false};

struct Found {
    SpecialFolder folder;
    uint32_t nid;
};

class TreeBuilder {
public:
    TreeBuilder(pst::PstStore& store) : m_store(store) {}

    // The folder the store property names, when it still exists.
    std::optional<uint32_t> Named(const SpecialFolder& folder) const
    {
        if (!folder.storeProperty) return std::nullopt;
        const pst::PropertyValue* value = m_store.StoreProperties().FindTag(folder.tag);
        if (value == nullptr) return std::nullopt;
        const auto nid = m_store.NidOf(value->bytes);
        if (!nid || m_store.FolderProperties(*nid) == nullptr) return std::nullopt;
        return nid;
    }

    // Finds `name` under `parent` (or the folder the store property names), creating it
    // when `create`.
    HRESULT Ensure(const SpecialFolder& folder, uint32_t parent, const char16_t* name, const char16_t* containerClass,
                   bool create)
    {
        std::optional<uint32_t> nid = Named(folder);
        if (!nid) nid = m_store.FindChildFolder(parent, name);
        if (!nid && create) {
            uint32_t made = 0;
            if (HRESULT hr =
                    krv::mapi::HResultOf(m_store.CreateFolder(parent, name, pst::FolderCreateMode::OpenIfExists, made));
                FAILED(hr))
                return hr;
            if (containerClass != nullptr) {
                const auto value = pst::MakeLayoutString(kIdContainerClass, containerClass, m_store.GetLayout());
                if (HRESULT hr = krv::mapi::HResultOf(m_store.SetFolderProperty(made, value)); FAILED(hr)) return hr;
            }
            nid = made;
        }
        if (!nid) return S_OK;
        if (folder.storeProperty) {
            if (HRESULT hr =
                    krv::mapi::HResultOf(m_store.SetStoreProperty(pst::MakeBytes(folder.tag, m_store.EntryIdOf(*nid))));
                FAILED(hr))
                return hr;
        }
        m_found.push_back({folder, *nid});
        return S_OK;
    }

    void Add(const SpecialFolder& folder, uint32_t nid)
    {
        if (nid != 0 && m_store.FolderProperties(nid) != nullptr) m_found.push_back({folder, nid});
    }

    ULONG Mask() const
    {
        ULONG mask = 0;
        for (const Found& f : m_found) mask |= f.folder.mask;
        return mask;
    }

    const std::vector<Found>& FoundFolders() const { return m_found; }

private:
    pst::PstStore& m_store;
    std::vector<Found> m_found;
};

HRESULT Answer(pst::PstStore& store, const TreeBuilder& tree, ULONG* count, LPSPropValue* values)
{
    const auto& found = tree.FoundFolders();
    SPropValue* out = nullptr;
    HRESULT hr = krv::MapiAllocateArray(found.size() + 1, &out);
    if (FAILED(hr)) return hr;
    for (size_t i = 0; i < found.size(); ++i) {
        const std::vector<uint8_t> entryId = store.EntryIdOf(found[i].nid);
        BYTE* bytes = nullptr;
        hr = krv::MapiAllocateMoreArray(entryId.size(), out, &bytes);
        if (FAILED(hr)) {
            MAPIFreeBuffer(out);
            return hr;
        }
        std::copy(entryId.begin(), entryId.end(), bytes);
        out[i].ulPropTag = found[i].folder.tag;
        out[i].Value.bin = SBinary{static_cast<ULONG>(entryId.size()), bytes};
    }
    out[found.size()].ulPropTag = PR_VALID_FOLDER_MASK;
    out[found.size()].Value.ul = tree.Mask();
    *count = static_cast<ULONG>(found.size() + 1);
    *values = out;
    return S_OK;
}

} // namespace

HRESULT HrValidateIPMSubtree(LPMDB store, ULONG flags, ULONG* count, LPSPropValue* values, void*)
{
    if (count == nullptr || values == nullptr) return MAPI_E_INVALID_PARAMETER;
    *count = 0;
    *values = nullptr;
    auto* ours = dynamic_cast<krv::mapi::PstMsgStore*>(store);
    if (ours == nullptr) return MAPI_E_NO_SUPPORT;
    OpenStoreFile& file = *ours->FileOfStore();
    if (HRESULT hr = file.CheckOpen(); FAILED(hr)) return hr;
    pst::PstStore& pstStore = file.Store();

    const bool full = (flags & MAPI_FULL_IPM_TREE) != 0;
    TreeBuilder tree(pstStore);
    const uint32_t subtree = pstStore.IpmSubtree();
    const uint32_t root = pstStore.RootFolder();
    tree.Add(kSubtree, subtree);
    HRESULT hr = tree.Ensure(kInbox, subtree, u"Inbox", u"IPF.Note", full);
    if (SUCCEEDED(hr)) hr = tree.Ensure(kOutbox, subtree, u"Outbox", u"IPF.Note", full);
    if (SUCCEEDED(hr)) tree.Add(kWastebasket, pstStore.Wastebasket());
    if (SUCCEEDED(hr)) hr = tree.Ensure(kSentMail, subtree, u"Sent Items", u"IPF.Note", full);
    if (SUCCEEDED(hr)) hr = tree.Ensure(kViews, root, u"IPM_VIEWS", nullptr, full);
    if (SUCCEEDED(hr)) hr = tree.Ensure(kCommonViews, root, u"IPM_COMMON_VIEWS", nullptr, full);
    if (SUCCEEDED(hr)) tree.Add(kFinder, pstStore.SearchRoot());
    if (FAILED(hr)) return hr;
    hr = krv::mapi::HResultOf(pstStore.SetStoreProperty(pst::MakeInt32(PR_VALID_FOLDER_MASK, tree.Mask())));
    if (FAILED(hr)) return hr;
    return Answer(pstStore, tree, count, values);
}

// PstMsgStore.cpp: the message store object.
#include "platform/mapi/store/PstMsgStore.h"

#include "platform/mapi/ObjectTypes.h"
#include "platform/mapi/PropTags.h"
#include "platform/mapi/store/EntryOpening.h"
#include "platform/mapi/store/ObjectProperties.h"
#include "platform/mapi/store/StoreResults.h"

namespace krv::mapi {
namespace {

constexpr ULONG kPrStoreRecordKey = PROP_TAG(PT_BINARY, 0x0FFA);
constexpr ULONG kPrStoreEntryId = PROP_TAG(PT_BINARY, 0x0FFB);

// PR_STORE_SUPPORT_MASK: entry IDs unique (0x1), modify (0x8), create (0x10), attachments
// (0x20), OLE objects (0x40), multi-valued properties (0x200), RTF (0x800), HTML (0x10000);
// Unicode strings (0x40000) in a Unicode store.
constexpr ULONG kSupportMask =
    0x00000001 | 0x00000008 | 0x00000010 | 0x00000020 | 0x00000040 | 0x00000200 | 0x00000800 | 0x00010000;
constexpr ULONG kSupportUnicode = 0x00040000;

} // namespace

PstMsgStore::PstMsgStore(std::shared_ptr<OpenStoreFile> file) : PropObject(std::move(file), nullptr)
{
    File().AddStoreObject();
}

PstMsgStore::~PstMsgStore() { File().ReleaseStoreObject(); }

bool PstMsgStore::IsSpecialFolderTag(ULONG tag)
{
    const ULONG id = PROP_ID(tag);
    return id >= PROP_ID(PR_VALID_FOLDER_MASK) && id <= PROP_ID(PR_FINDER_ENTRYID);
}

PropertyList PstMsgStore::Properties()
{
    pst::PstStore& store = Store();
    PropertyList list = store.StoreProperties().Values();
    PutProperty(list, BinaryProperty(PR_ENTRYID, File().StoreEntryId()));
    PutProperty(list, BinaryProperty(kPrStoreEntryId, File().StoreEntryId()));
    PutProperty(list, BinaryProperty(PR_RECORD_KEY, store.Uid()));
    PutProperty(list, BinaryProperty(kPrStoreRecordKey, store.Uid()));
    PutProperty(list, LongProperty(PR_OBJECT_TYPE, MAPI_STORE));
    PutProperty(list, LongProperty(PR_STORE_SUPPORT_MASK, kSupportMask | (File().IsUnicode() ? kSupportUnicode : 0)));
    return list;
}

pst::StoreError PstMsgStore::SetOne(pst::PropertyValue value) { return Store().SetStoreProperty(std::move(value)); }

pst::StoreError PstMsgStore::DeleteOne(ULONG tag) { return Store().DeleteStoreProperty(tag); }

HRESULT PstMsgStore::SaveChanges(ULONG)
{
    if (HRESULT hr = CheckUsable(); FAILED(hr)) return hr;
    // The store's properties go to the file with the next checkpoint; saving asks for one.
    return HResultOf(Store().Checkpoint());
}

HRESULT PstMsgStore::OpenEntry(ULONG cbEntryId, LPENTRYID entryId, LPCIID iid, ULONG flags, ULONG* objectType,
                               LPUNKNOWN* object)
{
    if (object) *object = nullptr;
    if (HRESULT hr = CheckUsable(); FAILED(hr)) return hr;
    return OpenStoreEntry(SharedFile(), this, cbEntryId, entryId, iid, flags, objectType, object);
}

HRESULT PstMsgStore::StoreLogoff(ULONG* flags)
{
    if (flags) *flags = 0;
    // The file is completed when the last reference to the store goes, so that objects
    // still being released until then stay valid. Everything saved so far is written out
    // now, though, so that a disk that cannot take it is reported to the caller here
    // rather than lost in a release that has no result.
    File().MarkLoggedOff();
    if (!File().IsOpen()) return S_OK;
    return HResultOf(File().Store().Checkpoint());
}

} // namespace krv::mapi

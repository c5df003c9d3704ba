// PstMsgStore.h: the IMsgStore of a personal-folders store file.
//
// The store's own properties are the writer's, with its entry ID, record keys, object
// type and support mask added. The special folders' entry IDs and the valid-folder mask
// are kept by HrValidateIPMSubtree alone: a caller copying them from elsewhere would point
// the store at folders it does not have.
#ifndef KRV_PLATFORM_MAPI_STORE_PSTMSGSTORE_H
#define KRV_PLATFORM_MAPI_STORE_PSTMSGSTORE_H

#include "platform/mapi/store/PropObject.h"

namespace krv::mapi {

class PstMsgStore final : public PropObject<IMsgStore> {
public:
    explicit PstMsgStore(std::shared_ptr<OpenStoreFile> file);

    HRESULT SaveChanges(ULONG flags) override;
    HRESULT OpenEntry(ULONG cbEntryId, LPENTRYID entryId, LPCIID iid, ULONG flags, ULONG* objectType,
                      LPUNKNOWN* object) override;
    HRESULT StoreLogoff(ULONG* flags) override;

    // The open file behind the store, for the provider's own helpers.
    [[nodiscard]] const std::shared_ptr<OpenStoreFile>& FileOfStore() const { return SharedFile(); }

    // True for the store properties HrValidateIPMSubtree keeps.
    [[nodiscard]] static bool IsSpecialFolderTag(ULONG tag);

protected:
    ~PstMsgStore() override;
    [[nodiscard]] bool SupportsMore(REFIID iid) const override { return iid == IID_IMsgStore; }
    [[nodiscard]] bool IsReadOnly(ULONG tag) const override { return IsSpecialFolderTag(tag); }
    [[nodiscard]] PropertyList Properties() override;
    [[nodiscard]] pst::StoreError SetOne(pst::PropertyValue value) override;
    [[nodiscard]] pst::StoreError DeleteOne(ULONG tag) override;
};

} // namespace krv::mapi

#endif

// PstFolder.h: an IMAPIFolder of the store: one folder, by its NID.
//
// Folder properties go to the store as they are set (SaveChanges has nothing left to do);
// a folder deleted meanwhile answers MAPI_E_OBJECT_DELETED.
#ifndef KRV_PLATFORM_MAPI_STORE_PSTFOLDER_H
#define KRV_PLATFORM_MAPI_STORE_PSTFOLDER_H

#include "platform/mapi/store/PropObject.h"

namespace krv::mapi {

class PstFolder final : public PropObject<IMAPIFolder> {
public:
    PstFolder(std::shared_ptr<OpenStoreFile> file, IUnknown* parent, uint32_t nid);

    [[nodiscard]] uint32_t Nid() const { return m_nid; }

    HRESULT SaveChanges(ULONG flags) override;
    HRESULT GetContentsTable(ULONG flags, LPMAPITABLE* table) override;
    HRESULT GetHierarchyTable(ULONG flags, LPMAPITABLE* table) override;
    HRESULT OpenEntry(ULONG cbEntryId, LPENTRYID entryId, LPCIID iid, ULONG flags, ULONG* objectType,
                      LPUNKNOWN* object) override;
    HRESULT CreateMessage(LPCIID iid, ULONG flags, IMessage** message) override;
    HRESULT CreateFolder(ULONG folderType, LPTSTR name, LPTSTR comment, LPCIID iid, ULONG flags,
                         IMAPIFolder** folder) override;
    HRESULT DeleteFolder(ULONG cbEntryId, LPENTRYID entryId, ULONG_PTR uiParam, void* progress, ULONG flags) override;

protected:
    ~PstFolder() override = default;
    [[nodiscard]] bool SupportsMore(REFIID iid) const override
    {
        return iid == IID_IMAPIContainer || iid == IID_IMAPIFolder;
    }
    [[nodiscard]] HRESULT CheckUsable() const override;
    [[nodiscard]] PropertyList Properties() override;
    [[nodiscard]] pst::StoreError SetOne(pst::PropertyValue value) override;
    [[nodiscard]] pst::StoreError DeleteOne(ULONG tag) override;

private:
    uint32_t m_nid;
};

} // namespace krv::mapi

#endif

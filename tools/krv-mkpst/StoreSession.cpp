// StoreSession.cpp: the temporary profile, the logon and the store, opened and closed.
#include "tools/krv-mkpst/StoreSession.h"

#include "platform/mapi/PropTags.h"
#include "platform/mapi/session/MapiSubsystem.h"
#include "platform/mapi/store/IpmSubtree.h"

#include <cstdio>
#include <cstring>

namespace krv::mkpst {
namespace {

constexpr ULONG kLogonFlags = MAPI_EXTENDED | MAPI_EXPLICIT_PROFILE | MAPI_NEW_SESSION;   // 0x32
constexpr ULONG kOpenStoreFlags = MDB_WRITE | MAPI_BEST_ACCESS;                           // 0x14
constexpr ULONG kValidateFlags = MAPI_FORCE_CREATE | MAPI_FULL_IPM_TREE;                  // 3
constexpr ULONG kOpenFolderFlags = MAPI_MODIFY | MAPI_DEFERRED_ERRORS | MAPI_BEST_ACCESS; // 0x19
constexpr unsigned kProfileNames = 1000; // PstLoadTmp000 to PstLoadTmp999

HRESULT Fail(HRESULT hr, std::string* step, const char* what)
{
    if (step) *step = what;
    return hr;
}

// An 8-bit string value; the text lives in `text`, which must outlive the value.
SPropValue String8(ULONG tag, std::string& text)
{
    SPropValue v{};
    v.ulPropTag = tag;
    v.Value.lpszA = text.data();
    return v;
}

} // namespace

ULONG EncryptionSetting(Encryption encryption)
{
    // The personal-folders service's values: compressible encryption is the permutation,
    // best encryption the cyclic one.
    switch (encryption) {
    case Encryption::Permute:
        return 0x40000000;
    case Encryption::Cyclic:
        return 0x20000000;
    case Encryption::None:
        break;
    }
    return 0x80000000;
}

StoreSession::~StoreSession() { (void)Close(); }

HRESULT StoreSession::CreateTempProfile(const StoreParameters& parameters, std::string* step)
{
    HRESULT hr = MAPIAdminProfiles(0, m_profAdmin.Out());
    if (FAILED(hr)) return Fail(hr, step, "MAPIAdminProfiles");
    std::string password; // the temporary profile has none
    bool created = false;
    for (unsigned i = 0; i < kProfileNames && !created; ++i) {
        char name[16];
        std::snprintf(name, sizeof name, "PstLoadTmp%03u", i);
        hr = m_profAdmin->CreateProfile(name, password.data(), 0, 0);
        if (hr == E_ACCESSDENIED) continue; // taken: try the next number
        if (FAILED(hr)) return Fail(hr, step, "IProfAdmin::CreateProfile");
        m_profileName = name;
        created = true;
    }
    if (!created)
        return Fail(E_ACCESSDENIED, step, "IProfAdmin::CreateProfile (PstLoadTmp000 to PstLoadTmp999 all taken)");

    hr = m_profAdmin->AdminServices(m_profileName.data(), password.data(), 0, 0, m_serviceAdmin.Out());
    if (FAILED(hr)) return Fail(hr, step, "IProfAdmin::AdminServices");
    std::string service = parameters.unicode ? "MSUPST MS" : "MSPST MS";
    std::string noName;
    hr = m_serviceAdmin->CreateMsgService(service.data(), noName.data(), 0, 0);
    if (FAILED(hr)) return Fail(hr, step, "IMsgServiceAdmin::CreateMsgService");

    ObjectRef<IMAPITable> table;
    hr = m_serviceAdmin->GetMsgServiceTable(0, table.Out());
    if (FAILED(hr)) return Fail(hr, step, "IMsgServiceAdmin::GetMsgServiceTable");
    LPSRowSet raw = nullptr;
    hr = table->QueryRows(1, 0, &raw);
    const RowSetPtr rows(raw);
    if (FAILED(hr)) return Fail(hr, step, "service table QueryRows");
    MAPIUID uid{};
    bool haveUid = false;
    if (rows && rows->cRows > 0) {
        const SRow& row = rows->aRow[0];
        for (ULONG i = 0; i < row.cValues && !haveUid; ++i) {
            const SPropValue& v = row.lpProps[i];
            if (v.ulPropTag == PR_SERVICE_UID && v.Value.bin.cb == sizeof uid.ab && v.Value.bin.lpb) {
                std::memcpy(uid.ab, v.Value.bin.lpb, sizeof uid.ab);
                haveUid = true;
            }
        }
    }
    if (!haveUid) return Fail(MAPI_E_NOT_FOUND, step, "service table: no PR_SERVICE_UID in the first row");

    std::string displayName = parameters.displayName;
    std::string path = parameters.path;
    std::string newPassword;
    std::string oldPassword = password;
    std::vector<SPropValue> values{String8(PR_DISPLAY_NAME_A, displayName), String8(PR_PST_PATH, path)};
    if (!parameters.unicode) {
        SPropValue remember{};
        remember.ulPropTag = PR_PST_REMEMBER_PW;
        remember.Value.b = 1;
        values.push_back(remember);
    }
    // The engine's output always has no encryption and so leaves it out in the 64-bit
    // layout; asked for another setting, the tool passes it in either layout.
    if (!parameters.unicode || parameters.encryption != 0x80000000) {
        SPropValue encryption{};
        encryption.ulPropTag = PR_PST_ENCRYPTION;
        encryption.Value.ul = parameters.encryption;
        values.push_back(encryption);
    }
    if (!parameters.unicode) {
        values.push_back(String8(PR_PST_PW_SZ_NEW, newPassword));
        values.push_back(String8(PR_PST_PW_SZ_OLD, oldPassword));
    }
    hr = m_serviceAdmin->ConfigureMsgService(&uid, 0, 0, static_cast<ULONG>(values.size()), values.data());
    if (FAILED(hr)) return Fail(hr, step, "IMsgServiceAdmin::ConfigureMsgService");
    return S_OK;
}

HRESULT StoreSession::DefaultStoreEntryId(std::vector<BYTE>& entryId, std::string* step)
{
    ObjectRef<IMAPITable> table;
    HRESULT hr = m_session->GetMsgStoresTable(0, table.Out());
    if (FAILED(hr)) return Fail(hr, step, "IMAPISession::GetMsgStoresTable");
    ULONG count = 0;
    hr = table->GetRowCount(0, &count);
    if (FAILED(hr)) return Fail(hr, step, "stores table GetRowCount");
    const MapiPtr<SPropTagArray> columns = MakePropTagArray({PR_DEFAULT_STORE, PR_ENTRYID});
    if (!columns) return Fail(MAPI_E_NOT_ENOUGH_MEMORY, step, "stores table columns");
    hr = table->SetColumns(columns.get(), 0);
    if (FAILED(hr)) return Fail(hr, step, "stores table SetColumns");
    hr = table->SeekRow(BOOKMARK_BEGINNING, 0, nullptr);
    if (FAILED(hr)) return Fail(hr, step, "stores table SeekRow");
    LPSRowSet raw = nullptr;
    hr = table->QueryRows(static_cast<LONG>(count), 0, &raw);
    const RowSetPtr rows(raw);
    if (FAILED(hr)) return Fail(hr, step, "stores table QueryRows");
    for (ULONG r = 0; rows && r < rows->cRows; ++r) {
        const SRow& row = rows->aRow[r];
        if (row.cValues < 2 || row.lpProps[0].ulPropTag != PR_DEFAULT_STORE || !row.lpProps[0].Value.b) continue;
        const SPropValue& id = row.lpProps[1];
        if (id.ulPropTag != PR_ENTRYID || id.Value.bin.cb == 0 || !id.Value.bin.lpb) continue;
        entryId.assign(id.Value.bin.lpb, id.Value.bin.lpb + id.Value.bin.cb);
        return S_OK;
    }
    return Fail(MAPI_E_NOT_FOUND, step, "stores table: no default store");
}

HRESULT StoreSession::ValidateIpmSubtree(std::string* step)
{
    ULONG count = 0;
    LPSPropValue raw = nullptr;
    HRESULT hr = HrValidateIPMSubtree(m_store.Get(), kValidateFlags, &count, &raw, nullptr);
    const MapiPtr<SPropValue> values(raw);
    if (FAILED(hr)) return Fail(hr, step, "HrValidateIPMSubtree");
    if (count == 0 || !values) return Fail(MAPI_E_NOT_FOUND, step, "HrValidateIPMSubtree: no folders answered");
    const SPropValue* subtree = nullptr;
    for (ULONG i = 0; i < count; ++i) {
        if (values.get()[i].ulPropTag == PR_IPM_SUBTREE_ENTRYID) subtree = &values.get()[i];
        if (values.get()[i].ulPropTag == PR_VALID_FOLDER_MASK) m_validMask = values.get()[i].Value.ul;
    }
    if (!subtree || (m_validMask & 0x01) == 0)
        return Fail(MAPI_E_NOT_FOUND, step, "HrValidateIPMSubtree: no IPM subtree");
    ULONG type = 0;
    ObjectRef<IUnknown> object;
    hr = m_store->OpenEntry(subtree->Value.bin.cb, reinterpret_cast<LPENTRYID>(subtree->Value.bin.lpb),
                            &IID_IMAPIFolder, kOpenFolderFlags, &type, object.Out());
    if (FAILED(hr) || !object)
        return Fail(FAILED(hr) ? hr : MAPI_E_NOT_FOUND, step, "IMsgStore::OpenEntry (IPM subtree)");
    // Asked for IID_IMAPIFolder, the object is one; a single-inheritance object's address
    // is its IUnknown address.
    hr = object->QueryInterface(IID_IMAPIFolder, reinterpret_cast<void**>(m_ipmSubtree.Out()));
    if (FAILED(hr)) return Fail(hr, step, "IPM subtree QueryInterface");
    return S_OK;
}

HRESULT StoreSession::Open(const StoreParameters& parameters, std::string* step)
{
    HRESULT hr = CreateTempProfile(parameters, step);
    if (SUCCEEDED(hr)) {
        std::string password;
        hr = MAPILogonEx(0, m_profileName.data(), password.data(), kLogonFlags, m_session.Out());
        if (FAILED(hr)) Fail(hr, step, "MAPILogonEx");
    }
    std::vector<BYTE> entryId;
    if (SUCCEEDED(hr)) hr = DefaultStoreEntryId(entryId, step);
    if (SUCCEEDED(hr)) {
        hr = m_session->OpenMsgStore(0, static_cast<ULONG>(entryId.size()), reinterpret_cast<LPENTRYID>(entryId.data()),
                                     nullptr, kOpenStoreFlags, m_store.Out());
        if (FAILED(hr)) Fail(hr, step, "IMAPISession::OpenMsgStore");
    }
    if (SUCCEEDED(hr)) hr = ValidateIpmSubtree(step);
    if (FAILED(hr)) (void)Close();
    return hr;
}

HRESULT StoreSession::Close(std::string* step)
{
    HRESULT first = S_OK;
    auto note = [&](HRESULT hr, const char* what) {
        if (FAILED(hr) && SUCCEEDED(first)) {
            first = hr;
            if (step) *step = what;
        }
    };
    m_ipmSubtree.Reset();
    if (m_store) {
        ULONG flags = LOGOFF_NO_WAIT;
        note(m_store->StoreLogoff(&flags), "IMsgStore::StoreLogoff");
        m_store.Reset();
    }
    if (m_session) {
        note(m_session->Logoff(0, 0, 0), "IMAPISession::Logoff");
        m_session.Reset();
    }
    m_serviceAdmin.Reset();
    if (!m_profileName.empty() && m_profAdmin) {
        note(m_profAdmin->DeleteProfile(m_profileName.data(), 0), "IProfAdmin::DeleteProfile");
        m_profileName.clear();
    }
    m_profAdmin.Reset();
    return first;
}

} // namespace krv::mkpst

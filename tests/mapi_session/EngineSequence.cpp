// EngineSequence.cpp: the engine's temporary-profile calls, step by step.
#include "tests/mapi_session/EngineSequence.h"

#include "platform/mapi/PropTags.h"
#include "platform/mapi/session/MapiSubsystem.h"

#include <cstdio>
#include <cstring>

namespace krv::test {
namespace {

void ClearState(TempProfileState& state)
{
    UlRelease(state.serviceAdmin);
    state.serviceAdmin = nullptr;
    if (state.created && state.profAdmin != nullptr) (void)state.profAdmin->DeleteProfile(state.profileName, 0);
    UlRelease(state.profAdmin);
    state.profAdmin = nullptr;
    state.created = false;
}

// An 8-bit string value whose text is a MAPIAllocateBuffer block of its own, as the
// engine allocates each value.
HRESULT StringValue(ULONG tag, const std::string& text, SPropValue& value, void** block)
{
    HRESULT hr = MAPIAllocateBuffer(text.size() + 1, block);
    if (FAILED(hr)) return hr;
    std::memcpy(*block, text.c_str(), text.size() + 1);
    value.ulPropTag = tag;
    value.Value.lpszA = static_cast<char*>(*block);
    return S_OK;
}

} // namespace

HRESULT CreateTempProfile(const std::string& path, ULONG encryption, const std::string& displayName,
                          const std::string& newPassword, bool unicode, TempProfileState& state)
{
    if (state.profAdmin != nullptr || FAILED(MAPIAdminProfiles(0, &state.profAdmin))) return E_FAIL;
    void* password = nullptr;
    void* name = nullptr;
    if (FAILED(MAPIAllocateBuffer(1, &password)) || FAILED(MAPIAllocateBuffer(14, &name))) {
        MAPIFreeBuffer(password);
        MAPIFreeBuffer(name);
        ClearState(state);
        return E_OUTOFMEMORY;
    }
    state.profilePassword = static_cast<char*>(password);
    state.profilePassword[0] = '\0';
    state.profileName = static_cast<char*>(name);

    HRESULT result = E_FAIL;
    LPMAPITABLE table = nullptr;
    LPSRowSet rows = nullptr;
    SPropValue values[6]{};
    void* blocks[3]{};
    do {
        for (unsigned i = 0; i < 1000; ++i) {
            std::snprintf(state.profileName, 14, "PstLoadTmp%03u", i);
            const HRESULT hr = state.profAdmin->CreateProfile(state.profileName, state.profilePassword, 0, 0);
            if (hr == E_ACCESSDENIED) continue;
            if (SUCCEEDED(hr)) state.created = true;
            break;
        }
        if (!state.created) break;
        if (FAILED(state.profAdmin->AdminServices(state.profileName, state.profilePassword, 0, 0, &state.serviceAdmin)))
            break;
        char service[16];
        std::strcpy(service, unicode ? "MSUPST MS" : "MSPST MS");
        char empty[1] = "";
        if (FAILED(state.serviceAdmin->CreateMsgService(service, empty, 0, 0))) break;
        if (FAILED(state.serviceAdmin->GetMsgServiceTable(0, &table)) || FAILED(table->QueryRows(1, 0, &rows))) break;
        if (rows == nullptr || rows->cRows == 0) break;
        const SPropValue* uid = nullptr;
        for (ULONG c = 0; c < rows->aRow[0].cValues; ++c) {
            if (rows->aRow[0].lpProps[c].ulPropTag == PR_SERVICE_UID) uid = &rows->aRow[0].lpProps[c];
        }
        if (uid == nullptr || uid->Value.bin.cb != sizeof state.serviceUid.ab) break;
        std::memcpy(state.serviceUid.ab, uid->Value.bin.lpb, sizeof state.serviceUid.ab);

        ULONG count = 2;
        if (FAILED(StringValue(PR_DISPLAY_NAME_A, displayName, values[0], &blocks[0])) ||
            FAILED(StringValue(PR_PST_PATH, path, values[1], &blocks[1])))
            break;
        if (!unicode) {
            values[2].ulPropTag = PR_PST_REMEMBER_PW;
            values[2].Value.b = 1;
            values[3].ulPropTag = PR_PST_ENCRYPTION;
            values[3].Value.ul = encryption;
            if (FAILED(StringValue(PR_PST_PW_SZ_NEW, newPassword, values[4], &blocks[2]))) break;
            values[5].ulPropTag = PR_PST_PW_SZ_OLD;
            values[5].Value.lpszA = state.profilePassword;
            count = 6;
        }
        result = state.serviceAdmin->ConfigureMsgService(&state.serviceUid, 0, 0, count, values);
        if (FAILED(result)) result = E_FAIL;
    } while (false);

    FreeProws(rows);
    UlRelease(table);
    for (void* block : blocks) MAPIFreeBuffer(block);
    if (FAILED(result)) {
        ClearState(state);
        MAPIFreeBuffer(state.profileName);
        MAPIFreeBuffer(state.profilePassword);
        state.profileName = nullptr;
        state.profilePassword = nullptr;
    }
    return result;
}

HRESULT DeleteTempProfile(TempProfileState& state)
{
    UlRelease(state.serviceAdmin);
    state.serviceAdmin = nullptr;
    HRESULT hr = S_OK;
    if (state.created && state.profAdmin != nullptr) hr = state.profAdmin->DeleteProfile(state.profileName, 0);
    UlRelease(state.profAdmin);
    state.profAdmin = nullptr;
    state.created = false;
    return hr;
}

HRESULT GetDefaultStoreEntryId(IMAPISession* session, ULONG* size, LPENTRYID* entryId)
{
    LPMAPITABLE table = nullptr;
    LPSRowSet rows = nullptr;
    HRESULT result = E_FAIL;
    do {
        ULONG count = 0;
        if (FAILED(session->GetMsgStoresTable(0, &table)) || FAILED(table->GetRowCount(0, &count))) break;
        auto columns = MakePropTagArray({PR_DEFAULT_STORE, PR_ENTRYID});
        if (!columns || FAILED(table->SetColumns(columns.get(), 0)) ||
            FAILED(table->SeekRow(BOOKMARK_BEGINNING, 0, nullptr)))
            break;
        const HRESULT queried = table->QueryRows(static_cast<LONG>(count), 0, &rows);
        if (FAILED(queried)) {
            result = queried;
            break;
        }
        for (ULONG r = 0; rows != nullptr && r < rows->cRows; ++r) {
            const SPropValue* values = rows->aRow[r].lpProps;
            if (rows->aRow[r].cValues < 2 || values[0].ulPropTag != PR_DEFAULT_STORE || !values[0].Value.b ||
                values[1].ulPropTag != PR_ENTRYID)
                continue;
            void* copy = nullptr;
            if (FAILED(MAPIAllocateBuffer(values[1].Value.bin.cb, &copy))) {
                result = E_OUTOFMEMORY;
                break;
            }
            std::memcpy(copy, values[1].Value.bin.lpb, values[1].Value.bin.cb);
            *size = values[1].Value.bin.cb;
            *entryId = static_cast<LPENTRYID>(copy);
            result = S_OK;
            break;
        }
    } while (false);
    FreeProws(rows);
    UlRelease(table);
    return result;
}

} // namespace krv::test

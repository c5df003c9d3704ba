// TempProfile.cpp: making and deleting the one temporary profile of the process.
#include "engine/output/TempProfile.h"

#include "platform/mapi/MapiAllocator.h"
#include "platform/mapi/ObjectRef.h"
#include "platform/mapi/PropTags.h"
#include "platform/mapi/session/MapiSubsystem.h"

#include <cstdio>
#include <cstring>

namespace krv {
namespace {

constexpr unsigned kProfileNameCount = 1000;
constexpr size_t kProfileNameSize = 14; // "PstLoadTmp999" and its terminator

// What is held between creating and deleting the profile.
struct TempProfileState {
    IProfAdmin* profAdmin = nullptr;
    IMsgServiceAdmin* serviceAdmin = nullptr;
    bool created = false;
    MAPIUID serviceUid{};
};

TempProfileState& State()
{
    static TempProfileState state;
    return state;
}

// Releases the administration objects and deletes a created profile.
HRESULT ReleaseState(const char* profileName)
{
    TempProfileState& state = State();
    UlRelease(state.serviceAdmin);
    state.serviceAdmin = nullptr;
    HRESULT hr = S_OK;
    if (state.created && state.profAdmin != nullptr && profileName != nullptr)
        hr = state.profAdmin->DeleteProfile(const_cast<char*>(profileName), 0);
    UlRelease(state.profAdmin);
    state = TempProfileState{};
    return hr;
}

// An 8-bit string value whose text is a MAPIAllocateBuffer block of its own.
HRESULT StringValue(ULONG tag, const std::string& text, SPropValue& value, MapiPtr<char>& block)
{
    void* raw = nullptr;
    if (FAILED(MAPIAllocateBuffer(text.size() + 1, &raw))) return E_OUTOFMEMORY;
    block.reset(static_cast<char*>(raw));
    std::memcpy(block.get(), text.c_str(), text.size() + 1);
    value.ulPropTag = tag;
    value.Value.lpszA = block.get();
    return S_OK;
}

// The first name of PstLoadTmp000 ... 999 that no profile has; E_FAIL when none is free
// or the profile store refuses for another reason.
HRESULT CreateFirstFreeProfile(IProfAdmin& admin, char* name, char* password)
{
    for (unsigned i = 0; i < kProfileNameCount; ++i) {
        std::snprintf(name, kProfileNameSize, "PstLoadTmp%03u", i);
        const HRESULT hr = admin.CreateProfile(name, password, 0, 0);
        if (hr == E_ACCESSDENIED) continue; // taken
        return SUCCEEDED(hr) ? S_OK : E_FAIL;
    }
    return E_FAIL;
}

// The service's UID from the first row of the service table.
HRESULT ReadServiceUid(IMsgServiceAdmin& admin, MAPIUID& uid)
{
    ObjectRef<IMAPITable> table;
    if (FAILED(admin.GetMsgServiceTable(0, table.Out()))) return E_FAIL;
    LPSRowSet rows = nullptr;
    HRESULT result = E_FAIL;
    if (SUCCEEDED(table->QueryRows(1, 0, &rows)) && rows != nullptr && rows->cRows > 0) {
        const SRow& row = rows->aRow[0];
        for (ULONG c = 0; c < row.cValues; ++c) {
            const SPropValue& value = row.lpProps[c];
            if (value.ulPropTag == PR_SERVICE_UID && value.Value.bin.cb == sizeof uid.ab) {
                std::memcpy(uid.ab, value.Value.bin.lpb, sizeof uid.ab);
                result = S_OK;
                break;
            }
        }
    }
    FreeProws(rows);
    return result;
}

} // namespace

HRESULT CreateTempProfile(const std::string& path, ULONG encryption, const std::string& displayName,
                          const std::string& newPassword, bool unicode, char** profileName, char** profilePassword)
{
    *profileName = nullptr;
    *profilePassword = nullptr;
    TempProfileState& state = State();
    if (state.profAdmin != nullptr || FAILED(MAPIAdminProfiles(0, &state.profAdmin))) return E_FAIL;

    void* password = nullptr;
    void* name = nullptr;
    if (FAILED(MAPIAllocateBuffer(1, &password)) || FAILED(MAPIAllocateBuffer(kProfileNameSize, &name))) {
        MAPIFreeBuffer(password);
        MAPIFreeBuffer(name);
        ReleaseState(nullptr);
        return E_OUTOFMEMORY;
    }
    MapiPtr<char> passwordBlock(static_cast<char*>(password));
    MapiPtr<char> nameBlock(static_cast<char*>(name));
    passwordBlock.get()[0] = '\0';

    HRESULT result = E_FAIL;
    do {
        if (FAILED(CreateFirstFreeProfile(*state.profAdmin, nameBlock.get(), passwordBlock.get()))) break;
        state.created = true;
        if (FAILED(state.profAdmin->AdminServices(nameBlock.get(), passwordBlock.get(), 0, 0, &state.serviceAdmin)))
            break;
        char service[16];
        std::strcpy(service, unicode ? "MSUPST MS" : "MSPST MS");
        char empty[1] = "";
        if (FAILED(state.serviceAdmin->CreateMsgService(service, empty, 0, 0))) break;
        if (FAILED(ReadServiceUid(*state.serviceAdmin, state.serviceUid))) break;

        // The 64-bit provider takes the name and path; the 32-bit one also wants the
        // password settings, and the encryption, which only it keeps in its service.
        SPropValue values[6]{};
        MapiPtr<char> blocks[3];
        ULONG count = 2;
        if (FAILED(StringValue(PR_DISPLAY_NAME_A, displayName, values[0], blocks[0])) ||
            FAILED(StringValue(PR_PST_PATH, path, values[1], blocks[1]))) {
            result = E_OUTOFMEMORY;
            break;
        }
        if (!unicode) {
            values[2].ulPropTag = PR_PST_REMEMBER_PW;
            values[2].Value.b = 1;
            values[3].ulPropTag = PR_PST_ENCRYPTION;
            values[3].Value.ul = encryption;
            if (FAILED(StringValue(PR_PST_PW_SZ_NEW, newPassword, values[4], blocks[2]))) {
                result = E_OUTOFMEMORY;
                break;
            }
            values[5].ulPropTag = PR_PST_PW_SZ_OLD;
            values[5].Value.lpszA = passwordBlock.get();
            count = 6;
        }
        result = state.serviceAdmin->ConfigureMsgService(&state.serviceUid, 0, 0, count, values);
        if (FAILED(result)) result = E_FAIL;
    } while (false);

    if (FAILED(result)) {
        ReleaseState(nameBlock.get());
        return result;
    }
    *profileName = nameBlock.release();
    *profilePassword = passwordBlock.release();
    return S_OK;
}

HRESULT DeleteTempProfile(const char* profileName) { return ReleaseState(profileName); }

bool HoldsTempProfile() { return State().profAdmin != nullptr; }

} // namespace krv

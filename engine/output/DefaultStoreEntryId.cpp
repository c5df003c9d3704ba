// DefaultStoreEntryId.cpp: reading the stores table for the default store.
#include "engine/output/DefaultStoreEntryId.h"

#include "platform/mapi/ObjectRef.h"
#include "platform/mapi/PropTagArray.h"
#include "platform/mapi/PropTags.h"

#include <cstring>

namespace krv {

HRESULT GetDefaultStoreEntryId(IMAPISession* session, ULONG* size, LPENTRYID* entryId)
{
    *size = 0;
    *entryId = nullptr;
    if (session == nullptr) return E_FAIL;
    ObjectRef<IMAPITable> table;
    ULONG count = 0;
    if (FAILED(session->GetMsgStoresTable(0, table.Out())) || FAILED(table->GetRowCount(0, &count))) return E_FAIL;
    auto columns = MakePropTagArray({PR_DEFAULT_STORE, PR_ENTRYID});
    if (!columns || FAILED(table->SetColumns(columns.get(), 0)) ||
        FAILED(table->SeekRow(BOOKMARK_BEGINNING, 0, nullptr)))
        return E_FAIL;
    LPSRowSet rows = nullptr;
    if (const HRESULT queried = table->QueryRows(static_cast<LONG>(count), 0, &rows); FAILED(queried)) {
        FreeProws(rows);
        return queried;
    }
    HRESULT result = E_FAIL;
    for (ULONG r = 0; rows != nullptr && r < rows->cRows; ++r) {
        const SRow& row = rows->aRow[r];
        if (row.cValues < 2 || row.lpProps[0].ulPropTag != PR_DEFAULT_STORE || !row.lpProps[0].Value.b ||
            row.lpProps[1].ulPropTag != PR_ENTRYID)
            continue;
        const SBinary& bytes = row.lpProps[1].Value.bin;
        void* copy = nullptr;
        if (FAILED(MAPIAllocateBuffer(bytes.cb, &copy))) {
            result = E_OUTOFMEMORY;
            break;
        }
        if (bytes.cb != 0) std::memcpy(copy, bytes.lpb, bytes.cb);
        *size = bytes.cb;
        *entryId = static_cast<LPENTRYID>(copy);
        result = S_OK;
        break;
    }
    FreeProws(rows);
    return result;
}

} // namespace krv

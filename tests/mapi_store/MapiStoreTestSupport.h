// MapiStoreTestSupport.h: helpers of the store object tests: owned references, a store
// file made through the provider in a scratch directory, and one-value property calls.
#ifndef KRV_TESTS_MAPI_STORE_MAPISTORETESTSUPPORT_H
#define KRV_TESTS_MAPI_STORE_MAPISTORETESTSUPPORT_H

#include "platform/mapi/MapiTypes.h"
#include "platform/mapi/MapiInterfaces.h"
#include "platform/mapi/store/PstProvider.h"
#include "platform/os/CodePage.h"
#include "tests/file/FileFixture.h"
#include "tests/pst/LayoutParam.h"
#include "tests/pst/StoreTestSupport.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace krv::test {

// One reference, released when it goes.
template <class T>
class Ref {
public:
    Ref() = default;
    explicit Ref(T* p) : m_p(p) {}
    ~Ref() { UlRelease(m_p); }
    Ref(Ref&& other) noexcept : m_p(std::exchange(other.m_p, nullptr)) {}
    Ref& operator=(Ref&& other) noexcept
    {
        if (this != &other) {
            UlRelease(m_p);
            m_p = std::exchange(other.m_p, nullptr);
        }
        return *this;
    }
    Ref(const Ref&) = delete;
    Ref& operator=(const Ref&) = delete;

    T* get() const { return m_p; }
    T* operator->() const { return m_p; }
    explicit operator bool() const { return m_p != nullptr; }
    // For out parameters: releases what is held first.
    T** out()
    {
        UlRelease(m_p);
        m_p = nullptr;
        return &m_p;
    }
    LPUNKNOWN* unknown() { return reinterpret_cast<LPUNKNOWN*>(out()); }

private:
    T* m_p = nullptr;
};

// A store file made and opened through the provider; closed when the fixture goes.
class ProviderStore {
public:
    explicit ProviderStore(pstformat::Layout layout, const std::string& name = "store.pst")
        : path(dir.File(name)), unicode(layout == pstformat::Layout::Unicode)
    {
        mapi::PstServiceConfig config;
        config.path = path;
        config.displayName = "Recovered Personal Folder";
        config.unicode = unicode;
        created = mapi::CreatePstStoreFile(config);
        if (created == S_OK) opened = mapi::OpenPstMsgStore(path, MDB_WRITE | MAPI_BEST_ACCESS, store.out());
    }
    ~ProviderStore()
    {
        store = Ref<IMsgStore>();
        (void)mapi::ClosePstStoreFile(path);
    }

    // Logs off, releases the store and completes the file.
    HRESULT Close()
    {
        ULONG flags = LOGOFF_NO_WAIT;
        if (store) (void)store->StoreLogoff(&flags);
        store = Ref<IMsgStore>();
        return mapi::ClosePstStoreFile(path);
    }

    ScratchDir dir;
    std::string path;
    bool unicode;
    HRESULT created = E_FAIL;
    HRESULT opened = E_FAIL;
    Ref<IMsgStore> store;
};

inline SPropValue StringValue(ULONG tag, const char* text)
{
    SPropValue v{};
    v.ulPropTag = tag;
    v.Value.lpszA = const_cast<char*>(text);
    return v;
}

inline SPropValue LongValue(ULONG tag, LONG value)
{
    SPropValue v{};
    v.ulPropTag = tag;
    v.Value.l = value;
    return v;
}

inline SPropValue BinaryValue(ULONG tag, std::vector<uint8_t>& bytes)
{
    SPropValue v{};
    v.ulPropTag = tag;
    v.Value.bin = SBinary{static_cast<ULONG>(bytes.size()), bytes.data()};
    return v;
}

// SetProps of one value: S_OK with no problem, or the problem's code (or the call's
// failure).
inline HRESULT SetOne(IMAPIProp* object, SPropValue value)
{
    LPSPropProblemArray problems = nullptr;
    const HRESULT hr = object->SetProps(1, &value, &problems);
    if (FAILED(hr)) return hr;
    const HRESULT problem = problems ? problems->aProblem[0].scode : S_OK;
    MAPIFreeBuffer(problems);
    return problem;
}

// GetProps of one tag: the value, or none for an error value or a failed call.
struct OneValue {
    HRESULT hr = E_FAIL;
    MapiPtr<SPropValue> value;
    [[nodiscard]] bool ok() const { return SUCCEEDED(hr) && value && PROP_TYPE(value->ulPropTag) != PT_ERROR; }
};

inline OneValue GetOne(IMAPIProp* object, ULONG tag)
{
    OneValue out;
    auto tags = MakePropTagArray({tag});
    ULONG count = 0;
    LPSPropValue values = nullptr;
    out.hr = object->GetProps(tags.get(), 0, &count, &values);
    out.value.reset(values);
    return out;
}

inline std::optional<std::string> GetString(IMAPIProp* object, ULONG id)
{
    OneValue v = GetOne(object, PROP_TAG(PT_STRING8, id));
    if (!v.ok() || v.value->ulPropTag != PROP_TAG(PT_STRING8, id)) return std::nullopt;
    return std::string(v.value->Value.lpszA);
}

inline std::optional<ULONG> GetLong(IMAPIProp* object, ULONG tag)
{
    OneValue v = GetOne(object, tag);
    if (!v.ok() || v.value->ulPropTag != tag) return std::nullopt;
    return v.value->Value.ul;
}

inline std::vector<uint8_t> GetBinary(IMAPIProp* object, ULONG tag)
{
    OneValue v = GetOne(object, tag);
    if (!v.ok() || v.value->ulPropTag != tag) return {};
    return std::vector<uint8_t>(v.value->Value.bin.lpb, v.value->Value.bin.lpb + v.value->Value.bin.cb);
}

inline LPENTRYID AsEntryId(std::vector<uint8_t>& bytes) { return reinterpret_cast<LPENTRYID>(bytes.data()); }

// Every row of a table with the columns it shows.
inline RowSetPtr AllRows(IMAPITable* table)
{
    ULONG count = 0;
    EXPECT_EQ(table->GetRowCount(0, &count), S_OK);
    LPSRowSet rows = nullptr;
    EXPECT_EQ(table->SeekRow(BOOKMARK_BEGINNING, 0, nullptr), S_OK);
    EXPECT_EQ(table->QueryRows(static_cast<LONG>(count) + 1, 0, &rows), S_OK);
    return RowSetPtr(rows);
}

// The value of `tag` in a row, or null.
inline const SPropValue* InRow(const SRow& row, ULONG tag)
{
    for (ULONG i = 0; i < row.cValues; ++i)
        if (row.lpProps[i].ulPropTag == tag) return &row.lpProps[i];
    return nullptr;
}

// A folder's rows: contents (or associated) or hierarchy.
inline RowSetPtr ContentsRows(IMAPIFolder* folder, ULONG flags = 0)
{
    Ref<IMAPITable> table;
    EXPECT_EQ(folder->GetContentsTable(flags, table.out()), S_OK);
    return table ? AllRows(table.get()) : RowSetPtr();
}

inline RowSetPtr HierarchyRows(IMAPIFolder* folder)
{
    Ref<IMAPITable> table;
    EXPECT_EQ(folder->GetHierarchyTable(0, table.out()), S_OK);
    return table ? AllRows(table.get()) : RowSetPtr();
}

// krv-pstcheck finds nothing wrong with the file (skipped when it was not built).
inline void ExpectPstcheckClean(const std::string& path)
{
    const auto pstcheck = PstcheckPath();
    if (!pstcheck) return;
    const ToolRun check = RunTool(Quoted(*pstcheck) + " " + Quoted(path));
    EXPECT_EQ(check.exitCode, 0) << check.output;
    EXPECT_NE(check.output.find(": 0 errors, 0 warnings"), std::string::npos) << check.output;
}

class LayoutTest : public ::testing::TestWithParam<pstformat::Layout> {};

} // namespace krv::test

#endif

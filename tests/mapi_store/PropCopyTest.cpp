// PropCopyTest.cpp: deep copies of property values: every type's data is copied into the
// copy's own blocks (the source can go), and one MAPIFreeBuffer frees it all.
#include "platform/mapi/PropCopy.h"

#include "platform/mapi/MapiTypes.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace krv::test {
namespace {

// Source values of every type, their data in a vector the test overwrites afterwards.
struct Sources {
    char text[6] = "hello";
    char16_t wide[4] = u"wid";
    BYTE bytes[3] = {1, 2, 3};
    GUID guid{0x01020304, 0x0506, 0x0708, {9, 10, 11, 12, 13, 14, 15, 16}};
    short shorts[2] = {-1, 7};
    LONG longs[3] = {1, -2, 3};
    float floats[1] = {1.5f};
    double doubles[2] = {2.5, -3.5};
    CURRENCY currencies[1] = {};
    FILETIME times[2] = {{1, 2}, {3, 4}};
    LARGE_INTEGER larges[1] = {};
    GUID guids[2] = {{1, 2, 3, {4}}, {5, 6, 7, {8}}};
    char a0[3] = "ab";
    char a1[1] = "";
    LPSTR strings[3] = {a0, a1, nullptr};
    char16_t w0[3] = u"xy";
    LPWSTR wstrings[1] = {w0};
    BYTE b0[2] = {0xAA, 0xBB};
    SBinary binaries[2] = {{2, b0}, {0, nullptr}};

    std::vector<SPropValue> Values()
    {
        larges[0].QuadPart = 0x123456789ALL;
        currencies[0].int64 = -5;
        std::vector<SPropValue> v;
        auto add = [&](ULONG type, auto setter) {
            SPropValue p{};
            p.ulPropTag = PROP_TAG(type, 0x6000 + static_cast<ULONG>(v.size()));
            setter(p.Value);
            v.push_back(p);
        };
        add(PT_NULL, [](auto& u) { u.x = 0; });
        add(PT_I2, [](auto& u) { u.i = -3; });
        add(PT_LONG, [](auto& u) { u.l = 42; });
        add(PT_R4, [](auto& u) { u.flt = 0.25f; });
        add(PT_DOUBLE, [](auto& u) { u.dbl = 1e100; });
        add(PT_CURRENCY, [](auto& u) { u.cur.int64 = 77; });
        add(PT_APPTIME, [](auto& u) { u.at = 4.5; });
        add(PT_ERROR, [](auto& u) { u.err = MAPI_E_NOT_FOUND; });
        add(PT_BOOLEAN, [](auto& u) { u.b = 1; });
        add(PT_OBJECT, [](auto& u) { u.x = 0; });
        add(PT_I8, [](auto& u) { u.li.QuadPart = -9; });
        add(PT_SYSTIME, [](auto& u) { u.ft = FILETIME{5, 6}; });
        add(PT_STRING8, [&](auto& u) { u.lpszA = text; });
        add(PT_UNICODE, [&](auto& u) { u.lpszW = wide; });
        add(PT_CLSID, [&](auto& u) { u.lpguid = &guid; });
        add(PT_BINARY, [&](auto& u) { u.bin = SBinary{3, bytes}; });
        add(PT_MV_I2, [&](auto& u) { u.MVi = {2, shorts}; });
        add(PT_MV_LONG, [&](auto& u) { u.MVl = {3, longs}; });
        add(PT_MV_R4, [&](auto& u) { u.MVflt = {1, floats}; });
        add(PT_MV_DOUBLE, [&](auto& u) { u.MVdbl = {2, doubles}; });
        add(PT_MV_CURRENCY, [&](auto& u) { u.MVcur = {1, currencies}; });
        add(PT_MV_APPTIME, [&](auto& u) { u.MVat = {2, doubles}; });
        add(PT_MV_SYSTIME, [&](auto& u) { u.MVft = {2, times}; });
        add(PT_MV_I8, [&](auto& u) { u.MVli = {1, larges}; });
        add(PT_MV_CLSID, [&](auto& u) { u.MVguid = {2, guids}; });
        add(PT_MV_STRING8, [&](auto& u) { u.MVszA = {3, strings}; });
        add(PT_MV_UNICODE, [&](auto& u) { u.MVszW = {1, wstrings}; });
        add(PT_MV_BINARY, [&](auto& u) { u.MVbin = {2, binaries}; });
        add(PT_MV_LONG, [&](auto& u) { u.MVl = {0, nullptr}; }); // an empty array
        return v;
    }

    // Overwrites every byte the values point at.
    void Scribble() { std::memset(static_cast<void*>(this), 0x5A, sizeof(*this)); }
};

void ExpectCopy(const std::vector<SPropValue>& copy)
{
    ASSERT_EQ(copy.size(), 29u);
    size_t i = 0;
    auto next = [&](ULONG type) -> const SPropValueUnion& {
        EXPECT_EQ(copy[i].ulPropTag, PROP_TAG(type, 0x6000 + static_cast<ULONG>(i))) << i;
        return copy[i++].Value;
    };
    next(PT_NULL);
    EXPECT_EQ(next(PT_I2).i, -3);
    EXPECT_EQ(next(PT_LONG).l, 42);
    EXPECT_EQ(next(PT_R4).flt, 0.25f);
    EXPECT_EQ(next(PT_DOUBLE).dbl, 1e100);
    EXPECT_EQ(next(PT_CURRENCY).cur.int64, 77);
    EXPECT_EQ(next(PT_APPTIME).at, 4.5);
    EXPECT_EQ(next(PT_ERROR).err, MAPI_E_NOT_FOUND);
    EXPECT_EQ(next(PT_BOOLEAN).b, 1);
    next(PT_OBJECT);
    EXPECT_EQ(next(PT_I8).li.QuadPart, -9);
    EXPECT_EQ(next(PT_SYSTIME).ft.dwHighDateTime, 6u);
    EXPECT_STREQ(next(PT_STRING8).lpszA, "hello");
    EXPECT_EQ(std::u16string(next(PT_UNICODE).lpszW), u"wid");
    const GUID* guid = next(PT_CLSID).lpguid;
    EXPECT_TRUE(*guid == (GUID{0x01020304, 0x0506, 0x0708, {9, 10, 11, 12, 13, 14, 15, 16}}));
    const SBinary& bin = next(PT_BINARY).bin;
    ASSERT_EQ(bin.cb, 3u);
    EXPECT_EQ(std::vector<BYTE>(bin.lpb, bin.lpb + 3), (std::vector<BYTE>{1, 2, 3}));
    const auto& mvi = next(PT_MV_I2).MVi;
    EXPECT_EQ(std::vector<short>(mvi.lpi, mvi.lpi + mvi.cValues), (std::vector<short>{-1, 7}));
    const auto& mvl = next(PT_MV_LONG).MVl;
    EXPECT_EQ(std::vector<LONG>(mvl.lpl, mvl.lpl + mvl.cValues), (std::vector<LONG>{1, -2, 3}));
    EXPECT_EQ(next(PT_MV_R4).MVflt.lpflt[0], 1.5f);
    EXPECT_EQ(next(PT_MV_DOUBLE).MVdbl.lpdbl[1], -3.5);
    EXPECT_EQ(next(PT_MV_CURRENCY).MVcur.lpcur[0].int64, -5);
    EXPECT_EQ(next(PT_MV_APPTIME).MVat.lpat[0], 2.5);
    EXPECT_EQ(next(PT_MV_SYSTIME).MVft.lpft[1].dwLowDateTime, 3u);
    EXPECT_EQ(next(PT_MV_I8).MVli.lpli[0].QuadPart, 0x123456789ALL);
    EXPECT_EQ(next(PT_MV_CLSID).MVguid.lpguid[1].Data1, 5u);
    const auto& mva = next(PT_MV_STRING8).MVszA;
    ASSERT_EQ(mva.cValues, 3u);
    EXPECT_STREQ(mva.lppszA[0], "ab");
    EXPECT_STREQ(mva.lppszA[1], "");
    EXPECT_EQ(mva.lppszA[2], nullptr);
    EXPECT_EQ(std::u16string(next(PT_MV_UNICODE).MVszW.lppszW[0]), u"xy");
    const auto& mvb = next(PT_MV_BINARY).MVbin;
    ASSERT_EQ(mvb.cValues, 2u);
    EXPECT_EQ(mvb.lpbin[0].cb, 2u);
    EXPECT_EQ(mvb.lpbin[0].lpb[1], 0xBB);
    EXPECT_EQ(mvb.lpbin[1].cb, 0u);
    const auto& empty = next(PT_MV_LONG).MVl;
    EXPECT_EQ(empty.cValues, 0u);
}

TEST(PropCopy, ScDupPropsetCopiesEveryTypeIntoOneBlock)
{
    const size_t before = MapiLiveBlockCount();
    Sources sources;
    const std::vector<SPropValue> values = sources.Values();
    LPSPropValue copy = nullptr;
    ASSERT_EQ(ScDupPropset(static_cast<int>(values.size()), values.data(), &copy), S_OK);
    sources.Scribble(); // nothing of the copy may point into the source
    ExpectCopy(std::vector<SPropValue>(copy, copy + values.size()));
    MAPIFreeBuffer(copy);
    EXPECT_EQ(MapiLiveBlockCount(), before);
}

TEST(PropCopy, PropCopyMoreChainsToTheGivenBase)
{
    const size_t before = MapiLiveBlockCount();
    Sources sources;
    const std::vector<SPropValue> values = sources.Values();
    SPropValue* base = nullptr;
    ASSERT_EQ(MapiAllocateArray(values.size(), &base), S_OK);
    for (size_t i = 0; i < values.size(); ++i) ASSERT_EQ(PropCopyMore(&base[i], &values[i], base), S_OK) << i;
    sources.Scribble();
    ExpectCopy(std::vector<SPropValue>(base, base + values.size()));
    MAPIFreeBuffer(base);
    EXPECT_EQ(MapiLiveBlockCount(), before);
}

TEST(PropCopy, RefusesWhatCannotBeCopied)
{
    const size_t before = MapiLiveBlockCount();
    struct Case {
        const char* what;
        SPropValue value;
    };
    SPropValue unknownType{};
    unknownType.ulPropTag = PROP_TAG(0x0099, 0x6001);
    SPropValue mvInstance{};
    mvInstance.ulPropTag = MVI_PROP(PROP_TAG(PT_MV_LONG, 0x6002));
    SPropValue nullBinary{};
    nullBinary.ulPropTag = PROP_TAG(PT_BINARY, 0x6003);
    nullBinary.Value.bin = SBinary{4, nullptr};
    SPropValue nullArray{};
    nullArray.ulPropTag = PROP_TAG(PT_MV_STRING8, 0x6004);
    nullArray.Value.MVszA = {2, nullptr};
    for (const Case& c : {Case{"unknown type", unknownType}, Case{"MV_INSTANCE", mvInstance},
                          Case{"binary without bytes", nullBinary}, Case{"array without elements", nullArray}}) {
        SCOPED_TRACE(c.what);
        LPSPropValue copy = reinterpret_cast<LPSPropValue>(0x1);
        // A good value before the bad one: its blocks must go with the failed copy.
        char text[] = "kept";
        SPropValue pair[2]{};
        pair[0].ulPropTag = PROP_TAG(PT_STRING8, 0x6000);
        pair[0].Value.lpszA = text;
        pair[1] = c.value;
        EXPECT_EQ(ScDupPropset(2, pair, &copy), MAPI_E_INVALID_PARAMETER);
        EXPECT_EQ(copy, nullptr);
    }
    EXPECT_EQ(ScDupPropset(-1, nullptr, nullptr), MAPI_E_INVALID_PARAMETER);
    EXPECT_EQ(MapiLiveBlockCount(), before);
}

TEST(PropCopy, NullStringsStayNull)
{
    SPropValue value{};
    value.ulPropTag = PR_SUBJECT_A;
    value.Value.lpszA = nullptr;
    LPSPropValue copy = nullptr;
    ASSERT_EQ(ScDupPropset(1, &value, &copy), S_OK);
    EXPECT_EQ(copy[0].Value.lpszA, nullptr);
    MAPIFreeBuffer(copy);
}

} // namespace
} // namespace krv::test

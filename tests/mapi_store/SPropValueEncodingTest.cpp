// SPropValueEncodingTest.cpp: MAPI values turned into the stored forms a context keeps.
#include "platform/pst/ltp/LtpError.h"
#include "platform/mapi/store/SPropValueEncoding.h"

#include "platform/mapi/PropTags.h"

#include <gtest/gtest.h>

namespace krv::test {
namespace {

using pst::EncodeSPropValue;
using Bytes = std::vector<uint8_t>;

SPropValue Prop(ULONG tag)
{
    SPropValue v{};
    v.ulPropTag = tag;
    return v;
}

TEST(SPropValueEncoding, SingleValues)
{
    GUID guid{0x01020304, 0x0506, 0x0708, {9, 10, 11, 12, 13, 14, 15, 16}};
    char16_t text[] = u"Hi\u00e9";
    char text8[] = "abc";
    BYTE bin[] = {7, 8};
    struct Case {
        SPropValue value;
        Bytes expected;
    };
    std::vector<Case> cases;
    auto add = [&](ULONG tag, auto set, Bytes expected) {
        SPropValue v = Prop(tag);
        set(v.Value);
        cases.push_back({v, std::move(expected)});
    };
    add(
        PROP_TAG(PT_I2, 0x1000), [](auto& u) { u.i = -2; }, Bytes{0xFE, 0xFF});
    add(
        PROP_TAG(PT_LONG, 0x1001), [](auto& u) { u.l = 0x01020304; }, Bytes{4, 3, 2, 1});
    add(
        PROP_TAG(PT_R4, 0x1002), [](auto& u) { u.flt = 1.0f; }, Bytes{0, 0, 0x80, 0x3F});
    add(
        PROP_TAG(PT_ERROR, 0x1003), [](auto& u) { u.err = static_cast<SCODE>(0x8004010F); },
        Bytes{0x0F, 0x01, 0x04, 0x80});
    add(
        PROP_TAG(PT_BOOLEAN, 0x1004), [](auto& u) { u.b = 0x100; }, Bytes{1});
    add(
        PROP_TAG(PT_BOOLEAN, 0x1005), [](auto& u) { u.b = 0; }, Bytes{0});
    add(
        PROP_TAG(PT_DOUBLE, 0x1006), [](auto& u) { u.dbl = 2.0; }, Bytes{0, 0, 0, 0, 0, 0, 0, 0x40});
    add(
        PROP_TAG(PT_SYSTIME, 0x1007),
        [](auto& u) {
            u.ft = {0x11223344, 0x01D90000};
        },
        Bytes{0x44, 0x33, 0x22, 0x11, 0, 0, 0xD9, 0x01});
    add(
        PROP_TAG(PT_I8, 0x1008), [](auto& u) { u.li.QuadPart = -1; }, Bytes(8, 0xFF));
    add(
        PROP_TAG(PT_CURRENCY, 0x1009), [](auto& u) { u.cur.int64 = 10000; }, Bytes{0x10, 0x27, 0, 0, 0, 0, 0, 0});
    add(
        PROP_TAG(PT_CLSID, 0x100A), [&](auto& u) { u.lpguid = &guid; },
        Bytes{4, 3, 2, 1, 6, 5, 8, 7, 9, 10, 11, 12, 13, 14, 15, 16});
    add(
        PROP_TAG(PT_UNICODE, 0x100B), [&](auto& u) { u.lpszW = text; }, Bytes{'H', 0, 'i', 0, 0xE9, 0});
    add(
        PROP_TAG(PT_UNICODE, 0x100C), [](auto& u) { u.lpszW = nullptr; }, Bytes{});
    add(
        PROP_TAG(PT_STRING8, 0x100D), [&](auto& u) { u.lpszA = text8; }, Bytes{'a', 'b', 'c'});
    add(
        PROP_TAG(PT_BINARY, 0x100E),
        [&](auto& u) {
            u.bin = {2, bin};
        },
        Bytes{7, 8});
    add(
        PROP_TAG(PT_BINARY, 0x100F),
        [](auto& u) {
            u.bin = {0, nullptr};
        },
        Bytes{});
    for (const Case& c : cases) {
        const pst::PropertyValue v = EncodeSPropValue(c.value);
        EXPECT_EQ(v.tag, c.value.ulPropTag);
        EXPECT_EQ(v.bytes, c.expected) << std::hex << c.value.ulPropTag;
        EXPECT_TRUE(pst::IsWellFormed(v)) << std::hex << c.value.ulPropTag;
    }
}

TEST(SPropValueEncoding, MultiValues)
{
    char16_t a[] = u"ab";
    char16_t b[] = u"";
    LPWSTR strings[] = {a, b};
    SPropValue mvw = Prop(PROP_TAG(PT_MV_UNICODE, 0x2000));
    mvw.Value.MVszW = {2, strings};
    EXPECT_EQ(EncodeSPropValue(mvw).bytes, (Bytes{2, 0, 0, 0, 12, 0, 0, 0, 16, 0, 0, 0, 'a', 0, 'b', 0}));

    char x[] = "x";
    LPSTR strings8[] = {x};
    SPropValue mva = Prop(PROP_TAG(PT_MV_STRING8, 0x2001));
    mva.Value.MVszA = {1, strings8};
    EXPECT_EQ(EncodeSPropValue(mva).bytes, (Bytes{1, 0, 0, 0, 8, 0, 0, 0, 'x'}));

    LONG longs[] = {1, -1};
    SPropValue mvl = Prop(PROP_TAG(PT_MV_LONG, 0x2002));
    mvl.Value.MVl = {2, longs};
    EXPECT_EQ(EncodeSPropValue(mvl).bytes, (Bytes{1, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF}));

    BYTE data[] = {5};
    SBinary bins[] = {{1, data}, {0, nullptr}};
    SPropValue mvb = Prop(PROP_TAG(PT_MV_BINARY, 0x2003));
    mvb.Value.MVbin = {2, bins};
    EXPECT_EQ(EncodeSPropValue(mvb).bytes, (Bytes{2, 0, 0, 0, 12, 0, 0, 0, 13, 0, 0, 0, 5}));

    SPropValue empty = Prop(PROP_TAG(PT_MV_SYSTIME, 0x2004));
    empty.Value.MVft = {0, nullptr};
    EXPECT_TRUE(EncodeSPropValue(empty).bytes.empty());
}

TEST(SPropValueEncoding, RefusesWhatCannotBeStored)
{
    std::vector<SPropValue> bad;
    bad.push_back(Prop(PROP_TAG(PT_NULL, 0x3000)));
    bad.push_back(Prop(PROP_TAG(PT_OBJECT, 0x3001)));
    bad.push_back(Prop(PROP_TAG(PT_UNSPECIFIED, 0x3002)));
    bad.push_back(Prop(MVI_PROP(PROP_TAG(PT_MV_LONG, 0x3003))));
    SPropValue binary = Prop(PROP_TAG(PT_BINARY, 0x3004));
    binary.Value.bin = {3, nullptr};
    bad.push_back(binary);
    bad.push_back(Prop(PROP_TAG(PT_CLSID, 0x3005))); // null GUID pointer
    SPropValue array = Prop(PROP_TAG(PT_MV_I8, 0x3006));
    array.Value.MVli = {2, nullptr};
    bad.push_back(array);
    for (const SPropValue& v : bad) EXPECT_THROW((void)EncodeSPropValue(v), pst::LtpError) << std::hex << v.ulPropTag;
}

} // namespace
} // namespace krv::test

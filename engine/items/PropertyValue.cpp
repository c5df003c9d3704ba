// PropertyValue.cpp: stored property values of a node turned into MAPI SPropValues.
#include "engine/items/PropertyValue.h"

#include "engine/items/NodeData.h"
#include "pstformat/Endian.h"
#include "pstformat/PropertyTypes.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <limits>

namespace krv {

// Multi-value arrays are copied from the stored little-endian bytes as they are.
static_assert(std::endian::native == std::endian::little, "stored arrays are copied byte for byte");

namespace {

using pstformat::LoadLe;

constexpr size_t kHnidSize = 4;
constexpr size_t kGuidSize = *pstformat::StoredWidth(pstformat::kPtypGuid);
constexpr size_t kEightBytes = *pstformat::StoredWidth(pstformat::kPtypInteger64);
constexpr size_t kCountedHeaderSize = 4;
constexpr size_t kCountedOffsetSize = 4;

// The bytes an HNID names: nothing for 0, a subnode's data stream, or a heap allocation.
bool ReadHnidData(const PstNode& node, HeapReader& heap, uint32_t hnid, std::vector<uint8_t>& data)
{
    data.clear();
    if (hnid == 0) return true;
    if (IsSubnodeHnid(hnid)) {
        if (ReadSubnodeData(node.subnodes, hnid, data)) return true;
        return Reject(RejectsOf(node), RejectReason::ValueSubnode);
    }
    return heap.Read(hnid, data);
}

// A fixed-size value kept behind a HID: at least `need` bytes of its heap allocation. A
// subnode NID in that place is damage; the value is never that large.
bool ReadFixedBehindHid(HeapReader& heap, std::span<const uint8_t> data, size_t need, std::vector<uint8_t>& item)
{
    RejectCounts* rejects = RejectsOf(heap.Node());
    if (data.size() < kHnidSize) return Reject(rejects, RejectReason::ValueShort);
    const uint32_t hid = LoadLe<uint32_t>(data.data());
    if (IsSubnodeHnid(hid)) return Reject(rejects, RejectReason::ValueHnidKind);
    if (!heap.Read(hid, item)) return false;
    if (item.size() < need)
        return Reject(rejects, RejectReason::ValueShort, DataBlockOffset(heap.Node(), HidBlockIndex(hid)));
    return true;
}

void* AllocateMore(size_t size, void* base)
{
    void* p = nullptr;
    if (FAILED(MAPIAllocateMore(size, base, &p))) return nullptr;
    return p;
}

bool MakeString8(std::span<const uint8_t> bytes, void* base, LPSTR& out)
{
    out = nullptr;
    auto* text = static_cast<char*>(AllocateMore(bytes.size() + 1, base));
    if (text == nullptr) return false;
    if (!bytes.empty()) std::memcpy(text, bytes.data(), bytes.size());
    text[bytes.size()] = '\0';
    out = text;
    return true;
}

// UTF-16 of an odd byte count has lost half a code unit: the terminator goes where that
// last unit would start, so the stray byte is dropped instead of being paired with a zero.
bool MakeUnicode(std::span<const uint8_t> bytes, void* base, LPWSTR& out)
{
    out = nullptr;
    const size_t n = bytes.size();
    auto* raw = static_cast<uint8_t*>(AllocateMore(n + 2, base));
    if (raw == nullptr) return false;
    if (n != 0) std::memcpy(raw, bytes.data(), n);
    const size_t end = n & ~size_t{1};
    raw[end] = 0;
    raw[end + 1] = 0;
    out = reinterpret_cast<LPWSTR>(raw); // MAPI blocks are 16-byte aligned
    return true;
}

bool MakeBinary(std::span<const uint8_t> bytes, void* base, SBinary& out)
{
    out.cb = 0;
    out.lpb = nullptr;
    if (bytes.empty()) return true;
    if (bytes.size() > std::numeric_limits<ULONG>::max()) return false;
    auto* copy = static_cast<LPBYTE>(AllocateMore(bytes.size(), base));
    if (copy == nullptr) return false;
    std::memcpy(copy, bytes.data(), bytes.size());
    out.cb = static_cast<ULONG>(bytes.size());
    out.lpb = copy;
    return true;
}

// The element width of the multi-valued types read as arrays of fixed-size elements; 0 for
// every other type.
size_t FixedElementSize(ULONG type)
{
    switch (type) {
    case PT_MV_I2:
    case PT_MV_LONG:
    case PT_MV_R4:
    case PT_MV_DOUBLE:
    case PT_MV_CURRENCY:
    case PT_MV_APPTIME:
    case PT_MV_I8:
    case PT_MV_SYSTIME:
    case PT_MV_CLSID:
        return pstformat::StoredWidth(type & ~MV_FLAG).value_or(0);
    default:
        return 0;
    }
}

// An array of fixed-size elements: as many whole elements as the data holds.
bool MakeFixedArray(ULONG type, std::span<const uint8_t> bytes, void* base, SPropValueUnion& value)
{
    const size_t element = FixedElementSize(type);
    if (element == 0) return false;
    const size_t count = bytes.size() / element;
    if (count > std::numeric_limits<ULONG>::max()) return false;
    void* array = nullptr;
    if (count != 0) {
        array = AllocateMore(count * element, base);
        if (array == nullptr) return false;
        std::memcpy(array, bytes.data(), count * element);
    }
    const auto cValues = static_cast<ULONG>(count);
    switch (type) {
    case PT_MV_I2:
        value.MVi = {cValues, static_cast<short*>(array)};
        break;
    case PT_MV_LONG:
        value.MVl = {cValues, static_cast<LONG*>(array)};
        break;
    case PT_MV_R4:
        value.MVflt = {cValues, static_cast<float*>(array)};
        break;
    case PT_MV_DOUBLE:
        value.MVdbl = {cValues, static_cast<double*>(array)};
        break;
    case PT_MV_CURRENCY:
        value.MVcur = {cValues, static_cast<CURRENCY*>(array)};
        break;
    case PT_MV_APPTIME:
        value.MVat = {cValues, static_cast<double*>(array)};
        break;
    case PT_MV_I8:
        value.MVli = {cValues, static_cast<LARGE_INTEGER*>(array)};
        break;
    case PT_MV_SYSTIME:
        value.MVft = {cValues, static_cast<FILETIME*>(array)};
        break;
    case PT_MV_CLSID:
        value.MVguid = {cValues, static_cast<GUID*>(array)};
        break;
    default:
        return false;
    }
    return true;
}

// Strings and binaries of a counted multi-value: a count, that many offsets, the elements.
// An offset that points past the data is taken as the end of the data: the element before
// it keeps what is there, and nothing readable is thrown away with the damaged offset. An
// element whose end lies before its start is left empty, and so is one whose copy cannot be
// allocated. So is one that starts inside an element already built: offsets that run back
// and forth would otherwise copy the same bytes once per element, far more than the data
// holds.
bool MakeCountedArray(ULONG type, std::span<const uint8_t> bytes, void* base, SPropValueUnion& value,
                      RejectCounts* rejects)
{
    const size_t n = bytes.size();
    if (n < kCountedHeaderSize) return Reject(rejects, RejectReason::ValueShort);
    const uint32_t count = LoadLe<uint32_t>(bytes.data());
    if (count == 0) {
        if (type == PT_MV_STRING8)
            value.MVszA = {0, nullptr};
        else if (type == PT_MV_UNICODE)
            value.MVszW = {0, nullptr};
        else
            value.MVbin = {0, nullptr};
        return true;
    }
    // Checked with the count widened so the product cannot wrap.
    if ((n - kCountedHeaderSize) / kCountedOffsetSize < count) return Reject(rejects, RejectReason::MvCount);

    auto offsetAt = [&](uint32_t i) -> size_t {
        if (i >= count) return n;
        return std::min<size_t>(LoadLe<uint32_t>(bytes.data() + kCountedHeaderSize + kCountedOffsetSize * size_t{i}),
                                n);
    };

    // Every offset is at most n, so a well-ordered pair is a range inside the data. Built
    // elements never overlap, which keeps their bytes together within n.
    size_t builtEnd = 0;
    bool misordered = false; // counted once for the array, not once per element
    auto valid = [&](uint32_t i) {
        if (offsetAt(i + 1) < offsetAt(i) || offsetAt(i) < builtEnd) {
            if (!misordered) Reject(rejects, RejectReason::MvOffset);
            misordered = true;
            return false;
        }
        builtEnd = offsetAt(i + 1);
        return true;
    };
    auto element = [&](uint32_t i) { return bytes.subspan(offsetAt(i), offsetAt(i + 1) - offsetAt(i)); };

    switch (type) {
    case PT_MV_STRING8: {
        LPSTR* strings = nullptr;
        if (FAILED(MapiAllocateMoreArray(count, base, &strings))) return false;
        for (uint32_t i = 0; i < count; ++i) {
            if (valid(i)) MakeString8(element(i), base, strings[i]);
        }
        value.MVszA = {count, strings};
        return true;
    }
    case PT_MV_UNICODE: {
        LPWSTR* strings = nullptr;
        if (FAILED(MapiAllocateMoreArray(count, base, &strings))) return false;
        for (uint32_t i = 0; i < count; ++i) {
            if (valid(i)) MakeUnicode(element(i), base, strings[i]);
        }
        value.MVszW = {count, strings};
        return true;
    }
    case PT_MV_BINARY: {
        SBinary* binaries = nullptr;
        if (FAILED(MapiAllocateMoreArray(count, base, &binaries))) return false;
        for (uint32_t i = 0; i < count; ++i) {
            if (valid(i)) MakeBinary(element(i), base, binaries[i]);
        }
        value.MVbin = {count, binaries};
        return true;
    }
    default:
        return false;
    }
}

// PT_STRING8, PT_UNICODE, PT_BINARY and the multi-values: always behind an HNID.
bool ConvertVariable(const PstNode& node, HeapReader& heap, ULONG type, std::span<const uint8_t> data, void* base,
                     SPropValueUnion& value)
{
    if (data.size() < kHnidSize) return Reject(RejectsOf(node), RejectReason::ValueShort);
    std::vector<uint8_t> stored;
    if (!ReadHnidData(node, heap, LoadLe<uint32_t>(data.data()), stored)) return false;
    const std::span<const uint8_t> bytes(stored);
    switch (type) {
    case PT_STRING8:
        return MakeString8(bytes, base, value.lpszA);
    case PT_UNICODE:
        return MakeUnicode(bytes, base, value.lpszW);
    case PT_BINARY:
        return MakeBinary(bytes, base, value.bin);
    case PT_MV_STRING8:
    case PT_MV_UNICODE:
    case PT_MV_BINARY:
        return MakeCountedArray(type, bytes, base, value, RejectsOf(node));
    default:
        return MakeFixedArray(type, bytes, base, value);
    }
}

// The 8-byte scalars: in a table row the cell holds them, in a property context a HID
// names them.
bool ConvertEightBytes(HeapReader& heap, ValueMode mode, ULONG type, std::span<const uint8_t> data,
                       SPropValueUnion& value)
{
    uint64_t bits = 0;
    if (mode == ValueMode::TableRow) {
        if (data.size() < kEightBytes) return Reject(RejectsOf(heap.Node()), RejectReason::ValueShort);
        bits = LoadLe<uint64_t>(data.data());
    } else {
        std::vector<uint8_t> item;
        if (!ReadFixedBehindHid(heap, data, kEightBytes, item)) return false;
        bits = LoadLe<uint64_t>(item.data());
    }
    switch (type) {
    case PT_DOUBLE:
        value.dbl = std::bit_cast<double>(bits);
        break;
    case PT_APPTIME:
        value.at = std::bit_cast<double>(bits);
        break;
    case PT_CURRENCY:
        value.cur.int64 = static_cast<LONGLONG>(bits);
        break;
    case PT_SYSTIME:
        value.ft.dwLowDateTime = static_cast<DWORD>(bits);
        value.ft.dwHighDateTime = static_cast<DWORD>(bits >> 32);
        break;
    default:
        value.li.QuadPart = static_cast<LONGLONG>(bits);
        break; // PT_I8
    }
    return true;
}

} // namespace

bool ConvertValue(const PstNode& node, HeapReader& heap, ValueMode mode, std::span<const uint8_t> data,
                  void* allocationBase, SPropValue& entry)
{
    SPropValueUnion& value = entry.Value;
    RejectCounts* rejects = RejectsOf(node);
    const ULONG type = BaseType(entry.ulPropTag);
    switch (type) {
    case PT_NULL:
        return true;
    case PT_I2:
        if (data.size() < 2) return Reject(rejects, RejectReason::ValueShort);
        value.i = static_cast<short>(LoadLe<uint16_t>(data.data()));
        return true;
    case PT_LONG:
        if (data.size() < 4) return Reject(rejects, RejectReason::ValueShort);
        value.l = static_cast<LONG>(LoadLe<uint32_t>(data.data()));
        return true;
    case PT_R4:
        if (data.size() < 4) return Reject(rejects, RejectReason::ValueShort);
        value.flt = std::bit_cast<float>(LoadLe<uint32_t>(data.data()));
        return true;
    case PT_ERROR:
        // A stored SCODE, 4 bytes like PT_LONG: kept as the store holds it.
        if (data.size() < 4) return Reject(rejects, RejectReason::ValueShort);
        value.err = static_cast<SCODE>(LoadLe<uint32_t>(data.data()));
        return true;
    case PT_BOOLEAN:
        // A PC record keeps it in the low byte of its 4-byte value, a table cell in 1 byte.
        if (data.empty()) return Reject(rejects, RejectReason::ValueShort);
        value.b = data[0];
        return true;
    case PT_DOUBLE:
    case PT_CURRENCY:
    case PT_APPTIME:
    case PT_I8:
    case PT_SYSTIME:
        return ConvertEightBytes(heap, mode, type, data, value);
    case PT_OBJECT: {
        // The stored 8 bytes: the object's subnode NID, then its size.
        if (mode != ValueMode::PropertyContext) return Reject(rejects, RejectReason::ValueType);
        std::vector<uint8_t> item;
        if (!ReadFixedBehindHid(heap, data, 8, item)) return false;
        value.li.QuadPart = static_cast<LONGLONG>(LoadLe<uint64_t>(item.data()));
        return true;
    }
    case PT_CLSID: {
        std::vector<uint8_t> item;
        if (!ReadFixedBehindHid(heap, data, kGuidSize, item)) return false;
        auto* guid = static_cast<LPGUID>(AllocateMore(sizeof(GUID), allocationBase));
        if (guid == nullptr) return false;
        std::memcpy(guid, item.data(), kGuidSize);
        value.lpguid = guid;
        return true;
    }
    case PT_STRING8:
    case PT_UNICODE:
    case PT_BINARY:
    case PT_MV_I2:
    case PT_MV_LONG:
    case PT_MV_R4:
    case PT_MV_DOUBLE:
    case PT_MV_CURRENCY:
    case PT_MV_APPTIME:
    case PT_MV_I8:
    case PT_MV_STRING8:
    case PT_MV_UNICODE:
    case PT_MV_SYSTIME:
    case PT_MV_CLSID:
    case PT_MV_BINARY:
        return ConvertVariable(node, heap, type, data, allocationBase, value);
    default:
        // PT_UNSPECIFIED and every type a store does not hold.
        return Reject(rejects, RejectReason::ValueType);
    }
}

bool ConvertValue(const PstNode& node, ValueMode mode, std::span<const uint8_t> data, void* allocationBase,
                  SPropValue& entry)
{
    HeapReader heap(node);
    return ConvertValue(node, heap, mode, data, allocationBase, entry);
}

void CopyBinaryValue(const SPropValue& entry, std::vector<uint8_t>& bytes)
{
    bytes.clear();
    if (PROP_TYPE(entry.ulPropTag) != PT_BINARY) return;
    const SBinary& bin = entry.Value.bin;
    if (bin.cb == 0 || bin.lpb == nullptr) return;
    bytes.assign(bin.lpb, bin.lpb + bin.cb);
}

} // namespace krv

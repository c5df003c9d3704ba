// ItemFuzzEntries.cpp: one fuzz input through the property-context or table-context reader.
//
// The node's bytes are the fuzzer's; the blocks around them are sound, so that what is
// tried is the item layer's handling of a damaged heap, not the scan's of damaged blocks.
#include "fuzz/ItemFuzzEntries.h"

#include "engine/file/CFile64Ex.h"
#include "engine/items/Bth.h"
#include "engine/items/HeapReader.h"
#include "engine/items/NodeData.h"
#include "engine/items/NodeLoad.h"
#include "engine/items/PropertyContext.h"
#include "engine/items/PropertyValue.h"
#include "engine/items/TableContext.h"
#include "engine/reader/LayoutPstReader.h"
#include "engine/reader/PstNode.h"
#include "fuzz/FuzzSource.h"
#include "platform/mapi/PropValue.h"
#include "pstformat/Endian.h"
#include "pstformat/HexText.h"
#include "pstformat/XBlock.h"
#include "tests/items/ItemImage.h"
#include "tests/reader/TestReaderHost.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <sstream>
#include <vector>

namespace krv::fuzz {
namespace {

using pstformat::BlockEncoding;
using pstformat::Hex;
using pstformat::Layout;

constexpr uint32_t kNodeNid = 0x200024; // a normal message
constexpr uint64_t kDataBid = 0x1000;
constexpr uint64_t kXBlockBid = 0x2002; // internal
constexpr uint64_t kSubnodeBid = 0x3002;
constexpr uint64_t kFirstSubnodeDataBid = 0x4000;
constexpr size_t kMaxDataBlocks = 4;
constexpr size_t kMaxSubnodes = 8;

struct NodeInput {
    Layout layout = Layout::Ansi;
    BlockEncoding stored = BlockEncoding::Plain;
    bool detectEncoding = false;
    bool load = true;
    size_t runLength = 1;
    std::vector<std::vector<uint8_t>> blocks;
    std::vector<std::pair<uint32_t, std::vector<uint8_t>>> subnodes;
};

NodeInput ParseInput(std::span<const uint8_t> input)
{
    NodeInput node;
    const uint8_t options = input[0];
    node.layout = (options & 1) != 0 ? Layout::Unicode : Layout::Ansi;
    constexpr BlockEncoding kEncodings[] = {BlockEncoding::Plain, BlockEncoding::Permute, BlockEncoding::Cyclic,
                                            BlockEncoding::Plain};
    node.stored = kEncodings[(options >> 1) & 3];
    node.detectEncoding = (options & 8) != 0;
    node.load = (options & 16) == 0;
    node.runLength = static_cast<size_t>(options >> 5) + 1;
    const size_t blockCount = input.size() > 1 ? input[1] % kMaxDataBlocks + 1 : 1;
    const size_t maxBlock = pstformat::TraitsOf(node.layout).maxBlockData;

    size_t at = 2;
    std::vector<std::vector<uint8_t>> pieces;
    while (at < input.size() && pieces.size() < blockCount + kMaxSubnodes) {
        size_t length = input[at];
        if (at + 1 < input.size()) length |= size_t{input[at + 1]} << 8;
        at = std::min(input.size(), at + 2);
        length = std::min({length, input.size() - at, maxBlock});
        pieces.emplace_back(input.begin() + static_cast<std::ptrdiff_t>(at),
                            input.begin() + static_cast<std::ptrdiff_t>(at + length));
        at += length;
    }
    for (size_t i = 0; i < pieces.size(); ++i) {
        // A block of no bytes cannot be stored (cb 0 is no block); it is left out.
        if (i < blockCount) {
            if (!pieces[i].empty()) node.blocks.push_back(std::move(pieces[i]));
            continue;
        }
        std::vector<uint8_t>& piece = pieces[i];
        uint32_t nid = 0x21 + static_cast<uint32_t>(i) * 0x20;
        if (piece.size() >= 4) {
            nid = pstformat::LoadLe<uint32_t>(piece.data());
            piece.erase(piece.begin(), piece.begin() + 4);
        }
        if (!piece.empty()) node.subnodes.emplace_back(nid, std::move(piece));
    }
    return node;
}

test::ItemImage BuildImage(const NodeInput& input)
{
    test::ItemImage image(input.layout);
    std::vector<uint64_t> dataBids;
    uint32_t total = 0;
    for (size_t i = 0; i < input.blocks.size(); ++i) {
        dataBids.push_back(kDataBid + 4 * i);
        image.Data(dataBids.back(), input.blocks[i], input.stored);
        total += static_cast<uint32_t>(input.blocks[i].size());
    }
    if (dataBids.size() > 1) image.XBlock(kXBlockBid, 1, total, dataBids);
    if (!input.subnodes.empty()) {
        std::vector<pstformat::SLEntry> entries;
        for (size_t i = 0; i < input.subnodes.size(); ++i) {
            const uint64_t bid = kFirstSubnodeDataBid + 4 * i;
            image.Data(bid, input.subnodes[i].second, input.stored);
            entries.push_back({input.subnodes[i].first, bid, 0});
        }
        // The writer wants them in NID order; a damaged store need not keep it, but the
        // reader's subnode map is by NID anyway.
        std::sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) { return a.nid < b.nid; });
        image.SLBlock(kSubnodeBid, entries);
    }
    return image;
}

// The store around the node, scanned, and the node over it.
class FuzzedNode {
public:
    explicit FuzzedNode(std::span<const uint8_t> bytes) : m_input(ParseInput(bytes)) {}

    // Empty when the node is ready, else why not.
    std::string Prepare()
    {
        if (m_input.blocks.empty()) return "no data block"; // nothing to read: not a failure, see callers
        const test::ItemImage image = BuildImage(m_input);
        if (!SharedFuzzSource().Write(image.Contents())) return "the fuzz source cannot be written";
        if (!m_file.Open(SharedFuzzSource().Path(), modeRead | shareDenyWrite))
            return "the fuzz source cannot be opened";
        if (m_input.layout == Layout::Ansi)
            m_reader = std::make_unique<AnsiPstReader>(m_host, m_file);
        else
            m_reader = std::make_unique<UnicodePstReader>(m_host, m_file);
        m_reader->ScanFile(17, 2);
        const uint64_t dataBid = m_input.blocks.size() > 1 ? kXBlockBid : kDataBid;
        const uint64_t subBid = m_input.subnodes.empty() ? 0 : kSubnodeBid;
        m_node = std::make_unique<PstNode>(m_reader.get(), kNodeNid, dataBid, subBid, 0);
        if (m_input.load)
            Load(*m_node, m_input.detectEncoding ? BlockEncoding::Unknown : m_input.stored);
        else
            m_node->encoding = m_input.stored;
        return {};
    }

    const PstNode& Node() const { return *m_node; }
    const NodeInput& Input() const { return m_input; }

private:
    NodeInput m_input;
    CFile64Ex m_file;
    test::TestReaderHost m_host;
    std::unique_ptr<LayoutPstReader> m_reader;
    std::unique_ptr<PstNode> m_node;
};

// Every byte a value holds, written out with its type, so that reading it touches all of
// its memory (the sanitizer sees any overrun) and two values can be compared.
class ValueText {
public:
    explicit ValueText(const SPropValue& entry)
    {
        m_out << std::hex << entry.ulPropTag << ':';
        const SPropValueUnion& v = entry.Value;
        switch (BaseType(entry.ulPropTag)) {
        case PT_I2:
            m_out << v.i;
            break;
        case PT_LONG:
            m_out << v.l;
            break;
        case PT_R4:
            Raw(&v.flt, sizeof v.flt);
            break;
        case PT_DOUBLE:
        case PT_APPTIME:
            Raw(&v.dbl, sizeof v.dbl);
            break;
        case PT_CURRENCY:
            Raw(&v.cur, sizeof v.cur);
            break;
        case PT_SYSTIME:
            Raw(&v.ft, sizeof v.ft);
            break;
        case PT_I8:
        case PT_OBJECT:
            Raw(&v.li, sizeof v.li);
            break;
        case PT_BOOLEAN:
            m_out << v.b;
            break;
        case PT_ERROR:
            m_out << v.err;
            break;
        case PT_CLSID:
            Raw(v.lpguid, sizeof(GUID));
            break;
        case PT_STRING8:
            String8(v.lpszA);
            break;
        case PT_UNICODE:
            Unicode(v.lpszW);
            break;
        case PT_BINARY:
            Binary(v.bin);
            break;
        case PT_MV_I2:
            Array(v.MVi.cValues, v.MVi.lpi);
            break;
        case PT_MV_LONG:
            Array(v.MVl.cValues, v.MVl.lpl);
            break;
        case PT_MV_R4:
            Array(v.MVflt.cValues, v.MVflt.lpflt);
            break;
        case PT_MV_DOUBLE:
            Array(v.MVdbl.cValues, v.MVdbl.lpdbl);
            break;
        case PT_MV_CURRENCY:
            Array(v.MVcur.cValues, v.MVcur.lpcur);
            break;
        case PT_MV_APPTIME:
            Array(v.MVat.cValues, v.MVat.lpat);
            break;
        case PT_MV_I8:
            Array(v.MVli.cValues, v.MVli.lpli);
            break;
        case PT_MV_SYSTIME:
            Array(v.MVft.cValues, v.MVft.lpft);
            break;
        case PT_MV_CLSID:
            Array(v.MVguid.cValues, v.MVguid.lpguid);
            break;
        case PT_MV_STRING8:
            Count(v.MVszA.cValues, v.MVszA.lppszA);
            for (ULONG i = 0; v.MVszA.lppszA != nullptr && i < v.MVszA.cValues; ++i) String8(v.MVszA.lppszA[i]);
            break;
        case PT_MV_UNICODE:
            Count(v.MVszW.cValues, v.MVszW.lppszW);
            for (ULONG i = 0; v.MVszW.lppszW != nullptr && i < v.MVszW.cValues; ++i) Unicode(v.MVszW.lppszW[i]);
            break;
        case PT_MV_BINARY:
            Count(v.MVbin.cValues, v.MVbin.lpbin);
            for (ULONG i = 0; v.MVbin.lpbin != nullptr && i < v.MVbin.cValues; ++i) Binary(v.MVbin.lpbin[i]);
            break;
        default:
            break; // PT_NULL and types without a value
        }
    }

    std::string Text() const { return m_out.str(); }
    // A count with no array behind it, or an array whose count is 0 but which exists.
    bool Broken() const { return m_broken; }

private:
    void Raw(const void* bytes, size_t size)
    {
        if (bytes == nullptr) {
            m_broken = true;
            return;
        }
        const auto* p = static_cast<const uint8_t*>(bytes);
        for (size_t i = 0; i < size; ++i) m_out << ' ' << static_cast<unsigned>(p[i]);
    }
    void String8(const char* text)
    {
        if (text == nullptr)
            m_out << "(none)";
        else
            m_out << '"' << text << '"';
    }
    void Unicode(const char16_t* text)
    {
        if (text == nullptr) {
            m_out << "(none)";
            return;
        }
        m_out << 'u';
        for (size_t i = 0; text[i] != 0; ++i) m_out << ' ' << static_cast<unsigned>(text[i]);
    }
    void Binary(const SBinary& bin)
    {
        m_out << '[' << bin.cb << ']';
        if (bin.cb != 0) Raw(bin.lpb, bin.cb);
    }
    template <class T>
    void Count(ULONG count, const T* array)
    {
        m_out << '#' << count;
        if (count != 0 && array == nullptr) m_broken = true;
    }
    template <class T>
    void Array(ULONG count, const T* array)
    {
        Count(count, array);
        if (count != 0 && array != nullptr) Raw(array, sizeof(T) * count);
    }

    std::ostringstream m_out;
    bool m_broken = false;
};

void CountRecord(uint8_t, const uint8_t*, uint32_t, const uint8_t*, uint32_t, void* context)
{
    ++*static_cast<uint64_t*>(context);
}

std::string CheckAllProps(const PstNode& node)
{
    uint64_t records = 0;
    const bool walked = WalkBth(node, CountRecord, &records);
    ULONG count = 0;
    LPSPropValue props = nullptr;
    if (!GetAllProps(node, count, props)) return "GetAllProps failed although memory is plentiful";
    // One entry per leaf record, up to the one-per-identifier ceiling.
    const uint64_t expected = walked ? std::min<uint64_t>(records, 0x10000) : 0;
    std::string failure;
    if (count != expected)
        failure = "GetAllProps gave " + std::to_string(count) + " entries for " + std::to_string(expected) + " records";
    if (failure.empty() && (count == 0) != (props == nullptr)) failure = "GetAllProps: count and array disagree";

    for (ULONG i = 0; failure.empty() && i < count; ++i) {
        const SPropValue& entry = props[i];
        const ValueText text(entry);
        if (text.Broken()) failure = "entry " + std::to_string(i) + " has a count without its array: " + text.Text();
        const ULONG tag = entry.ulPropTag;
        if (!failure.empty() || PROP_TYPE(tag) == PT_ERROR) continue;
        // GetOneProp takes the first record of the tag; compare only where that is this one
        // for sure: no earlier entry with the tag, nor an error under its identifier (which
        // may be an earlier record of the tag that could not be read).
        bool first = true;
        for (ULONG j = 0; j < i && first; ++j)
            first = props[j].ulPropTag != tag && props[j].ulPropTag != CHANGE_PROP_TYPE(tag, PT_ERROR);
        if (!first) continue;
        LPSPropValue one = nullptr;
        if (!GetOneProp(node, tag, one)) {
            failure = "GetOneProp(" + Hex(tag) + ") failed where GetAllProps read it";
            continue;
        }
        const std::string oneText = ValueText(*one).Text();
        if (oneText != text.Text())
            failure = "GetOneProp(" + Hex(tag) + ") gave " + oneText + ", GetAllProps " + text.Text();
        MAPIFreeBuffer(one);
    }
    if (props != nullptr) MAPIFreeBuffer(props);
    return failure;
}

// Types a store holds, the multi-value instance flag on some, and types it never holds.
constexpr ULONG kTypes[] = {PT_UNSPECIFIED,
                            PT_NULL,
                            PT_I2,
                            PT_LONG,
                            PT_R4,
                            PT_DOUBLE,
                            PT_CURRENCY,
                            PT_APPTIME,
                            PT_ERROR,
                            PT_BOOLEAN,
                            PT_OBJECT,
                            PT_I8,
                            PT_STRING8,
                            PT_UNICODE,
                            PT_SYSTIME,
                            PT_CLSID,
                            PT_BINARY,
                            PT_MV_I2,
                            PT_MV_LONG,
                            PT_MV_R4,
                            PT_MV_DOUBLE,
                            PT_MV_CURRENCY,
                            PT_MV_APPTIME,
                            PT_MV_I8,
                            PT_MV_STRING8,
                            PT_MV_UNICODE,
                            PT_MV_SYSTIME,
                            PT_MV_CLSID,
                            PT_MV_BINARY,
                            PT_MV_LONG | MV_INSTANCE,
                            PT_MV_UNICODE | MV_INSTANCE,
                            0x0005 | MV_INSTANCE,
                            0x0FFF,
                            0xFFFF};

// ConvertValue over runs of the node's first block: its HNHDR names the user root's HID
// at offset 4, so these runs meet heap items and subnode NIDs as well as plain bytes.
std::string CheckConversions(const PstNode& node, const NodeInput& input)
{
    const std::vector<uint8_t>& block = input.blocks.front();
    for (size_t offset : {size_t{0}, size_t{4}, block.size() > 8 ? block.size() - 8 : size_t{0}}) {
        const size_t length = std::min(input.runLength, block.size() - std::min(offset, block.size()));
        const std::span<const uint8_t> run(block.data() + std::min(offset, block.size()), length);
        for (ValueMode mode : {ValueMode::PropertyContext, ValueMode::TableRow}) {
            for (ULONG type : kTypes) {
                LPSPropValue base = nullptr;
                if (FAILED(MapiAllocateArray(1, &base))) return "MAPIAllocateBuffer failed";
                base->ulPropTag = PROP_TAG(type, 0x8001);
                std::string failure;
                if (ConvertValue(node, mode, run, base, *base)) {
                    const ValueText text(*base);
                    if (text.Broken()) failure = "ConvertValue(" + Hex(type) + ") left a count without its array";
                    if (base->ulPropTag != PROP_TAG(type, 0x8001)) failure = "ConvertValue changed the tag";
                }
                MAPIFreeBuffer(base);
                if (!failure.empty()) return failure;
            }
        }
    }
    return {};
}

std::string CheckTable(const PstNode& node)
{
    TableColumns columns{1, 2, 3};
    TableRows rows{nullptr};
    const bool ok = ReadTable(node, columns, rows);
    std::string failure;
    if (!ok && (!columns.empty() || !rows.empty())) failure = "a refused table left something in its outputs";
    if (ok && columns.size() < 2) failure = "a table with fewer than two columns was accepted";
    if (ok && !rows.empty() && rows.size() * columns.size() > kMaxTableEntries)
        failure = "the table has more entries than the ceiling allows";
    for (size_t r = 0; failure.empty() && r < rows.size(); ++r) {
        if (rows[r] == nullptr) {
            failure = "row " + std::to_string(r) + " is missing";
            break;
        }
        for (size_t c = 0; failure.empty() && c < columns.size(); ++c) {
            const SPropValue& cell = rows[r][c];
            const ValueText text(cell);
            const bool sameProperty =
                cell.ulPropTag == columns[c] || cell.ulPropTag == CHANGE_PROP_TYPE(columns[c], PT_ERROR);
            if (!sameProperty)
                failure = "row " + std::to_string(r) + " column " + std::to_string(c) + " holds " +
                          Hex(cell.ulPropTag) + " under column " + Hex(columns[c]);
            else if (text.Broken())
                failure = "row " + std::to_string(r) + " column " + std::to_string(c) + ": a count without its array";
        }
    }
    FreeRows(rows);
    if (failure.empty() && !rows.empty()) failure = "FreeRows left rows behind";
    return failure;
}

// Everything the entry allocated through MAPI must be gone when it returns.
std::string CheckNothingLive(size_t before)
{
    const size_t after = MapiLiveBlockCount();
    if (after == before) return {};
    return std::to_string(after - before) + " MAPI blocks were not freed";
}

template <class Checks>
std::string RunNodeInput(std::span<const uint8_t> input, Checks checks)
{
    if (input.empty()) return {};
    const size_t liveBefore = MapiLiveBlockCount();
    std::string failure;
    {
        FuzzedNode fuzzed(input);
        if (fuzzed.Input().blocks.empty()) return {};
        failure = fuzzed.Prepare();
        if (failure.empty()) failure = checks(fuzzed);
    }
    if (failure.empty()) failure = CheckNothingLive(liveBefore);
    return failure;
}

} // namespace

std::string RunPropertyContextInput(std::span<const uint8_t> input)
{
    return RunNodeInput(input, [](FuzzedNode& fuzzed) {
        const PstNode& node = fuzzed.Node();
        const HeapKind kind = GetHeapKind(node);
        if (kind != HeapKind::TableContext && kind != HeapKind::PropertyContext && kind != HeapKind::Other)
            return std::string("GetHeapKind answered no kind");
        if (std::string failure = CheckAllProps(node); !failure.empty()) return failure;
        return CheckConversions(node, fuzzed.Input());
    });
}

std::string RunTableContextInput(std::span<const uint8_t> input)
{
    return RunNodeInput(input, [](FuzzedNode& fuzzed) { return CheckTable(fuzzed.Node()); });
}

} // namespace krv::fuzz

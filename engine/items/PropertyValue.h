// PropertyValue.h: one stored property value of a node turned into a MAPI SPropValue.
//
// A value reaches ConvertValue in one of two shapes:
//
// | mode             | bytes handed in                    | where the data lives            |
// |------------------|------------------------------------|---------------------------------|
// | PropertyContext  | the record's 4-byte dwValueHnid    | inline (<= 4 bytes) or an HNID  |
// | TableRow         | the cell's cbData bytes            | inline (<= 8 bytes) or an HNID  |
//
// An HNID whose low five bits are 0 is a HID of the node's heap; any other value is the NID
// of one of the node's subnodes. Fixed-size values wider than 4 bytes, GUIDs and everything
// variable-sized sit behind an HNID.
//
// Variable-sized multi-values (PT_MV_STRING8, PT_MV_UNICODE, PT_MV_BINARY) are stored as
//
// | offset      | size        | field                                                |
// |-------------|-------------|------------------------------------------------------|
// | 0           | 4           | count                                                |
// | 4           | 4 x count   | offset of each element from the start of the data    |
// | ...         | ...         | element bytes; element i ends where i + 1 starts,    |
// |             |             | the last one at the end of the data                  |
//
// Everything a value points to (strings, binaries, GUIDs, multi-value arrays) is allocated
// with MAPIAllocateMore on the allocation base the caller names, so one MAPIFreeBuffer on
// the array that holds the entry frees it all. Strings are handed out as stored: 8-bit in
// the source file's code page, 16-bit as UTF-16 code units.
#ifndef KRV_ENGINE_ITEMS_PROPERTYVALUE_H
#define KRV_ENGINE_ITEMS_PROPERTYVALUE_H

#include "engine/items/HeapReader.h"
#include "platform/mapi/PropValue.h"

#include <cstdint>
#include <span>
#include <vector>

namespace krv {

// Where the bytes handed to ConvertValue come from.
enum class ValueMode {
    PropertyContext, // a PC record's dwValueHnid (4 bytes)
    TableRow,        // a table-context cell (cbData bytes)
};

// Fills entry.Value for the type in entry.ulPropTag (set by the caller; the multi-value
// instance flag is ignored), reading heap items and subnodes of node as the value needs.
// Out-of-line data is chained to allocationBase. False when the value cannot be built; the
// caller then turns the entry into PT_ERROR (anything already chained to the base stays
// until the base is freed). Never reads outside `data` or the items it resolves.
[[nodiscard]] bool ConvertValue(const PstNode& node, ValueMode mode, std::span<const uint8_t> data,
                                void* allocationBase, SPropValue& entry);

// The same, reading heap items through `heap`, a HeapReader over the same node, so that
// the many values of one node share its decoded blocks.
[[nodiscard]] bool ConvertValue(const PstNode& node, HeapReader& heap, ValueMode mode, std::span<const uint8_t> data,
                                void* allocationBase, SPropValue& entry);

// True when an HNID names a subnode rather than a heap allocation.
constexpr bool IsSubnodeHnid(uint32_t hnid) { return !pstformat::IsHid(hnid); }

// The type that drives a conversion: the tag's low 16 bits without the instance flag.
constexpr ULONG BaseType(ULONG tag) { return tag & 0xDFFF; }

// The entry's bytes when its tag's type is PT_BINARY; otherwise bytes is emptied.
void CopyBinaryValue(const SPropValue& entry, std::vector<uint8_t>& bytes);

} // namespace krv

#endif

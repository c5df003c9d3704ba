// LtpTestReader.h: an independent, strict reader of heaps, BTHs, property contexts and table
// contexts, used by the tests to judge what the LTP builders produce (and to read Outlook's
// own nodes for comparison). Every broken rule is listed in `problems`; a sound node has none.
#ifndef KRV_TESTS_PST_LTPTESTREADER_H
#define KRV_TESTS_PST_LTPTESTREADER_H

#include "platform/pst/ndb/NodeContent.h"
#include "pstformat/Layout.h"
#include "pstformat/TableInfo.h"

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace krv::test {

struct ReadHeap {
    uint8_t clientSig = 0;
    uint32_t hidUserRoot = 0;
    std::map<uint32_t, std::vector<uint8_t>> items; // by HID
    std::vector<uint8_t> fillLevels;                // as stored, one per block
    std::vector<std::string> problems;

    const std::vector<uint8_t>* Item(uint32_t hid) const;
};

// The heap kept in the data blocks of a node.
ReadHeap ReadHeapOnNode(const pst::NodeContent& node, pstformat::Layout layout);

struct ReadBthResult {
    uint8_t cbKey = 0;
    uint8_t cbEnt = 0;
    uint8_t levels = 0;
    uint32_t hidRoot = 0;
    std::vector<std::pair<std::vector<uint8_t>, std::vector<uint8_t>>> records; // leaf key, data
    std::vector<std::string> problems;
};

ReadBthResult ReadBth(const ReadHeap& heap, uint32_t hidHeader);

enum class ValuePlace { Inline, Heap, Subnode };

struct ReadProperty {
    uint16_t type = 0;
    uint32_t hnid = 0;
    ValuePlace place = ValuePlace::Inline;
    std::vector<uint8_t> value; // inline: the 4 bytes of dwValueHnid
};

struct ReadPcResult {
    ReadHeap heap;
    std::map<uint16_t, ReadProperty> props;
    std::vector<std::string> problems; // including the heap's
};

ReadPcResult ReadPc(const pst::NodeContent& node, pstformat::Layout layout);

using ReadColumn = pstformat::TcColumnDesc;

struct ReadTcResult {
    ReadHeap heap;
    std::vector<ReadColumn> columns; // as stored
    uint16_t rgib[pstformat::kTcRgibCount] = {};
    uint32_t hidRowIndex = 0;
    uint32_t hnidRows = 0;
    uint32_t hidIndex = 0;
    uint8_t rowIndexSize = 0;                            // cbEnt of the row index: dwRowIndex's bytes
    std::vector<std::vector<uint8_t>> rows;              // row matrix, in row order
    std::vector<std::pair<uint32_t, uint32_t>> rowIndex; // dwRowID, dwRowIndex in key order
    std::vector<size_t> rowsPerBlock;                    // when the matrix lives in a subnode
    std::vector<std::string> problems;

    const ReadColumn* Column(uint32_t tag) const;
    bool CellPresent(size_t row, const ReadColumn& column) const;
    // The cell's stored bytes (cbData of them); for variable-size and large types the HNID
    // is resolved to the value bytes. None when the cell is absent or unreadable.
    std::optional<std::vector<uint8_t>> Cell(size_t row, uint32_t tag) const;

    const pst::NodeContent* node = nullptr;
};

ReadTcResult ReadTc(const pst::NodeContent& node, pstformat::Layout layout);

// Concatenated data blocks of a subnode.
std::vector<uint8_t> Concat(const pst::NodeContent& node);

// Fill level a heap block with `freeBytes` free carries (0 = empty ... 15 = full).
uint8_t ExpectedFillLevel(size_t freeBytes);

} // namespace krv::test

#endif

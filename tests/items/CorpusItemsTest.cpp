// CorpusItemsTest.cpp: node data, heap kinds and folder tables of real mail stores, against their own B-trees.
#include "engine/items/HeapReader.h"
#include "engine/items/NodeData.h"
#include "engine/items/TableContext.h"
#include "platform/mapi/PropTypes.h"
#include "pstformat/Encoding.h"
#include "tests/items/CorpusSource.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iostream>
#include <map>
#include <set>
#include <span>
#include <string>

namespace krv::test {
namespace {

using pstformat::BlockEncoding;

constexpr ULONG kRowId = 0x67F20003;
constexpr ULONG kContentCount = 0x36020003;
constexpr ULONG kSubfolders = 0x360A000B;

uint32_t NodeType(uint32_t nid) { return nid & 0x1F; }
uint32_t WithType(uint32_t nid, uint32_t type) { return (nid & ~0x1Fu) | type; }

HeapKind KindOfClient(uint8_t clientSig)
{
    if (clientSig == 0x7C) return HeapKind::TableContext;
    if (clientSig == 0xBC) return HeapKind::PropertyContext;
    return HeapKind::Other;
}

struct Tally {
    size_t nodes = 0;
    size_t heaps = 0;
    size_t multiBlock = 0;
    size_t subnodes = 0;
    size_t notHeaps = 0;
    std::set<BlockEncoding> encodings;
};

// The node's data, kind and encoding against what the file's own trees give. A node whose
// first block is no heap cannot have its encoding found by trial: it is read as stored.
// Answers whether the node's encoding was found.
bool CheckNode(CorpusSource& source, const PstNode& node, BlockEncoding headerEncoding, Tally& tally)
{
    const std::vector<uint8_t> oracle = source.OracleData(node.bidData);
    if (oracle.empty()) return false;
    SCOPED_TRACE("nid " + std::to_string(node.nid));
    ++tally.nodes;
    if (node.blockCount > 1) ++tally.multiBlock;
    const size_t first = std::min<size_t>(oracle.size(), source.Reader().MaxBlockDataSize());
    const bool heap = oracle.size() >= 12 && oracle[2] == 0xEC &&
                      (oracle[3] == 0x6C || oracle[3] == 0x7C || oracle[3] == 0x8C || oracle[3] == 0xBC);
    std::vector<uint8_t> data;
    EXPECT_TRUE(ReadAll(node, data));
    if (!heap) {
        ++tally.notHeaps;
        EXPECT_FALSE(LooksLikeHeapStart(oracle.data(), first));
        EXPECT_EQ(node.encoding, BlockEncoding::Unknown);
        EXPECT_EQ(data, source.OracleData(node.bidData, false));
        return false;
    }
    ++tally.heaps;
    EXPECT_TRUE(LooksLikeHeapStart(oracle.data(), first));
    EXPECT_EQ(data, oracle);
    EXPECT_EQ(node.encoding, headerEncoding);
    EXPECT_EQ(GetHeapKind(node), KindOfClient(oracle[3]));
    tally.encodings.insert(node.encoding);
    return true;
}

TEST(CorpusItems, EveryNodeReadsAsItsOwnTreesGiveIt)
{
    const auto paths = CorpusPaths();
    if (paths.empty()) GTEST_SKIP() << "corpus not found at " << KRV_CORPUS_DIR;
    Tally tally;
    for (const std::string& path : paths) {
        SCOPED_TRACE(path);
        CorpusSource source(path);
        if (!source.Ok()) {
            std::cout << "[ SKIPPED  ] " << path << ": " << source.Why() << "\n";
            continue;
        }
        const auto headerEncoding = pstformat::EncodingFromCryptMethod(source.Walk().cryptMethod);
        ASSERT_TRUE(headerEncoding.has_value());
        for (const WalkedNode& walked : source.Walk().nodes) {
            PstNode* node = source.LoadedNode(walked.nid);
            ASSERT_NE(node, nullptr) << walked.nid;
            if (!CheckNode(source, *node, *headerEncoding, tally)) continue;
            // Subnodes take their node's encoding, heap or not.
            node->subnodes.ForEach([&](uint32_t, const PstNodeMap::Versions& versions) {
                const PstNode& sub = *versions.back();
                const std::vector<uint8_t> oracle = source.OracleData(sub.bidData);
                if (oracle.empty()) return;
                SCOPED_TRACE("subnode " + std::to_string(sub.nid));
                ++tally.subnodes;
                if (sub.blockCount > 1) ++tally.multiBlock;
                EXPECT_EQ(sub.encoding, node->encoding);
                std::vector<uint8_t> data;
                EXPECT_TRUE(ReadAll(sub, data));
                EXPECT_EQ(data, oracle);
            });
        }
    }
    std::cout << "nodes " << tally.nodes << ", heaps " << tally.heaps << ", multi-block " << tally.multiBlock
              << ", subnodes " << tally.subnodes << ", not heaps " << tally.notHeaps << "\n";
    EXPECT_GT(tally.heaps, 0u);
    EXPECT_GT(tally.multiBlock, 0u);
    EXPECT_GT(tally.subnodes, 0u);
    // Plain, permute and cyclic files are all in the corpus.
    EXPECT_EQ(tally.encodings,
              (std::set<BlockEncoding>{BlockEncoding::Plain, BlockEncoding::Permute, BlockEncoding::Cyclic}));
}

// The values of one column of a table, by row id.
std::map<uint32_t, const SPropValue*> ByRowId(const TableColumns& columns, const TableRows& rows, ULONG tag)
{
    std::map<uint32_t, const SPropValue*> out;
    const auto idAt = std::find(columns.begin(), columns.end(), kRowId);
    const auto at = std::find(columns.begin(), columns.end(), tag);
    if (idAt == columns.end() || at == columns.end()) return out;
    for (LPSPropValue row : rows) {
        const SPropValue& id = row[idAt - columns.begin()];
        if (id.ulPropTag == kRowId) out[id.Value.ul] = &row[at - columns.begin()];
    }
    return out;
}

TEST(CorpusItems, FolderTablesListTheFoldersChildren)
{
    const auto paths = CorpusPaths();
    if (paths.empty()) GTEST_SKIP() << "corpus not found at " << KRV_CORPUS_DIR;
    size_t tables = 0;
    size_t rowsSeen = 0;
    size_t cellsCompared = 0;
    size_t subnodeMatrices = 0; // tables whose rows are in a subnode
    for (const std::string& path : paths) {
        SCOPED_TRACE(path);
        CorpusSource source(path);
        if (!source.Ok()) continue;
        // Children by parent, from the node B-tree.
        std::map<uint32_t, std::set<uint32_t>> folders, messages;
        for (const WalkedNode& n : source.Walk().nodes) {
            if (n.nid == n.nidParent) continue;
            if (NodeType(n.nid) == 0x02 || NodeType(n.nid) == 0x03) folders[n.nidParent].insert(n.nid);
            if (NodeType(n.nid) == 0x04) messages[n.nidParent].insert(n.nid);
        }
        for (const WalkedNode& folder : source.Walk().nodes) {
            if (NodeType(folder.nid) != 0x02) continue;
            SCOPED_TRACE("folder " + std::to_string(folder.nid));
            PstNode* hierarchy = source.LoadedNode(WithType(folder.nid, 0x0D));
            PstNode* contents = source.LoadedNode(WithType(folder.nid, 0x0E));
            ASSERT_NE(hierarchy, nullptr);
            ASSERT_NE(contents, nullptr);

            TableColumns columns;
            TableRows rows;
            ASSERT_EQ(GetHeapKind(*hierarchy), HeapKind::TableContext);
            ASSERT_TRUE(ReadTable(*hierarchy, columns, rows));
            ++tables;
            if (!hierarchy->subnodes.Empty()) ++subnodeMatrices;
            rowsSeen += rows.size();
            const auto counts = ByRowId(columns, rows, kContentCount);
            const auto hasSubfolders = ByRowId(columns, rows, kSubfolders);
            std::set<uint32_t> listed;
            for (const auto& [id, value] : counts) listed.insert(id);
            EXPECT_EQ(rows.size(), listed.size());
            EXPECT_EQ(listed, folders[folder.nid]);
            // Writers leave cells out (their CEB bit clear); a cell that is there must agree
            // with the node tree. Search folders count what they find, not what they hold.
            for (const auto& [id, value] : counts) {
                if (NodeType(id) != 0x02) continue;
                if (value->ulPropTag == kContentCount) {
                    EXPECT_EQ(value->Value.ul, messages[id].size()) << id;
                    ++cellsCompared;
                }
                const SPropValue* flag = hasSubfolders.at(id);
                if (flag->ulPropTag == kSubfolders) {
                    EXPECT_EQ(flag->Value.b != 0, !folders[id].empty()) << id;
                    ++cellsCompared;
                }
            }
            FreeRows(rows);

            ASSERT_TRUE(ReadTable(*contents, columns, rows));
            ++tables;
            if (!contents->subnodes.Empty()) ++subnodeMatrices;
            rowsSeen += rows.size();
            std::set<uint32_t> ids;
            for (const auto& [id, value] : ByRowId(columns, rows, kRowId)) ids.insert(id);
            EXPECT_EQ(rows.size(), ids.size());
            EXPECT_EQ(ids, messages[folder.nid]);
            FreeRows(rows);
        }
    }
    std::cout << "tables " << tables << ", rows " << rowsSeen << ", cells compared " << cellsCompared
              << ", row matrices in subnodes " << subnodeMatrices << "\n";
    EXPECT_GT(tables, 0u);
    EXPECT_GT(cellsCompared, 0u);
    EXPECT_GT(subnodeMatrices, 0u);
}

// Either string form of a property, as the file's layout and writer chose.
bool HasColumn(const TableColumns& columns, ULONG tag)
{
    const auto has = [&](ULONG t) { return std::find(columns.begin(), columns.end(), t) != columns.end(); };
    if (PROP_TYPE(tag) == PT_UNICODE) return has(tag) || has(CHANGE_PROP_TYPE(tag, PT_STRING8));
    return has(tag);
}

TEST(CorpusItems, RootFolderTablesHaveTheTemplateColumns)
{
    const auto paths = CorpusPaths();
    if (paths.empty()) GTEST_SKIP() << "corpus not found at " << KRV_CORPUS_DIR;
    // Row id and version, display name, content and unread counts, has-subfolders.
    const ULONG hierarchyColumns[] = {kRowId, 0x67F30003, 0x3001001F, kContentCount, 0x36030003, kSubfolders};
    // Row id and version, message class, subject, flags, size, delivery time.
    const ULONG contentsColumns[] = {kRowId, 0x67F30003, 0x001A001F, 0x0037001F, 0x0E070003, 0x0E080003, 0x0E060040};
    size_t checked = 0;
    for (const std::string& path : paths) {
        SCOPED_TRACE(path);
        CorpusSource source(path);
        if (!source.Ok()) continue;
        for (const auto& [nid, expected] : {std::pair{0x12Du, std::span<const ULONG>(hierarchyColumns)},
                                            std::pair{0x12Eu, std::span<const ULONG>(contentsColumns)}}) {
            PstNode* node = source.LoadedNode(nid);
            ASSERT_NE(node, nullptr) << nid;
            TableColumns columns;
            TableRows rows;
            ASSERT_TRUE(ReadTable(*node, columns, rows)) << nid;
            for (ULONG tag : expected) EXPECT_TRUE(HasColumn(columns, tag)) << nid << " lacks " << std::hex << tag;
            FreeRows(rows);
        }
        ++checked;
    }
    EXPECT_GT(checked, 0u);
}

} // namespace
} // namespace krv::test

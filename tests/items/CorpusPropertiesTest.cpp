// CorpusPropertiesTest.cpp: store, root and folder names of real mail stores, held against other readers.
//
// data/corpus-names.txt records, once, what two independent readers report for each
// file of the corpus: the message store's display name (the top folder readpst writes)
// and the folder names pffexport writes. How it was made is at the top of that file.
#include "engine/file/CFile64Ex.h"
#include "engine/items/HeapReader.h"
#include "engine/items/NodeData.h"
#include "engine/items/NodeLoad.h"
#include "engine/items/NodeStrings.h"
#include "engine/items/ObjectClassification.h"
#include "engine/items/PropertyContext.h"
#include "engine/items/TableContext.h"
#include "engine/reader/LayoutPstReader.h"
#include "engine/reader/PstNode.h"
#include "platform/mapi/ObjectTypes.h"
#include "platform/mapi/PropTags.h"
#include "platform/os/CodePage.h"
#include "pstformat/Endian.h"
#include "tests/reader/TestReaderHost.h"
#include "tests/support/CorpusFiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace krv::test {
namespace {

using pstformat::Layout;

constexpr uint32_t kMessageStoreNid = 0x21;
constexpr uint32_t kRootFolderNid = 0x122;

// A corpus file scanned by the reader of the layout its header names.
class ScannedStore {
public:
    explicit ScannedStore(const std::string& path)
    {
        const auto head = ReadFileBytes(path);
        if (head.size() < 12) return;
        const auto layout = pstformat::LayoutFromVersion(pstformat::LoadLe<uint16_t>(head.data() + 10));
        if (!layout || !m_file.Open(path, modeRead | shareDenyWrite)) return;
        if (*layout == Layout::Ansi)
            m_reader = std::make_unique<AnsiPstReader>(m_host, m_file);
        else
            m_reader = std::make_unique<UnicodePstReader>(m_host, m_file);
        m_reader->ScanFile(17, 2);
    }

    bool Ok() const { return m_reader != nullptr; }
    PstReader& Reader() { return *m_reader; }

    // The current version of nid, loaded; null when the scan did not find it.
    PstNode* LoadedNode(uint32_t nid)
    {
        PstNode* node = m_reader->Nodes().FindCurrent(nid);
        if (node != nullptr) Load(*node, pstformat::BlockEncoding::Unknown);
        return node;
    }

private:
    TestReaderHost m_host;
    CFile64Ex m_file;
    std::unique_ptr<LayoutPstReader> m_reader;
};

// What the other readers reported, by corpus file name.
struct Reported {
    std::optional<std::string> storeName; // UTF-8; none when the store has no name
    std::vector<std::string> folders;     // UTF-8
};

std::map<std::string, Reported> LoadReported()
{
    std::map<std::string, Reported> out;
    std::ifstream in(std::filesystem::path(KRV_SOURCE_DIR) / "tests/items/data/corpus-names.txt");
    for (std::string line; std::getline(in, line);) {
        if (line.empty() || line[0] == '#') continue;
        const size_t a = line.find('\t');
        const size_t b = a == std::string::npos ? a : line.find('\t', a + 1);
        if (b == std::string::npos) continue;
        const std::string file = line.substr(0, a), kind = line.substr(a + 1, b - a - 1), name = line.substr(b + 1);
        if (kind == "store")
            out[file].storeName = name;
        else if (kind == "folder")
            out[file].folders.push_back(name);
    }
    return out;
}

// The folder count of each file in the corpus's own description (its validation table).
std::map<std::string, size_t> DescribedFolderCounts()
{
    std::map<std::string, size_t> out;
    std::ifstream in(std::filesystem::path(KRV_CORPUS_DIR) / "SOURCES.md");
    for (std::string line; std::getline(in, line);) {
        std::vector<std::string> cells;
        std::stringstream row(line);
        for (std::string cell; std::getline(row, cell, '|');) {
            const size_t first = cell.find_first_not_of(' ');
            const size_t last = cell.find_last_not_of(' ');
            cells.push_back(first == std::string::npos ? std::string() : cell.substr(first, last - first + 1));
        }
        if (cells.size() > 6 && (cells[2] == "ANSI" || cells[2] == "Unicode") &&
            cells[6].find_first_not_of("0123456789") == std::string::npos && !cells[6].empty())
            out[cells[1]] = std::stoul(cells[6]);
    }
    return out;
}

// A name in the ANSI code page, as the engine's 8-bit form of the judges' UTF-8 would be.
std::string AnsiOf(const std::string& utf8) { return Utf16ToAnsi(Utf8ToUtf16(utf8)); }

// pffexport writes characters a file name should not hold ('$', '~', ...) as '_'.
bool SameFolderName(const std::string& judged, const std::string& ours)
{
    if (judged.size() != ours.size()) return false;
    for (size_t i = 0; i < judged.size(); ++i) {
        if (judged[i] != ours[i] && judged[i] != '_') return false;
    }
    return true;
}

// The names of one list that no name of the other matches, each name used once.
std::vector<std::string> Unmatched(const std::vector<std::string>& judged, std::vector<std::string> ours,
                                   std::vector<std::string>& oursLeft)
{
    std::vector<std::string> missing;
    for (const std::string& name : judged) {
        const std::string ansi = AnsiOf(name);
        auto it = std::find(ours.begin(), ours.end(), ansi);
        if (it == ours.end())
            it = std::find_if(ours.begin(), ours.end(), [&](const std::string& o) { return SameFolderName(ansi, o); });
        if (it == ours.end())
            missing.push_back(name);
        else
            ours.erase(it);
    }
    oursLeft = ours;
    return missing;
}

bool HasDisplayName(ULONG count, const SPropValue* props)
{
    for (ULONG i = 0; i < count; ++i) {
        if (props[i].ulPropTag == PR_DISPLAY_NAME_A || props[i].ulPropTag == PR_DISPLAY_NAME_W) return true;
    }
    return false;
}

constexpr ULONG kRowIdTag = PROP_TAG(PT_LONG, 0x67F2); // a table row's NID

// The folder tree as a reader of a sound file sees it: from a folder through the rows of
// its hierarchy table (the node of the same index with type 0x0D) to its subfolders.
void WalkHierarchy(ScannedStore& store, uint32_t folderNid, int depth, std::set<uint32_t>& seen,
                   std::vector<uint32_t>& out)
{
    if (depth > 32) return;
    PstNode* table = store.LoadedNode((folderNid & ~0x1Fu) | 0x0D);
    if (table == nullptr) return;
    TableColumns columns;
    TableRows rows;
    if (!ReadTable(*table, columns, rows)) return;
    const auto column = std::find(columns.begin(), columns.end(), kRowIdTag) - columns.begin();
    for (LPSPropValue row : rows) {
        if (static_cast<size_t>(column) >= columns.size() || row[column].ulPropTag != kRowIdTag) continue;
        const auto child = static_cast<uint32_t>(row[column].Value.l);
        if (!seen.insert(child).second) continue;
        out.push_back(child);
        WalkHierarchy(store, child, depth + 1, seen, out);
    }
    FreeRows(rows);
}

TEST(CorpusProperties, EveryFolderNodeGivesItsPropertiesAndADisplayName)
{
    const auto paths = ListCorpusFiles(KRV_CORPUS_DIR);
    if (paths.empty()) GTEST_SKIP() << "corpus not found at " << KRV_CORPUS_DIR;
    size_t folders = 0, withHeap = 0;
    for (const std::string& path : paths) {
        SCOPED_TRACE(path);
        ScannedStore store(path);
        ASSERT_TRUE(store.Ok());
        std::vector<uint32_t> folderNids;
        store.Reader().Nodes().ForEach([&](uint32_t nid, const PstNodeMap::Versions& versions) {
            if (!versions.empty() && ObjectTypeFromNid(nid) == MAPI_FOLDER) folderNids.push_back(nid);
        });
        for (uint32_t nid : folderNids) {
            PstNode* node = store.LoadedNode(nid);
            const size_t before = MapiLiveBlockCount();
            ULONG count = 0;
            LPSPropValue raw = nullptr;
            ASSERT_TRUE(GetAllProps(*node, count, raw)) << std::hex << nid;
            {
                const MapiPtr<SPropValue> props(raw);
                // A folder whose data the scan did not find (a search folder of one store
                // names a block that is not in the file) has no heap and no properties.
                if (GetHeapKind(*node) == HeapKind::PropertyContext) {
                    EXPECT_TRUE(HasDisplayName(count, props.get())) << std::hex << nid;
                    ++withHeap;
                }
                for (ULONG i = 0; i < count; ++i) {
                    EXPECT_NE(PROP_TYPE(props.get()[i].ulPropTag), PT_ERROR)
                        << std::hex << nid << " " << props.get()[i].ulPropTag;
                }
            }
            EXPECT_EQ(MapiLiveBlockCount(), before);
            ++folders;
        }
    }
    EXPECT_GT(withHeap, folders * 9 / 10) << "nearly every folder of a sound store is readable";
}

TEST(CorpusProperties, StoreRootAndFolderNamesMatchWhatOtherReadersReport)
{
    const auto paths = ListCorpusFiles(KRV_CORPUS_DIR);
    if (paths.empty()) GTEST_SKIP() << "corpus not found at " << KRV_CORPUS_DIR;
    const auto reported = LoadReported();
    ASSERT_FALSE(reported.empty()) << "tests/items/data/corpus-names.txt missing";
    const auto described = DescribedFolderCounts();
    size_t compared = 0;
    for (const std::string& path : paths) {
        const std::string file = std::filesystem::path(path).filename().string();
        SCOPED_TRACE(file);
        const auto judged = reported.find(file);
        if (judged == reported.end()) {
            std::cout << "[ SKIPPED  ] " << file << ": not in corpus-names.txt\n";
            continue;
        }
        ScannedStore store(path);
        ASSERT_TRUE(store.Ok());

        PstNode* messageStore = store.LoadedNode(kMessageStoreNid);
        PstNode* root = store.LoadedNode(kRootFolderNid);
        ASSERT_NE(messageStore, nullptr);
        ASSERT_NE(root, nullptr);
        if (judged->second.storeName) {
            EXPECT_EQ(GetNodeDisplayName(*messageStore), AnsiOf(*judged->second.storeName));
        }
        // Outlook leaves the root folder's name empty; it is stored, as an empty string.
        LPSPropValue raw = nullptr;
        const bool stored = GetOneProp(*root, PR_DISPLAY_NAME_W, raw) || GetOneProp(*root, PR_DISPLAY_NAME_A, raw);
        MAPIFreeBuffer(raw);
        EXPECT_TRUE(stored);
        EXPECT_EQ(GetNodeDisplayName(*root), "");

        std::set<uint32_t> seen{kRootFolderNid};
        std::vector<uint32_t> tree;
        WalkHierarchy(store, kRootFolderNid, 0, seen, tree);
        std::vector<std::string> folders;
        for (uint32_t nid : tree) {
            PstNode* node = store.LoadedNode(nid);
            EXPECT_NE(node, nullptr) << std::hex << nid;
            if (node != nullptr) folders.push_back(GetNodeDisplayName(*node));
        }
        std::vector<std::string> extra;
        const auto missing = Unmatched(judged->second.folders, folders, extra);
        EXPECT_TRUE(missing.empty()) << "pffexport's folder not found: " << missing.front();
        EXPECT_TRUE(extra.empty()) << "folder pffexport did not write: " << extra.front();
        if (const auto count = described.find(file); count != described.end()) {
            EXPECT_EQ(folders.size(), count->second);
        }
        ++compared;
    }
    EXPECT_GT(compared, 0u);
}

} // namespace
} // namespace krv::test

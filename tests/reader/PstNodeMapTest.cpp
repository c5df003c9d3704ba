// PstNodeMapTest.cpp: node versions by NID, thinning duplicates, and deep copies.
#include "engine/reader/PstNode.h"
#include "engine/reader/PstNodeMap.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace krv {
namespace {

// Tests never read through the reader; any distinct address will do.
PstReader* const kReader = reinterpret_cast<PstReader*>(0x1000);

// dataSize serves as a tag that tells versions apart after they have been moved around.
std::unique_ptr<PstNode> Node(uint32_t nid, uint64_t bidData, uint64_t bidSub, uint32_t parent, uint32_t tag)
{
    auto node = std::make_unique<PstNode>(kReader, nid, bidData, bidSub, parent);
    node->dataSize = tag;
    return node;
}

std::vector<uint32_t> TagsOf(const PstNodeMap& map, uint32_t nid)
{
    std::vector<uint32_t> tags;
    if (const PstNodeMap::Versions* versions = map.FindVersions(nid)) {
        for (const auto& v : *versions) {
            tags.push_back(v->dataSize);
        }
    }
    return tags;
}

TEST(PstNodeMap, RemoveDuplicatesKeepsTheLaterOfEqualVersions)
{
    struct Version {
        uint64_t bidData;
        uint64_t bidSub;
        uint32_t parent;
        uint32_t tag;
    };
    struct Case {
        std::string what;
        std::vector<Version> versions;
        std::vector<uint32_t> survivors;
    };
    const Case cases[] = {
        {"same BIDs collapse to the later", {{0x40, 0x80, 0x122, 1}, {0x40, 0x80, 0x122, 2}}, {2}},
        {"parent is not compared", {{0x40, 0x80, 0x122, 1}, {0x40, 0x80, 0x8022, 2}}, {2}},
        {"different subnode BID stays", {{0x40, 0x80, 0x122, 1}, {0x40, 0x84, 0x122, 2}}, {1, 2}},
        {"different data BID stays", {{0x40, 0, 0, 1}, {0x44, 0, 0, 2}}, {1, 2}},
        {"survivors keep their order",
         {{0x40, 0, 0, 1}, {0x44, 0, 0, 2}, {0x40, 0, 0, 3}, {0x48, 0, 0, 4}, {0x44, 0, 0, 5}},
         {3, 4, 5}},
        {"a run of copies of one page", {{0x40, 0, 0, 1}, {0x40, 0, 0, 2}, {0x40, 0, 0, 3}, {0x40, 0, 0, 4}}, {4}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        PstNodeMap map;
        for (const Version& v : c.versions) {
            map.Append(0x21, Node(0x21, v.bidData, v.bidSub, v.parent, v.tag));
        }
        map.Append(0x42, Node(0x42, 0x40, 0x80, 0x122, 99)); // another NID, same BIDs: kept
        map.RemoveDuplicates();
        EXPECT_EQ(TagsOf(map, 0x21), c.survivors);
        EXPECT_EQ(TagsOf(map, 0x42), std::vector<uint32_t>{99});
        EXPECT_EQ(map.FindCurrent(0x21)->dataSize, c.survivors.back());
    }
}

TEST(PstNodeMap, RemoveDuplicatesDoesNotCompareChildren)
{
    PstNodeMap map;
    auto first = Node(0x122, 0x40, 0, 0x122, 1);
    first->children = {0x8022, 0x8042};
    map.Append(0x122, std::move(first));
    map.Append(0x122, Node(0x122, 0x40, 0, 0x122, 2));
    map.RemoveDuplicates();
    EXPECT_EQ(TagsOf(map, 0x122), std::vector<uint32_t>{2});
}

TEST(PstNodeMap, LookupsAnswerNoneForAbsentAndEmptyLists)
{
    PstNodeMap map;
    EXPECT_EQ(map.FindCurrent(0x21), nullptr);
    EXPECT_EQ(map.FindVersions(0x21), nullptr);

    map.Append(0x21, Node(0x21, 0x40, 0, 0, 1));
    map.Append(0x21, nullptr); // ignored, not a version
    map.Append(0x21, Node(0x21, 0x44, 0, 0, 2));
    EXPECT_EQ(map.FindCurrent(0x21)->dataSize, 2u);
    EXPECT_EQ(TagsOf(map, 0x21), (std::vector<uint32_t>{1, 2}));

    map.ForEach([](uint32_t, PstNodeMap::Versions& versions) { versions.clear(); });
    EXPECT_EQ(map.FindCurrent(0x21), nullptr);
    ASSERT_NE(map.FindVersions(0x21), nullptr);
    EXPECT_TRUE(map.FindVersions(0x21)->empty());
    EXPECT_EQ(map.Size(), 1u);

    map.Clear();
    EXPECT_TRUE(map.Empty());
    EXPECT_EQ(map.FindVersions(0x21), nullptr);
}

TEST(PstNodeMap, MergeClonesAppendsCopiesThatOutliveTheSource)
{
    PstNodeMap target;
    target.Append(0x21, Node(0x21, 0x4, 0, 0, 10));
    std::vector<uintptr_t> originals; // addresses only: the nodes die with the source
    {
        PstNodeMap source;
        for (uint32_t tag : {1u, 2u, 3u}) {
            auto node = Node(0x21, 0x40 + tag * 4, 0x80, 0, tag);
            node->children = {tag, tag + 1};
            node->subnodes.Append(0x1F, Node(0x1F, 0x100 + tag, 0, 0, 100 + tag));
            originals.push_back(reinterpret_cast<uintptr_t>(node.get()));
            source.Append(0x21, std::move(node));
        }
        EXPECT_EQ(target.MergeClones(source), 3u);
        EXPECT_EQ(TagsOf(source, 0x21), (std::vector<uint32_t>{1, 2, 3})); // source untouched
    }
    // The source and its nodes are gone; the clones must not point into them.
    ASSERT_EQ(TagsOf(target, 0x21), (std::vector<uint32_t>{10, 1, 2, 3}));
    const PstNodeMap::Versions& versions = *target.FindVersions(0x21);
    for (uint32_t tag : {1u, 2u, 3u}) {
        const PstNode& clone = *versions[tag];
        SCOPED_TRACE(tag);
        EXPECT_NE(reinterpret_cast<uintptr_t>(&clone), originals[tag - 1]);
        EXPECT_EQ(clone.bidData, 0x40u + tag * 4);
        EXPECT_EQ(clone.children, (std::vector<uint32_t>{tag, tag + 1}));
        const PstNode* sub = clone.subnodes.FindCurrent(0x1F);
        ASSERT_NE(sub, nullptr);
        EXPECT_EQ(sub->bidData, 0x100u + tag);
        EXPECT_EQ(sub->dataSize, 100u + tag);
    }
}

TEST(PstNodeMap, MergeClonesCountsEveryNidAndCanMergeAMapIntoItself)
{
    PstNodeMap map;
    map.Append(0x21, Node(0x21, 0x40, 0, 0, 1));
    map.Append(0x21, Node(0x21, 0x44, 0, 0, 2));
    map.Append(0x42, Node(0x42, 0x48, 0, 0, 3));
    EXPECT_EQ(map.MergeClones(map), 3u);
    EXPECT_EQ(TagsOf(map, 0x21), (std::vector<uint32_t>{1, 2, 1, 2}));
    EXPECT_EQ(TagsOf(map, 0x42), (std::vector<uint32_t>{3, 3}));
    EXPECT_NE(map.FindVersions(0x21)->at(0).get(), map.FindVersions(0x21)->at(2).get());
}

TEST(PstNode, CloneCopiesEveryFieldAndOwnsItsSubnodeTree)
{
    auto node = std::make_unique<PstNode>(kReader, 0x200024, 0x40, 0x82, 0x8022);
    node->children = {0x1, 0x2};
    node->encoding = pstformat::BlockEncoding::Cyclic;
    node->dataSize = 12345;
    node->blockCount = 3;
    node->usedMark = 1;
    node->subnodes.Append(0x3F, Node(0x3F, 0x50, 0, 0, 1));
    auto nested = Node(0x3F, 0x54, 0x86, 0, 2);
    nested->subnodes.Append(0x671, Node(0x671, 0x58, 0, 0, 3));
    node->subnodes.Append(0x3F, std::move(nested));

    std::unique_ptr<PstNode> clone = node->Clone();
    const auto originalSub = reinterpret_cast<uintptr_t>(node->subnodes.FindCurrent(0x3F));
    node.reset(); // the clone must hold nothing of the original

    EXPECT_EQ(clone->reader, kReader);
    EXPECT_EQ(clone->nid, 0x200024u);
    EXPECT_EQ(clone->NodeType(), 0x4u);
    EXPECT_EQ(clone->bidData, 0x40u);
    EXPECT_EQ(clone->bidSub, 0x82u);
    EXPECT_EQ(clone->nidParent, 0x8022u);
    EXPECT_EQ(clone->children, (std::vector<uint32_t>{0x1, 0x2}));
    EXPECT_EQ(clone->encoding, pstformat::BlockEncoding::Cyclic);
    EXPECT_EQ(clone->dataSize, 12345u);
    EXPECT_EQ(clone->blockCount, 3u);
    EXPECT_EQ(clone->usedMark, 1);
    EXPECT_EQ(TagsOf(clone->subnodes, 0x3F), (std::vector<uint32_t>{1, 2}));
    const PstNode* sub = clone->subnodes.FindCurrent(0x3F);
    EXPECT_NE(reinterpret_cast<uintptr_t>(sub), originalSub);
    ASSERT_NE(sub->subnodes.FindCurrent(0x671), nullptr);
    EXPECT_EQ(sub->subnodes.FindCurrent(0x671)->bidData, 0x58u);
}

} // namespace
} // namespace krv

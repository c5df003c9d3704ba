// OrphanReunion.cpp: pairing orphan message data trees with orphan subnode trees.
//
// The evidence, each piece read from the blocks themselves:
//   - a property value too large for the message's heap lives in a subnode, and the
//     property context names that subnode's NID: every such NID must be in the tree;
//   - the message keeps the names of its To, Cc and Bcc recipients (PR_DISPLAY_TO, _CC,
//     _BCC): where it has one of these lists, the tree's recipient rows of that type
//     must carry exactly those names;
//   - the message flags say whether it has attachments: where they do, the tree must
//     hold attachments or none, accordingly;
//   - a value subnode of the tree that the message does not name belongs to another
//     property context, unless a table of the tree may keep its rows there.
// A pair that breaks none of these is compatible; it is supported when a value NID or a
// non-empty recipient list matched. A wrong pairing would put one message's recipients
// and attachments on another, which is worse than writing them apart (as the orphan
// passes then do), so a supported pair is written only when one of these settles it:
//   1. it is the only compatible choice of the message, and no other message has
//      evidence for the tree; trees of the very same content count as one choice (a
//      store that holds one message many times over), which copy goes where changing no
//      byte of the output;
//   2. the messages are versions of one message: they name the same value subnodes and
//      no other tree holds those NIDs (PairVersions);
//   3. nearly every message of the store has its tree right next to it in BID order,
//      always on the same side: its writer's habit, which the store itself shows
//      (PairInWritingOrder).
#include "engine/recovery/OrphanReunion.h"

#include "engine/items/Bth.h"
#include "engine/items/HeapReader.h"
#include "engine/items/NodeData.h"
#include "engine/items/NodeLoad.h"
#include "engine/items/PropertyContext.h"
#include "engine/items/TableContext.h"
#include "engine/output/OutputStore.h"
#include "engine/reader/PstNode.h"
#include "engine/reader/PstReader.h"
#include "engine/recovery/LostAndFound.h"
#include "engine/recovery/MessageRecovery.h"
#include "platform/mapi/ObjectTypes.h"
#include "platform/mapi/PropTags.h"
#include "platform/os/CodePage.h"
#include "pstformat/Endian.h"
#include "pstformat/Ids.h"
#include "pstformat/PropertyTypes.h"

#include <algorithm>
#include <map>
#include <optional>
#include <unordered_map>
#include <unordered_set>

namespace krv {
namespace {

constexpr uint32_t kRecipientTableNid = 0x692;
constexpr uint32_t kAttachmentTableNid = 0x671;
constexpr ULONG kMessageFlagHasAttach = 0x10;
constexpr uint16_t kDisplayIds[3] = {0x0E04, 0x0E03, 0x0E02}; // To, Cc, Bcc

// Property types whose value sits in the record itself rather than in the heap or a
// subnode.
bool IsInlineType(uint16_t type) { return pstformat::IsInlineInPc(type); }

// The names of a display list or of recipient names, split where a display list separates
// them, without the spaces around them, sorted: both halves go through the same steps, so
// that order and separator style do not count.
void AddNames(std::string_view text, std::vector<std::string>& names)
{
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find(';', start);
        if (end == std::string_view::npos) end = text.size();
        std::string_view part = text.substr(start, end - start);
        while (!part.empty() && part.front() == ' ') part.remove_prefix(1);
        while (!part.empty() && part.back() == ' ') part.remove_suffix(1);
        if (!part.empty()) names.emplace_back(part);
        start = end + 1;
    }
}

std::string StringValue(const SPropValue& value)
{
    if (PROP_TYPE(value.ulPropTag) == PT_STRING8 && value.Value.lpszA != nullptr) return value.Value.lpszA;
    if (PROP_TYPE(value.ulPropTag) == PT_UNICODE && value.Value.lpszW != nullptr)
        return Utf16ToAnsi(std::u16string_view(value.Value.lpszW));
    return {};
}

bool IsString(const SPropValue& value)
{
    return PROP_TYPE(value.ulPropTag) == PT_STRING8 || PROP_TYPE(value.ulPropTag) == PT_UNICODE;
}

void CollectValueNid(uint8_t, const uint8_t* key, uint32_t cbKey, const uint8_t* data, uint32_t cbEnt, void* context)
{
    if (key == nullptr || data == nullptr || cbKey != 2 || cbEnt != 6) return;
    const auto type = pstformat::LoadLe<uint16_t>(data);
    if (IsInlineType(type)) return;
    const auto hnid = pstformat::LoadLe<uint32_t>(data + 2);
    if (pstformat::NidTypeOf(hnid) == pstformat::NidTypeHid) return;
    static_cast<std::vector<uint32_t>*>(context)->push_back(hnid);
}

std::vector<uint64_t> SortedUnmarked(PstReader& reader, const std::unordered_set<uint64_t>& set)
{
    std::vector<uint64_t> bids;
    for (const uint64_t bid : set) {
        const BlockRecord* record = bid != 0 ? reader.Blocks().Find(bid) : nullptr;
        if (record != nullptr && record->usedMark == 0) bids.push_back(bid);
    }
    std::sort(bids.begin(), bids.end());
    return bids;
}

bool ReadMessageFacts(PstReader& reader, uint64_t bid, ReunionMessageFacts& facts)
{
    PstNode node(&reader, 0, bid, 0, 0);
    Load(node, pstformat::BlockEncoding::Unknown);
    if (GetHeapKind(node) != HeapKind::PropertyContext) return false;
    ULONG count = 0;
    LPSPropValue props = nullptr;
    if (!GetAllProps(node, count, props)) return false;
    const MapiPtr<SPropValue> owned(props);
    // As the orphan data trees are told apart: an attachment that holds its size is no
    // message, whatever its lowest tag says.
    if (count == 0 || ObjectTypeOfOrphan(count, props) != MAPI_MESSAGE) return false;
    facts.bid = bid;
    facts.encoding = node.encoding;
    for (ULONG i = 0; i < count; ++i) {
        const SPropValue& value = props[i];
        for (int k = 0; k < 3; ++k) {
            if (PROP_ID(value.ulPropTag) != kDisplayIds[k] || !IsString(value)) continue;
            facts.hasDisplay[k] = true;
            AddNames(StringValue(value), facts.display[k]);
        }
        if (value.ulPropTag == PR_MESSAGE_FLAGS) {
            facts.hasFlags = true;
            facts.announcesAttachments = (value.Value.l & kMessageFlagHasAttach) != 0;
        }
    }
    for (auto& names : facts.display) std::sort(names.begin(), names.end());
    (void)WalkBth(node, &CollectValueNid, &facts.valueNids);
    std::sort(facts.valueNids.begin(), facts.valueNids.end());
    facts.valueNids.erase(std::unique(facts.valueNids.begin(), facts.valueNids.end()), facts.valueNids.end());
    return true;
}

// A table of the tree, loaded to be read; null when the tree has none.
PstNode* TableNode(PstNodeMap& subnodes, uint32_t nid)
{
    PstNode* table = subnodes.FindCurrent(nid);
    if (table == nullptr) return nullptr;
    Load(*table, pstformat::BlockEncoding::Unknown);
    return GetHeapKind(*table) == HeapKind::TableContext ? table : nullptr;
}

struct RowsFree {
    TableRows& rows;
    ~RowsFree() { FreeRows(rows); }
};

void ReadSubnodeFacts(PstReader& reader, uint64_t bid, ReunionSubnodeFacts& facts)
{
    facts.bid = bid;
    PstNodeMap subnodes;
    reader.ListSubnodes(pstformat::BidKey(bid), subnodes);
    subnodes.ForEach([&](uint32_t nid, const PstNodeMap::Versions&) { facts.nids.push_back(nid); });
    std::sort(facts.nids.begin(), facts.nids.end());
    facts.attachmentNodes = static_cast<size_t>(std::count_if(facts.nids.begin(), facts.nids.end(), [](uint32_t nid) {
        return pstformat::NidTypeOf(nid) == pstformat::NidTypeAttachment;
    }));

    TableColumns columns;
    TableRows rows;
    const RowsFree guard{rows};
    if (PstNode* table = TableNode(subnodes, kRecipientTableNid);
        table != nullptr && ReadTable(*table, columns, rows)) {
        facts.hasRecipientTable = true;
        const int nameColumn = std::max(FindColumn(PR_DISPLAY_NAME_W, columns), FindColumn(PR_DISPLAY_NAME_A, columns));
        const int typeColumn = FindColumn(PR_RECIPIENT_TYPE, columns);
        for (const LPSPropValue row : rows) {
            if (row == nullptr || nameColumn < 0 || typeColumn < 0) continue;
            const SPropValue& type = row[typeColumn];
            if (type.ulPropTag != PR_RECIPIENT_TYPE) continue;
            const ULONG kind = static_cast<ULONG>(type.Value.l) & 0xF;
            if (kind < 1 || kind > 3) continue;
            AddNames(StringValue(row[nameColumn]), facts.recipients[kind - 1]);
        }
        for (auto& names : facts.recipients) std::sort(names.begin(), names.end());
    }
    FreeRows(rows);
    if (PstNode* table = TableNode(subnodes, kAttachmentTableNid);
        table != nullptr && ReadTable(*table, columns, rows)) {
        facts.hasAttachmentTable = true;
        facts.attachmentRows = rows.size();
    }
}

constexpr size_t kUnsettled = SIZE_MAX;

// Pairs judged at most in one pass, whatever the store.
constexpr uint64_t kMaxPairChecks = 20'000'000;

// Every byte a subnode tree holds, NID by NID and subnode by subnode, decoded.
void AppendContent(const PstNodeMap& subnodes, std::vector<uint8_t>& content)
{
    std::vector<uint32_t> nids;
    subnodes.ForEach([&](uint32_t nid, const PstNodeMap::Versions&) { nids.push_back(nid); });
    std::sort(nids.begin(), nids.end());
    std::vector<uint8_t> bytes;
    for (const uint32_t nid : nids) {
        const PstNode* node = subnodes.FindCurrent(nid);
        if (node == nullptr) continue;
        (void)ReadAll(*node, bytes);
        uint8_t head[8];
        pstformat::StoreLe<uint32_t>(head, nid);
        pstformat::StoreLe<uint32_t>(head + 4, static_cast<uint32_t>(bytes.size()));
        content.insert(content.end(), head, head + sizeof head);
        content.insert(content.end(), bytes.begin(), bytes.end());
        AppendContent(node->subnodes, content);
        content.push_back(0xFF); // ends this subnode's own subnodes
    }
}

// Subnode trees sorted into classes of trees with the very same content: copies of one
// message (a store that holds the same message many times) have such trees, and which
// of them a copy receives changes nothing.
class TreeClasses {
public:
    TreeClasses(PstReader& reader, pstformat::BlockEncoding encoding, const std::vector<ReunionSubnodeFacts>& trees)
        : m_reader(reader), m_encoding(encoding), m_trees(trees), m_classOf(trees.size(), kUnsettled)
    {}

    // The class of tree t: the first tree seen with the same bytes, or t itself.
    size_t ClassOf(size_t t)
    {
        if (m_classOf[t] != kUnsettled) return m_classOf[t];
        const std::vector<uint8_t> content = Content(t);
        uint64_t hash = 0xCBF29CE484222325ull; // FNV-1a
        for (const uint8_t byte : content) hash = (hash ^ byte) * 0x100000001B3ull;
        const auto [it, inserted] = m_first.emplace(hash, t);
        // The same hash is only a hint: the bytes decide.
        m_classOf[t] = inserted || Content(it->second) != content ? t : it->second;
        return m_classOf[t];
    }

private:
    std::vector<uint8_t> Content(size_t t)
    {
        PstNode holder(&m_reader, 0, 0, m_trees[t].bid, 0);
        Load(holder, m_encoding);
        std::vector<uint8_t> content;
        AppendContent(holder.subnodes, content);
        return content;
    }

    PstReader& m_reader;
    pstformat::BlockEncoding m_encoding;
    const std::vector<ReunionSubnodeFacts>& m_trees;
    std::vector<size_t> m_classOf;
    std::unordered_map<uint64_t, size_t> m_first;
};

// Versions of one message. A message saved again gets a new property context, and a new
// subnode tree only when its subnodes changed; the old ones stay on disk. The versions
// name the same value subnodes, and where those NIDs are the message's own (no tree
// outside the ones these versions can take holds them: a writer that numbers subnodes
// across the store, as Outlook does) the versions and the trees are one message's
// history. BIDs ascend with every write, so the newest context goes with the newest tree,
// the one before with the one before, and so on; contexts beyond the trees share the
// oldest one (a copy of a message shares its subnode blocks; an earlier version is
// written with the subnodes it had, as method 2 writes earlier versions of nodes). Each
// context is still written once. Nothing is paired when a message outside the group has
// evidence for one of its trees.
void PairVersions(const std::vector<ReunionMessageFacts>& messages, const std::vector<std::vector<size_t>>& choices,
                  const std::vector<std::vector<bool>>& supports,
                  const std::unordered_map<uint32_t, std::vector<size_t>>& byNid,
                  std::vector<std::pair<size_t, size_t>>& pairs)
{
    std::vector<bool> paired(messages.size(), false);
    std::unordered_set<size_t> taken;
    for (const auto& [m, t] : pairs) {
        paired[m] = true;
        taken.insert(t);
    }
    // Groups: the same trees to choose from, the same value NIDs, evidence for every tree.
    std::map<std::pair<std::vector<size_t>, std::vector<uint32_t>>, std::vector<size_t>> groups;
    std::unordered_map<size_t, std::unordered_set<size_t>> evidenceFor; // tree -> messages
    for (size_t m = 0; m < messages.size(); ++m) {
        for (size_t i = 0; i < choices[m].size(); ++i)
            if (supports[m][i]) evidenceFor[choices[m][i]].insert(m);
        if (paired[m] || choices[m].empty() || messages[m].valueNids.empty()) continue;
        if (std::find(supports[m].begin(), supports[m].end(), false) != supports[m].end()) continue;
        std::vector<size_t> trees = choices[m];
        std::sort(trees.begin(), trees.end());
        groups[{trees, messages[m].valueNids}].push_back(m);
    }
    for (auto& [key, members] : groups) {
        const auto& [trees, nids] = key;
        bool own = true;
        for (const uint32_t nid : nids) {
            const auto it = byNid.find(nid);
            own = own && it != byNid.end() && it->second.size() == trees.size();
        }
        for (const size_t t : trees) {
            own = own && taken.count(t) == 0;
            for (const size_t m : evidenceFor[t])
                own = own && std::find(members.begin(), members.end(), m) != members.end();
        }
        if (!own) continue;
        // Newest first on both sides: messages and trees are in ascending BID order. The
        // contexts left over share the oldest tree: copies of a message share their
        // subnode blocks, and a context saved before any tree that is left had that one.
        std::sort(members.rbegin(), members.rend());
        for (size_t i = 0; i < members.size(); ++i)
            pairs.emplace_back(members[i], trees[i < trees.size() ? trees.size() - 1 - i : 0]);
    }
}

// The order a writer gives a message's blocks, read from the store itself. BIDs are handed
// out in ascending order, and a writer that saves a message at once gives its property
// context and its subnode tree BIDs with no other message's in between, the tree always on
// the same side. Taking each message's neighbour on one side in BID order (among the
// orphan messages and trees) as its tree is a hypothesis the store can refute: it holds
// only when the neighbour is a compatible tree for nearly every message that has a
// compatible tree at all (at least kPatternShare of them, and kMinPatternPairs), and for
// more of them than the other side would give. By chance a neighbour is seldom
// compatible, unless the evidence tells little, and then few messages would pass. Where
// it holds, a message still unpaired takes that neighbour, when the pair is compatible
// and supported and the tree is nobody's yet. A store whose messages were rewritten later
// shows no such pattern, and then nothing is paired this way.
constexpr size_t kMinPatternPairs = 3;
constexpr double kPatternShare = 0.95;

void PairInWritingOrder(const std::vector<ReunionMessageFacts>& messages, const std::vector<ReunionSubnodeFacts>& trees,
                        const std::vector<std::vector<size_t>>& choices, const std::vector<std::vector<bool>>& supports,
                        std::vector<std::pair<size_t, size_t>>& pairs)
{
    struct Entry {
        uint64_t bid;
        bool tree;
        size_t index;
    };
    std::vector<Entry> order;
    order.reserve(messages.size() + trees.size());
    for (size_t m = 0; m < messages.size(); ++m) order.push_back({messages[m].bid, false, m});
    for (size_t t = 0; t < trees.size(); ++t) order.push_back({trees[t].bid, true, t});
    std::sort(order.begin(), order.end(), [](const Entry& a, const Entry& b) { return a.bid < b.bid; });
    std::vector<size_t> messageAt(messages.size());
    for (size_t i = 0; i < order.size(); ++i)
        if (!order[i].tree) messageAt[order[i].index] = i;

    std::vector<bool> paired(messages.size(), false), taken(trees.size(), false);
    for (const auto& [m, t] : pairs) {
        paired[m] = true;
        taken[t] = true;
    }
    // The tree on one side of message m when it is a supported choice of m, else none.
    const auto neighbour = [&](size_t m, bool after) -> std::optional<size_t> {
        const size_t at = messageAt[m];
        if (after ? at + 1 >= order.size() : at == 0) return std::nullopt;
        const Entry& next = order[after ? at + 1 : at - 1];
        if (!next.tree) return std::nullopt;
        const auto it = std::find(choices[m].begin(), choices[m].end(), next.index);
        if (it == choices[m].end() || !supports[m][static_cast<size_t>(it - choices[m].begin())]) return std::nullopt;
        return next.index;
    };
    size_t hits[2] = {0, 0}; // before, after
    size_t tested = 0;
    for (size_t m = 0; m < messages.size(); ++m) {
        if (std::find(supports[m].begin(), supports[m].end(), true) == supports[m].end()) continue;
        ++tested;
        for (const bool after : {false, true}) hits[after ? 1 : 0] += neighbour(m, after) ? 1 : 0;
    }
    const bool after = hits[1] > hits[0];
    const size_t best = hits[after ? 1 : 0];
    if (best < kMinPatternPairs || best == hits[after ? 0 : 1] ||
        static_cast<double>(best) < kPatternShare * static_cast<double>(tested))
        return;

    for (size_t m = 0; m < messages.size(); ++m) {
        if (paired[m]) continue;
        const std::optional<size_t> tree = neighbour(m, after);
        if (!tree || taken[*tree]) continue;
        taken[*tree] = true;
        pairs.emplace_back(m, *tree);
    }
}
} // namespace

ReunionVerdict JudgeReunion(const ReunionMessageFacts& message, const ReunionSubnodeFacts& tree)
{
    ReunionVerdict verdict;
    if (!std::includes(tree.nids.begin(), tree.nids.end(), message.valueNids.begin(), message.valueNids.end()))
        return verdict;
    bool namesMatched = false;
    for (int k = 0; k < 3; ++k) {
        if (!message.hasDisplay[k]) continue;
        if (message.display[k] != tree.recipients[k]) return verdict;
        namesMatched = namesMatched || !message.display[k].empty();
    }
    const bool holdsAttachments = tree.attachmentRows > 0 || tree.attachmentNodes > 0;
    if (message.hasFlags && message.announcesAttachments != holdsAttachments) return verdict;
    if (!tree.hasRecipientTable && !tree.hasAttachmentTable) {
        for (const uint32_t nid : tree.nids) {
            if (pstformat::NidTypeOf(nid) == pstformat::NidTypeLtp &&
                !std::binary_search(message.valueNids.begin(), message.valueNids.end(), nid))
                return verdict;
        }
    }
    verdict.compatible = true;
    // Announced attachments only rule trees out: many messages have some, and an
    // embedded message (whose context is an orphan data tree too) announces its own.
    verdict.supported = !message.valueNids.empty() || namesMatched;
    return verdict;
}

uint32_t ReuniteOrphanMessages(RecoveryContext& context, PstReader& reader, OutputStore& store, IMAPIFolder* group)
{
    std::vector<ReunionSubnodeFacts> trees;
    for (const uint64_t bid : SortedUnmarked(reader, reader.TopSubnodeBlocks())) {
        ReunionSubnodeFacts facts;
        ReadSubnodeFacts(reader, bid, facts);
        if (!facts.nids.empty()) trees.push_back(std::move(facts));
    }
    if (trees.empty()) return 0;
    std::vector<ReunionMessageFacts> messages;
    for (const uint64_t bid : SortedUnmarked(reader, reader.TopDataBlocks())) {
        ReunionMessageFacts facts;
        if (ReadMessageFacts(reader, bid, facts)) messages.push_back(std::move(facts));
    }
    if (messages.empty()) return 0;

    // Where to look for a message's trees: those holding its first value NID, else those
    // whose recipients of one type are the names the message lists for that type. A
    // compatible tree passes both tests, so these lists miss none; a message with neither
    // a value NID nor a name has nothing to speak for any tree and looks at none.
    std::unordered_map<uint32_t, std::vector<size_t>> byNid;
    std::map<std::vector<std::string>, std::vector<size_t>> byNames[3];
    for (size_t t = 0; t < trees.size(); ++t) {
        for (const uint32_t nid : trees[t].nids) byNid[nid].push_back(t);
        for (int k = 0; k < 3; ++k) byNames[k][trees[t].recipients[k]].push_back(t);
    }
    std::vector<const std::vector<size_t>*> lookIn(messages.size(), nullptr);
    uint64_t work = 0;
    for (size_t m = 0; m < messages.size(); ++m) {
        const ReunionMessageFacts& message = messages[m];
        if (!message.valueNids.empty()) {
            const auto it = byNid.find(message.valueNids.front());
            if (it != byNid.end()) lookIn[m] = &it->second;
        } else {
            for (int k = 0; k < 3 && lookIn[m] == nullptr; ++k) {
                if (!message.hasDisplay[k] || message.display[k].empty()) continue;
                const auto it = byNames[k].find(message.display[k]);
                if (it != byNames[k].end())
                    lookIn[m] = &it->second;
                else
                    break; // no tree has these names: nothing is compatible
            }
        }
        if (lookIn[m] != nullptr) work += lookIn[m]->size();
    }
    // Each message against each candidate: a store whose halves all look alike (every
    // message to the same few names) would make that quadratic, and pair nothing anyway.
    if (work > kMaxPairChecks) return 0;

    std::vector<std::vector<size_t>> choices(messages.size());
    std::vector<std::vector<bool>> supports(messages.size());
    for (size_t m = 0; m < messages.size(); ++m) {
        if (lookIn[m] == nullptr) continue;
        for (const size_t t : *lookIn[m]) {
            const ReunionVerdict verdict = JudgeReunion(messages[m], trees[t]);
            if (!verdict.compatible) continue;
            choices[m].push_back(t);
            supports[m].push_back(verdict.supported);
        }
    }

    // A message is settled when all its compatible trees are one class of equal trees and
    // something speaks for them; a class goes to its messages when no other message has
    // evidence for one of its trees and there are trees enough for all of them. A message
    // that is merely not contradicted by a tree (it names no value subnode and no
    // recipient of it) does not stand in the way: a message that owned the tree would
    // name what the tree holds.
    TreeClasses classes(reader, messages.front().encoding, trees);
    std::unordered_map<size_t, std::vector<size_t>> claimants;
    std::unordered_set<size_t> contested;
    for (size_t m = 0; m < messages.size(); ++m) {
        if (choices[m].empty()) continue;
        const size_t first = classes.ClassOf(choices[m].front());
        bool one = true;
        for (size_t i = 1; i < choices[m].size() && one; ++i) one = classes.ClassOf(choices[m][i]) == first;
        const bool supported = std::find(supports[m].begin(), supports[m].end(), false) == supports[m].end();
        if (one && supported) {
            claimants[first].push_back(m);
        } else {
            for (size_t i = 0; i < choices[m].size(); ++i)
                if (supports[m][i]) contested.insert(classes.ClassOf(choices[m][i]));
        }
    }
    std::vector<std::pair<size_t, size_t>> pairs; // message, tree
    for (auto& [cls, members] : claimants) {
        if (contested.count(cls) != 0) continue;
        // Every claimant has the same compatible trees: the whole class.
        std::vector<size_t> available = choices[members.front()];
        if (members.size() > available.size()) continue;
        std::sort(members.begin(), members.end());
        std::sort(available.begin(), available.end());
        for (size_t i = 0; i < members.size(); ++i) pairs.emplace_back(members[i], available[i]);
    }
    PairVersions(messages, choices, supports, byNid, pairs);
    PairInWritingOrder(messages, trees, choices, supports, pairs);
    std::sort(pairs.begin(), pairs.end());

    uint32_t count = 0;
    for (const auto& [m, t] : pairs) {
        if (context.StopWriting()) break;
        PstNode node(&reader, 0, messages[m].bid, trees[t].bid, 0);
        Load(node, pstformat::BlockEncoding::Unknown);
        count += RecoverMessage(context, node, store, group);
    }
    return count;
}

} // namespace krv

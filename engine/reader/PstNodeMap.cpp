// PstNodeMap.cpp: the versions of every node by NID, and the operations that merge and thin them.
#include "engine/reader/PstNodeMap.h"

#include "engine/reader/PstNode.h"

#include <algorithm>
#include <unordered_set>

namespace krv {

namespace {

// What makes two versions the same node: parent and children are left out on purpose,
// since the same entry read from two copies of a page may disagree only there.
struct Identity {
    uint32_t nid;
    uint64_t bidData;
    uint64_t bidSub;
    bool operator==(const Identity&) const = default;
};

struct IdentityHash {
    size_t operator()(const Identity& id) const
    {
        uint64_t h = id.bidData * 0x9E3779B97F4A7C15ULL;
        h ^= (id.bidSub + 0x632BE59BD9B4E019ULL + (h << 6) + (h >> 2));
        h ^= id.nid;
        return static_cast<size_t>(h * 0xBF58476D1CE4E5B9ULL);
    }
};

Identity IdentityOf(const PstNode& node) { return {node.nid, node.bidData, node.bidSub}; }

// Keeps the last of every group of equal versions. A stale page copied thousands of times
// yields thousands of versions of one NID, so the test is hashed, not pairwise.
void RemoveDuplicatesOf(PstNodeMap::Versions& versions)
{
    if (versions.size() < 2) {
        return;
    }
    std::unordered_set<Identity, IdentityHash> later;
    later.reserve(versions.size());
    for (auto it = versions.rbegin(); it != versions.rend(); ++it) {
        if (!later.insert(IdentityOf(**it)).second) {
            it->reset();
        }
    }
    std::erase(versions, nullptr);
}

} // namespace

PstNodeMap::PstNodeMap() = default;
PstNodeMap::~PstNodeMap() = default;
PstNodeMap::PstNodeMap(PstNodeMap&&) noexcept = default;
PstNodeMap& PstNodeMap::operator=(PstNodeMap&&) noexcept = default;

PstNode* PstNodeMap::FindCurrent(uint32_t nid) const
{
    const Versions* versions = FindVersions(nid);
    return versions == nullptr || versions->empty() ? nullptr : versions->back().get();
}

const PstNodeMap::Versions* PstNodeMap::FindVersions(uint32_t nid) const
{
    const auto it = m_map.find(nid);
    return it == m_map.end() ? nullptr : &it->second;
}

void PstNodeMap::Append(uint32_t nid, std::unique_ptr<PstNode> node)
{
    if (node != nullptr) {
        m_map[nid].push_back(std::move(node));
    }
}

void PstNodeMap::RemoveDuplicates()
{
    for (auto& [nid, versions] : m_map) {
        RemoveDuplicatesOf(versions);
    }
}

size_t PstNodeMap::MergeClones(const PstNodeMap& source)
{
    if (&source == this) {
        // Appending to the lists being walked would invalidate the walk.
        PstNodeMap copy;
        copy.MergeClones(source);
        return MergeClones(copy);
    }
    size_t count = 0;
    for (const auto& [nid, versions] : source.m_map) {
        for (const auto& version : versions) {
            Append(nid, version->Clone());
            ++count;
        }
    }
    return count;
}

void PstNodeMap::Clear() { m_map.clear(); }

void PstNodeMap::Reserve(size_t nidCount) { m_map.reserve(nidCount); }

void PstNodeMap::ForEach(const std::function<void(uint32_t nid, Versions& versions)>& visit)
{
    for (auto& [nid, versions] : m_map) {
        visit(nid, versions);
    }
}

void PstNodeMap::ForEach(const std::function<void(uint32_t nid, const Versions& versions)>& visit) const
{
    for (const auto& [nid, versions] : m_map) {
        visit(nid, versions);
    }
}

} // namespace krv

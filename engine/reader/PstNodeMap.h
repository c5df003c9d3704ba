// PstNodeMap.h: nodes by NID, every version found, the last one current.
//
// The same type is the reader's node index and every node's subnode map.
#ifndef KRV_ENGINE_READER_PSTNODEMAP_H
#define KRV_ENGINE_READER_PSTNODEMAP_H

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <unordered_map>
#include <vector>

namespace krv {

class PstNode;

class PstNodeMap {
public:
    using Versions = std::vector<std::unique_ptr<PstNode>>;

    PstNodeMap();
    ~PstNodeMap();
    PstNodeMap(const PstNodeMap&) = delete;
    PstNodeMap& operator=(const PstNodeMap&) = delete;
    PstNodeMap(PstNodeMap&&) noexcept;
    PstNodeMap& operator=(PstNodeMap&&) noexcept;

    // The current (last) version, or null.
    PstNode* FindCurrent(uint32_t nid) const;
    // Every version of nid, oldest first; null when the NID is absent.
    const Versions* FindVersions(uint32_t nid) const;
    // Adds node as the current version of nid and takes ownership; a null node is ignored.
    void Append(uint32_t nid, std::unique_ptr<PstNode> node);
    // Drops every version equal to a later one of its list in NID, data BID and subnode
    // BID (parent and children are not compared); the survivors keep their order.
    void RemoveDuplicates();
    // Appends a clone of every version of every NID of source; returns the clone count.
    size_t MergeClones(const PstNodeMap& source);
    // Destroys every list and node.
    void Clear();
    // Room for nidCount NIDs without rehashing (the node index of a big file holds
    // hundreds of thousands).
    void Reserve(size_t nidCount);

    size_t Size() const { return m_map.size(); }
    bool Empty() const { return m_map.empty(); }
    // Visits each NID with its versions; the order is not significant but stays the same
    // while the map is unchanged.
    void ForEach(const std::function<void(uint32_t nid, Versions& versions)>& visit);
    void ForEach(const std::function<void(uint32_t nid, const Versions& versions)>& visit) const;

private:
    std::unordered_map<uint32_t, Versions> m_map;
};

} // namespace krv

#endif

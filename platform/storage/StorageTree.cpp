// StorageTree.cpp: lookups, removal and copy-on-write snapshots of the storage tree.
#include "platform/storage/StorageTree.h"

namespace krv::storage {

std::vector<uint8_t>& StreamNode::MutableBytes()
{
    if (data_.use_count() > 1) data_ = std::make_shared<std::vector<uint8_t>>(*data_);
    return *data_;
}

std::shared_ptr<StreamNode> StreamNode::ShareCopy() const
{
    auto copy = std::make_shared<StreamNode>();
    copy->name = name;
    copy->data_ = data_;
    return copy;
}

const std::u16string& TreeElement::Name() const { return stream ? stream->name : storage->name; }

TreeElement* StorageNode::Find(std::u16string_view childName)
{
    auto it = children.find(NameKey(childName));
    return it == children.end() ? nullptr : &it->second;
}

bool StorageNode::Remove(std::u16string_view childName)
{
    auto it = children.find(NameKey(childName));
    if (it == children.end()) return false;
    DetachElement(it->second);
    children.erase(it);
    return true;
}

std::shared_ptr<StorageNode> SnapshotTree(const StorageNode& root)
{
    auto copy = std::make_shared<StorageNode>();
    copy->name = root.name;
    copy->clsid = root.clsid;
    copy->stateBits = root.stateBits;
    copy->created = root.created;
    copy->modified = root.modified;
    copy->depth = root.depth;
    for (const auto& [key, child] : root.children) {
        TreeElement element;
        // Storages nest at most kMaxStorageDepth deep, which bounds this recursion.
        if (child.stream)
            element.stream = child.stream->ShareCopy();
        else
            element.storage = SnapshotTree(*child.storage);
        copy->children.emplace(key, std::move(element));
    }
    return copy;
}

void DetachElement(const TreeElement& element)
{
    if (element.stream) {
        element.stream->detached = true;
        return;
    }
    element.storage->detached = true;
    for (const auto& [key, child] : element.storage->children) DetachElement(child);
}

} // namespace krv::storage

// CompoundReader.h: turns the bytes of a compound file into a storage tree, after checking
// every structure of the file; damaged input is refused, never partly trusted.
#ifndef KRV_PLATFORM_STORAGE_COMPOUNDREADER_H
#define KRV_PLATFORM_STORAGE_COMPOUNDREADER_H

#include "platform/mapi/MapiErrors.h"
#include "platform/storage/StorageTree.h"

#include <cstdint>
#include <memory>
#include <span>

namespace krv::storage {

// S_OK with the root storage in *root; STG_E_INVALIDHEADER when the header is not a
// compound-file header (too short, wrong signature or layout numbers); STG_E_DOCFILECORRUPT
// when a structure is broken: a sector number out of range, a chain that loops or shares
// a sector with another, a stream longer than its chain, a directory entry reached twice
// or of the wrong type, a bad name, two siblings of the same name, storages nested deeper
// than kMaxStorageDepth; STG_E_INSUFFICIENTMEMORY for a file above kMaxCompoundFileBytes.
// Directory entries that no storage reaches are ignored.
[[nodiscard]] HRESULT ReadCompoundFile(std::span<const uint8_t> file, std::shared_ptr<StorageNode>* root);

} // namespace krv::storage

#endif

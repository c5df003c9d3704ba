// CompoundWriter.h: serialises a storage tree as a version-3 compound file.
#ifndef KRV_PLATFORM_STORAGE_COMPOUNDWRITER_H
#define KRV_PLATFORM_STORAGE_COMPOUNDWRITER_H

#include "platform/mapi/MapiErrors.h"
#include "platform/storage/StorageTree.h"

#include <cstdint>
#include <vector>

namespace krv::storage {

// Writes the tree under `root` as a version-3 compound file (512-byte sectors; streams
// shorter than 4096 bytes in the mini stream; FAT and DIFAT sectors marked in the FAT;
// each storage's children in a balanced, validly coloured red-black sibling tree; unused
// directory entries and FAT entries padded as free). S_OK with the bytes in *file, or
// STG_E_MEDIUMFULL when the file would exceed kMaxCompoundFileBytes.
[[nodiscard]] HRESULT WriteCompoundFile(const StorageNode& root, std::vector<uint8_t>* file);

} // namespace krv::storage

#endif

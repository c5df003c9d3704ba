// CompoundStorage.h: storages backed by compound (OLE) files: one opened from a file on
// disk, and one kept in memory that hands its compound-file bytes to its owner on Commit.
#ifndef KRV_PLATFORM_STORAGE_COMPOUNDSTORAGE_H
#define KRV_PLATFORM_STORAGE_COMPOUNDSTORAGE_H

#include "platform/storage/StorageInterfaces.h"

#include <cstdint>
#include <functional>
#include <span>
#include <vector>

// Opens the compound file at `path` (UTF-16). The whole file is checked (header, sector
// chains, directory, stream sizes) before it is accepted: a damaged one is refused with
// STG_E_INVALIDHEADER or STG_E_DOCFILECORRUPT and no storage. With STGM_READ the storage
// refuses every change with STG_E_ACCESSDENIED. The file is read whole and closed again
// (files above 1 GiB are refused with STG_E_INSUFFICIENTMEMORY, a missing one with
// STG_E_FILENOTFOUND); opened for writing, each Commit of the root rewrites it whole, in
// direct mode too. Elements named in `exclude` open empty; `priority` is ignored.
HRESULT StgOpenStorage(LPCOLESTR path, IStorage* priority, DWORD mode, SNB exclude, DWORD reserved, IStorage** storage);

namespace krv::storage {

// The same checks and result on compound-file bytes held in memory (copied).
[[nodiscard]] HRESULT OpenStorageOnBytes(std::span<const uint8_t> bytes, DWORD mode, IStorage** storage);

// A new, empty, writable storage in memory. Each Commit of the root writes the whole tree
// as a compound file and passes its bytes to `onCommit`, whose failure is Commit's result.
[[nodiscard]] HRESULT CreateCommitStorage(std::function<HRESULT(std::vector<uint8_t>)> onCommit, IStorage** storage);

} // namespace krv::storage

#endif

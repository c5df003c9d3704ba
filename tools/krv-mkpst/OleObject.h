// OleObject.h: an attachment's embedded OLE object, written as the engine writes one: a
// compound file on disk, opened with StgOpenStorage and copied into the storage that
// OpenProperty hands out for PR_ATTACH_DATA_OBJ, then committed.
#ifndef KRV_TOOLS_KRVMKPST_OLEOBJECT_H
#define KRV_TOOLS_KRVMKPST_OLEOBJECT_H

#include "platform/mapi/MapiInterfaces.h"
#include "tools/krv-mkpst/PropWriter.h"

#include <cstdint>
#include <string>
#include <vector>

namespace krv::mkpst {

// The one stream of the object besides its "\1Ole" header stream.
inline constexpr char16_t kOleContentsStream[] = u"CONTENTS";

// The CONTENTS stream of an object made from `seed`, with `marker` at its start.
[[nodiscard]] std::vector<uint8_t> OleContents(const std::string& marker, uint64_t seed);

// Writes a compound file holding the object to a new temporary file ("KRV" prefix) and
// returns its path, empty on failure (with the failure noted).
[[nodiscard]] std::string WriteOleTempFile(const std::vector<uint8_t>& contents, WriteFailure& failure);

// OpenProperty (tag, IID_IStorage, 0, MAPI_MODIFY | MAPI_CREATE | MAPI_DEFERRED_ERRORS),
// StgOpenStorage (path, STGM_READ | STGM_SHARE_EXCLUSIVE | STGM_TRANSACTED), CopyTo,
// Commit. False with the failure noted.
bool WriteStorageProperty(IMAPIProp* attachment, ULONG tag, const std::string& path, WriteFailure& failure);

} // namespace krv::mkpst

#endif

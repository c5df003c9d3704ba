// ObjectTempFile.h: the temporary file through which an attachment's embedded OLE object
// travels from the source into the output.
//
// The output takes an OLE object only as a compound file opened by path, so the bytes of
// the source's object subnode are written to a temporary file first. The name is made by
// mkstemp, which creates the file (so no other process can slip in another file under the
// same name), and the file is removed when its owner goes, whatever happened meanwhile.
#ifndef KRV_ENGINE_RECOVERY_OBJECTTEMPFILE_H
#define KRV_ENGINE_RECOVERY_OBJECTTEMPFILE_H

#include "platform/os/TempFile.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace krv {

// A new, empty temporary file "KRV..." in the temporary directory; none when none can be
// made.
[[nodiscard]] std::optional<TempFile> MakeTempFileName();

// Replaces the file's contents with bytes. False when the file cannot be opened or
// written (a full temporary directory, say).
[[nodiscard]] bool WriteTempFile(const std::string& path, std::span<const uint8_t> bytes);

} // namespace krv

#endif

// OutputSplitting.h: what lets a repair continue in a further output file: the names of
// the follow-up files and the marks cleared between files.
//
// A follow-up file receives the folder tree again (its folders were unmarked) and then
// whatever has not been written yet; messages, attachments and the blocks the deeper
// passes visited keep their marks, so nothing written to an earlier file is written again.
#ifndef KRV_ENGINE_RECOVERY_OUTPUTSPLITTING_H
#define KRV_ENGINE_RECOVERY_OUTPUTSPLITTING_H

#include <cstdint>
#include <string>

namespace krv {

class PstReader;

// Clears the used marks of the message store node (0x21), the name-to-ID map (0x61) and
// every version of every folder node.
void ResetForNextPart(PstReader& reader);

// The path of follow-up file `index` (1, 2, ...): "<stem>_<index><extension>", always
// derived from the request's output path.
[[nodiscard]] std::string SplitPartName(const std::string& path, uint32_t index);

// The path without its extension, and the extension with its dot (or empty). The
// extension is what follows the last dot after the last separator ('/', '\' or ':').
[[nodiscard]] std::string PathStem(const std::string& path);
[[nodiscard]] std::string PathExtension(const std::string& path);

} // namespace krv

#endif

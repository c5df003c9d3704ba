// RecoveredNames.h: the names the engine gives the folders it makes itself.
//
// A folder is created under a placeholder name, "Recovered_Folder<n>", before its own
// properties (its real name among them) are copied onto it; one that still carries a
// placeholder afterwards never had a name of its own. The lost-and-found folders of the
// deeper passes are "Recovered_Group<n>". Each pattern has its own counter, which starts
// at 1 and lives as long as the process: a later repair continues the numbering.
#ifndef KRV_ENGINE_OUTPUT_RECOVEREDNAMES_H
#define KRV_ENGINE_OUTPUT_RECOVEREDNAMES_H

#include "platform/mapi/MapiInterfaces.h"

#include <string>

namespace krv {

[[nodiscard]] std::string NextRecoveredFolderName();
[[nodiscard]] std::string NextRecoveredGroupName();

// True when the folder's display name is a placeholder name: the prefix and a decimal
// number of at least one digit that does not overflow, nothing else.
[[nodiscard]] bool IsRecoveredFolderName(IMAPIProp* folder);
[[nodiscard]] bool IsRecoveredFolderName(const std::string& name);

} // namespace krv

#endif

// MessageWriter.h: one planned message written through IMAPIFolder and IMessage in the
// engine's order: the class first, then each property, a keep-open save, recipients and
// attachments, and the final save.
#ifndef KRV_TOOLS_KRVMKPST_MESSAGEWRITER_H
#define KRV_TOOLS_KRVMKPST_MESSAGEWRITER_H

#include "platform/mapi/MapiInterfaces.h"
#include "tools/krv-mkpst/NamedProps.h"
#include "tools/krv-mkpst/PropWriter.h"
#include "tools/krv-mkpst/StoreShape.h"

#include <string>
#include <vector>

namespace krv::mkpst {

struct WriteContext {
    bool unicode = true;
    bool copyComputed = false;
    bool fingerprints = false; // fill WrittenMessage (for the manifest)
    std::vector<MappedName> names;
};

// What the manifest needs beyond the plan: the fingerprints of the data written.
struct WrittenMessage {
    std::vector<std::string> attachmentFingerprints; // per attachment, in plan order
    std::vector<uint64_t> attachmentSizes;           // of PR_ATTACH_DATA_BIN, or of the OLE CONTENTS stream
};

bool WriteMessage(IMAPIFolder* folder, const MessagePlan& plan, const WriteContext& context, WrittenMessage& written,
                  WriteFailure& failure);

// The computed properties a copy from another store would carry on a folder, with values
// that cannot be right here.
bool WriteCopiedFolderComputed(PropWriter& folder, uint32_t salt);

// An entry ID of some other store.
[[nodiscard]] std::vector<uint8_t> ForeignEntryId(uint32_t salt);

} // namespace krv::mkpst

#endif

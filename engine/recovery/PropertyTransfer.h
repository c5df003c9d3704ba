// PropertyTransfer.h: the one road by which a property value of the source reaches the
// output.
//
// TransferProperty decides which types are written at all, moves named properties to the
// identifiers the output store gave the same names, converts strings to the output's
// layout in the code page of their message, and writes embedded objects (PT_OBJECT)
// through their own paths. Every folder, message and attachment property, the store's
// display name and the class and subject of wrapped attachments go through it.
#ifndef KRV_ENGINE_RECOVERY_PROPERTYTRANSFER_H
#define KRV_ENGINE_RECOVERY_PROPERTYTRANSFER_H

#include "engine/recovery/RecoveryContext.h"
#include "platform/mapi/MapiInterfaces.h"

namespace krv {

class PstNode;

// True for the property types the output receives (single and multi-valued integers,
// floating point, currency, times, booleans, strings, GUIDs, binaries, and PT_OBJECT);
// PT_UNSPECIFIED, PT_NULL, PT_ERROR and unknown types are never written. `type` is the
// tag's low 16 bits without the multi-value instance flag.
[[nodiscard]] bool IsTransferredType(ULONG type);

// Writes one entry of `node`'s properties onto destination: true when it was written (and
// for PR_RTF_IN_SYNC, which is never copied: whether the RTF of the output is in sync is
// decided for the output), false when it was not. A named property whose name the output
// store did not map is not written: under its source identifier it would be taken for
// whatever the output store calls by that number.
bool TransferProperty(RecoveryContext& context, const PstNode& node, const SPropValue& entry, IMAPIProp* destination,
                      bool unicode);

// A PT_OBJECT value of an attachment node: its subnode holds either an embedded message
// (a property context of its own), which is rebuilt as the attachment's embedded message,
// or an OLE compound file, which travels through a temporary file into the attachment's
// storage. False when the subnode cannot be read or the output refuses it.
bool TransferObjectProperty(RecoveryContext& context, const PstNode& node, const SPropValue& value,
                            IMAPIProp* destination);

// Every property of a property-context node through TransferProperty onto destination,
// then a keep-open save when there was any. False when the node's properties cannot be
// read or it has none. objectWritten, when given, tells whether a PT_OBJECT value (an
// attachment's embedded message or OLE object) reached the destination.
bool CopyNodeProperties(RecoveryContext& context, const PstNode& node, IMAPIProp* destination,
                        bool* objectWritten = nullptr);

} // namespace krv

#endif

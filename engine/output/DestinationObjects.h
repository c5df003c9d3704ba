// DestinationObjects.h: the calls through which recovered folders, messages, attachments,
// properties and recipients reach the output store, with the flags they are made with.
//
// Objects handed out carry one reference for the caller. Every call answers its result
// and reports nothing itself; the strategies go on with the next item after a failure.
// Properties go one at a time, so a value the store refuses costs only itself.
#ifndef KRV_ENGINE_OUTPUT_DESTINATIONOBJECTS_H
#define KRV_ENGINE_OUTPUT_DESTINATIONOBJECTS_H

#include "platform/mapi/AdrList.h"
#include "platform/mapi/MapiInterfaces.h"
#include "platform/mapi/ObjectRef.h"

#include <cstdint>
#include <optional>
#include <string>

namespace krv {

// The store's root folder, opened for writing.
[[nodiscard]] HRESULT OpenRootFolder(IMsgStore* store, ObjectRef<IMAPIFolder>& folder);

// A generic subfolder `name` of parent; a subfolder of that name that exists already is
// opened instead.
[[nodiscard]] HRESULT CreateChildFolder(IMAPIFolder* parent, const std::string& name, ObjectRef<IMAPIFolder>& folder);

// The subfolder of parent named `name` (UTF-16), made when there is none.
[[nodiscard]] HRESULT OpenOrCreateChildFolder(IMAPIFolder* parent, const std::u16string& name,
                                              ObjectRef<IMAPIFolder>& folder);

// Deletes child from parent by its entry ID. False when the entry ID cannot be read or the
// folder is not deleted (one that still holds messages or subfolders is not).
[[nodiscard]] bool DeleteChildFolder(IMAPIFolder* child, IMAPIFolder* parent);

// A new message in folder, visible in it after its final save. An associated message
// (hidden: views, rules, forms) goes to the folder's associated contents.
[[nodiscard]] HRESULT CreateOutputMessage(IMAPIFolder* folder, bool associated, ObjectRef<IMessage>& message);

// A new attachment of message.
[[nodiscard]] HRESULT CreateOutputAttachment(IMessage* message, ObjectRef<IAttach>& attachment);

// SetProps of one value. The store accepts or refuses each value on its own; the result
// fails only when the object itself can no longer be written.
HRESULT SetOneProperty(IMAPIProp* object, const SPropValue& value);

// A save that keeps the object open for more changes, and the last one before release.
[[nodiscard]] HRESULT SaveKeepOpen(IMAPIProp* object);
[[nodiscard]] HRESULT SaveFinal(IMAPIProp* object);

// The 8-bit form of string property `id`: as PT_STRING8 when the object has it, else its
// PT_UNICODE form converted to the configured code page; empty when it has neither.
[[nodiscard]] std::string GetObjectString(IMAPIProp* object, uint16_t id);

// The identifier the store assigns to a named property (creating it when it is new);
// none when the store refuses.
[[nodiscard]] std::optional<uint16_t> MapNamedProperty(IMsgStore* store, MAPINAMEID& name);

// The compound file at `path` copied into the attachment's object property `tag`. False
// when the property cannot be opened as a storage, the file is no compound file, or the
// copy or its commit fails. The caller deletes the file.
[[nodiscard]] bool WriteStorageProperty(IAttach* attachment, ULONG tag, const std::string& path);

// Adds every entry of the list as a recipient of message (the store numbers the rows);
// the list and every row's values are freed whatever the result.
HRESULT AddRecipients(IMessage* message, AdrListPtr list);

} // namespace krv

#endif

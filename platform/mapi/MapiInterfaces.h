// MapiInterfaces.h: the messaging objects (properties, tables, containers, folders,
// messages, attachments, stores, sessions, profile and service administration) as
// abstract interfaces with MAPI's method names, argument order and flags.
//
// Only the methods a client of a personal-folders store needs are declared. Every object
// is reference counted (Unknown.h); an object handed out through an out parameter carries
// one reference for the caller. Implementations derive from exactly one of these
// interfaces (single inheritance), so an object's address is its IUnknown address.
//
// Text arguments typed LPTSTR are 8-bit strings unless the call's flags include
// MAPI_UNICODE, in which case the pointer is an LPWSTR.
#ifndef KRV_PLATFORM_MAPI_MAPIINTERFACES_H
#define KRV_PLATFORM_MAPI_MAPIINTERFACES_H

#include "platform/mapi/AdrList.h"
#include "platform/mapi/NamedProp.h"
#include "platform/mapi/PropTagArray.h"
#include "platform/mapi/PropValue.h"
#include "platform/mapi/RowSet.h"
#include "platform/mapi/Unknown.h"

using LPTSTR = char*;

struct ENTRYID {
    BYTE abFlags[4];
    BYTE ab[1];
};
using LPENTRYID = ENTRYID*;

struct MAPIUID {
    BYTE ab[16];
};
using LPMAPIUID = MAPIUID*;

// Flags of the calls below (the published values).
inline constexpr ULONG MAPI_UNICODE = 0x80000000;
inline constexpr ULONG MAPI_MODIFY = 0x00000001;
inline constexpr ULONG MAPI_CREATE = 0x00000002;
inline constexpr ULONG MAPI_DEFERRED_ERRORS = 0x00000008;
inline constexpr ULONG MAPI_BEST_ACCESS = 0x00000010;
inline constexpr ULONG MAPI_ASSOCIATED = 0x00000040;
inline constexpr ULONG KEEP_OPEN_READONLY = 0x00000001;
inline constexpr ULONG KEEP_OPEN_READWRITE = 0x00000002;
inline constexpr ULONG FORCE_SAVE = 0x00000004;
inline constexpr ULONG FOLDER_ROOT = 0;
inline constexpr ULONG FOLDER_GENERIC = 1;
inline constexpr ULONG FOLDER_SEARCH = 2;
inline constexpr ULONG OPEN_IF_EXISTS = 0x00000001;
inline constexpr ULONG DEL_MESSAGES = 0x00000008;
inline constexpr ULONG DEL_FOLDERS = 0x00000004;
inline constexpr ULONG MODRECIP_ADD = 0x00000002;
inline constexpr ULONG MODRECIP_MODIFY = 0x00000004;
inline constexpr ULONG MODRECIP_REMOVE = 0x00000008;
inline constexpr ULONG MDB_WRITE = 0x00000004;
inline constexpr ULONG LOGOFF_NO_WAIT = 0x00000001;
inline constexpr ULONG MAPI_EXTENDED = 0x00000020;
inline constexpr ULONG MAPI_EXPLICIT_PROFILE = 0x00000010;
inline constexpr ULONG MAPI_NEW_SESSION = 0x00000002;
inline constexpr ULONG MAPI_FORCE_CREATE = 0x00000001;
inline constexpr ULONG MAPI_FULL_IPM_TREE = 0x00000002;
inline constexpr ULONG TBL_NOADVANCE = 0x00000001;

// Table positions for SeekRow.
using BOOKMARK = ULONG;
inline constexpr BOOKMARK BOOKMARK_BEGINNING = 0;
inline constexpr BOOKMARK BOOKMARK_CURRENT = 1;
inline constexpr BOOKMARK BOOKMARK_END = 2;

class IMAPITable : public IUnknown {
public:
    virtual HRESULT SetColumns(LPSPropTagArray columns, ULONG flags) = 0;
    virtual HRESULT QueryColumns(ULONG flags, LPSPropTagArray* columns) = 0;
    virtual HRESULT GetRowCount(ULONG flags, ULONG* count) = 0;
    virtual HRESULT SeekRow(BOOKMARK origin, LONG rowCount, LONG* rowsSought) = 0;
    virtual HRESULT QueryPosition(ULONG* row, ULONG* numerator, ULONG* denominator) = 0;
    // Rows from the current position on (backwards for a negative count); a row lacks no
    // column: a missing value is PT_ERROR with MAPI_E_NOT_FOUND. Freed with FreeProws.
    virtual HRESULT QueryRows(LONG rowCount, ULONG flags, LPSRowSet* rows) = 0;
};
using LPMAPITABLE = IMAPITable*;

class IMAPIProp : public IUnknown {
public:
    virtual HRESULT SaveChanges(ULONG flags) = 0;
    // Null `tags` asks for every property. Missing ones come back as PT_ERROR values with
    // MAPI_W_ERRORS_RETURNED. The array is freed with MAPIFreeBuffer.
    virtual HRESULT GetProps(LPSPropTagArray tags, ULONG flags, ULONG* count, LPSPropValue* values) = 0;
    virtual HRESULT GetPropList(ULONG flags, LPSPropTagArray* tags) = 0;
    virtual HRESULT OpenProperty(ULONG tag, LPCIID iid, ULONG interfaceOptions, ULONG flags, LPUNKNOWN* object) = 0;
    // Each value is accepted or refused on its own; refusals are listed in *problems
    // (when asked for) and the call still succeeds.
    virtual HRESULT SetProps(ULONG count, LPSPropValue values, LPSPropProblemArray* problems) = 0;
    virtual HRESULT DeleteProps(LPSPropTagArray tags, LPSPropProblemArray* problems) = 0;
    virtual HRESULT GetNamesFromIDs(LPSPropTagArray* tags, LPGUID propertySet, ULONG flags, ULONG* count,
                                    LPMAPINAMEID** names) = 0;
    virtual HRESULT GetIDsFromNames(ULONG count, LPMAPINAMEID* names, ULONG flags, LPSPropTagArray* tags) = 0;
};
using LPMAPIPROP = IMAPIProp*;

class IMAPIContainer : public IMAPIProp {
public:
    virtual HRESULT GetContentsTable(ULONG flags, LPMAPITABLE* table) = 0;
    virtual HRESULT GetHierarchyTable(ULONG flags, LPMAPITABLE* table) = 0;
    virtual HRESULT OpenEntry(ULONG cbEntryId, LPENTRYID entryId, LPCIID iid, ULONG flags, ULONG* objectType,
                              LPUNKNOWN* object) = 0;
};

class IMessage;
class IAttach;

class IMAPIFolder : public IMAPIContainer {
public:
    virtual HRESULT CreateMessage(LPCIID iid, ULONG flags, IMessage** message) = 0;
    virtual HRESULT CreateFolder(ULONG folderType, LPTSTR name, LPTSTR comment, LPCIID iid, ULONG flags,
                                 IMAPIFolder** folder) = 0;
    // With flags 0 a folder that holds messages or subfolders is refused.
    virtual HRESULT DeleteFolder(ULONG cbEntryId, LPENTRYID entryId, ULONG_PTR uiParam, void* progress,
                                 ULONG flags) = 0;
};
using LPMAPIFOLDER = IMAPIFolder*;

class IAttach : public IMAPIProp {};
using LPATTACH = IAttach*;

class IMessage : public IMAPIProp {
public:
    virtual HRESULT GetAttachmentTable(ULONG flags, LPMAPITABLE* table) = 0;
    virtual HRESULT OpenAttach(ULONG attachmentNumber, LPCIID iid, ULONG flags, LPATTACH* attachment) = 0;
    virtual HRESULT CreateAttach(LPCIID iid, ULONG flags, ULONG* attachmentNumber, LPATTACH* attachment) = 0;
    virtual HRESULT GetRecipientTable(ULONG flags, LPMAPITABLE* table) = 0;
    // MODRECIP_ADD: every row is added, the store assigning PR_ROWID; the rows' value
    // arrays stay the caller's.
    virtual HRESULT ModifyRecipients(ULONG flags, LPADRLIST recipients) = 0;
};
using LPMESSAGE = IMessage*;

class IMsgStore : public IMAPIProp {
public:
    // No entry ID opens the root folder.
    virtual HRESULT OpenEntry(ULONG cbEntryId, LPENTRYID entryId, LPCIID iid, ULONG flags, ULONG* objectType,
                              LPUNKNOWN* object) = 0;
    virtual HRESULT StoreLogoff(ULONG* flags) = 0;
};
using LPMDB = IMsgStore*;

class IMAPISession : public IUnknown {
public:
    virtual HRESULT GetMsgStoresTable(ULONG flags, LPMAPITABLE* table) = 0;
    virtual HRESULT OpenMsgStore(ULONG_PTR uiParam, ULONG cbEntryId, LPENTRYID entryId, LPCIID iid, ULONG flags,
                                 LPMDB* store) = 0;
    virtual HRESULT Logoff(ULONG_PTR uiParam, ULONG flags, ULONG reserved) = 0;
};
using LPMAPISESSION = IMAPISession*;

class IMsgServiceAdmin : public IUnknown {
public:
    virtual HRESULT CreateMsgService(LPTSTR service, LPTSTR displayName, ULONG_PTR uiParam, ULONG flags) = 0;
    virtual HRESULT DeleteMsgService(LPMAPIUID uid) = 0;
    virtual HRESULT GetMsgServiceTable(ULONG flags, LPMAPITABLE* table) = 0;
    virtual HRESULT ConfigureMsgService(LPMAPIUID uid, ULONG_PTR uiParam, ULONG flags, ULONG count,
                                        LPSPropValue values) = 0;
};
using LPSERVICEADMIN = IMsgServiceAdmin*;

class IProfAdmin : public IUnknown {
public:
    virtual HRESULT GetProfileTable(ULONG flags, LPMAPITABLE* table) = 0;
    // E_ACCESSDENIED when a profile of that name exists.
    virtual HRESULT CreateProfile(LPTSTR name, LPTSTR password, ULONG_PTR uiParam, ULONG flags) = 0;
    virtual HRESULT DeleteProfile(LPTSTR name, ULONG flags) = 0;
    virtual HRESULT AdminServices(LPTSTR name, LPTSTR password, ULONG_PTR uiParam, ULONG flags,
                                  LPSERVICEADMIN* admin) = 0;
};
using LPPROFADMIN = IProfAdmin*;

#endif

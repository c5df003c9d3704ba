// StorageInterfaces.h: the structured-storage interfaces (IStorage, IStream) through which an
// attachment's embedded OLE object is copied, with the flags and records they use.
//
// A storage is a tree of named storages and streams, as a compound file holds it. Names
// are UTF-16, at most 31 code units, and compared without regard to case.
#ifndef KRV_PLATFORM_STORAGE_STORAGEINTERFACES_H
#define KRV_PLATFORM_STORAGE_STORAGEINTERFACES_H

#include "platform/mapi/Unknown.h"

#include <string>
#include <utility>
#include <vector>

using OLECHAR = char16_t;
using LPOLESTR = OLECHAR*;
using LPCOLESTR = const OLECHAR*;
using SNB = LPOLESTR*;

// Access and creation modes (STGM_*).
inline constexpr DWORD STGM_READ = 0x00000000;
inline constexpr DWORD STGM_WRITE = 0x00000001;
inline constexpr DWORD STGM_READWRITE = 0x00000002;
inline constexpr DWORD STGM_SHARE_DENY_NONE = 0x00000040;
inline constexpr DWORD STGM_SHARE_DENY_READ = 0x00000030;
inline constexpr DWORD STGM_SHARE_DENY_WRITE = 0x00000020;
inline constexpr DWORD STGM_SHARE_EXCLUSIVE = 0x00000010;
inline constexpr DWORD STGM_CREATE = 0x00001000;
inline constexpr DWORD STGM_TRANSACTED = 0x00010000;

// Element types and Stat flags.
inline constexpr DWORD STGTY_STORAGE = 1;
inline constexpr DWORD STGTY_STREAM = 2;
inline constexpr DWORD STATFLAG_DEFAULT = 0;
inline constexpr DWORD STATFLAG_NONAME = 1;

// Seek origins.
inline constexpr DWORD STREAM_SEEK_SET = 0;
inline constexpr DWORD STREAM_SEEK_CUR = 1;
inline constexpr DWORD STREAM_SEEK_END = 2;

// Results (FACILITY_STORAGE).
inline constexpr HRESULT STG_E_INVALIDFUNCTION = static_cast<HRESULT>(0x80030001u);
inline constexpr HRESULT STG_E_FILENOTFOUND = static_cast<HRESULT>(0x80030002u);
inline constexpr HRESULT STG_E_PATHNOTFOUND = static_cast<HRESULT>(0x80030003u);
inline constexpr HRESULT STG_E_ACCESSDENIED = static_cast<HRESULT>(0x80030005u);
inline constexpr HRESULT STG_E_INSUFFICIENTMEMORY = static_cast<HRESULT>(0x80030008u);
inline constexpr HRESULT STG_E_INVALIDPOINTER = static_cast<HRESULT>(0x80030009u);
inline constexpr HRESULT STG_E_WRITEFAULT = static_cast<HRESULT>(0x8003001Du);
inline constexpr HRESULT STG_E_READFAULT = static_cast<HRESULT>(0x8003001Eu);
inline constexpr HRESULT STG_E_SHAREVIOLATION = static_cast<HRESULT>(0x80030020u);
inline constexpr HRESULT STG_E_FILEALREADYEXISTS = static_cast<HRESULT>(0x80030050u);
inline constexpr HRESULT STG_E_INVALIDPARAMETER = static_cast<HRESULT>(0x80030057u);
inline constexpr HRESULT STG_E_MEDIUMFULL = static_cast<HRESULT>(0x80030070u);
inline constexpr HRESULT STG_E_INVALIDHEADER = static_cast<HRESULT>(0x800300FBu);
inline constexpr HRESULT STG_E_INVALIDNAME = static_cast<HRESULT>(0x800300FCu);
inline constexpr HRESULT STG_E_INVALIDFLAG = static_cast<HRESULT>(0x800300FFu);
inline constexpr HRESULT STG_E_REVERTED = static_cast<HRESULT>(0x80030102u);
inline constexpr HRESULT STG_E_CANTSAVE = static_cast<HRESULT>(0x80030103u);
inline constexpr HRESULT STG_E_DOCFILECORRUPT = static_cast<HRESULT>(0x80030109u);

struct STATSTG {
    LPOLESTR pwcsName; // allocated with MAPIAllocateBuffer; null with STATFLAG_NONAME
    DWORD type;        // STGTY_*
    ULARGE_INTEGER cbSize;
    FILETIME mtime;
    FILETIME ctime;
    FILETIME atime;
    DWORD grfMode;
    DWORD grfLocksSupported;
    CLSID clsid;
    DWORD grfStateBits;
    DWORD reserved;
};

class IStream : public IUnknown {
public:
    virtual HRESULT Read(void* buffer, ULONG cb, ULONG* cbRead) = 0;
    virtual HRESULT Write(const void* buffer, ULONG cb, ULONG* cbWritten) = 0;
    virtual HRESULT Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* newPosition) = 0;
    virtual HRESULT SetSize(ULARGE_INTEGER newSize) = 0;
    virtual HRESULT Commit(DWORD flags) = 0;
    virtual HRESULT Stat(STATSTG* stat, DWORD statFlag) = 0;
};
using LPSTREAM = IStream*;

// Sub-storages and streams opened from a storage stay usable while it lives; changes
// reach the root storage's medium only with the root's Commit (a transacted root) or at
// once (a direct one).
class IStorage : public IUnknown {
public:
    virtual HRESULT CreateStream(LPCOLESTR name, DWORD mode, DWORD reserved1, DWORD reserved2, IStream** stream) = 0;
    virtual HRESULT OpenStream(LPCOLESTR name, void* reserved1, DWORD mode, DWORD reserved2, IStream** stream) = 0;
    virtual HRESULT CreateStorage(LPCOLESTR name, DWORD mode, DWORD reserved1, DWORD reserved2, IStorage** storage) = 0;
    virtual HRESULT OpenStorage(LPCOLESTR name, IStorage* priority, DWORD mode, SNB exclude, DWORD reserved,
                                IStorage** storage) = 0;
    // Copies every element (and the class ID and state bits) into `destination`, which
    // may be any IStorage; elements of the same name there are replaced.
    virtual HRESULT CopyTo(DWORD ciidExclude, const IID* iidExclude, SNB exclude, IStorage* destination) = 0;
    virtual HRESULT Commit(DWORD flags) = 0;
    virtual HRESULT Revert() = 0;
    virtual HRESULT DestroyElement(LPCOLESTR name) = 0;
    virtual HRESULT SetClass(REFIID clsid) = 0;
    virtual HRESULT SetStateBits(DWORD stateBits, DWORD mask) = 0;
    virtual HRESULT Stat(STATSTG* stat, DWORD statFlag) = 0;
    // Not in COM's IStorage, which enumerates through IEnumSTATSTG: the names and types
    // (STGTY_*) of the direct children.
    virtual HRESULT ListElements(std::vector<std::pair<std::u16string, DWORD>>& elements) = 0;
};
using LPSTORAGE = IStorage*;

#endif

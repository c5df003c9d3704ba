// MapiErrors.h: the result type HRESULT and the published MAPI and COM result codes.
#ifndef KRV_PLATFORM_MAPI_MAPIERRORS_H
#define KRV_PLATFORM_MAPI_MAPIERRORS_H

#include <cstdint>

using HRESULT = int32_t;
using SCODE = int32_t;

// A code's bits: severity (bit 31), facility (bits 16-27), code (bits 0-15). Facility 4
// (FACILITY_ITF) holds the MAPI codes.
constexpr SCODE MAKE_MAPI_SCODE(uint32_t severity, uint32_t facility, uint32_t code)
{
    return static_cast<SCODE>((severity << 31) | (facility << 16) | code);
}
constexpr SCODE MAKE_MAPI_E(uint32_t code) { return MAKE_MAPI_SCODE(1, 4, code); }
constexpr SCODE MAKE_MAPI_S(uint32_t code) { return MAKE_MAPI_SCODE(0, 4, code); }

constexpr bool SUCCEEDED(HRESULT hr) { return hr >= 0; }
constexpr bool FAILED(HRESULT hr) { return hr < 0; }
constexpr bool HR_SUCCEEDED(HRESULT hr) { return hr >= 0; }
constexpr bool HR_FAILED(HRESULT hr) { return hr < 0; }

inline constexpr HRESULT S_OK = 0;
inline constexpr HRESULT S_FALSE = 1;
inline constexpr HRESULT hrSuccess = 0;

// Generic COM codes; several MAPI codes are aliases of them.
inline constexpr HRESULT E_NOTIMPL = static_cast<HRESULT>(0x80004001u);
inline constexpr HRESULT E_NOINTERFACE = static_cast<HRESULT>(0x80004002u);
inline constexpr HRESULT E_POINTER = static_cast<HRESULT>(0x80004003u);
inline constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005u);
inline constexpr HRESULT E_UNEXPECTED = static_cast<HRESULT>(0x8000FFFFu);
inline constexpr HRESULT E_ACCESSDENIED = static_cast<HRESULT>(0x80070005u);
inline constexpr HRESULT E_OUTOFMEMORY = static_cast<HRESULT>(0x8007000Eu);
inline constexpr HRESULT E_INVALIDARG = static_cast<HRESULT>(0x80070057u);

inline constexpr HRESULT MAPI_E_CALL_FAILED = E_FAIL;
inline constexpr HRESULT MAPI_E_NOT_ENOUGH_MEMORY = E_OUTOFMEMORY;
inline constexpr HRESULT MAPI_E_INVALID_PARAMETER = E_INVALIDARG;
inline constexpr HRESULT MAPI_E_INTERFACE_NOT_SUPPORTED = E_NOINTERFACE;
inline constexpr HRESULT MAPI_E_NO_ACCESS = E_ACCESSDENIED;

inline constexpr HRESULT MAPI_E_NO_SUPPORT = MAKE_MAPI_E(0x102);
inline constexpr HRESULT MAPI_E_BAD_CHARWIDTH = MAKE_MAPI_E(0x103);
inline constexpr HRESULT MAPI_E_STRING_TOO_LONG = MAKE_MAPI_E(0x105);
inline constexpr HRESULT MAPI_E_UNKNOWN_FLAGS = MAKE_MAPI_E(0x106);
inline constexpr HRESULT MAPI_E_INVALID_ENTRYID = MAKE_MAPI_E(0x107);
inline constexpr HRESULT MAPI_E_INVALID_OBJECT = MAKE_MAPI_E(0x108);
inline constexpr HRESULT MAPI_E_OBJECT_CHANGED = MAKE_MAPI_E(0x109);
inline constexpr HRESULT MAPI_E_OBJECT_DELETED = MAKE_MAPI_E(0x10A);
inline constexpr HRESULT MAPI_E_BUSY = MAKE_MAPI_E(0x10B);
inline constexpr HRESULT MAPI_E_NOT_ENOUGH_DISK = MAKE_MAPI_E(0x10D);
inline constexpr HRESULT MAPI_E_NOT_ENOUGH_RESOURCES = MAKE_MAPI_E(0x10E);
inline constexpr HRESULT MAPI_E_NOT_FOUND = MAKE_MAPI_E(0x10F);
inline constexpr HRESULT MAPI_E_VERSION = MAKE_MAPI_E(0x110);
inline constexpr HRESULT MAPI_E_LOGON_FAILED = MAKE_MAPI_E(0x111);
inline constexpr HRESULT MAPI_E_USER_CANCEL = MAKE_MAPI_E(0x113);
inline constexpr HRESULT MAPI_E_DISK_ERROR = MAKE_MAPI_E(0x116);
inline constexpr HRESULT MAPI_E_TOO_COMPLEX = MAKE_MAPI_E(0x117);
inline constexpr HRESULT MAPI_E_BAD_COLUMN = MAKE_MAPI_E(0x118);
inline constexpr HRESULT MAPI_E_EXTENDED_ERROR = MAKE_MAPI_E(0x119);
inline constexpr HRESULT MAPI_E_COMPUTED = MAKE_MAPI_E(0x11A);
inline constexpr HRESULT MAPI_E_CORRUPT_DATA = MAKE_MAPI_E(0x11B);
inline constexpr HRESULT MAPI_E_UNCONFIGURED = MAKE_MAPI_E(0x11C);
inline constexpr HRESULT MAPI_E_UNKNOWN_CPID = MAKE_MAPI_E(0x11E);
inline constexpr HRESULT MAPI_E_UNKNOWN_LCID = MAKE_MAPI_E(0x11F);
inline constexpr HRESULT MAPI_E_END_OF_SESSION = MAKE_MAPI_E(0x200);
inline constexpr HRESULT MAPI_E_UNKNOWN_ENTRYID = MAKE_MAPI_E(0x201);
inline constexpr HRESULT MAPI_E_MISSING_REQUIRED_COLUMN = MAKE_MAPI_E(0x202);
inline constexpr HRESULT MAPI_E_BAD_VALUE = MAKE_MAPI_E(0x301);
inline constexpr HRESULT MAPI_E_INVALID_TYPE = MAKE_MAPI_E(0x302);
inline constexpr HRESULT MAPI_E_TYPE_NO_SUPPORT = MAKE_MAPI_E(0x303);
inline constexpr HRESULT MAPI_E_UNEXPECTED_TYPE = MAKE_MAPI_E(0x304);
inline constexpr HRESULT MAPI_E_TOO_BIG = MAKE_MAPI_E(0x305);
inline constexpr HRESULT MAPI_E_DECLINE_COPY = MAKE_MAPI_E(0x306);
inline constexpr HRESULT MAPI_E_UNEXPECTED_ID = MAKE_MAPI_E(0x307);
inline constexpr HRESULT MAPI_E_UNABLE_TO_COMPLETE = MAKE_MAPI_E(0x400);
inline constexpr HRESULT MAPI_E_TIMEOUT = MAKE_MAPI_E(0x401);
inline constexpr HRESULT MAPI_E_TABLE_EMPTY = MAKE_MAPI_E(0x402);
inline constexpr HRESULT MAPI_E_TABLE_TOO_BIG = MAKE_MAPI_E(0x403);
inline constexpr HRESULT MAPI_E_INVALID_BOOKMARK = MAKE_MAPI_E(0x405);
inline constexpr HRESULT MAPI_E_CORRUPT_STORE = MAKE_MAPI_E(0x600);
inline constexpr HRESULT MAPI_E_NOT_INITIALIZED = MAKE_MAPI_E(0x605);
inline constexpr HRESULT MAPI_E_COLLISION = MAKE_MAPI_E(0x604);
inline constexpr HRESULT MAPI_E_HAS_FOLDERS = MAKE_MAPI_E(0x609);
inline constexpr HRESULT MAPI_E_HAS_MESSAGES = MAKE_MAPI_E(0x60A);
inline constexpr HRESULT MAPI_E_FOLDER_CYCLE = MAKE_MAPI_E(0x60B);
// The store has reached the largest size it can have (not the disk: another store may
// still be written).
inline constexpr HRESULT MAPI_E_STORE_FULL = MAKE_MAPI_E(0x60C);
inline constexpr HRESULT MAPI_E_AMBIGUOUS_RECIP = MAKE_MAPI_E(0x700);

// Warnings: the call succeeded, with a remark.
inline constexpr HRESULT MAPI_W_NO_SERVICE = MAKE_MAPI_S(0x203);
inline constexpr HRESULT MAPI_W_ERRORS_RETURNED = MAKE_MAPI_S(0x380);
inline constexpr HRESULT MAPI_W_POSITION_CHANGED = MAKE_MAPI_S(0x481);
inline constexpr HRESULT MAPI_W_APPROX_COUNT = MAKE_MAPI_S(0x482);
inline constexpr HRESULT MAPI_W_PARTIAL_COMPLETION = MAKE_MAPI_S(0x680);

#endif

// WinTypes.h: fixed-width spellings of the Windows scalar and record types MAPI is built on.
//
// Windows' LONG and ULONG are 32 bits on every Windows target, but long is 64 bits on
// 64-bit Linux, so each name is pinned to a fixed-width type here. Pointers stay native
// (8 bytes on x86-64); nothing is packed.
#ifndef KRV_PLATFORM_MAPI_WINTYPES_H
#define KRV_PLATFORM_MAPI_WINTYPES_H

#include <cstdint>

using BYTE = uint8_t;
using WORD = uint16_t;
using DWORD = uint32_t;
using ULONG = uint32_t;
using LONG = int32_t;
using LONGLONG = int64_t;
using ULONGLONG = uint64_t;
using BOOL = int32_t;
using LPVOID = void*;
using LPBYTE = BYTE*;
using LPULONG = ULONG*;

// 8-bit text in the ANSI code page of the data it came from.
using LPSTR = char*;
using LPCSTR = const char*;
// UTF-16 text. Windows' WCHAR is 16 bits, but wchar_t is 32 bits on Linux, so UTF-16
// code units are char16_t throughout; a wchar_t never holds MAPI text.
using WCHAR = char16_t;
using LPWSTR = char16_t*;
using LPCWSTR = const char16_t*;

// 100-nanosecond intervals since 1601-01-01 (UTC), split into two 32-bit halves.
struct FILETIME {
    DWORD dwLowDateTime;
    DWORD dwHighDateTime;
};
using LPFILETIME = FILETIME*;

// 16 bytes; Data1-Data3 are little-endian when stored.
struct GUID {
    uint32_t Data1;
    uint16_t Data2;
    uint16_t Data3;
    uint8_t Data4[8];
};
using LPGUID = GUID*;
using LPCGUID = const GUID*;
using IID = GUID;
using CLSID = GUID;
using REFIID = const IID&;

inline bool operator==(const GUID& a, const GUID& b)
{
    if (a.Data1 != b.Data1 || a.Data2 != b.Data2 || a.Data3 != b.Data3) return false;
    for (int i = 0; i < 8; ++i) {
        if (a.Data4[i] != b.Data4[i]) return false;
    }
    return true;
}

// ISO C++ has no anonymous structs, so the halves of these unions are reached through
// the named member u (Windows code that uses li.u.LowPart still compiles).
union LARGE_INTEGER {
    struct {
        DWORD LowPart;
        LONG HighPart;
    } u;
    LONGLONG QuadPart;
};

union ULARGE_INTEGER {
    struct {
        DWORD LowPart;
        DWORD HighPart;
    } u;
    ULONGLONG QuadPart;
};

// Currency: a 64-bit integer of ten-thousandths.
union CY {
    struct {
        ULONG Lo;
        LONG Hi;
    } u;
    LONGLONG int64;
};
using CURRENCY = CY;

static_assert(sizeof(FILETIME) == 8);
static_assert(sizeof(GUID) == 16);
static_assert(sizeof(LARGE_INTEGER) == 8);
static_assert(sizeof(CY) == 8);

#endif

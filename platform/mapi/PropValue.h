// PropValue.h: SPropValue, the tagged value every MAPI property travels in, and its arrays.
//
// The layout mirrors MAPI's: a 32-bit tag, a 32-bit alignment word and the value union.
// With 8-byte pointers the union is 16 bytes (SBinary and the multi-value arrays are a
// 4-byte count, padding and a pointer), so an SPropValue is 24 bytes, not the 16 of a
// 32-bit build: size arrays with sizeof, never with a literal. Out-of-line parts
// (strings, binaries, multi-value arrays) are normally blocks chained to the array that
// holds the value (MAPIAllocateMore), so one MAPIFreeBuffer on the array frees them all.
#ifndef KRV_PLATFORM_MAPI_PROPVALUE_H
#define KRV_PLATFORM_MAPI_PROPVALUE_H

#include "platform/mapi/MapiAllocator.h"
#include "platform/mapi/MapiErrors.h"
#include "platform/mapi/PropTypes.h"
#include "platform/mapi/WinTypes.h"

#include <cstddef>

struct SBinary {
    ULONG cb;
    LPBYTE lpb;
};
using LPSBinary = SBinary*;

// MAPI's name for a GUID held by a property (PT_CLSID).
using SGuid = GUID;

struct SShortArray {
    ULONG cValues;
    short* lpi;
};
struct SLongArray {
    ULONG cValues;
    LONG* lpl;
};
struct SRealArray {
    ULONG cValues;
    float* lpflt;
};
struct SDoubleArray {
    ULONG cValues;
    double* lpdbl;
};
struct SCurrencyArray {
    ULONG cValues;
    CURRENCY* lpcur;
};
struct SAppTimeArray {
    ULONG cValues;
    double* lpat;
};
struct SDateTimeArray {
    ULONG cValues;
    FILETIME* lpft;
};
struct SBinaryArray {
    ULONG cValues;
    SBinary* lpbin;
};
struct SLPSTRArray {
    ULONG cValues;
    LPSTR* lppszA;
};
// Elements are UTF-16 (char16_t), never wchar_t.
struct SWStringArray {
    ULONG cValues;
    LPWSTR* lppszW;
};
struct SGuidArray {
    ULONG cValues;
    GUID* lpguid;
};
struct SLargeIntegerArray {
    ULONG cValues;
    LARGE_INTEGER* lpli;
};

using ENTRYLIST = SBinaryArray;
using LPENTRYLIST = SBinaryArray*;

// Which member is live follows from the type in the owning SPropValue's tag.
union SPropValueUnion {
    short i;                 // PT_I2
    LONG l;                  // PT_LONG
    ULONG ul;                // PT_LONG, unsigned view
    float flt;               // PT_R4
    double dbl;              // PT_DOUBLE
    unsigned short b;        // PT_BOOLEAN
    CURRENCY cur;            // PT_CURRENCY
    double at;               // PT_APPTIME
    FILETIME ft;             // PT_SYSTIME
    LPSTR lpszA;             // PT_STRING8
    SBinary bin;             // PT_BINARY
    LPWSTR lpszW;            // PT_UNICODE: UTF-16 code units (char16_t, not wchar_t)
    LPGUID lpguid;           // PT_CLSID
    LARGE_INTEGER li;        // PT_I8
    SShortArray MVi;         // PT_MV_I2
    SLongArray MVl;          // PT_MV_LONG
    SRealArray MVflt;        // PT_MV_R4
    SDoubleArray MVdbl;      // PT_MV_DOUBLE
    SCurrencyArray MVcur;    // PT_MV_CURRENCY
    SAppTimeArray MVat;      // PT_MV_APPTIME
    SDateTimeArray MVft;     // PT_MV_SYSTIME
    SBinaryArray MVbin;      // PT_MV_BINARY
    SLPSTRArray MVszA;       // PT_MV_STRING8
    SWStringArray MVszW;     // PT_MV_UNICODE
    SGuidArray MVguid;       // PT_MV_CLSID
    SLargeIntegerArray MVli; // PT_MV_I8
    SCODE err;               // PT_ERROR
    LONG x;                  // PT_NULL, PT_OBJECT: no value of interest
};

struct SPropValue {
    ULONG ulPropTag;
    ULONG dwAlignPad;
    SPropValueUnion Value;
};
using LPSPropValue = SPropValue*;

static_assert(sizeof(SPropValueUnion) == sizeof(SBinary), "the widest members are the counted ones");
static_assert(sizeof(SPropValue) == 8 + sizeof(SPropValueUnion));
static_assert(sizeof(void*) != 8 || sizeof(SPropValue) == 24);

// One value that SetProps or DeleteProps could not take: its index, tag and the reason.
struct SPropProblem {
    ULONG ulIndex;
    ULONG ulPropTag;
    SCODE scode;
};
using LPSPropProblem = SPropProblem*;

// A counted array: aProblem runs past its declared single element into the same block.
struct SPropProblemArray {
    ULONG cProblem;
    SPropProblem aProblem[1];
};
using LPSPropProblemArray = SPropProblemArray*;

// Bytes for count problems; SIZE_MAX (refused by the allocator) when that overflows.
constexpr size_t CbNewSPropProblemArray(size_t count)
{
    return krv::MapiArrayBytes(offsetof(SPropProblemArray, aProblem), count, sizeof(SPropProblem));
}

#endif

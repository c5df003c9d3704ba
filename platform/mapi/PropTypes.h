// PropTypes.h: property types (PT_*) and the packing of a property tag.
//
// A tag is the property identifier in the high 16 bits and the type in the low 16; a type
// with MV_FLAG holds an array of values, and MV_INSTANCE marks one column of a table that
// spreads a multi-valued property over several rows.
#ifndef KRV_PLATFORM_MAPI_PROPTYPES_H
#define KRV_PLATFORM_MAPI_PROPTYPES_H

#include "platform/mapi/WinTypes.h"

inline constexpr ULONG MV_FLAG = 0x1000;
inline constexpr ULONG MV_INSTANCE = 0x2000;
inline constexpr ULONG MVI_FLAG = MV_FLAG | MV_INSTANCE;

inline constexpr ULONG PT_UNSPECIFIED = 0x0000;
inline constexpr ULONG PT_NULL = 0x0001;
inline constexpr ULONG PT_I2 = 0x0002;
inline constexpr ULONG PT_LONG = 0x0003;
inline constexpr ULONG PT_R4 = 0x0004;
inline constexpr ULONG PT_DOUBLE = 0x0005;
inline constexpr ULONG PT_CURRENCY = 0x0006;
inline constexpr ULONG PT_APPTIME = 0x0007;
inline constexpr ULONG PT_ERROR = 0x000A;
inline constexpr ULONG PT_BOOLEAN = 0x000B;
inline constexpr ULONG PT_OBJECT = 0x000D;
inline constexpr ULONG PT_I8 = 0x0014;
inline constexpr ULONG PT_STRING8 = 0x001E;
inline constexpr ULONG PT_UNICODE = 0x001F;
inline constexpr ULONG PT_SYSTIME = 0x0040;
inline constexpr ULONG PT_CLSID = 0x0048;
inline constexpr ULONG PT_BINARY = 0x0102;

inline constexpr ULONG PT_SHORT = PT_I2;
inline constexpr ULONG PT_I4 = PT_LONG;
inline constexpr ULONG PT_FLOAT = PT_R4;
inline constexpr ULONG PT_R8 = PT_DOUBLE;
inline constexpr ULONG PT_LONGLONG = PT_I8;

inline constexpr ULONG PT_MV_I2 = MV_FLAG | PT_I2;
inline constexpr ULONG PT_MV_LONG = MV_FLAG | PT_LONG;
inline constexpr ULONG PT_MV_R4 = MV_FLAG | PT_R4;
inline constexpr ULONG PT_MV_DOUBLE = MV_FLAG | PT_DOUBLE;
inline constexpr ULONG PT_MV_CURRENCY = MV_FLAG | PT_CURRENCY;
inline constexpr ULONG PT_MV_APPTIME = MV_FLAG | PT_APPTIME;
inline constexpr ULONG PT_MV_I8 = MV_FLAG | PT_I8;
inline constexpr ULONG PT_MV_STRING8 = MV_FLAG | PT_STRING8;
inline constexpr ULONG PT_MV_UNICODE = MV_FLAG | PT_UNICODE;
inline constexpr ULONG PT_MV_SYSTIME = MV_FLAG | PT_SYSTIME;
inline constexpr ULONG PT_MV_CLSID = MV_FLAG | PT_CLSID;
inline constexpr ULONG PT_MV_BINARY = MV_FLAG | PT_BINARY;

// The engine works with 8-bit text, so the "text" type of an unsuffixed string tag
// (PR_SUBJECT) is PT_STRING8, as in a Windows build without UNICODE.
inline constexpr ULONG PT_TSTRING = PT_STRING8;
inline constexpr ULONG PT_MV_TSTRING = PT_MV_STRING8;

inline constexpr ULONG PROP_TYPE_MASK = 0x0000FFFF;
inline constexpr ULONG PROP_ID_NULL = 0;
inline constexpr ULONG PROP_ID_INVALID = 0xFFFF;

constexpr ULONG PROP_TYPE(ULONG tag) { return tag & PROP_TYPE_MASK; }
constexpr ULONG PROP_ID(ULONG tag) { return tag >> 16; }
// Only the low 16 bits of each part are kept, so a stray high bit cannot spill over.
constexpr ULONG PROP_TAG(ULONG type, ULONG id) { return ((id & 0xFFFF) << 16) | (type & 0xFFFF); }
constexpr ULONG CHANGE_PROP_TYPE(ULONG tag, ULONG type) { return (tag & 0xFFFF0000u) | (type & 0xFFFF); }
constexpr ULONG MVI_PROP(ULONG tag) { return tag | MVI_FLAG; }

inline constexpr ULONG PR_NULL = PROP_TAG(PT_NULL, PROP_ID_NULL);

#endif

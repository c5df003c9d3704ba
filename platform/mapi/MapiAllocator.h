// MapiAllocator.h: MAPI's memory functions: buffers, blocks chained to them, one free for all.
//
// MAPIAllocateBuffer makes a base block; MAPIAllocateMore makes a block chained to a base;
// MAPIFreeBuffer on the base frees the base and every block chained to it. That lets a
// property array and all its strings, binaries and multi-value arrays go with one call.
//
// Every block is zero-filled and aligned to 16 bytes. A size above kMaxMapiAllocation
// (a count read from a damaged file, or an overflowed product) is refused with
// MAPI_E_NOT_ENOUGH_MEMORY instead of being attempted. Sizes are size_t, not MAPI's
// 32-bit ULONG, so that a caller's count * sizeof(T) cannot wrap on the way in.
//
// Threads: any thread may allocate and free its own bases; blocks may even be chained to
// one base from several threads at once. Freeing a base while another thread still
// chains to it or uses its blocks is the caller's error, as with any freed memory.
#ifndef KRV_PLATFORM_MAPI_MAPIALLOCATOR_H
#define KRV_PLATFORM_MAPI_MAPIALLOCATOR_H

#include "platform/mapi/MapiErrors.h"
#include "platform/mapi/WinTypes.h"

#include <cstddef>
#include <cstdint>
#include <limits>
#include <memory>
#include <type_traits>

// Allocates a base block of cbSize bytes. On failure *lppBuffer is null.
HRESULT MAPIAllocateBuffer(size_t cbSize, void** lppBuffer);

// Allocates cbSize bytes chained to lpObject, which is a base block or a block chained to
// one (the new block then joins that block's base). On failure *lppBuffer is null.
HRESULT MAPIAllocateMore(size_t cbSize, void* lpObject, void** lppBuffer);

// Frees a base block and every block chained to it; null is accepted, any other pointer
// must come from the two functions above. A chained block is left alone: it goes with its base, and freeing it early would leave the base holding a
// dangling link. Always returns 0 (S_OK), as MAPI does.
ULONG MAPIFreeBuffer(void* lpBuffer);

namespace krv {

inline constexpr size_t kMapiAlignment = 16;
// The largest block handed out: far above any single property value a mail store holds
// (a .pst caps a value's data well below this), far below what would exhaust memory.
inline constexpr size_t kMaxMapiAllocation = size_t{0x7FFFFFFF};

// The number of blocks, bases and chained, currently allocated in this process. Tests use
// it to check that a free released everything.
size_t MapiLiveBlockCount();

// header + count * element bytes, or SIZE_MAX when that does not fit (which every
// allocation refuses), so the size of a counted array can be passed on unchecked.
constexpr size_t MapiArrayBytes(size_t header, size_t count, size_t element)
{
    constexpr size_t kMax = std::numeric_limits<size_t>::max();
    if (element != 0 && count > (kMax - header) / element) return kMax;
    return header + count * element;
}

// Typed forms: count elements of T (zero-filled), the byte count checked for overflow.
template <class T>
[[nodiscard]] HRESULT MapiAllocateArray(size_t count, T** out)
{
    static_assert(std::is_trivially_copyable_v<T>, "MAPI blocks hold plain data");
    void* p = nullptr;
    HRESULT hr = MAPIAllocateBuffer(MapiArrayBytes(0, count, sizeof(T)), &p);
    *out = static_cast<T*>(p);
    return hr;
}

template <class T>
[[nodiscard]] HRESULT MapiAllocateMoreArray(size_t count, void* base, T** out)
{
    static_assert(std::is_trivially_copyable_v<T>, "MAPI blocks hold plain data");
    void* p = nullptr;
    HRESULT hr = MAPIAllocateMore(MapiArrayBytes(0, count, sizeof(T)), base, &p);
    *out = static_cast<T*>(p);
    return hr;
}

// Owner of a base block: MAPIFreeBuffer when it goes.
struct MapiFreeDeleter {
    void operator()(void* p) const noexcept { MAPIFreeBuffer(p); }
};
template <class T>
using MapiPtr = std::unique_ptr<T, MapiFreeDeleter>;

} // namespace krv

#endif

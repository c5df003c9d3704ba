// Endian.h: little-endian loads and stores, raw and checked against a byte span's end.
//
// Every integer of the mail-store format is little-endian. The raw forms take a pointer and
// are for code that has already checked its span once; the checked forms answer none or
// false instead of touching a byte outside the span, which is what code over untrusted
// bytes should call.
#ifndef KRV_PSTFORMAT_ENDIAN_H
#define KRV_PSTFORMAT_ENDIAN_H

#include <concepts>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace krv::pstformat {

template <std::unsigned_integral T>
[[nodiscard]] constexpr T LoadLe(const uint8_t* p)
{
    T value = 0;
    for (size_t i = 0; i < sizeof(T); ++i) value |= static_cast<T>(static_cast<T>(p[i]) << (8 * i));
    return value;
}

template <std::unsigned_integral T>
constexpr void StoreLe(uint8_t* p, T value)
{
    for (size_t i = 0; i < sizeof(T); ++i) p[i] = static_cast<uint8_t>(value >> (8 * i));
}

// True when [offset, offset + length) lies inside a span of `size` bytes; written so that
// no sum can wrap around.
[[nodiscard]] constexpr bool RangeFits(size_t size, size_t offset, size_t length)
{
    return offset <= size && length <= size - offset;
}

template <std::unsigned_integral T>
[[nodiscard]] constexpr std::optional<T> LoadLe(std::span<const uint8_t> bytes, size_t offset)
{
    if (!RangeFits(bytes.size(), offset, sizeof(T))) return std::nullopt;
    return LoadLe<T>(bytes.data() + offset);
}

template <std::unsigned_integral T>
[[nodiscard]] constexpr bool StoreLe(std::span<uint8_t> bytes, size_t offset, T value)
{
    if (!RangeFits(bytes.size(), offset, sizeof(T))) return false;
    StoreLe<T>(bytes.data() + offset, value);
    return true;
}

// An identifier or offset field that is 4 bytes wide in the 32-bit layout and 8 bytes in
// the 64-bit one, widened to 64 bits. `width` must be 4 or 8.
[[nodiscard]] constexpr uint64_t LoadLeId(const uint8_t* p, size_t width)
{
    return width == 4 ? LoadLe<uint32_t>(p) : LoadLe<uint64_t>(p);
}

// Stores the low `width` bytes of value; a 32-bit field keeps the low half only, so callers
// that must not lose bits check the value first (see FitsIdWidth).
constexpr void StoreLeId(uint8_t* p, size_t width, uint64_t value)
{
    if (width == 4)
        StoreLe<uint32_t>(p, static_cast<uint32_t>(value));
    else
        StoreLe<uint64_t>(p, value);
}

[[nodiscard]] constexpr bool FitsIdWidth(uint64_t value, size_t width) { return width == 8 || value <= UINT32_MAX; }

} // namespace krv::pstformat

#endif

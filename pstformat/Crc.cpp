// Crc.cpp: table-driven CRC, eight bytes per step, and the zero-run shift used to combine CRCs.
#include "pstformat/Crc.h"

#include "pstformat/Endian.h"

#include <array>

namespace krv::pstformat {
namespace {

constexpr uint32_t kPolynomial = 0xEDB88320u;

using CrcTables = std::array<std::array<uint32_t, 256>, 8>;

// tables[0] is the classic byte table; tables[k][b] is the register contribution of byte b
// followed by k zero bytes, which lets one step fold eight input bytes at once.
constexpr CrcTables MakeTables()
{
    CrcTables tables{};
    for (uint32_t b = 0; b < 256; ++b) {
        uint32_t c = b;
        for (int bit = 0; bit < 8; ++bit) c = (c & 1) ? (c >> 1) ^ kPolynomial : c >> 1;
        tables[0][b] = c;
    }
    for (size_t k = 1; k < tables.size(); ++k)
        for (uint32_t b = 0; b < 256; ++b)
            tables[k][b] = (tables[k - 1][b] >> 8) ^ tables[0][tables[k - 1][b] & 0xFF];
    return tables;
}

constexpr CrcTables kTables = MakeTables();

// Product of two polynomials modulo the CRC polynomial, in the reflected bit order of the
// register (bit 31 holds x^0).
uint32_t MultiplyModP(uint32_t a, uint32_t b)
{
    uint32_t product = 0;
    for (uint32_t m = 1u << 31; m != 0; m >>= 1) {
        if (a & m) product ^= b;
        b = (b & 1) ? (b >> 1) ^ kPolynomial : b >> 1;
    }
    return product;
}

// value[k] = x^(2^k) modulo the polynomial. A length of n bytes is 8n bits, so the bits
// of a 64-bit n reach up to index 66.
struct PowerTable {
    std::array<uint32_t, 67> value{};
    PowerTable()
    {
        value[0] = 1u << 30;  // x^1
        for (size_t k = 1; k < value.size(); ++k) value[k] = MultiplyModP(value[k - 1], value[k - 1]);
    }
};

const PowerTable& Powers()
{
    static const PowerTable table;
    return table;
}

} // namespace

uint32_t ComputeCrc(uint32_t initial, const void* data, size_t size)
{
    const auto* p = static_cast<const uint8_t*>(data);
    uint32_t crc = initial;
    while (size >= 8) {
        const uint32_t lo = LoadLe<uint32_t>(p) ^ crc;
        const uint32_t hi = LoadLe<uint32_t>(p + 4);
        crc = kTables[7][lo & 0xFF] ^ kTables[6][(lo >> 8) & 0xFF] ^ kTables[5][(lo >> 16) & 0xFF] ^
              kTables[4][lo >> 24] ^ kTables[3][hi & 0xFF] ^ kTables[2][(hi >> 8) & 0xFF] ^
              kTables[1][(hi >> 16) & 0xFF] ^ kTables[0][hi >> 24];
        p += 8;
        size -= 8;
    }
    while (size-- > 0) crc = (crc >> 8) ^ kTables[0][(crc ^ *p++) & 0xFF];
    return crc;
}

uint32_t CrcShift(uint32_t crc, uint64_t length)
{
    // Advancing over n zero bytes multiplies the register by x^(8n) = product of x^(2^(i+3))
    // over the set bits i of n.
    const PowerTable& powers = Powers();
    for (size_t k = 3; length != 0; ++k, length >>= 1)
        if (length & 1) crc = MultiplyModP(powers.value[k], crc);
    return crc;
}

} // namespace krv::pstformat

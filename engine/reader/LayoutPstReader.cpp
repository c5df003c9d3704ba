// LayoutPstReader.cpp: the reader's checksum, signature and decoding operations, over pstformat.
#include "engine/reader/LayoutPstReader.h"

#include "pstformat/Crc.h"
#include "pstformat/Encoding.h"
#include "pstformat/Signature.h"

namespace krv {

uint32_t LayoutPstReader::MaxBlockDataSize() const { return static_cast<uint32_t>(m_traits.maxBlockData); }

uint16_t LayoutPstReader::ComputeSignature(uint64_t ib, uint64_t bid) const
{
    return pstformat::ComputeSignature(bid, ib);
}

void LayoutPstReader::DecodePermute(uint8_t* buffer, size_t size, bool encrypt) const
{
    if (encrypt)
        pstformat::EncodePermute(buffer, size);
    else
        pstformat::DecodePermute(buffer, size);
}

void LayoutPstReader::DecodeCyclic(uint8_t* buffer, size_t size, uint32_t key) const
{
    pstformat::CyclicCrypt(buffer, size, key);
}

uint32_t LayoutPstReader::ComputeCrc(uint32_t crc, const void* data, size_t size) const
{
    return pstformat::ComputeCrc(crc, data, size);
}

} // namespace krv

// BlockEncoding.h: how a node's data blocks are stored on disk.
#ifndef KRV_ENGINE_READER_BLOCKENCODING_H
#define KRV_ENGINE_READER_BLOCKENCODING_H

#include <cstdint>

namespace krv {

// Settled per node by trial; the header's crypt method is not trusted.
enum class BlockEncoding : uint32_t {
    Unknown = 0,
    Plain = 1,
    Permute = 2,  // byte substitution
    Cyclic = 3,   // keyed by the low 32 bits of each block's BID
};

} // namespace krv

#endif

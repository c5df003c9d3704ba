// NdbTestSupport.h: small helpers shared by the node database tests: node contents of
// recognisable bytes, their comparison, the layout and encoding cases, and checking a
// store file on disk.
#ifndef KRV_TESTS_PST_NDBTESTSUPPORT_H
#define KRV_TESTS_PST_NDBTESTSUPPORT_H

#include "platform/pst/ndb/NdbWriter.h"
#include "tests/support/MappedFile.h"
#include "tests/support/NdbStoreCheck.h"

#include <cstdint>
#include <string>
#include <vector>

namespace krv::test {

// `n` bytes that differ from node to node (`seed`) and from offset to offset.
inline std::vector<uint8_t> SeededBytes(size_t n, uint32_t seed)
{
    std::vector<uint8_t> bytes(n);
    uint64_t x = seed * 0x9E3779B97F4A7C15ull + 1;
    for (uint8_t& b : bytes) {
        x ^= x << 13;
        x ^= x >> 7;
        x ^= x << 17;
        b = static_cast<uint8_t>(x >> 24);
    }
    return bytes;
}

// A node whose data blocks have the given sizes.
inline pst::NodeContent Content(const std::vector<size_t>& blockSizes, uint32_t seed)
{
    pst::NodeContent content;
    for (size_t i = 0; i < blockSizes.size(); ++i) content.blocks.push_back(SeededBytes(blockSizes[i], seed * 131 + i));
    return content;
}

inline bool SameContent(const pst::NodeContent& a, const pst::NodeContent& b)
{
    if (a.blocks != b.blocks || a.subnodes.size() != b.subnodes.size()) return false;
    for (auto ia = a.subnodes.begin(), ib = b.subnodes.begin(); ia != a.subnodes.end(); ++ia, ++ib)
        if (ia->first != ib->first || !SameContent(ia->second, ib->second)) return false;
    return true;
}

struct StoreCase {
    pstformat::Layout layout;
    pst::CryptMethod crypt;
    const char* name;
};

inline const std::vector<StoreCase>& EveryStoreCase()
{
    static const std::vector<StoreCase> cases{
        {pstformat::Layout::Ansi, pst::CryptMethod::None, "ANSI, not encoded"},
        {pstformat::Layout::Ansi, pst::CryptMethod::Permute, "ANSI, permutative"},
        {pstformat::Layout::Ansi, pst::CryptMethod::Cyclic, "ANSI, cyclic"},
        {pstformat::Layout::Unicode, pst::CryptMethod::None, "Unicode, not encoded"},
        {pstformat::Layout::Unicode, pst::CryptMethod::Permute, "Unicode, permutative"},
        {pstformat::Layout::Unicode, pst::CryptMethod::Cyclic, "Unicode, cyclic"},
    };
    return cases;
}

inline NdbStoreCheck CheckStoreFile(const std::string& path)
{
    const MappedFile file(path);
    return CheckNdbStore(file.Bytes());
}

} // namespace krv::test

#endif

// EntryId.cpp: provider UIDs and entry IDs.
#include "platform/pst/messaging/EntryId.h"

#include "pstformat/Endian.h"

#include <algorithm>
#include <random>

namespace krv::pst {

ProviderUid NewProviderUid()
{
    std::random_device source;
    ProviderUid uid{};
    for (size_t i = 0; i < uid.size(); i += 4) {
        const uint32_t word = source();
        for (size_t k = 0; k < 4; ++k) uid[i + k] = static_cast<uint8_t>(word >> (8 * k));
    }
    return uid;
}

std::vector<uint8_t> MakeEntryId(const ProviderUid& uid, uint32_t nid)
{
    std::vector<uint8_t> id(kEntryIdSize, 0);
    std::copy(uid.begin(), uid.end(), id.begin() + 4);
    pstformat::StoreLe<uint32_t>(id.data() + 20, nid);
    return id;
}

std::optional<uint32_t> NidOfEntryId(std::span<const uint8_t> entryId, const ProviderUid& uid)
{
    if (entryId.size() != kEntryIdSize) return std::nullopt;
    if (pstformat::LoadLe<uint32_t>(entryId.data()) != 0) return std::nullopt;
    if (!std::equal(uid.begin(), uid.end(), entryId.begin() + 4)) return std::nullopt;
    return pstformat::LoadLe<uint32_t>(entryId.data() + 20);
}

} // namespace krv::pst

// NidCounters.h: the header's rgnid counters, the last NID index handed out for each NID
// type, started where Outlook starts a new store.
#ifndef KRV_PLATFORM_PST_NDB_NIDCOUNTERS_H
#define KRV_PLATFORM_PST_NDB_NIDCOUNTERS_H

#include <array>
#include <cstdint>

namespace krv::pst {

class NidCounters {
public:
    NidCounters();

    // A NID of `nidType` not handed out before; 0 when the type is not below 32 or its
    // indexes are used up.
    [[nodiscard]] uint32_t Allocate(uint8_t nidType);

    // Keeps the counter of the NID's type at or above its index, so that NIDs chosen by the
    // caller and NIDs handed out here never meet.
    void NoteUsed(uint32_t nid);

    [[nodiscard]] const std::array<uint32_t, 32>& Values() const { return m_last; }

private:
    std::array<uint32_t, 32> m_last{};
};

} // namespace krv::pst

#endif

// PropertyBag.h: the properties of one object as a property context will hold them: at most
// one value per property ID, kept in ID order.
#ifndef KRV_PLATFORM_PST_MESSAGING_PROPERTYBAG_H
#define KRV_PLATFORM_PST_MESSAGING_PROPERTYBAG_H

#include "platform/pst/ltp/StoredPropertyValue.h"

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

namespace krv::pst {

class PropertyBag {
public:
    // Sets the value; a value of the same ID (of any type) is replaced, as a property
    // context keys its values by ID alone.
    void Set(PropertyValue value);

    // Removes the value of `id`; false when there was none.
    bool Remove(uint16_t id);

    // The value of `id` whatever its type, or null.
    [[nodiscard]] const PropertyValue* Find(uint16_t id) const;
    // The value of exactly `tag`, or null.
    [[nodiscard]] const PropertyValue* FindTag(uint32_t tag) const;

    // Ascending by property ID.
    [[nodiscard]] const std::vector<PropertyValue>& Values() const { return m_values; }
    // The values, moved out; the bag is empty afterwards.
    [[nodiscard]] std::vector<PropertyValue> TakeValues() { return std::exchange(m_values, {}); }
    [[nodiscard]] size_t Size() const { return m_values.size(); }
    [[nodiscard]] bool Empty() const { return m_values.empty(); }

    // The values' bytes added up.
    [[nodiscard]] uint64_t ValueBytes() const;

private:
    std::vector<PropertyValue>::iterator LowerBound(uint16_t id);
    std::vector<PropertyValue>::const_iterator LowerBound(uint16_t id) const;

    std::vector<PropertyValue> m_values;
};

} // namespace krv::pst

#endif

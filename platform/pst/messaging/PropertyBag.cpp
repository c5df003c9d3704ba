// PropertyBag.cpp: a sorted vector of values keyed by property ID.
#include "platform/pst/messaging/PropertyBag.h"

#include <algorithm>

namespace krv::pst {

std::vector<PropertyValue>::iterator PropertyBag::LowerBound(uint16_t id)
{
    return std::lower_bound(m_values.begin(), m_values.end(), id,
                            [](const PropertyValue& v, uint16_t key) { return PropId(v.tag) < key; });
}

std::vector<PropertyValue>::const_iterator PropertyBag::LowerBound(uint16_t id) const
{
    return std::lower_bound(m_values.begin(), m_values.end(), id,
                            [](const PropertyValue& v, uint16_t key) { return PropId(v.tag) < key; });
}

void PropertyBag::Set(PropertyValue value)
{
    const auto it = LowerBound(PropId(value.tag));
    if (it != m_values.end() && PropId(it->tag) == PropId(value.tag))
        *it = std::move(value);
    else
        m_values.insert(it, std::move(value));
}

bool PropertyBag::Remove(uint16_t id)
{
    const auto it = LowerBound(id);
    if (it == m_values.end() || PropId(it->tag) != id) return false;
    m_values.erase(it);
    return true;
}

const PropertyValue* PropertyBag::Find(uint16_t id) const
{
    const auto it = LowerBound(id);
    return it != m_values.end() && PropId(it->tag) == id ? &*it : nullptr;
}

const PropertyValue* PropertyBag::FindTag(uint32_t tag) const
{
    const PropertyValue* value = Find(PropId(tag));
    return value != nullptr && value->tag == tag ? value : nullptr;
}

uint64_t PropertyBag::ValueBytes() const
{
    uint64_t total = 0;
    for (const PropertyValue& v : m_values) total += v.bytes.size();
    return total;
}

} // namespace krv::pst

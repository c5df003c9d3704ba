// ObjectRef.h: the one reference a caller holds on a messaging or storage object, given
// back when the holder goes.
#ifndef KRV_PLATFORM_MAPI_OBJECTREF_H
#define KRV_PLATFORM_MAPI_OBJECTREF_H

#include "platform/mapi/Unknown.h"

#include <utility>

namespace krv {

template <class T>
class ObjectRef {
public:
    ObjectRef() = default;
    explicit ObjectRef(T* object) : m_object(object) {}
    ObjectRef(ObjectRef&& other) noexcept : m_object(std::exchange(other.m_object, nullptr)) {}
    ObjectRef& operator=(ObjectRef&& other) noexcept
    {
        if (this != &other) {
            Reset();
            m_object = std::exchange(other.m_object, nullptr);
        }
        return *this;
    }
    ObjectRef(const ObjectRef&) = delete;
    ObjectRef& operator=(const ObjectRef&) = delete;
    ~ObjectRef() { Reset(); }

    void Reset() { UlRelease(std::exchange(m_object, nullptr)); }
    // For the out parameter of a call that hands out a reference.
    T** Out()
    {
        Reset();
        return &m_object;
    }
    [[nodiscard]] T* Get() const { return m_object; }
    T* operator->() const { return m_object; }
    explicit operator bool() const { return m_object != nullptr; }

private:
    T* m_object = nullptr;
};

} // namespace krv

#endif

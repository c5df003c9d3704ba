// RefCounted.h: the reference count and QueryInterface of a messaging object with one interface.
//
// An object is made with new holding one reference for its creator and deletes itself
// when Release drops the count to zero. It answers IUnknown and its own interface only.
#ifndef KRV_PLATFORM_MAPI_REFCOUNTED_H
#define KRV_PLATFORM_MAPI_REFCOUNTED_H

#include "platform/mapi/Unknown.h"

#include <atomic>

namespace krv::mapi {

template <class Interface, const IID& kOwnIid>
class RefCounted : public Interface {
public:
    HRESULT QueryInterface(REFIID iid, void** object) override
    {
        if (object == nullptr) return E_POINTER;
        if (iid == IID_IUnknown || iid == kOwnIid) {
            AddRef();
            *object = this;
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return ++m_references; }
    ULONG Release() override
    {
        const ULONG left = --m_references;
        if (left == 0) delete this;
        return left;
    }

private:
    std::atomic<ULONG> m_references{1};
};

} // namespace krv::mapi

#endif

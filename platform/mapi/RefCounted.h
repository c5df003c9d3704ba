// RefCounted.h: the reference count of every messaging and storage object, and the
// QueryInterface of one that answers a single interface.
//
// An object is made with new holding one reference for its creator and deletes itself
// when Release drops the count to zero. The count is atomic, so references to one object
// may be taken and dropped on more than one thread.
#ifndef KRV_PLATFORM_MAPI_REFCOUNTED_H
#define KRV_PLATFORM_MAPI_REFCOUNTED_H

#include "platform/mapi/Unknown.h"

#include <atomic>

namespace krv::mapi {

// AddRef and Release alone, for an object that answers its interfaces itself.
template <class Interface>
class RefCounting : public Interface {
public:
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

// An object that answers IUnknown and its own interface only.
template <class Interface, const IID& kOwnIid>
class RefCounted : public RefCounting<Interface> {
public:
    HRESULT QueryInterface(REFIID iid, void** object) override
    {
        if (object == nullptr) return E_POINTER;
        if (iid == IID_IUnknown || iid == kOwnIid) {
            this->AddRef();
            *object = static_cast<Interface*>(this);
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
};

} // namespace krv::mapi

#endif

// PropObject.h: what every messaging object of a store shares: reference counting, and
// the IMAPIProp calls in terms of a few operations each object supplies (its properties
// as they stand, setting and deleting one, whether it can still be used).
//
// Objects are made with new and delete themselves when the last reference goes. Each
// holds the open store file and a reference to the object it came from (its parent), so
// a store, folder or message outlives everything opened through it.
#ifndef KRV_PLATFORM_MAPI_STORE_PROPOBJECT_H
#define KRV_PLATFORM_MAPI_STORE_PROPOBJECT_H

#include "platform/mapi/MapiInterfaces.h"
#include "platform/mapi/RefCounted.h"
#include "platform/mapi/store/NamedProperties.h"
#include "platform/mapi/store/OpenStoreFile.h"
#include "platform/mapi/store/PropertyAnswers.h"
#include "platform/mapi/store/StoreResults.h"

#include <initializer_list>
#include <memory>
#include <vector>

namespace krv::mapi {

template <class Interface>
class PropObject : public RefCounting<Interface> {
public:
    // ---- IUnknown
    HRESULT QueryInterface(REFIID iid, void** object) override
    {
        if (object == nullptr) return E_POINTER;
        *object = nullptr;
        if (!Supports(iid)) return E_NOINTERFACE;
        this->AddRef();
        *object = static_cast<IUnknown*>(this);
        return S_OK;
    }

    // ---- IMAPIProp
    HRESULT GetProps(LPSPropTagArray tags, ULONG flags, ULONG* count, LPSPropValue* values) override
    {
        if (count) *count = 0;
        if (values) *values = nullptr;
        if (HRESULT hr = CheckUsable(); FAILED(hr)) return hr;
        return AnswerGetProps(Properties(), tags, flags, count, values);
    }
    HRESULT GetPropList(ULONG flags, LPSPropTagArray* tags) override
    {
        if (tags) *tags = nullptr;
        if (HRESULT hr = CheckUsable(); FAILED(hr)) return hr;
        return AnswerPropList(Properties(), flags, tags);
    }
    HRESULT OpenProperty(ULONG, LPCIID, ULONG, ULONG, LPUNKNOWN* object) override
    {
        if (object) *object = nullptr;
        return MAPI_E_NO_SUPPORT;
    }
    HRESULT SetProps(ULONG count, LPSPropValue values, LPSPropProblemArray* problems) override
    {
        if (problems) *problems = nullptr;
        if (count > 0 && values == nullptr) return MAPI_E_INVALID_PARAMETER;
        if (HRESULT hr = CheckUsable(); FAILED(hr)) return hr;
        if (HRESULT hr = CheckWritable(); FAILED(hr)) return hr;
        std::vector<SPropProblem> refused;
        for (ULONG i = 0; i < count; ++i) {
            const ULONG tag = values[i].ulPropTag;
            HRESULT problem = IsReadOnly(tag) ? MAPI_E_COMPUTED : S_OK;
            pst::PropertyValue value;
            if (SUCCEEDED(problem)) problem = EncodeCallerValue(values[i], value);
            if (SUCCEEDED(problem)) {
                const pst::StoreError error = SetOne(std::move(value));
                // A store that can no longer be written fails the call, not the value.
                if (error.code == pst::StoreErrc::Closed || error.code == pst::StoreErrc::InvalidState)
                    return HResultOf(error);
                problem = PropertyProblemOf(tag, error);
            }
            if (FAILED(problem)) refused.push_back({i, tag, problem});
        }
        return AnswerProblems(refused, problems);
    }
    HRESULT DeleteProps(LPSPropTagArray tags, LPSPropProblemArray* problems) override
    {
        if (problems) *problems = nullptr;
        if (tags == nullptr) return MAPI_E_INVALID_PARAMETER;
        if (HRESULT hr = CheckUsable(); FAILED(hr)) return hr;
        if (HRESULT hr = CheckWritable(); FAILED(hr)) return hr;
        std::vector<SPropProblem> refused;
        for (ULONG i = 0; i < tags->cValues; ++i) {
            const ULONG tag = tags->aulPropTag[i];
            HRESULT problem = IsReadOnly(tag) ? MAPI_E_COMPUTED : S_OK;
            if (SUCCEEDED(problem)) {
                const pst::StoreError error = DeleteOne(tag);
                if (error.code == pst::StoreErrc::Closed || error.code == pst::StoreErrc::InvalidState)
                    return HResultOf(error);
                // Deleting what is not there is no problem for MAPI.
                problem = error.code == pst::StoreErrc::NotFound ? S_OK : HResultOf(error);
            }
            if (FAILED(problem)) refused.push_back({i, tag, problem});
        }
        return AnswerProblems(refused, problems);
    }
    HRESULT GetNamesFromIDs(LPSPropTagArray* tags, LPGUID propertySet, ULONG flags, ULONG* count,
                            LPMAPINAMEID** names) override
    {
        if (count) *count = 0;
        if (names) *names = nullptr;
        if (HRESULT hr = CheckUsable(); FAILED(hr)) return hr;
        return NamesFromIds(m_file->Store(), tags, propertySet, flags, count, names);
    }
    HRESULT GetIDsFromNames(ULONG count, LPMAPINAMEID* names, ULONG flags, LPSPropTagArray* tags) override
    {
        if (tags) *tags = nullptr;
        if (HRESULT hr = CheckUsable(); FAILED(hr)) return hr;
        return IdsFromNames(m_file->Store(), count, names, flags, tags);
    }

protected:
    PropObject(std::shared_ptr<OpenStoreFile> file, IUnknown* parent) : m_file(std::move(file)), m_parent(parent)
    {
        if (m_parent) m_parent->AddRef();
    }
    ~PropObject() override { UlRelease(m_parent); }

    // The interfaces the object answers besides IUnknown and IMAPIProp.
    [[nodiscard]] virtual bool SupportsMore(REFIID iid) const = 0;
    // S_OK while the object can be used: its store open, the object not gone.
    [[nodiscard]] virtual HRESULT CheckUsable() const { return m_file->CheckOpen(); }
    // S_OK while the object can still change (MAPI_E_NO_ACCESS for one opened to read).
    [[nodiscard]] virtual HRESULT CheckWritable() const { return S_OK; }
    // Properties a caller may neither set nor delete here, beyond what the writer refuses.
    [[nodiscard]] virtual bool IsReadOnly(ULONG) const { return false; }
    // The object's properties as they stand, computed ones included; only while usable.
    [[nodiscard]] virtual PropertyList Properties() = 0;
    [[nodiscard]] virtual pst::StoreError SetOne(pst::PropertyValue value) = 0;
    [[nodiscard]] virtual pst::StoreError DeleteOne(ULONG tag) = 0;

    [[nodiscard]] OpenStoreFile& File() const { return *m_file; }
    [[nodiscard]] const std::shared_ptr<OpenStoreFile>& SharedFile() const { return m_file; }
    [[nodiscard]] pst::PstStore& Store() const { return m_file->Store(); }
    [[nodiscard]] IUnknown* Parent() const { return m_parent; }

private:
    [[nodiscard]] bool Supports(REFIID iid) const
    {
        return iid == IID_IUnknown || iid == IID_IMAPIProp || SupportsMore(iid);
    }

    std::shared_ptr<OpenStoreFile> m_file;
    IUnknown* m_parent;
};

} // namespace krv::mapi

#endif

#pragma once
// IUnknown and IDispatch as abstract classes, and ComObject, which gives a class
// reference counting and QueryInterface over the interfaces it lists.
#include "platform/com/ComTypes.h"

#include <QStringList>
#include <QVariant>
#include <atomic>
#include <type_traits>

struct IUnknown
{
    static constexpr GUID iid = makeGuid("{00000000-0000-0000-C000-000000000046}");
    virtual HRESULT QueryInterface(const GUID& iid, void** object) = 0;
    virtual ULONG AddRef() = 0;
    virtual ULONG Release() = 0;
    virtual ~IUnknown() = default;
};

enum class InvokeKind { Method, PropertyGet, PropertyPut, PropertyPutRef };

// Late binding by member name. Object arguments travel as IUnknown* in a QVariant.
struct IDispatch : IUnknown
{
    static constexpr GUID iid = makeGuid("{00020400-0000-0000-C000-000000000046}");
    // Names of the public properties that can be both read and written.
    virtual HRESULT GetPropertyNames(QStringList* names) = 0;
    virtual HRESULT Invoke(const QString& member, InvokeKind kind, const QVariantList& arguments,
                           QVariant* result) = 0;
};

Q_DECLARE_METATYPE(IUnknown*)

struct IClassFactory : IUnknown
{
    static constexpr GUID iid = makeGuid("{00000001-0000-0000-C000-000000000046}");
    virtual HRESULT CreateInstance(IUnknown* outer, const GUID& iid, void** object) = 0;
    virtual HRESULT LockServer(bool lock) = 0;
};

// Live objects and locks of the module that instantiates this header; with hidden
// visibility every shared library gets its own count, which DllCanUnloadNow reads.
inline std::atomic<long> moduleLockCount{0};

template <typename First, typename... Rest> class ComObject : public First, public Rest...
{
public:
    ComObject() { ++moduleLockCount; }
    ComObject(const ComObject&) = delete;
    ComObject& operator=(const ComObject&) = delete;
    ~ComObject() override { --moduleLockCount; }

    HRESULT QueryInterface(const GUID& iid, void** object) override
    {
        if (!object)
            return E_POINTER;
        *object = nullptr;
        if (iid == IUnknown::iid)
            *object = static_cast<IUnknown*>(static_cast<First*>(this));
        else
            findInterface<First, Rest...>(iid, object);
        if (!*object)
            return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    ULONG AddRef() override { return ++m_references; }
    ULONG Release() override
    {
        const ULONG left = --m_references;
        if (left == 0)
            delete this;
        return left;
    }

private:
    template <typename I, typename... More> void findInterface(const GUID& iid, void** object)
    {
        if (iid == I::iid)
            *object = static_cast<I*>(this);
        else if constexpr (std::is_base_of_v<IDispatch, I>) {
            if (iid == IDispatch::iid)
                *object = static_cast<IDispatch*>(static_cast<I*>(this));
        }
        if constexpr (sizeof...(More) > 0) {
            if (!*object)
                findInterface<More...>(iid, object);
        }
    }
    std::atomic<ULONG> m_references{1};
};

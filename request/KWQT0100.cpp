// The in-process server: class factory, unload check and per-user registration.
#include "request/KWQT0100.h"

#include "platform/com/ClassRegistry.h"
#include "request/forms/HTTPFormBuilder.h"
#include "request/forms/HTTPFormBuilderUE.h"
#include "request/http/olvHTTPRequestHT.h"
#include "request/proxy/ProxySettings.h"
#include "support/olvsupportfbe0100/olvsupportfbe0100.h"

namespace {
template <typename T> class ClassFactory : public ComObject<IClassFactory>
{
public:
    HRESULT CreateInstance(IUnknown* outer, const GUID& iid, void** object) override
    {
        if (!object)
            return E_POINTER;
        *object = nullptr;
        if (outer)
            return CLASS_E_NOAGGREGATION;
        try {
            auto instance =
                ComPtr<IUnknown>::adopt(static_cast<IUnknown*>(static_cast<IDispatch*>(new T)));
            return instance->QueryInterface(iid, object);
        } catch (const RuntimeError&) {
            return E_FAIL;
        }
    }
    HRESULT LockServer(bool lock) override
    {
        lock ? ++moduleLockCount : --moduleLockCount;
        return S_OK;
    }
};

// The public classes and their programmatic identifiers.
struct ServerClass
{
    GUID clsid;
    const char* progId;
};
constexpr ServerClass ServerClasses[] = {
    {CLSID_olvHTTPRequestHT, "KWQT0100.olvHTTPRequestHT"},
    {CLSID_ProxySettings, "KWQT0100.ProxySettings"},
    {CLSID_HTTPFormBuilder, "KWQT0100.HTTPFormBuilder"},
    {CLSID_HTTPFormBuilderUE, "KWQT0100.HTTPFormBuilderUE"},
};

QString libraryPath()
{
    QString path;
    sxGetModuleFileName(reinterpret_cast<const void*>(&DllGetClassObject), -1, &path);
    return path;
}
} // namespace

extern "C" HRESULT DllGetClassObject(const GUID* clsid, const GUID* iid, void** object)
{
    if (!clsid || !iid || !object)
        return E_POINTER;
    *object = nullptr;
    ComPtr<IClassFactory> factory;
    if (*clsid == CLSID_olvHTTPRequestHT)
        factory = ComPtr<IClassFactory>::adopt(new ClassFactory<olvHTTPRequestHT>);
    else if (*clsid == CLSID_ProxySettings)
        factory = ComPtr<IClassFactory>::adopt(new ClassFactory<ProxySettings>);
    else if (*clsid == CLSID_HTTPFormBuilder)
        factory = ComPtr<IClassFactory>::adopt(new ClassFactory<HTTPFormBuilder>);
    else if (*clsid == CLSID_HTTPFormBuilderUE)
        factory = ComPtr<IClassFactory>::adopt(new ClassFactory<HTTPFormBuilderUE>);
    else
        return CLASS_E_CLASSNOTAVAILABLE;
    return factory->QueryInterface(*iid, object);
}

extern "C" HRESULT DllCanUnloadNow()
{
    return moduleLockCount == 0 ? S_OK : S_FALSE;
}

extern "C" HRESULT DllRegisterServer()
{
    const QString path = libraryPath();
    bool ok = true;
    for (const ServerClass& server : ServerClasses)
        ok = registerServerClass(server.clsid, QString::fromLatin1(server.progId), path) && ok;
    return ok ? S_OK : E_FAIL;
}

extern "C" HRESULT DllUnregisterServer()
{
    bool ok = true;
    for (const ServerClass& server : ServerClasses)
        ok = unregisterServerClass(server.clsid) && ok;
    return ok ? S_OK : E_FAIL;
}

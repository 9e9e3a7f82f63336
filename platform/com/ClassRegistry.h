#pragma once
// Creating classes by CLSID. Classes linked into the process register a factory
// function; others come from a registered in-process server library (a per-user
// entry written by its DllRegisterServer) or, when none is registered, from the
// library that the caller names as the one beside the program.
#include "platform/com/ComPtr.h"
#include "platform/com/RuntimeError.h"

using LocalFactory = HRESULT (*)(const GUID& iid, void** object);
using DllGetClassObjectFunc = HRESULT (*)(const GUID* clsid, const GUID* iid, void** object);

PLATFORM_EXPORT void registerLocalClass(const GUID& clsid, LocalFactory factory);

// The per-user class registration of in-process servers.
PLATFORM_EXPORT bool registerServerClass(const GUID& clsid, const QString& progId,
                                         const QString& libraryPath);
PLATFORM_EXPORT bool unregisterServerClass(const GUID& clsid);
PLATFORM_EXPORT QString registeredServerLibrary(const GUID& clsid);

// Where to look for a server that is not registered: the folder of the program.
PLATFORM_EXPORT void setDefaultServerLibrary(const GUID& clsid, const QString& libraryPath);

// Programmatic identifiers ("VBScript.RegExp") of classes known to this process.
PLATFORM_EXPORT void registerProgId(const QString& progId, const GUID& clsid);
PLATFORM_EXPORT bool clsidFromProgId(const QString& progId, GUID* clsid);

PLATFORM_EXPORT HRESULT coCreateInstance(const GUID& clsid, const GUID& iid, void** object);

// Creates the class and returns interface I; raises error 429 when it cannot.
template <typename I> ComPtr<I> createObject(const GUID& clsid)
{
    ComPtr<I> object;
    const HRESULT hr = coCreateInstance(clsid, I::iid, object.putVoid());
    if (FAILED(hr) || !object)
        raiseError(ErrCantCreateObject, guidToString(clsid));
    return object;
}

// Creates the class named by a programmatic identifier; raises 429 when it cannot.
template <typename I> ComPtr<I> createObject(const QString& progId)
{
    GUID clsid;
    if (!clsidFromProgId(progId, &clsid))
        raiseError(ErrCantCreateObject, progId);
    return createObject<I>(clsid);
}

// KWQT0100 as an in-process server: exports, registration and the unload check.
#include "platform/com/ClassRegistry.h"
#include "request/KWQT0100.h"
#include "tests/request/RequestFixtures.h"

#include <QCoreApplication>
#include <QLibrary>
#include <gtest/gtest.h>

TEST(ComponentServer, RegistersCreatesAndUnloads)
{
    const QString path = QCoreApplication::applicationDirPath() + QStringLiteral("/libKWQT0100.so");
    QLibrary library(path);
    using Call = HRESULT (*)();
    const auto registerServer = reinterpret_cast<Call>(library.resolve("DllRegisterServer"));
    const auto unregisterServer = reinterpret_cast<Call>(library.resolve("DllUnregisterServer"));
    const auto canUnloadNow = reinterpret_cast<Call>(library.resolve("DllCanUnloadNow"));
    const auto getClassObject =
        reinterpret_cast<DllGetClassObjectFunc>(library.resolve("DllGetClassObject"));
    ASSERT_TRUE(registerServer && unregisterServer && canUnloadNow && getClassObject);

    ASSERT_EQ(registerServer(), S_OK);
    EXPECT_EQ(registeredServerLibrary(CLSID_olvHTTPRequestHT), path);
    EXPECT_EQ(registeredServerLibrary(CLSID_ProxySettings), path);
    EXPECT_EQ(registeredServerLibrary(CLSID_HTTPFormBuilder), path);
    EXPECT_EQ(registeredServerLibrary(CLSID_HTTPFormBuilderUE), path);
    EXPECT_TRUE(createObject<_HTTPFormBuilder>(CLSID_HTTPFormBuilder));
    EXPECT_TRUE(createObject<_HTTPFormBuilderUE>(CLSID_HTTPFormBuilderUE));
    {
        // Created through the registration alone: no library is named by the caller.
        const ComPtr<_ProxySettings> proxy = createObject<_ProxySettings>(CLSID_ProxySettings);
        EXPECT_EQ(canUnloadNow(), S_FALSE);
        const ComPtr<IDispatch> dispatch = proxy.as<IDispatch>();
        EXPECT_TRUE(dispatch);
        EXPECT_FALSE(proxy.as<_olvHTTPRequestHT>());
    }
    EXPECT_EQ(canUnloadNow(), S_OK);

    ComPtr<IClassFactory> factory;
    const GUID unknown = makeGuid("{00000000-0000-0000-0000-0000000000AA}");
    EXPECT_EQ(getClassObject(&unknown, &IClassFactory::iid, factory.putVoid()),
              CLASS_E_CLASSNOTAVAILABLE);

    ASSERT_EQ(unregisterServer(), S_OK);
    EXPECT_TRUE(registeredServerLibrary(CLSID_olvHTTPRequestHT).isEmpty());
    EXPECT_TRUE(registeredServerLibrary(CLSID_HTTPFormBuilderUE).isEmpty());
}

#include "poster/workflow/modConfigProxyHT.h"

#include "platform/com/ClassRegistry.h"
#include "platform/com/DispatchTable.h"
#include "poster/workflow/modApp.h"
#include "request/KWQT0100.h"
#include "support/settings/SettingsStore.h"

#include <exception>

namespace {
const QString Section = QStringLiteral("Proxy HT");
} // namespace

void ConfigureProxy(IUnknown* object)
{
    ComPtr<ISettingsStore> store;
    try {
        store = createObject<ISettingsStore>(CLSID_SettingsStore);
        store->LoadObject(Section, object, App(), true);
    } catch (const std::exception&) {
    }
    bool confirmed = false;
    try {
        confirmed =
            callByName(object, QStringLiteral("ShowConfigDialog"), InvokeKind::Method).toBool();
    } catch (const std::exception&) {
    }
    if (!confirmed || !store)
        return;
    try {
        store->SaveObject(Section, object, App(), true);
    } catch (const std::exception&) {
    }
}

void ConfigureNewProxySettings()
{
    try {
        const ComPtr<_ProxySettings> settings = createObject<_ProxySettings>(CLSID_ProxySettings);
        ConfigureProxy(settings.get());
    } catch (const std::exception&) {
    }
}

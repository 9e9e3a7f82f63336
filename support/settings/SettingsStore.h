#pragma once
// SettingsStore: the per-user store of the program's values by section and key, of
// whole objects' public properties, and of window placements. An INI file in the
// user's configuration folder, readable by the user only. A property whose name ends
// in "Password" is kept only in protected form.
#include "platform/app/AppObject.h"
#include "platform/com/ComPtr.h"
#include "support/ComponentsExport.h"

class QWidget;

// Kind codes of GetValue and SaveValue.
constexpr int skText = 0;
constexpr int skInteger = 1; // 16-bit
constexpr int skBoolean = 3;

struct ISettingsStore : IUnknown
{
    static constexpr GUID iid = makeGuid("{D32ADC44-47BA-42BB-A496-B017AAD4836D}");
    // The empty section is the program's main section.
    virtual HRESULT GetValue(const QString& section, const QString& key, int kind,
                             const QVariant& defaultValue, const AppObject& app, bool flag,
                             QVariant* result) = 0;
    virtual HRESULT SaveValue(const QString& section, const QString& key, int kind,
                              const QVariant& value, const AppObject& app, bool flag) = 0;
    virtual HRESULT LoadObject(const QString& section, IUnknown* object, const AppObject& app,
                               bool flag) = 0;
    virtual HRESULT SaveObject(const QString& section, IUnknown* object, const AppObject& app,
                               bool flag) = 0;
    virtual HRESULT LoadFormPlacement(const QString& section, const QString& key, QWidget* window,
                                      const AppObject& app, int reserved, int width, int height,
                                      bool flag, bool* found) = 0;
    virtual HRESULT SaveFormPlacement(const QString& section, const QString& key, QWidget* window,
                                      const AppObject& app, bool flag) = 0;
};

constexpr GUID CLSID_SettingsStore = makeGuid("{B90C021C-C137-4F6A-A629-7BE882D1935C}");

// Registers the class so that createObject<ISettingsStore>(CLSID_SettingsStore) works.
COMPONENTS_EXPORT void registerSettingsStoreClass();
// A store on an explicit file, for tools and tests; empty: the user's own file.
COMPONENTS_EXPORT ComPtr<ISettingsStore> newSettingsStore(const QString& fileName = {});
// The file that holds app's settings for this user.
COMPONENTS_EXPORT QString settingsFileName(const AppObject& app);

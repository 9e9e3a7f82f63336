#include "support/settings/SettingsStore.h"

#include "platform/com/ClassRegistry.h"
#include "platform/protect/DataProtection.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QScreen>
#include <QSettings>
#include <QStandardPaths>
#include <QWidget>

namespace {
constexpr auto MainSection = "Main";
constexpr auto PasswordProperty = "Password";

// "Password", "ServerPassword", "ProxyPassword": kept only in protected form.
bool isSecret(const QString& property)
{
    return property.endsWith(QLatin1String(PasswordProperty), Qt::CaseInsensitive);
}

QString sectionName(const QString& section)
{
    return section.isEmpty() ? QString::fromLatin1(MainSection) : section;
}

// Secrets are kept as "Z" + hexadecimal of the protected bytes, never in plain text.
QString protectText(const QString& plain)
{
    if (plain.isEmpty())
        return {};
    QByteArray blob;
    if (!protectData(plain.toUtf8(), false, &blob, nullptr))
        return {};
    return QLatin1Char('Z') + QString::fromLatin1(blob.toHex().toUpper());
}

bool unprotectText(const QString& stored, QString* plain)
{
    if (stored.isEmpty()) {
        plain->clear();
        return true;
    }
    if (!stored.startsWith(QLatin1Char('Z')))
        return false;
    QByteArray bytes;
    if (!unprotectData(QByteArray::fromHex(stored.mid(1).toLatin1()), &bytes, nullptr))
        return false;
    *plain = QString::fromUtf8(bytes);
    return true;
}

// INI files keep every value as text; the kind decides what comes back.
bool convertTo(int kind, const QVariant& stored, QVariant* result)
{
    switch (kind) {
    case skText:
        *result = stored.toString();
        return true;
    case skInteger: {
        bool ok = false;
        const int value = stored.toString().toInt(&ok);
        if (!ok || value < -32768 || value > 32767)
            return false;
        *result = QVariant::fromValue(static_cast<qint16>(value));
        return true;
    }
    case skBoolean: {
        const QString text = stored.toString().toLower();
        if (text == QStringLiteral("true") || text == QStringLiteral("-1") ||
            text == QStringLiteral("1"))
            *result = true;
        else if (text == QStringLiteral("false") || text == QStringLiteral("0"))
            *result = false;
        else
            return false;
        return true;
    }
    }
    return false;
}

class SettingsStore : public ComObject<ISettingsStore>
{
public:
    explicit SettingsStore(const QString& fileName) : m_fileName(fileName) {}

    HRESULT GetValue(const QString& section, const QString& key, int kind,
                     const QVariant& defaultValue, const AppObject& app, bool,
                     QVariant* result) override
    {
        if (!result || (kind != skText && kind != skInteger && kind != skBoolean))
            return E_INVALIDARG;
        QSettings settings(fileFor(app), QSettings::IniFormat);
        const QVariant stored = settings.value(sectionName(section) + QLatin1Char('/') + key);
        if (!stored.isValid() || !convertTo(kind, stored, result))
            return convertTo(kind, defaultValue, result) ? S_OK : E_INVALIDARG;
        return S_OK;
    }

    HRESULT SaveValue(const QString& section, const QString& key, int kind, const QVariant& value,
                      const AppObject& app, bool) override
    {
        QVariant converted;
        if (!convertTo(kind, kind == skBoolean ? QVariant(value.toBool()) : value, &converted))
            return E_INVALIDARG;
        QSettings settings(fileFor(app), QSettings::IniFormat);
        settings.setValue(sectionName(section) + QLatin1Char('/') + key,
                          kind == skText ? converted : QVariant(converted.toString()));
        return commit(settings);
    }

    HRESULT LoadObject(const QString& section, IUnknown* object, const AppObject& app,
                       bool) override
    {
        ComPtr<IDispatch> dispatch = ComPtr<IUnknown>::share(object).as<IDispatch>();
        if (!dispatch)
            return E_INVALIDARG;
        QStringList names;
        if (FAILED(dispatch->GetPropertyNames(&names)))
            return E_FAIL;
        QSettings settings(fileFor(app), QSettings::IniFormat);
        settings.beginGroup(sectionName(section));
        for (const QString& name : names) {
            if (!settings.contains(name))
                continue;
            QVariant current;
            if (FAILED(dispatch->Invoke(name, InvokeKind::PropertyGet, {}, &current)))
                continue;
            QVariant stored = settings.value(name);
            if (isSecret(name)) {
                QString plain;
                if (!unprotectText(stored.toString(), &plain))
                    continue; // made for another user: the property keeps its value
                stored = plain;
            }
            if (current.isValid() && !stored.convert(current.metaType()))
                continue;
            dispatch->Invoke(name, InvokeKind::PropertyPut, {stored}, nullptr);
        }
        return S_OK;
    }

    HRESULT SaveObject(const QString& section, IUnknown* object, const AppObject& app,
                       bool) override
    {
        ComPtr<IDispatch> dispatch = ComPtr<IUnknown>::share(object).as<IDispatch>();
        if (!dispatch)
            return E_INVALIDARG;
        QStringList names;
        if (FAILED(dispatch->GetPropertyNames(&names)))
            return E_FAIL;
        QSettings settings(fileFor(app), QSettings::IniFormat);
        settings.beginGroup(sectionName(section));
        for (const QString& name : names) {
            QVariant value;
            if (FAILED(dispatch->Invoke(name, InvokeKind::PropertyGet, {}, &value)))
                return E_FAIL;
            if (isSecret(name)) {
                const QString plain = value.toString();
                const QString stored = protectText(plain);
                if (!plain.isEmpty() && stored.isEmpty()) {
                    settings.remove(name); // better no password than a readable one
                    continue;
                }
                value = stored;
            }
            if (value.typeId() == QMetaType::Bool || value.canConvert<QString>())
                settings.setValue(name, value.toString());
        }
        settings.endGroup();
        return commit(settings);
    }

    HRESULT LoadFormPlacement(const QString& section, const QString& key, QWidget* window,
                              const AppObject& app, int, int /*width*/, int /*height*/, bool,
                              bool* found) override
    {
        if (!window || !found)
            return E_INVALIDARG;
        *found = false;
        QSettings settings(fileFor(app), QSettings::IniFormat);
        const QStringList parts =
            settings.value(placementKey(section, key, window)).toString().split(QLatin1Char(' '));
        if (parts.size() != 4)
            return S_OK;
        bool ok[4] = {};
        const QRect rect(parts[0].toInt(&ok[0]), parts[1].toInt(&ok[1]), parts[2].toInt(&ok[2]),
                         parts[3].toInt(&ok[3]));
        if (!(ok[0] && ok[1] && ok[2] && ok[3]) || rect.width() <= 0 || rect.height() <= 0)
            return S_OK;
        // A placement on a screen that is gone counts as none: the window gets centred.
        const QScreen* screen = QGuiApplication::screenAt(rect.topLeft() + QPoint(8, 8));
        if (!screen)
            return S_OK;
        window->resize(rect.size());
        window->move(rect.topLeft());
        *found = true;
        return S_OK;
    }

    HRESULT SaveFormPlacement(const QString& section, const QString& key, QWidget* window,
                              const AppObject& app, bool) override
    {
        if (!window)
            return E_INVALIDARG;
        const QRect normal = window->isMaximized() || window->isMinimized()
                                 ? window->normalGeometry()
                                 : QRect(window->pos(), window->size());
        QSettings settings(fileFor(app), QSettings::IniFormat);
        settings.setValue(placementKey(section, key, window), QStringLiteral("%1 %2 %3 %4")
                                                                  .arg(normal.x())
                                                                  .arg(normal.y())
                                                                  .arg(normal.width())
                                                                  .arg(normal.height()));
        return commit(settings);
    }

private:
    // One key for every window: the window's name tells the placements apart.
    static QString placementKey(const QString& section, const QString& key, QWidget* window)
    {
        return sectionName(section) + QLatin1Char('/') + window->objectName() + QLatin1Char(' ') +
               key;
    }

    QString fileFor(const AppObject& app) const
    {
        return m_fileName.isEmpty() ? settingsFileName(app) : m_fileName;
    }

    static HRESULT commit(QSettings& settings)
    {
        settings.sync();
        if (settings.status() != QSettings::NoError)
            return E_FAIL;
        QFile::setPermissions(settings.fileName(), QFile::ReadOwner | QFile::WriteOwner);
        return S_OK;
    }

    QString m_fileName;
};

HRESULT createSettingsStore(const GUID& iid, void** object)
{
    ComPtr<ISettingsStore> store = newSettingsStore();
    return store->QueryInterface(iid, object);
}
} // namespace

QString settingsFileName(const AppObject& app)
{
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
                           QLatin1Char('/') +
                           (app.CompanyName.isEmpty() ? QStringLiteral("Olvane") : app.CompanyName);
    if (!QFileInfo::exists(folder)) {
        QDir().mkpath(folder);
        QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    const QString name = app.EXEName.isEmpty() ? QStringLiteral("Settings") : app.EXEName;
    return folder + QLatin1Char('/') + name + QStringLiteral(".ini");
}

void registerSettingsStoreClass()
{
    registerLocalClass(CLSID_SettingsStore, createSettingsStore);
}

ComPtr<ISettingsStore> newSettingsStore(const QString& fileName)
{
    return ComPtr<ISettingsStore>::adopt(new SettingsStore(fileName));
}

#include "support/settings/SettingsStore.h"

#include "platform/app/PrivateFolder.h"
#include "platform/com/ClassRegistry.h"
#include "platform/com/ErrorInfo.h"
#include "platform/protect/DataProtection.h"
#include "platform/ui/MsgBox.h"
#include "platform/ui/WindowPlacement.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>
#include <fcntl.h>
#include <memory>
#include <unistd.h>

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
// False (with the system's error code) when the secret cannot be protected.
bool protectText(const QString& plain, QString* stored, int* error)
{
    stored->clear();
    if (plain.isEmpty())
        return true;
    QByteArray blob;
    if (!protectData(plain.toUtf8(), false, &blob, error))
        return false;
    *stored = QLatin1Char('Z') + QString::fromLatin1(blob.toHex().toUpper());
    return true;
}

// A failure the caller can show: it names the settings file and the cause.
HRESULT storeFailure(const QString& what, const QString& fileName, const QString& cause)
{
    setErrorInfo(RuntimeError(ErrInvalidProcedureCall, QStringLiteral("SettingsStore"),
                              QStringLiteral("%1 the settings file %2: %3.")
                                  .arg(what, QDir::toNativeSeparators(fileName), cause)));
    return DISP_E_EXCEPTION;
}

// Why a settings file could not be written, in words.
QString writeFailureCause(const QString& fileName)
{
    const QFileInfo file(fileName);
    const QFileInfo folder(file.absolutePath());
    if (!folder.isDir())
        return QStringLiteral("its folder does not exist");
    if (file.isDir())
        return QStringLiteral("a folder of that name stands in its place");
    if (!folder.isWritable())
        return QStringLiteral("its folder is not writable");
    if (file.exists() && !file.isWritable())
        return QStringLiteral("the file is read-only");
    return QStringLiteral("the data could not be written (the disk may be full)");
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
        const QVariant stored = open(app)->value(sectionName(section) + QLatin1Char('/') + key);
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
        const auto settings = open(app);
        settings->setValue(sectionName(section) + QLatin1Char('/') + key,
                           kind == skText ? converted : QVariant(converted.toString()));
        return commit(*settings);
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
        const auto settings = open(app);
        settings->beginGroup(sectionName(section));
        for (const QString& name : names) {
            if (!settings->contains(name))
                continue;
            QVariant current;
            if (FAILED(dispatch->Invoke(name, InvokeKind::PropertyGet, {}, &current)))
                continue;
            QVariant stored = settings->value(name);
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
        const auto settings = open(app);
        settings->beginGroup(sectionName(section));
        QString unprotected; // a password that could not be kept
        int protectError = 0;
        for (const QString& name : names) {
            QVariant value;
            if (FAILED(dispatch->Invoke(name, InvokeKind::PropertyGet, {}, &value)))
                return E_FAIL;
            if (isSecret(name)) {
                QString stored;
                if (!protectText(value.toString(), &stored, &protectError)) {
                    settings->remove(name); // better no password than a readable one
                    unprotected = name;
                    continue;
                }
                value = stored;
            }
            if (value.typeId() == QMetaType::Bool || value.canConvert<QString>())
                settings->setValue(name, value.toString());
        }
        settings->endGroup();
        const HRESULT hr = commit(*settings);
        if (FAILED(hr) || unprotected.isEmpty())
            return hr;
        // The other values are kept; the caller learns that this one is not.
        return storeFailure(QStringLiteral("Could not keep \"%1\" in").arg(unprotected),
                            settings->fileName(),
                            QStringLiteral("the data protection key is not usable (%1)")
                                .arg(QString::fromLocal8Bit(strerror(protectError))));
    }

    HRESULT LoadFormPlacement(const QString& section, const QString& key, QWidget* window,
                              const AppObject& app, int, int /*width*/, int /*height*/, bool,
                              bool* found) override
    {
        if (!window || !found)
            return E_INVALIDARG;
        *found = false;
        const QStringList parts =
            open(app)->value(placementKey(section, key, window)).toString().split(QLatin1Char(' '));
        if (parts.size() != 4)
            return S_OK;
        bool ok[4] = {};
        const QRect rect(parts[0].toInt(&ok[0]), parts[1].toInt(&ok[1]), parts[2].toInt(&ok[2]),
                         parts[3].toInt(&ok[3]));
        if (!(ok[0] && ok[1] && ok[2] && ok[3]) || rect.width() <= 0 || rect.height() <= 0)
            return S_OK;
        // A placement on a screen that is gone counts as none: the window gets centred.
        *found = placeWindow(window, rect);
        return S_OK;
    }

    HRESULT SaveFormPlacement(const QString& section, const QString& key, QWidget* window,
                              const AppObject& app, bool) override
    {
        if (!window)
            return E_INVALIDARG;
        QRect normal;
        if (!windowPlacement(window, &normal))
            return E_FAIL;
        const auto settings = open(app);
        settings->setValue(placementKey(section, key, window), QStringLiteral("%1 %2 %3 %4")
                                                                   .arg(normal.x())
                                                                   .arg(normal.y())
                                                                   .arg(normal.width())
                                                                   .arg(normal.height()));
        return commit(*settings);
    }

private:
    // One key for every window: the window's name tells the placements apart.
    static QString placementKey(const QString& section, const QString& key, QWidget* window)
    {
        return sectionName(section) + QLatin1Char('/') + windowName(window) + QLatin1Char(' ') +
               key;
    }

    QString fileFor(const AppObject& app) const
    {
        return m_fileName.isEmpty() ? settingsFileName(app) : m_fileName;
    }

    // The settings of app. A file that cannot be parsed is set aside under a new name and
    // a fresh one started; otherwise every later save would fail on the old damage.
    std::unique_ptr<QSettings> open(const AppObject& app) const
    {
        const QString name = fileFor(app);
        auto settings = std::make_unique<QSettings>(name, QSettings::IniFormat);
        settings->allKeys(); // sections are parsed on demand: parse them all now
        if (settings->status() != QSettings::FormatError || !QFileInfo(name).isFile())
            return settings;
        settings.reset();
        const QString kept = setAside(name);
        settings = std::make_unique<QSettings>(name, QSettings::IniFormat);
        msgBox(kept.isEmpty()
                   ? QStringLiteral("The settings file %1 is damaged and could not be set "
                                    "aside. Settings cannot be kept until it is removed.")
                         .arg(QDir::toNativeSeparators(name))
                   : QStringLiteral("The settings file %1 was damaged and could not be read. "
                                    "It was kept as %2, and the program starts with fresh "
                                    "settings.")
                         .arg(QDir::toNativeSeparators(name), QDir::toNativeSeparators(kept)),
               vbExclamation, app.Title);
        return settings;
    }

    // Renames a damaged file to "<name>.damaged" (or "<name>.damaged-2", ...); the new
    // name, or empty when it cannot be renamed.
    static QString setAside(const QString& name)
    {
        for (int n = 1; n < 100; ++n) {
            const QString kept = name + QStringLiteral(".damaged") +
                                 (n > 1 ? QStringLiteral("-%1").arg(n) : QString());
            if (QFileInfo::exists(kept))
                continue;
            return QFile::rename(name, kept) ? kept : QString();
        }
        return {};
    }

    static HRESULT commit(QSettings& settings)
    {
        const QString name = settings.fileName();
        // Made private from the start: the file is never readable by others, not even
        // between its creation and the first write.
        const QByteArray path = QFile::encodeName(name);
        const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd >= 0)
            ::close(fd);
        settings.sync();
        if (settings.status() != QSettings::NoError)
            return storeFailure(QStringLiteral("Could not save"), name, writeFailureCause(name));
        const QFile::Permissions modeBits = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                            QFile::ReadGroup | QFile::WriteGroup | QFile::ExeGroup |
                                            QFile::ReadOther | QFile::WriteOther | QFile::ExeOther;
        const QFile::Permissions privateBits = QFile::ReadOwner | QFile::WriteOwner;
        if ((QFile::permissions(name) & modeBits) != privateBits)
            QFile::setPermissions(name, privateBits);
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
    makePrivateFolder(folder);
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

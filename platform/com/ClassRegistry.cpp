#include "platform/com/ClassRegistry.h"

#include "platform/app/PrivateFolder.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QLibrary>
#include <QMutex>
#include <QSettings>
#include <QStandardPaths>

namespace {
QHash<QString, LocalFactory>& localClasses()
{
    static QHash<QString, LocalFactory> classes;
    return classes;
}

QHash<QString, QString>& defaultLibraries()
{
    static QHash<QString, QString> libraries;
    return libraries;
}

QHash<QString, GUID>& progIds()
{
    static QHash<QString, GUID> ids;
    return ids;
}

QString registryFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/Olvane");
}

QString registryFile()
{
    const QString folder = registryFolder();
    makePrivateFolder(folder);
    return folder + QStringLiteral("/ComClasses.ini");
}

// Servers stay loaded for the life of the process, as objects may outlive any caller;
// each is looked up once, as every request creates its objects anew.
DllGetClassObjectFunc classObjectEntry(const QString& path)
{
    static QMutex mutex;
    static QHash<QString, DllGetClassObjectFunc> entries;
    const QMutexLocker lock(&mutex);
    if (const auto found = entries.constFind(path); found != entries.constEnd())
        return *found;
    QLibrary library(path);
    library.setLoadHints(QLibrary::PreventUnloadHint);
    const auto entry =
        reinterpret_cast<DllGetClassObjectFunc>(library.resolve("DllGetClassObject"));
    if (entry)
        entries.insert(path, entry);
    return entry;
}

HRESULT createFromLibrary(const QString& path, const GUID& clsid, const GUID& iid, void** object)
{
    const DllGetClassObjectFunc getClassObject = classObjectEntry(path);
    if (!getClassObject)
        return REGDB_E_CLASSNOTREG;
    ComPtr<IClassFactory> factory;
    HRESULT hr = getClassObject(&clsid, &IClassFactory::iid, factory.putVoid());
    if (FAILED(hr))
        return hr;
    return factory->CreateInstance(nullptr, iid, object);
}
} // namespace

void registerProgId(const QString& progId, const GUID& clsid)
{
    progIds().insert(progId.toLower(), clsid);
}

bool clsidFromProgId(const QString& progId, GUID* clsid)
{
    const auto found = progIds().constFind(progId.toLower());
    if (found == progIds().constEnd())
        return false;
    *clsid = *found;
    return true;
}

void registerLocalClass(const GUID& clsid, LocalFactory factory)
{
    localClasses().insert(guidToString(clsid), factory);
}

bool registerServerClass(const GUID& clsid, const QString& progId, const QString& libraryPath)
{
    QSettings settings(registryFile(), QSettings::IniFormat);
    settings.beginGroup(guidToString(clsid));
    settings.setValue(QStringLiteral("ProgID"), progId);
    settings.setValue(QStringLiteral("InprocServer32"), QFileInfo(libraryPath).absoluteFilePath());
    settings.endGroup();
    settings.sync();
    return settings.status() == QSettings::NoError;
}

bool unregisterServerClass(const GUID& clsid)
{
    QSettings settings(registryFile(), QSettings::IniFormat);
    settings.remove(guidToString(clsid));
    settings.sync();
    return settings.status() == QSettings::NoError;
}

QString registeredServerLibrary(const GUID& clsid)
{
    // Reading needs no folder made; most users have registered nothing.
    const QString file = registryFolder() + QStringLiteral("/ComClasses.ini");
    if (!QFileInfo::exists(file))
        return QString();
    QSettings settings(file, QSettings::IniFormat);
    return settings.value(guidToString(clsid) + QStringLiteral("/InprocServer32")).toString();
}

void setDefaultServerLibrary(const GUID& clsid, const QString& libraryPath)
{
    defaultLibraries().insert(guidToString(clsid), libraryPath);
}

HRESULT coCreateInstance(const GUID& clsid, const GUID& iid, void** object)
{
    if (!object)
        return E_POINTER;
    *object = nullptr;
    const QString key = guidToString(clsid);
    if (const LocalFactory factory = localClasses().value(key))
        return factory(iid, object);
    const QString registered = registeredServerLibrary(clsid);
    if (!registered.isEmpty() && QFileInfo::exists(registered)) {
        const HRESULT hr = createFromLibrary(registered, clsid, iid, object);
        if (SUCCEEDED(hr))
            return hr;
    }
    const QString beside = defaultLibraries().value(key);
    if (!beside.isEmpty())
        return createFromLibrary(beside, clsid, iid, object);
    return REGDB_E_CLASSNOTREG;
}

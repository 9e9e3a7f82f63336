#include "request/http/mvarWGetCache.h"

#include "platform/com/RuntimeError.h"
#include "support/olvsupportfbe0100/olvsupportfbe0100.h"

namespace {
thread_local WGetCache cache;

QString join(const QString& folder, const QString& name)
{
    QString path;
    const QString none;
    checkStatus(sxBuildFileName2(folder, name, none, none, none, none, none, none, none, &path),
                "sxBuildFileName2");
    return path;
}
} // namespace

const WGetCache& InitWGetCache(bool force)
{
    if (!force && !cache.WGetEXEFileName.isEmpty() && !cache.WGetEXEDataPath.isEmpty())
        return cache;
    int major = 0, minor = 0;
    checkStatus(sxWindowsVersionMajor(&major), "sxWindowsVersionMajor");
    checkStatus(sxWindowsVersionMinor(&minor), "sxWindowsVersionMinor");

    QString module, folder;
    // Any address inside this library names it.
    checkStatus(sxGetModuleFileName(reinterpret_cast<const void*>(&InitWGetCache), -1, &module),
                "sxGetModuleFileName");
    checkStatus(sxGetFilePath(module, &folder), "sxGetFilePath");
    const QString base = join(folder, QStringLiteral("KWQT0100"));

    cache.WGetEXEDataPath = join(base, QStringLiteral("Data"));
    const bool modern = major > 5 || (major == 5 && minor > 0);
    cache.LegacyWGet = !modern;
    cache.WGetEXEFileName =
        join(join(base, modern ? QStringLiteral("Win51") : QStringLiteral("Win40")),
             QStringLiteral("wget"));
    return cache;
}

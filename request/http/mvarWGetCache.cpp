#include "request/http/mvarWGetCache.h"

#include "platform/com/RuntimeError.h"
#include "request/http/modCommon.h"
#include "support/olvsupportfbe0100/olvsupportfbe0100.h"

namespace {
thread_local WGetCache cache;
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
    const QString base = JoinFileName(folder, QStringLiteral("KWQT0100"));

    cache.WGetEXEDataPath = JoinFileName(base, QStringLiteral("Data"));
    const bool modern = major > 5 || (major == 5 && minor > 0);
    cache.LegacyWGet = !modern;
    cache.WGetEXEFileName =
        JoinFileName(JoinFileName(base, modern ? QStringLiteral("Win51") : QStringLiteral("Win40")),
                     QStringLiteral("wget"));
    return cache;
}

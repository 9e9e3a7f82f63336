#include "support/olvsupportfbe0100/olvsupportfbe0100.h"

#include "platform/com/ComTypes.h"
#include "platform/process/SystemVersion.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <cstdlib>
#include <dlfcn.h>
#include <unistd.h>

int sxGetRnd(int lower, int upper, int, int* result)
{
    if (!result || lower > upper)
        return -1;
    *result = static_cast<int>(QRandomGenerator::global()->bounded(static_cast<qint64>(lower),
                                                                   static_cast<qint64>(upper) + 1));
    return 0;
}

int sxHex1(unsigned char byte, QString* result)
{
    if (!result)
        return -1;
    *result = QStringLiteral("%1").arg(byte, 2, 16, QLatin1Char('0')).toUpper();
    return 0;
}

int sxGetTempFileName2(const QString& folder, const QString& prefix, QString* result)
{
    if (!result)
        return -1;
    const QString dir = folder.isEmpty() ? QDir::tempPath() : folder;
    QByteArray pattern = QFile::encodeName(QDir(dir).filePath(prefix + QStringLiteral("XXXXXX")));
    const int fd = mkstemp(pattern.data()); // exclusive, mode 0600
    if (fd < 0)
        return -1;
    ::close(fd);
    *result = QFile::decodeName(pattern);
    return 0;
}

int sxBuildFileName2(const QString& folder, const QString& name, const QString& part3,
                     const QString& part4, const QString& part5, const QString& part6,
                     const QString& part7, const QString& part8, const QString& part9,
                     QString* result)
{
    if (!result)
        return -1;
    QString path = folder;
    for (const QString* part : {&name, &part3, &part4, &part5, &part6, &part7, &part8, &part9}) {
        if (part->isEmpty())
            continue;
        while (path.endsWith(QLatin1Char('/')) && path.size() > 1)
            path.chop(1);
        QString piece = *part;
        while (piece.startsWith(QLatin1Char('/')))
            piece.remove(0, 1);
        path = path.isEmpty()                ? piece
               : path == QStringLiteral("/") ? path + piece
                                             : path + QLatin1Char('/') + piece;
    }
    *result = path;
    return 0;
}

int sxGetModuleFileName(const void* module, int, QString* result)
{
    if (!result)
        return -1;
    Dl_info info{};
    if (!module || dladdr(module, &info) == 0 || !info.dli_fname)
        return -1;
    *result = QFileInfo(QFile::decodeName(info.dli_fname)).absoluteFilePath();
    return 0;
}

int sxGetFilePath(const QString& path, QString* result)
{
    if (!result)
        return -1;
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    *result = slash < 0 ? QString() : slash == 0 ? QStringLiteral("/") : path.left(slash);
    return 0;
}

int sxIsFileExist(const QString& path, bool* result)
{
    if (!result)
        return -1;
    const QFileInfo info(path);
    *result = !path.isEmpty() && info.exists() && info.isFile();
    return 0;
}

int sxGetNewGUID(QString* result)
{
    if (!result)
        return -1;
    *result = guidToString(newGuid());
    return 0;
}

namespace {
int answer(bool value, bool* result)
{
    if (!result)
        return -1;
    *result = value;
    return 0;
}
} // namespace

// We run on the NT family only: the 9x tests answer false.
int sxIsHostWin95(bool* result)
{
    return answer(false, result);
}
int sxIsHostWin98(bool* result)
{
    return answer(false, result);
}
int sxIsHostWinME(bool* result)
{
    return answer(false, result);
}
int sxIsHostWin9x(bool* result)
{
    return answer(false, result);
}
int sxIsHostWinNT(bool* result)
{
    return answer(true, result);
}
// "32-bit program on a 64-bit system" never applies: we are built for the machine.
int sxIsHostWin64(bool* result)
{
    return answer(false, result);
}
int sxIsHostWin2000_OrHigher(bool* result)
{
    return answer(systemVersion().major >= 5, result);
}

int sxWindowsVersionMajor(int* result)
{
    if (!result)
        return -1;
    *result = systemVersion().major;
    return 0;
}

int sxWindowsVersionMinor(int* result)
{
    if (!result)
        return -1;
    *result = systemVersion().minor;
    return 0;
}

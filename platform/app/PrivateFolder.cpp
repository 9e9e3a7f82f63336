#include "platform/app/PrivateFolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

namespace {
bool fail(int code, int* error)
{
    if (error)
        *error = code;
    return false;
}
} // namespace

bool makePrivateFolder(const QString& path, int* error)
{
    const QString folder = QDir::cleanPath(path);
    const QString parent = QFileInfo(folder).path();
    // A parent that cannot be made shows in the error of the folder itself.
    if (parent != folder && !QFileInfo(parent).isDir())
        QDir().mkpath(parent);
    const QByteArray name = QFile::encodeName(folder);
    // Made 0700 at once, so it is never open to others even for a moment.
    if (::mkdir(name.constData(), S_IRWXU) != 0 && errno != EEXIST)
        return fail(errno, error);
    struct stat info = {};
    if (::stat(name.constData(), &info) != 0)
        return fail(errno, error);
    if (!S_ISDIR(info.st_mode))
        return fail(ENOTDIR, error);
    if ((info.st_mode & 077) != 0 && info.st_uid == ::geteuid() &&
        ::chmod(name.constData(), info.st_mode & S_IRWXU) != 0)
        return fail(errno, error);
    if (error)
        *error = 0;
    return true;
}

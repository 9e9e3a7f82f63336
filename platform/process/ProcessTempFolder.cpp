#include "platform/process/ProcessTempFolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStringList>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

namespace {
std::mutex g_mutex;
QStringList g_made; // folders made by this process, removed when it ends
pid_t g_owner = 0;

QString systemError()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

bool fail(QString* error, const QString& text)
{
    if (error)
        *error = text;
    return false;
}

// The system's temporary folder as an absolute path that exists: TMPDIR when it names
// one, else /tmp. Empty when neither can be used.
QString temporaryFolder()
{
    for (const QString& candidate : {qEnvironmentVariable("TMPDIR"), QStringLiteral("/tmp")}) {
        if (candidate.isEmpty())
            continue;
        const QFileInfo info(candidate);
        if (info.isDir())
            return QDir::cleanPath(info.absoluteFilePath());
    }
    return {};
}

// The runtime folder the desktop gave us, when it is usable: absolute, the user's own
// and closed to others.
QString runtimeFolder()
{
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    struct stat info = {};
    if (runtime.isEmpty() || !QDir::isAbsolutePath(runtime) ||
        ::stat(QFile::encodeName(runtime).constData(), &info) != 0 || !S_ISDIR(info.st_mode) ||
        info.st_uid != ::getuid() || (info.st_mode & 077) != 0)
        return {};
    return QDir::cleanPath(runtime);
}

// The folder exists (made now if need be), is a folder and not a link, is the user's
// own and nobody else may enter it.
bool privateFolder(const QString& path, QString* error)
{
    const QByteArray name = QFile::encodeName(path);
    if (::mkdir(name.constData(), 0700) != 0 && errno != EEXIST)
        return fail(error,
                    QStringLiteral("The folder %1 cannot be made: %2.").arg(path, systemError()));
    struct stat info = {};
    if (::lstat(name.constData(), &info) != 0)
        return fail(error,
                    QStringLiteral("The folder %1 cannot be read: %2.").arg(path, systemError()));
    if (!S_ISDIR(info.st_mode))
        return fail(error, QStringLiteral("%1 is not a folder.").arg(path));
    if (info.st_uid != ::getuid())
        return fail(error, QStringLiteral("The folder %1 belongs to another user.").arg(path));
    if ((info.st_mode & 077) != 0)
        return fail(error, QStringLiteral("The folder %1 is open to other users (mode %2).")
                               .arg(path)
                               .arg(info.st_mode & 0777, 3, 8, QLatin1Char('0')));
    return true;
}

// Where the user's private folder is to be: under the runtime folder where there is a
// usable one, else under the temporary folder.
QString basePath(bool runtime)
{
    if (runtime) {
        const QString folder = runtimeFolder();
        return folder.isEmpty() ? QString() : folder + QStringLiteral("/kwqt0100");
    }
    const QString folder = temporaryFolder();
    return folder.isEmpty() ? QString() : folder + QStringLiteral("/kwqt0100-%1").arg(::getuid());
}

QString baseFolder(QString* error)
{
    QString path = basePath(true);
    if (path.isEmpty())
        path = basePath(false);
    if (path.isEmpty()) {
        fail(error, QStringLiteral("There is no temporary folder: neither $TMPDIR nor /tmp is "
                                   "a folder."));
        return {};
    }
    return privateFolder(path, error) ? path : QString();
}

// The start time of a process in clock ticks after boot (field 22 of its stat file),
// or -1 when no such process runs.
qint64 startTimeOf(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray text = stat.readAll();
    // The name in parentheses may hold blanks and parentheses itself.
    const qsizetype close = text.lastIndexOf(')');
    if (close < 0)
        return -1;
    const QList<QByteArray> fields = text.mid(close + 2).split(' ');
    bool ok = false;
    const qint64 start = fields.value(19).toLongLong(&ok);
    return ok ? start : -1;
}

// Removes name below the open folder parent, and everything in it, never following a
// link.
void removeTree(int parent, const char* name)
{
    const int fd = ::openat(parent, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd >= 0) {
        if (DIR* folder = ::fdopendir(fd)) {
            while (const dirent* entry = ::readdir(folder)) {
                if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0)
                    continue;
                struct stat info = {};
                if (::fstatat(fd, entry->d_name, &info, AT_SYMLINK_NOFOLLOW) == 0 &&
                    S_ISDIR(info.st_mode))
                    removeTree(fd, entry->d_name);
                else
                    ::unlinkat(fd, entry->d_name, 0);
            }
            ::closedir(folder);
        } else {
            ::close(fd);
        }
    }
    ::unlinkat(parent, name, AT_REMOVEDIR);
}

void removeFolder(const QString& path)
{
    const QFileInfo info(path);
    const int parent =
        ::open(QFile::encodeName(info.path()).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (parent < 0)
        return;
    removeTree(parent, QFile::encodeName(info.fileName()).constData());
    ::close(parent);
}

// Removes the process folders in base whose process no longer runs.
int sweep(const QString& base)
{
    static const QRegularExpression name(QStringLiteral("^kwqt-(\\d+)-(\\d+)$"));
    const int fd = ::open(QFile::encodeName(base).constData(),
                          O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return 0;
    QList<QByteArray> stale;
    if (DIR* folder = ::fdopendir(::dup(fd))) {
        while (const dirent* entry = ::readdir(folder)) {
            const QRegularExpressionMatch match = name.match(QFile::decodeName(entry->d_name));
            if (!match.hasMatch())
                continue;
            const qint64 pid = match.captured(1).toLongLong();
            const qint64 start = match.captured(2).toLongLong();
            struct stat info = {};
            if (startTimeOf(pid) != start &&
                ::fstatat(fd, entry->d_name, &info, AT_SYMLINK_NOFOLLOW) == 0 &&
                S_ISDIR(info.st_mode) && info.st_uid == ::getuid())
                stale << QByteArray(entry->d_name);
        }
        ::closedir(folder);
    }
    for (const QByteArray& entry : stale)
        removeTree(fd, entry.constData());
    ::close(fd);
    return static_cast<int>(stale.size());
}

void removeAtExit()
{
    RemoveProcessTempFolder();
}
} // namespace

QString ProcessTempFolder(QString* error)
{
    const std::lock_guard<std::mutex> lock(g_mutex);
    const pid_t pid = ::getpid();
    static pid_t namedPid = 0;
    static QString name;
    if (namedPid != pid) {
        // A child made by fork owns nothing of its parent's.
        namedPid = g_owner = pid;
        name = QStringLiteral("kwqt-%1-%2").arg(pid).arg(startTimeOf(pid));
        g_made.clear();
    }
    // Every temporary file asks: a folder made before, still ours and closed to others,
    // is taken as it is (its base was checked when it was made).
    QString base = basePath(true);
    if (base.isEmpty())
        base = basePath(false);
    QString folder = base + QLatin1Char('/') + name;
    struct stat info = {};
    if (!base.isEmpty() && g_made.contains(folder) &&
        ::lstat(QFile::encodeName(folder).constData(), &info) == 0 && S_ISDIR(info.st_mode) &&
        info.st_uid == ::getuid() && (info.st_mode & 077) == 0)
        return folder;

    base = baseFolder(error);
    if (base.isEmpty())
        return {};
    folder = base + QLatin1Char('/') + name;
    sweep(base);
    // A folder of this name that we did not make is left from before a restart.
    if (!g_made.contains(folder) && ::lstat(QFile::encodeName(folder).constData(), &info) == 0)
        removeFolder(folder);
    if (!privateFolder(folder, error))
        return {};
    if (!g_made.contains(folder))
        g_made << folder;
    static const bool hooked = std::atexit(removeAtExit) == 0;
    (void)hooked;
    return folder;
}

QString UserTempFolder(QString* error)
{
    const std::lock_guard<std::mutex> lock(g_mutex);
    return baseFolder(error);
}

int RemoveStaleTempFolders()
{
    const std::lock_guard<std::mutex> lock(g_mutex);
    int removed = 0;
    // Both places: a session without a runtime folder may have left folders in the other.
    for (const bool runtime : {true, false}) {
        const QString base = basePath(runtime);
        if (!base.isEmpty() && QFileInfo(base).isDir() && privateFolder(base, nullptr))
            removed += sweep(base);
    }
    return removed;
}

void RemoveProcessTempFolder()
{
    const std::lock_guard<std::mutex> lock(g_mutex);
    if (g_owner != ::getpid())
        return;
    for (const QString& folder : std::as_const(g_made))
        removeFolder(folder);
    g_made.clear();
}

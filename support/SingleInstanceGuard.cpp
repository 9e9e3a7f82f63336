#include "support/SingleInstanceGuard.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QLockFile>
#include <QRegularExpression>
#include <QSocketNotifier>
#include <QStandardPaths>
#include <QThread>
#include <cstring>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {
// The first copy listens right after it takes the lock; a later copy that starts in
// between waits this long for it.
constexpr int ConnectWaitMs = 3000;

QString fileNameFor(const QString& key)
{
    QString name = key;
    name.remove(QRegularExpression(QStringLiteral("[^A-Za-z0-9_.-]")));
    return QStringLiteral("instance-") + name;
}

// The socket's address; false when the name is too long for one.
bool socketAddress(const QString& socketName, sockaddr_un* address)
{
    const QByteArray path = QFile::encodeName(socketName);
    *address = {};
    address->sun_family = AF_UNIX;
    if (path.size() >= static_cast<qsizetype>(sizeof address->sun_path))
        return false;
    std::memcpy(address->sun_path, path.constData(), static_cast<size_t>(path.size()));
    return true;
}

sockaddr* asAddress(sockaddr_un* address)
{
    return reinterpret_cast<sockaddr*>(address);
}
} // namespace

SingleInstanceGuard::SingleInstanceGuard(QObject* parent) : QObject(parent) {}

SingleInstanceGuard::~SingleInstanceGuard()
{
    delete m_notifier;
    if (m_listener >= 0) {
        ::close(m_listener);
        QFile::remove(m_socketName);
    }
}

bool SingleInstanceGuard::IsFirstInstance(const QString& key)
{
    if (m_lock)
        return true;
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    QDir().mkpath(folder);
    const QString base = QDir(folder).filePath(fileNameFor(key));

    auto lock = std::make_unique<QLockFile>(base + QStringLiteral(".lock"));
    // The lock stays ours for as long as we run; only a copy that has died leaves a
    // lock that another may take over.
    lock->setStaleLockTime(0);
    if (!lock->tryLock(0)) {
        if (lock->error() == QLockFile::LockFailedError) {
            askRunningCopy(base + QStringLiteral(".socket"));
            return false;
        }
        // No lock can be made at all (a read-only folder): do not stop the program.
        return true;
    }
    m_lock = std::move(lock);

    listen(base + QStringLiteral(".socket"));
    return true;
}

void SingleInstanceGuard::listen(const QString& socketName)
{
    sockaddr_un address;
    if (!socketAddress(socketName, &address))
        return;
    QFile::remove(socketName); // left by a copy that died
    const int listener = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (listener < 0)
        return;
    // Only this user may ask the running copy anything.
    const mode_t mask = ::umask(0077);
    const bool bound = ::bind(listener, asAddress(&address), sizeof address) == 0;
    ::umask(mask);
    if (!bound || ::listen(listener, 8) != 0) {
        ::close(listener);
        return;
    }
    m_listener = listener;
    m_socketName = socketName;
    m_notifier = new QSocketNotifier(listener, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, [this] {
        int connection;
        while ((connection = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC)) >= 0) {
            ::close(connection);
            if (m_handler)
                m_handler();
        }
    });
}

void SingleInstanceGuard::askRunningCopy(const QString& socketName)
{
    sockaddr_un address;
    if (!socketAddress(socketName, &address))
        return;
    const QDeadlineTimer deadline(ConnectWaitMs);
    while (true) {
        const int socket = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (socket < 0)
            return;
        if (::connect(socket, asAddress(&address), sizeof address) == 0) {
            const char request[] = "show\n";
            [[maybe_unused]] const ssize_t sent =
                ::send(socket, request, sizeof request - 1, MSG_NOSIGNAL);
            ::close(socket);
            return;
        }
        ::close(socket);
        if (deadline.hasExpired())
            return;
        QThread::msleep(50);
    }
}

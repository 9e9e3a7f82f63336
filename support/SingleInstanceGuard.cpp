#include "support/SingleInstanceGuard.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QThread>

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
} // namespace

SingleInstanceGuard::SingleInstanceGuard(QObject* parent) : QObject(parent) {}

SingleInstanceGuard::~SingleInstanceGuard()
{
    if (m_server)
        m_server->close();
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

    const QString socketName = base + QStringLiteral(".socket");
    QLocalServer::removeServer(socketName); // left by a copy that died
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    connect(m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* socket = m_server->nextPendingConnection()) {
            socket->disconnectFromServer();
            socket->deleteLater();
            if (m_handler)
                m_handler();
        }
    });
    m_server->listen(socketName);
    return true;
}

void SingleInstanceGuard::askRunningCopy(const QString& socketName)
{
    const QDeadlineTimer deadline(ConnectWaitMs);
    QLocalSocket socket;
    while (true) {
        socket.connectToServer(socketName);
        if (socket.waitForConnected(static_cast<int>(qMax<qint64>(deadline.remainingTime(), 1))))
            break;
        if (deadline.hasExpired())
            return;
        QThread::msleep(50);
    }
    socket.write("show\n");
    socket.waitForBytesWritten(1000);
    socket.disconnectFromServer();
}

// The plugin that keeps the user's protection key in the desktop's keychain (the
// Secret Service of GNOME Keyring or KWallet); see KeychainKey.h for the contract.
#include "platform/protect/KeychainPlugin.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QEventLoop>
#include <QFileInfo>
#include <QMutex>
#include <QThread>
#include <QTimer>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <qt6keychain/keychain.h>
#include <sodium.h>
#include <thread>

namespace {
const QString Service = QStringLiteral("Olvane data protection");
const QString KeyName = QStringLiteral("user key");
const QString SecretService = QStringLiteral("org.freedesktop.secrets");

int g_timeoutMs = 5000;

enum class State { Unknown, Available, Absent };
State g_state = State::Unknown;
QByteArray g_key;
QMutex g_mutex;

// A session bus is there to ask: an address, or the bus socket in the runtime folder.
// Without one we never let the D-Bus library try to start a bus of its own.
bool hasSessionBus()
{
    if (!qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS"))
        return true;
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    return !runtime.isEmpty() && QFileInfo::exists(runtime + QStringLiteral("/bus"));
}

// Connecting to the bus blocks inside the D-Bus library, with no limit of ours, so it
// happens on a thread of its own that we stop waiting for when it takes too long.
// A bus that did not answer in time is never touched again in this run.
bool secretServiceReachable()
{
    struct Probe
    {
        std::mutex mutex;
        std::condition_variable done;
        bool finished = false;
        bool reachable = false;
    };
    auto probe = std::make_shared<Probe>();
    std::thread([probe] {
        bool reachable = false;
        {
            QDBusConnection bus = QDBusConnection::sessionBus();
            if (bus.isConnected() && bus.interface()) {
                QDBusConnectionInterface* names = bus.interface();
                reachable = names->isServiceRegistered(SecretService).value() ||
                            names->activatableServiceNames().value().contains(SecretService);
            }
        }
        std::lock_guard lock(probe->mutex);
        probe->reachable = reachable;
        probe->finished = true;
        probe->done.notify_all();
    }).detach();
    std::unique_lock lock(probe->mutex);
    probe->done.wait_for(lock, std::chrono::milliseconds(g_timeoutMs),
                         [&] { return probe->finished; });
    return probe->finished && probe->reachable;
}

// Runs one keychain job to its end or to the time limit; false when it timed out.
bool runJob(QKeychain::Job* job)
{
    QEventLoop loop;
    bool finished = false;
    QObject::connect(job, &QKeychain::Job::finished, &loop, [&] {
        finished = true;
        loop.quit();
    });
    QTimer::singleShot(g_timeoutMs, &loop, &QEventLoop::quit);
    job->start();
    if (!finished)
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    return finished;
}

enum class Read { Found, Missing, Failed };

Read readKey(QByteArray* key, int size)
{
    QKeychain::ReadPasswordJob job(Service);
    job.setAutoDelete(false);
    job.setInsecureFallback(false);
    job.setKey(KeyName);
    if (!runJob(&job))
        return Read::Failed;
    if (job.error() == QKeychain::EntryNotFound)
        return Read::Missing;
    if (job.error() != QKeychain::NoError)
        return Read::Failed;
    const QByteArray stored = QByteArray::fromBase64(job.textData().toLatin1());
    if (stored.size() != size)
        return Read::Failed;
    *key = stored;
    return Read::Found;
}

bool writeKey(const QByteArray& key)
{
    QKeychain::WritePasswordJob job(Service);
    job.setAutoDelete(false);
    job.setInsecureFallback(false);
    job.setKey(KeyName);
    job.setTextData(QString::fromLatin1(key.toBase64()));
    return runJob(&job) && job.error() == QKeychain::NoError;
}

bool fetchKey(QByteArray* key, int size)
{
    if (!hasSessionBus() || !secretServiceReachable())
        return false;
    switch (readKey(key, size)) {
    case Read::Found:
        return true;
    case Read::Failed:
        return false;
    case Read::Missing:
        break;
    }
    QByteArray fresh(size, Qt::Uninitialized);
    randombytes_buf(fresh.data(), static_cast<size_t>(size));
    if (!writeKey(fresh))
        return false;
    // Read it back: when two copies created a key at once, both use the one kept.
    return readKey(key, size) == Read::Found;
}
} // namespace

extern "C" __attribute__((visibility("default"))) bool olvKeychainKey(QByteArray* key, int size,
                                                                      int timeoutMs)
{
    QMutexLocker lock(&g_mutex);
    g_timeoutMs = timeoutMs;
    if (g_state == State::Unknown) {
        // The keychain is asked through the event loop of the program's main thread.
        const QCoreApplication* app = QCoreApplication::instance();
        if (!app || QThread::currentThread() != app->thread())
            return false;
        g_state = fetchKey(&g_key, size) ? State::Available : State::Absent;
    }
    if (g_state != State::Available || g_key.size() != size)
        return false;
    *key = g_key;
    return true;
}

#pragma once
// SingleInstanceGuard: one running copy of a program per user and key. The first copy
// holds a lock in the user's runtime folder and listens on a local socket there; a
// later copy finds the lock, asks the first one to bring its window to the front and
// is told to end.
#include "support/ComponentsExport.h"

#include <QObject>
#include <functional>
#include <memory>

class QLockFile;
class QSocketNotifier;

class COMPONENTS_EXPORT SingleInstanceGuard : public QObject
{
public:
    explicit SingleInstanceGuard(QObject* parent = nullptr);
    ~SingleInstanceGuard() override;

    // True when no other running copy holds key (this copy then holds it until the
    // guard is destroyed). False when one does; it has been asked to show itself.
    bool IsFirstInstance(const QString& key);
    // Runs in the first copy each time a later copy starts.
    void setActivationHandler(std::function<void()> handler) { m_handler = std::move(handler); }

private:
    void askRunningCopy(const QString& socketName);
    void listen(const QString& socketName);

    std::unique_ptr<QLockFile> m_lock;
    // A Unix socket of our own: Qt Network would bring its libraries into every start.
    int m_listener = -1;
    QString m_socketName;
    QSocketNotifier* m_notifier = nullptr;
    std::function<void()> m_handler;
};

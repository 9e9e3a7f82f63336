#pragma once
// The sandbox Brivet service (tools/brivet-sandbox) as a child process of a test: each
// object runs its own server on a free port of 127.0.0.1 with its own database.
#include <QJsonArray>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

class SandboxServer
{
public:
    SandboxServer() = default;
    SandboxServer(const SandboxServer&) = delete;
    SandboxServer& operator=(const SandboxServer&) = delete;
    ~SandboxServer();

    // Starts the server with the given further options (--tls, --account, --fail-rate...)
    // and waits until it is ready. On failure returns false with the reason in *error.
    bool start(const QStringList& extraArgs = {}, QString* error = nullptr);
    // "http://127.0.0.1:<port>" or "https://..." once started.
    QString baseAddress() const { return m_baseAddress; }
    // The PEM file of the authority that signed the server's certificate (--tls only).
    QString caCertificate() const { return m_caCertificate; }
    // The "data" array of GET /v2/entries: the stored entries, oldest first.
    QJsonArray entries() const;
    // What the server wrote to standard error (its request log and any failure).
    QString log() const;
    void stop();

private:
    QProcess m_process;
    QTemporaryDir m_folder;
    QString m_baseAddress;
    QString m_caCertificate;
};

#include "tests/sandbox/SandboxServer.h"

#include "tests/TestSupport.h"

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QSslCertificate>
#include <QSslConfiguration>

namespace {
// Making the TLS authority with openssl takes a moment on a busy machine.
constexpr int StartSeconds = 60;
const QString ReadyPrefix = QStringLiteral("Brivet sandbox ready: ");
const QString CaPrefix = QStringLiteral("CA certificate: ");
} // namespace

SandboxServer::~SandboxServer()
{
    stop();
}

bool SandboxServer::start(const QStringList& extraArgs, QString* error)
{
    const auto fail = [&](const QString& reason) {
        if (error)
            *error = reason + QStringLiteral("\n") + log();
        stop();
        return false;
    };
    if (m_process.state() != QProcess::NotRunning)
        return fail(QStringLiteral("the sandbox is already running"));
    if (!m_folder.isValid())
        return fail(QStringLiteral("no temporary folder for the sandbox"));
    QStringList arguments{sourceFolder() +
                          QStringLiteral("/tools/brivet-sandbox/brivet_sandbox.py")};
    if (!extraArgs.contains(QStringLiteral("--port")))
        arguments << QStringLiteral("--port") << QStringLiteral("0");
    if (!extraArgs.contains(QStringLiteral("--db")))
        arguments << QStringLiteral("--db") << m_folder.filePath(QStringLiteral("entries.sqlite"));
    arguments << extraArgs;
    // The log goes to a file: a pipe nobody reads while a test waits on wget would fill
    // up and stall the server.
    m_process.setStandardErrorFile(m_folder.filePath(QStringLiteral("sandbox.log")));
    m_process.start(QStringLiteral("python3"), arguments);
    if (!m_process.waitForStarted(StartSeconds * 1000))
        return fail(QStringLiteral("python3 did not start: ") + m_process.errorString());
    const QDeadlineTimer deadline(StartSeconds * 1000);
    while (m_baseAddress.isEmpty()) {
        while (!m_process.canReadLine()) {
            if (m_process.state() == QProcess::NotRunning)
                return fail(QStringLiteral("the sandbox ended before it was ready"));
            if (deadline.hasExpired())
                return fail(QStringLiteral("the sandbox was not ready in time"));
            m_process.waitForReadyRead(100);
        }
        const QString line = QString::fromUtf8(m_process.readLine()).trimmed();
        if (line.startsWith(CaPrefix))
            m_caCertificate = line.mid(CaPrefix.size());
        else if (line.startsWith(ReadyPrefix))
            m_baseAddress = line.mid(ReadyPrefix.size());
    }
    return true;
}

QJsonArray SandboxServer::entries() const
{
    if (m_baseAddress.isEmpty())
        return {};
    QNetworkAccessManager manager;
    QNetworkRequest request(QUrl(m_baseAddress + QStringLiteral("/v2/entries")));
    if (!m_caCertificate.isEmpty()) {
        QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
        tls.setCaCertificates(QSslCertificate::fromPath(m_caCertificate));
        request.setSslConfiguration(tls);
    }
    request.setTransferTimeout(30000);
    QNetworkReply* reply = manager.get(request);
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    loop.exec();
    const QByteArray body = reply->readAll();
    const bool ok = reply->error() == QNetworkReply::NoError;
    if (!ok)
        qWarning("sandbox entries: %s", qPrintable(reply->errorString()));
    reply->deleteLater();
    return ok ? QJsonDocument::fromJson(body).object().value(QStringLiteral("data")).toArray()
              : QJsonArray{};
}

QString SandboxServer::log() const
{
    QFile file(m_folder.filePath(QStringLiteral("sandbox.log")));
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

void SandboxServer::stop()
{
    if (m_process.state() != QProcess::NotRunning) {
        m_process.terminate();
        if (!m_process.waitForFinished(10000)) {
            m_process.kill();
            m_process.waitForFinished(5000);
        }
    }
    m_baseAddress.clear();
    m_caCertificate.clear();
}

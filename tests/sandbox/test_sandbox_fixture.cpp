// The sandbox fixture that the service tests build on: start, address, TLS authority,
// entries read back, and a clean stop.
#include "tests/sandbox/SandboxServer.h"

#include "tests/TestSupport.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <gtest/gtest.h>

namespace {
const QString UserAgent = QStringLiteral(
    "Mozilla/5.0 (Windows NT 6.1; Win64; x64; rv:109.0) Gecko/20100101 Firefox/115.0");

// Logs on as the demo account and posts one entry with plain wget; returns wget's output.
QByteArray wget(const SandboxServer& sandbox, const QString& path, const QString& body,
                const QStringList& headers, const QString& referer)
{
    const QString bodyFile = writeTestFile(QStringLiteral("body.json"), body.toUtf8());
    QStringList arguments{QStringLiteral("-q"),
                          QStringLiteral("-O-"),
                          QStringLiteral("--content-on-error"),
                          QStringLiteral("--method=POST"),
                          QStringLiteral("--body-file=") + bodyFile,
                          QStringLiteral("--user-agent=") + UserAgent,
                          QStringLiteral("--referer=") + referer};
    if (!sandbox.caCertificate().isEmpty())
        arguments << QStringLiteral("--ca-certificate=") + sandbox.caCertificate();
    for (const QString& header : headers)
        arguments << QStringLiteral("--header=") + header;
    arguments << sandbox.baseAddress() + path;
    QProcess process;
    process.start(QStringLiteral("wget"), arguments);
    process.waitForFinished(60000);
    return process.readAllStandardOutput();
}

void postOneEntry(const SandboxServer& sandbox)
{
    const QString base = sandbox.baseAddress();
    const QStringList headers{QStringLiteral("Content-Type: application/vnd.api+json"),
                              QStringLiteral("Origin: ") + base};
    const QByteArray session =
        wget(sandbox, QStringLiteral("/v2/sessions?nonce=1234567890123"),
             QStringLiteral(R"({"data":{"type":"sessions","attributes":{"password":"demo",)"
                            R"("email":"demo@brivet.example","action":"login"}}})"),
             headers, base);
    const QString token = QJsonDocument::fromJson(session)
                              .object()[QStringLiteral("data")][QStringLiteral("attributes")]
                                       [QStringLiteral("access-token")]
                              .toString();
    ASSERT_FALSE(token.isEmpty()) << session.constData();
    const QByteArray entry =
        wget(sandbox, QStringLiteral("/v2/entries?nonce=2234567890123"),
             QStringLiteral(R"({"data":{"type":"entries","attributes":{"content":"Привет",)"
                            R"("title":"One","state":"published","tags":[],"settings":)"
                            R"({"permissions":{"access":[],"comments":[]}}},"relationships":)"
                            R"({"profile":{"data":{"type":"profiles","id":"100001"}}}},)"
                            R"("included":[{"type":"profiles","id":"100001","attributes":{}}]})"),
             headers + QStringList{QStringLiteral("Authorization: Bearer ") + token},
             base + QStringLiteral("/blog/demo/0/edit"));
    ASSERT_TRUE(entry.contains("\"id\":\"1\"")) << entry.constData();
}
} // namespace

TEST(SandboxFixture, StoresWhatWgetSendsOverHttpAndHttps)
{
    for (const bool tls : {false, true}) {
        SCOPED_TRACE(tls ? "https" : "http");
        SandboxServer sandbox;
        QString error;
        ASSERT_TRUE(
            sandbox.start(tls ? QStringList{QStringLiteral("--tls")} : QStringList{}, &error))
            << error.toStdString();
        EXPECT_TRUE(sandbox.baseAddress().startsWith(tls ? QStringLiteral("https://127.0.0.1:")
                                                         : QStringLiteral("http://127.0.0.1:")));
        EXPECT_EQ(sandbox.caCertificate().isEmpty(), !tls);
        EXPECT_TRUE(sandbox.entries().isEmpty());
        postOneEntry(sandbox);
        const QJsonArray entries = sandbox.entries();
        ASSERT_EQ(entries.size(), 1);
        const QJsonObject entry = entries[0].toObject();
        EXPECT_EQ(entry[QStringLiteral("title")].toString(), QStringLiteral("One"));
        EXPECT_EQ(entry[QStringLiteral("content")].toString(), QStringLiteral("Привет"));
        EXPECT_FALSE(entry[QStringLiteral("adult")].toBool());
        EXPECT_TRUE(entry[QStringLiteral("feed")].toBool());
        sandbox.stop();
        EXPECT_TRUE(sandbox.baseAddress().isEmpty());
    }
}

TEST(SandboxFixture, ReportsWhyItCouldNotStart)
{
    SandboxServer sandbox;
    QString error;
    EXPECT_FALSE(sandbox.start({QStringLiteral("--fail-rate"), QStringLiteral("7")}, &error));
    EXPECT_TRUE(error.contains(QStringLiteral("--fail-rate"))) << error.toStdString();
}

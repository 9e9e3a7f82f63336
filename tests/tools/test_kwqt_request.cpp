#include "tests/TestSupport.h"
#include "tests/request/RequestFixtures.h"

#include <QFile>
#include <QProcess>
#include <gtest/gtest.h>

namespace {
struct Outcome
{
    int exitCode;
    QByteArray out, err;
};

Outcome kwqtRequest(const QStringList& arguments)
{
    QProcess process;
    process.start(QStringLiteral(KWQT_REQUEST), arguments);
    process.waitForFinished(60000);
    return {process.exitCode(), process.readAllStandardOutput(), process.readAllStandardError()};
}
} // namespace

TEST(KwqtRequest, SendsTheRequestAndReportsTheResult)
{
    TestServer server;
    const QString body = writeTestFile(QStringLiteral("cli-body.txt"), "hello body");
    Outcome run = kwqtRequest(
        {QStringLiteral("--proxy"), QStringLiteral("direct"), QStringLiteral("--method"),
         QStringLiteral("PUT"), QStringLiteral("--data"), body, QStringLiteral("--header"),
         QStringLiteral("X-One: 1"), QStringLiteral("--header"), QStringLiteral("X-Two: 2"),
         QStringLiteral("--proxy-password"), QStringLiteral("p\"w"), QStringLiteral("--password"),
         QStringLiteral("secret"), server.url(QStringLiteral("/echo"))});
    EXPECT_EQ(run.exitCode, 0) << run.err.constData();
    EXPECT_TRUE(run.out.startsWith("METHOD PUT\n"));
    EXPECT_TRUE(run.out.endsWith("\n\nhello body"));
    EXPECT_LT(run.out.indexOf("X-One: 1"), run.out.indexOf("X-Two: 2"));
    EXPECT_TRUE(run.err.startsWith(
        "LastRC=0\nWGetReturnCode=0\nWin32ErrorCode=0\nReceivedDataFileName=\nWGetCommandLine=\""));
    EXPECT_TRUE(run.err.contains("--password=\"***\""));
    EXPECT_FALSE(run.err.contains("secret"));

    const QString jar = testFolder() + QStringLiteral("/cli-cookies.txt");
    run =
        kwqtRequest({QStringLiteral("--proxy"), QStringLiteral("direct"),
                     QStringLiteral("--cookies"), jar, server.url(QStringLiteral("/cookies/set"))});
    EXPECT_EQ(run.exitCode, 0);
    run = kwqtRequest({QStringLiteral("--proxy"), QStringLiteral("direct"),
                       QStringLiteral("--cookies"), jar,
                       server.url(QStringLiteral("/cookies/echo"))});
    EXPECT_TRUE(run.out.contains("session=abc123")) << run.out.constData();

    run = kwqtRequest({QStringLiteral("--proxy"), QStringLiteral("direct"),
                       server.url(QStringLiteral("/status/500"))});
    EXPECT_EQ(run.exitCode, 6);
    EXPECT_EQ(run.out, QByteArray("error body 500"));
}

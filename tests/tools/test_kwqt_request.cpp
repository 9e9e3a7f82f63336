#include "tests/TestSupport.h"
#include "tests/request/RequestFixtures.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QProcessEnvironment>
#include <gtest/gtest.h>

namespace {
struct Outcome
{
    int exitCode;
    QByteArray out, err;
};

Outcome kwqtRequest(const QStringList& arguments,
                    const QList<std::pair<QString, QString>>& environment = {})
{
    QProcess process;
    QProcessEnvironment variables = QProcessEnvironment::systemEnvironment();
    for (const auto& [name, value] : environment)
        variables.insert(name, value);
    process.setProcessEnvironment(variables);
    process.start(QStringLiteral(KWQT_REQUEST), arguments);
    process.waitForFinished(60000);
    return {process.exitCode(), process.readAllStandardOutput(), process.readAllStandardError()};
}
} // namespace

TEST(KwqtRequest, SendsTheRequestAndReportsTheResult)
{
    TestServer server;
    const QString body = writeTestFile(QStringLiteral("cli-body.txt"), "hello body");
    Outcome run = kwqtRequest({QStringLiteral("--proxy"), QStringLiteral("direct"),
                               QStringLiteral("--method"), QStringLiteral("PUT"),
                               QStringLiteral("--data"), body, QStringLiteral("--header"),
                               QStringLiteral("X-One: 1"), QStringLiteral("--header"),
                               QStringLiteral("X-Two: 2"), server.url(QStringLiteral("/echo"))},
                              {{QStringLiteral("KWQT_PROXY_PASSWORD"), QStringLiteral("p\"w")},
                               {QStringLiteral("KWQT_PASSWORD"), QStringLiteral("secret")}});
    EXPECT_EQ(run.exitCode, 0) << run.err.constData();
    EXPECT_TRUE(run.out.startsWith("METHOD PUT\n"));
    EXPECT_TRUE(run.out.endsWith("\n\nhello body"));
    EXPECT_LT(run.out.indexOf("X-One: 1"), run.out.indexOf("X-Two: 2"));
    EXPECT_TRUE(run.err.startsWith(
        "LastRC=0\nWGetReturnCode=0\nWin32ErrorCode=0\nReceivedDataFileName=\nWGetCommandLine=\""));
    EXPECT_FALSE(run.err.contains("--password")); // passwords go to wget by a file
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

TEST(KwqtRequest, PostsFormsBuiltByTheComponent)
{
    TestServer server;
    QByteArray bytes;
    for (int i = 0; i < 256; ++i)
        bytes += static_cast<char>(i);
    const QString file = writeTestFile(QStringLiteral("picture.png"), bytes);
    Outcome run = kwqtRequest(
        {QStringLiteral("--proxy"), QStringLiteral("direct"), QStringLiteral("--form"),
         QStringLiteral("title=Привет = hi"), QStringLiteral("--form-file"),
         QStringLiteral("upload=") + file + QStringLiteral(";type=image/png"),
         QStringLiteral("--form"), QStringLiteral("last="), server.url(QStringLiteral("/form"))});
    ASSERT_EQ(run.exitCode, 0) << run.err.constData();
    const QJsonArray parts =
        QJsonDocument::fromJson(run.out).object().value(QStringLiteral("parts")).toArray();
    ASSERT_EQ(parts.size(), 3) << run.out.constData();
    const auto data = [&](int i) {
        return QByteArray::fromHex(
            parts[i].toObject().value(QStringLiteral("data")).toString().toLatin1());
    };
    EXPECT_EQ(QString::fromUtf8(data(0)), QStringLiteral("Привет = hi"));
    EXPECT_EQ(parts[1].toObject().value(QStringLiteral("filename")).toString(),
              QStringLiteral("picture.png"));
    EXPECT_EQ(parts[1].toObject().value(QStringLiteral("type")).toString(),
              QStringLiteral("image/png"));
    EXPECT_EQ(data(1), bytes);
    EXPECT_EQ(parts[2].toObject().value(QStringLiteral("name")).toString(), QStringLiteral("last"));
    EXPECT_TRUE(data(2).isEmpty());

    run = kwqtRequest({QStringLiteral("--proxy"), QStringLiteral("direct"),
                       QStringLiteral("--urlencode"), QStringLiteral("a b=x&y"),
                       QStringLiteral("--urlencode"), QStringLiteral("t=Ж"),
                       server.url(QStringLiteral("/echo"))});
    ASSERT_EQ(run.exitCode, 0) << run.err.constData();
    EXPECT_TRUE(run.out.startsWith("METHOD POST\n"));
    EXPECT_TRUE(run.out.contains("\nContent-type: application/x-www-form-urlencoded\n"));
    EXPECT_TRUE(run.out.endsWith("\n\na%20b=x%26y&t=%D0%96"));

    for (const QStringList& wrong :
         {QStringList{QStringLiteral("--form"), QStringLiteral("novalue")},
          QStringList{QStringLiteral("--form-file"), QStringLiteral("f=/no/such/file")},
          QStringList{QStringLiteral("--form"), QStringLiteral("a=1"),
                      QStringLiteral("--urlencode"), QStringLiteral("b=2")}}) {
        run = kwqtRequest(wrong + QStringList{server.url(QStringLiteral("/echo"))});
        EXPECT_EQ(run.exitCode, 99) << wrong.join(QLatin1Char(' ')).toStdString();
        EXPECT_TRUE(run.out.isEmpty());
    }
}

TEST(KwqtRequest, JarNamesTimeOutsAndAddressesAreTakenAsMeant)
{
    TestServer server;
    const QStringList direct{QStringLiteral("--proxy"), QStringLiteral("direct")};
    // A cookie value with bytes of the system code page beyond ASCII (Windows-1252 here).
    const QByteArray cookie = "127.0.0.1\tFALSE\t/\tFALSE\t0\tname\tcaf\xe9\x80\r\n";
    const QString jar = writeTestFile(QStringLiteral("cli-jar.txt"), cookie);
    Outcome run = kwqtRequest(direct + QStringList{QStringLiteral("--cookies"), jar,
                                                   server.url(QStringLiteral("/cookies/echo"))});
    ASSERT_EQ(run.exitCode, 0) << run.err.constData();
    EXPECT_EQ(run.out, QByteArray("name=caf\xe9\x80"));
    QFile written(jar);
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    EXPECT_EQ(written.readAll(), cookie);

    run = kwqtRequest(direct + QStringList{QStringLiteral("--urlencode"), QStringLiteral("имя€=1"),
                                           server.url(QStringLiteral("/echo"))});
    ASSERT_EQ(run.exitCode, 0) << run.err.constData();
    EXPECT_TRUE(run.out.endsWith("\n\n%D0%B8%D0%BC%D1%8F%E2%82%AC=1")) << run.out.constData();

    for (const char* wrong : {"5s", "", "1.5", "ten"}) {
        run = kwqtRequest(direct + QStringList{QStringLiteral("--timeout"),
                                               QString::fromLatin1(wrong),
                                               server.url(QStringLiteral("/echo"))});
        EXPECT_EQ(run.exitCode, 99) << wrong;
        EXPECT_TRUE(run.err.contains("--timeout")) << wrong;
        EXPECT_TRUE(run.out.isEmpty()) << wrong;
    }
    run = kwqtRequest(direct + QStringList{QStringLiteral("--timeout"), QStringLiteral("5"),
                                           server.url(QStringLiteral("/echo"))});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_TRUE(run.err.contains("--timeout=5 "));

    QString address = server.url(QStringLiteral("/auth/echo"));
    address.replace(QStringLiteral("://"), QStringLiteral("://someone:url-secret@"));
    run = kwqtRequest(direct + QStringList{address});
    EXPECT_EQ(run.exitCode, 0) << run.err.constData();
    EXPECT_TRUE(run.out.contains("Authorization: Basic ")) << run.out.constData();
    EXPECT_TRUE(run.err.contains("://someone:***@127.0.0.1")) << run.err.constData();
    EXPECT_FALSE(run.err.contains("url-secret"));
}

TEST(KwqtRequest, PasswordsComeFromFilesOrTheEnvironmentAndAnArgumentIsWarnedAbout)
{
    TestServer server;
    const QStringList common{QStringLiteral("--proxy"), QStringLiteral("direct"),
                             QStringLiteral("--user"), QStringLiteral("someone")};
    const QString file = writeTestFile(QStringLiteral("server-password"), "file-secret\n");
    QFile::setPermissions(file, QFile::ReadOwner | QFile::WriteOwner);
    const QString variable = QStringLiteral("KWQT_PASSWORD");
    struct Case
    {
        QStringList arguments;
        QList<std::pair<QString, QString>> environment;
        QByteArray password;
        bool warned;
    };
    const Case cases[] = {
        {{QStringLiteral("--password-file"), file},
         {{variable, QStringLiteral("env")}},
         "file-secret",
         false},
        {{}, {{variable, QStringLiteral("env-secret")}}, "env-secret", false},
        {{QStringLiteral("--password"), QStringLiteral("arg-secret")}, {}, "arg-secret", true},
    };
    for (const Case& c : cases) {
        const Outcome run = kwqtRequest(common + c.arguments +
                                            QStringList{server.url(QStringLiteral("/auth/echo"))},
                                        c.environment);
        EXPECT_EQ(run.exitCode, 0) << run.err.constData();
        EXPECT_TRUE(
            run.out.contains("Authorization: Basic " + ("someone:" + c.password).toBase64() + "\n"))
            << run.out.constData();
        EXPECT_EQ(run.err.contains("kwqt-request: warning: --password stands on the command "
                                   "line"),
                  c.warned)
            << run.err.constData();
        EXPECT_FALSE(run.err.contains(c.password));
    }
    const Outcome both =
        kwqtRequest(common + QStringList{QStringLiteral("--password"), QStringLiteral("a"),
                                         QStringLiteral("--password-file"), file,
                                         server.url(QStringLiteral("/echo"))});
    EXPECT_EQ(both.exitCode, 99);
    EXPECT_TRUE(both.out.isEmpty());

    // The proxy's password, from the environment and from a file.
    TinyProxy tinyproxy("BasicAuth proxyuser pass1word\n");
    const QStringList viaProxy{QStringLiteral("--proxy"),          QStringLiteral("proxy"),
                               QStringLiteral("--http-proxy"),     tinyproxy.address(),
                               QStringLiteral("--proxy-user"),     QStringLiteral("proxyuser"),
                               server.url(QStringLiteral("/echo"))};
    Outcome run = kwqtRequest(
        viaProxy, {{QStringLiteral("KWQT_PROXY_PASSWORD"), QStringLiteral("pass1word")}});
    EXPECT_EQ(run.exitCode, 0) << run.err.constData();
    EXPECT_TRUE(run.out.contains("Via: ")) << run.out.constData();
    const QString wrong = writeTestFile(QStringLiteral("proxy-password"), "wrong\n");
    run = kwqtRequest(QStringList{QStringLiteral("--proxy-password-file"), wrong} + viaProxy);
    EXPECT_EQ(run.exitCode, 6) << run.err.constData();
    EXPECT_TRUE(run.err.contains("warning: other users can read")) << run.err.constData();
}

TEST(KwqtRequest, LimitsStopAnswersThatNeverEnd)
{
    TestServer server;
    Outcome run = kwqtRequest({QStringLiteral("--max-time"), QStringLiteral("1"),
                               server.url(QStringLiteral("/trickle/200"))});
    EXPECT_EQ(run.exitCode, reeTimeLimitReached) << run.err.constData();
    run = kwqtRequest({QStringLiteral("--max-filesize"), QStringLiteral("100000"),
                       server.url(QStringLiteral("/endless"))});
    EXPECT_EQ(run.exitCode, reeReceivedDataLimitReached) << run.err.constData();
    EXPECT_TRUE(run.out.isEmpty());
    run = kwqtRequest({QStringLiteral("--max-filesize"), QStringLiteral("100000"),
                       QStringLiteral("--max-time"), QStringLiteral("30"),
                       server.url(QStringLiteral("/bytes/100000"))});
    EXPECT_EQ(run.exitCode, 0) << run.err.constData();
    EXPECT_EQ(run.out.size(), 100000);
    for (const char* wrong : {"0", "-3", "1.5", "many"}) {
        run = kwqtRequest({QStringLiteral("--max-time"), QString::fromLatin1(wrong),
                           server.url(QStringLiteral("/echo"))});
        EXPECT_EQ(run.exitCode, 99) << wrong;
        EXPECT_TRUE(run.err.contains("--max-time takes a whole number above 0")) << wrong;
    }
}

TEST(KwqtRequest, TheResponseComesAsItWasAndMessagesShowControlCharactersEscaped)
{
    const QByteArray hostile = "\x1b]0;pwned\x07\rLastRC=0\r\n\x9b";
    const QString reply = writeTestFile(QStringLiteral("hostile.txt"), hostile);
    QProcess server;
    server.start(QStringLiteral("python3"),
                 {sourceFolder() + QStringLiteral("/tests/service/reply_server.py"), reply,
                  QStringLiteral("500")});
    ASSERT_TRUE(server.waitForReadyRead(10000));
    const QString port = QString::fromLatin1(server.readLine()).trimmed().mid(5);
    const QString missing = testFolder() + QStringLiteral("/no\x1b[2Jsuch");
    const Outcome run = kwqtRequest({QStringLiteral("--proxy"), QStringLiteral("direct"),
                                     QStringLiteral("--method"), QStringLiteral("POST"),
                                     QStringLiteral("http://127.0.0.1:") + port});
    const Outcome refused = kwqtRequest(
        {QStringLiteral("--data"), missing, QStringLiteral("http://127.0.0.1:") + port});
    server.kill();
    server.waitForFinished();
    EXPECT_EQ(run.exitCode, 6) << run.err.constData();
    EXPECT_EQ(run.out, hostile); // printed on purpose, byte for byte
    EXPECT_TRUE(run.err.contains("\nLastRC=6\n") || run.err.startsWith("LastRC=6\n"));
    EXPECT_TRUE(run.err.contains("awaiting response... 500")) << run.err.constData();
    EXPECT_EQ(refused.exitCode, 99);
    EXPECT_TRUE(refused.err.contains("no\\x1B[2Jsuch")) << refused.err.constData();
    for (const QByteArray& err : {run.err, refused.err})
        for (const char c : err)
            EXPECT_TRUE(c == '\n' || static_cast<unsigned char>(c) >= 0x20) << int(c);
}

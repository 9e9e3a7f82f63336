// Requests against servers that misbehave on purpose, all on 127.0.0.1 with real wget:
// answers that never end, redirects that would carry secrets elsewhere.
#include "platform/com/DispatchTable.h"
#include "platform/process/TerminationSignals.h"
#include "poster/service/ErrorReporter.h"
#include "tests/TestSupport.h"
#include "tests/request/RequestFixtures.h"

#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QUrl>
#include <csignal>
#include <gtest/gtest.h>
#include <thread>
#include <unistd.h>

namespace {
QString u(const char* text)
{
    return QString::fromUtf8(text);
}

// What the server received so far (its /seen page).
QString seenBy(const TestServer& server)
{
    const auto request = newRequest();
    request->put_URL(server.url(u("/seen")));
    request->put_NoCookies(VARIANT_TRUE);
    EXPECT_EQ(execute(request.get()), reeSuccess);
    return QString::fromLatin1(receivedDataOf(request.get()));
}

// wget processes whose parent is this process.
int wgetChildren()
{
    int found = 0;
    const QString parent = QString::number(::getpid());
    for (const QString& entry : QDir(u("/proc")).entryList(QDir::Dirs)) {
        QFile stat(u("/proc/") + entry + u("/stat"));
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        const QString text = QString::fromLatin1(stat.readAll());
        const qsizetype close = text.lastIndexOf(u')');
        const QString name = text.mid(text.indexOf(u'(') + 1, close - text.indexOf(u'(') - 1);
        const QStringList rest = text.mid(close + 2).split(u' ');
        if (name == u("wget") && rest.value(1) == parent)
            ++found;
    }
    return found;
}

// Files below the folders where the component keeps its temporary files.
QStringList temporaryFiles()
{
    QStringList files;
    for (const QByteArray& variable : {QByteArray("XDG_RUNTIME_DIR"), QByteArray("TMPDIR")}) {
        const QString folder = qEnvironmentVariable(variable.constData());
        if (folder.isEmpty())
            continue;
        QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
        while (it.hasNext())
            files << it.next();
    }
    return files;
}

QString errorText(_olvHTTPRequestHT* request)
{
    return ErrorReporter::RequestErrorText(request, u("Can't send post."));
}
} // namespace

class Limits : public ::testing::Test
{
protected:
    void SetUp() override
    {
        // The system's temporary folder as a folder of this test's own, so that what
        // other programs keep there does not count.
        QDir().mkpath(testFolder() + u("/tmp"));
        qputenv("TMPDIR", QFile::encodeName(testFolder() + u("/tmp")));
        m_filesBefore = temporaryFiles();
    }
    // The run's files went with it, and wget with them.
    void expectNothingLeft()
    {
        EXPECT_EQ(temporaryFiles(), m_filesBefore);
        EXPECT_EQ(wgetChildren(), 0);
    }

    TestServer m_server;
    QStringList m_filesBefore;
};

TEST_F(Limits, ATricklingAnswerIsStoppedAtTheTimeLimit)
{
    const auto request = newRequest();
    request->put_URL(m_server.url(u("/trickle/300")));
    request->put_TimeLimit(2);
    QElapsedTimer timer;
    timer.start();
    EXPECT_EQ(execute(request.get()), reeTimeLimitReached);
    EXPECT_GE(timer.elapsed(), 1900);
    EXPECT_LT(timer.elapsed(), 6000);
    EXPECT_TRUE(receivedDataOf(request.get()).isEmpty());
    expectNothingLeft();
    EXPECT_TRUE(errorText(request.get()).contains(u("did not finish its answer within 2 seconds")))
        << errorText(request.get()).toStdString();
}

TEST_F(Limits, AnEndlessAnswerIsStoppedAtTheSizeLimit)
{
    for (const bool handedOut : {false, true}) {
        const auto request = newRequest();
        request->put_URL(m_server.url(u("/endless")));
        request->put_ReceivedDataLimit(1 << 20);
        request->put_ReturnReceivedDataFileName(toVariantBool(handedOut));
        request->put_CookiesData(u("127.0.0.1\tFALSE\t/\tFALSE\t0\tkept\tyes\r\n"));
        QElapsedTimer timer;
        timer.start();
        EXPECT_EQ(execute(request.get()), reeReceivedDataLimitReached);
        EXPECT_LT(timer.elapsed(), 5000);
        EXPECT_TRUE(receivedDataOf(request.get()).isEmpty());
        QString handedName;
        request->get_ReceivedDataFileName(&handedName);
        EXPECT_TRUE(handedName.isEmpty());
        // A broken-off run leaves the jar as it was.
        EXPECT_EQ(cookiesOf(request.get()), u("127.0.0.1\tFALSE\t/\tFALSE\t0\tkept\tyes\r\n"));
        expectNothingLeft();
        EXPECT_TRUE(errorText(request.get()).contains(u("answered with more than 1 MB")))
            << errorText(request.get()).toStdString();
    }
}

TEST_F(Limits, AnswersWithinTheLimitsArriveWhole)
{
    struct Case
    {
        const char* path;
        std::int32_t sizeLimit;
        RequestExecuteError_Const expected;
    };
    for (const Case& c : {Case{"/bytes/1048576", 1 << 20, reeSuccess},
                          Case{"/bytes/1048577", 1 << 20, reeReceivedDataLimitReached},
                          Case{"/bytes/3000000", 0, reeSuccess}, Case{"/bytes/0", 1, reeSuccess},
                          Case{"/bytes/100", 1000, reeSuccess}}) {
        const auto request = newRequest();
        request->put_URL(m_server.url(u(c.path)));
        request->put_ReceivedDataLimit(c.sizeLimit);
        request->put_TimeLimit(60);
        EXPECT_EQ(execute(request.get()), c.expected) << c.path << " " << c.sizeLimit;
        if (c.expected == reeSuccess) {
            EXPECT_EQ(receivedDataOf(request.get()).size(), QString(u(c.path)).mid(7).toInt());
        }
    }
}

TEST_F(Limits, ANewObjectHasNoLimitsAndTheLimitsCanBeReachedByName)
{
    const auto request = newRequest();
    std::int32_t time = -5, size = -5;
    request->get_TimeLimit(&time);
    request->get_ReceivedDataLimit(&size);
    EXPECT_EQ(time, 0);
    EXPECT_EQ(size, 0);
    callByName(request.get(), u("TimeLimit"), InvokeKind::PropertyPut, {7});
    callByName(request.get(), u("ReceivedDataLimit"), InvokeKind::PropertyPut, {4096});
    request->get_TimeLimit(&time);
    request->get_ReceivedDataLimit(&size);
    EXPECT_EQ(time, 7);
    EXPECT_EQ(size, 4096);
    QStringList names;
    request->GetPropertyNames(&names);
    // New members come last; the others keep their places.
    EXPECT_EQ(names.mid(names.size() - 2), QStringList({u("TimeLimit"), u("ReceivedDataLimit")}));
    EXPECT_LT(names.indexOf(u("NoHourglassCursor")), names.indexOf(u("TimeLimit")));
}

// A program told to end stops the request in flight and starts no other.
TEST_F(Limits, ATerminationSignalStopsTheRequestInFlight)
{
    InstallTerminationHandlers();
    const auto request = newRequest();
    request->put_URL(m_server.url(u("/trickle/200")));
    std::thread signaller([] {
        std::this_thread::sleep_for(std::chrono::milliseconds(700));
        ::kill(::getpid(), SIGTERM);
    });
    QElapsedTimer timer;
    timer.start();
    EXPECT_EQ(execute(request.get()), reeCancelled);
    signaller.join();
    EXPECT_LT(timer.elapsed(), 5000);
    EXPECT_TRUE(TerminationRequested());
    expectNothingLeft();

    const auto next = newRequest();
    next->put_URL(m_server.url(u("/echo")));
    EXPECT_EQ(execute(next.get()), reeCancelled);
    EXPECT_TRUE(commandLineOf(next.get()).isEmpty()); // wget never started
    SimulateTermination(0);
    EXPECT_EQ(execute(next.get()), reeSuccess);
}

class Redirects : public ::testing::Test
{
protected:
    // An address on the redirecting server that sends the request on to the other one.
    QString redirecting(int code) const
    {
        return m_first.url(u("/redirect/%1?to=").arg(code)) +
               QString::fromLatin1(QUrl::toPercentEncoding(m_other.url(u("/echo/landed"))));
    }

    TestServer m_first, m_other;
};

TEST_F(Redirects, RequestsWithCredentialsOrABodyFollowNoRedirect)
{
    struct Case
    {
        const char* what;
        std::function<void(_olvHTTPRequestHT*)> prepare;
    };
    const auto header = [](const char* line) {
        return [line](_olvHTTPRequestHT* request) {
            ComPtr<ICollection> headers;
            request->get_AdditionalHeaders(headers.put());
            headers->Add(u("Accept: */*"));
            headers->Add(u(line));
        };
    };
    const QList<Case> cases = {
        {"bearer token", header("Authorization: Bearer secret-token")},
        {"proxy credentials", header("Proxy-Authorization: Basic c2VjcmV0")},
        {"cookie line", header("cookie: session=secret")},
        {"server password",
         [](_olvHTTPRequestHT* request) {
             request->put_ServerUserName(u("user"));
             request->put_ServerPassword(u("secret"));
         }},
        {"body",
         [](_olvHTTPRequestHT* request) {
             request->put_HTTPVerb(u("POST"));
             request->put_OptionalData("{\"password\":\"secret\"}");
         }},
    };
    for (const int code : {301, 302, 307, 308}) {
        for (const Case& c : cases) {
            const auto request = newRequest();
            request->put_URL(redirecting(code));
            c.prepare(request.get());
            EXPECT_EQ(execute(request.get()), reeWGetReturnsError) << c.what << " " << code;
            EXPECT_TRUE(commandLineOf(request.get()).contains(u("--max-redirect=0 ")));
            const QString text = errorText(request.get());
            EXPECT_TRUE(text.contains(u("answered with a redirect (HTTP %1").arg(code)))
                << text.toStdString();
            EXPECT_TRUE(text.contains(m_other.url(u("/echo/landed")))) << text.toStdString();
        }
    }
    EXPECT_EQ(seenBy(m_other), QString());
    // An address with a password in it is a credential too.
    QUrl withPassword(redirecting(302));
    withPassword.setUserInfo(u("user:secret"));
    const auto request = newRequest();
    request->put_URL(withPassword.toString());
    EXPECT_EQ(execute(request.get()), reeWGetReturnsError);
    EXPECT_EQ(seenBy(m_other), QString());
}

TEST_F(Redirects, PlainRequestsFollowRedirectsAsBefore)
{
    for (const int code : {301, 302, 307}) {
        const auto request = newRequest();
        request->put_URL(redirecting(code));
        ComPtr<ICollection> headers;
        request->get_AdditionalHeaders(headers.put());
        headers->Add(u("Accept: text/plain"));
        request->put_CookiesData(u("127.0.0.1\tFALSE\t/\tFALSE\t0\tjar\tcookie\r\n"));
        EXPECT_EQ(execute(request.get()), reeSuccess) << code;
        EXPECT_FALSE(commandLineOf(request.get()).contains(u("--max-redirect")));
        EXPECT_TRUE(receivedDataOf(request.get()).startsWith("METHOD GET\nPATH /echo/landed\n"));
    }
}

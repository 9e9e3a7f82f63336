// One request end to end: real wget against real servers on 127.0.0.1.
#include "platform/com/DispatchTable.h"
#include "platform/com/ErrorInfo.h"
#include "platform/net/SystemProxy.h"
#include "platform/process/CommandLine.h"
#include "platform/process/ProcessTempFolder.h"
#include "platform/process/SystemVersion.h"
#include "request/http/modCommon.h"
#include "request/http/mvarWGetCache.h"
#include "request/http/olvHTTPRequestHT.h"
#include "tests/TestSupport.h"
#include "tests/request/RequestFixtures.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <atomic>
#include <csignal>
#include <cstdlib>
#include <functional>
#include <gtest/gtest.h>
#include <mutex>
#include <sys/resource.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {
// wget's temporary files go to this process's own folder (below the test's runtime
// folder), so that none is missed.
QString temporaryFolder()
{
    return ProcessTempFolder();
}

QStringList temporaryFiles()
{
    return QDir(temporaryFolder()).entryList(QDir::Files);
}

QString valueOf(const QStringList& argv, const QString& option)
{
    for (const QString& argument : argv)
        if (argument.startsWith(option + QLatin1Char('=')))
            return argument.mid(option.size() + 1);
    return {};
}

QString q(const QString& name, const QString& value)
{
    return name + QStringLiteral("=\"") + EscapeArgument(value) + QStringLiteral("\" ");
}

QString stringOf(HRESULT (_olvHTTPRequestHT::*getter)(QString*), _olvHTTPRequestHT* request)
{
    QString value;
    (request->*getter)(&value);
    return value;
}

ComPtr<_ProxySettings> directProxy()
{
    ComPtr<_ProxySettings> proxy = newProxySettings();
    proxy->put_AccessType(atDirect);
    return proxy;
}

// A request that goes straight to the test server.
ComPtr<_olvHTTPRequestHT> directRequest(const QString& url)
{
    ComPtr<_olvHTTPRequestHT> request = newRequest();
    request->put_URL(url);
    request->putref_ProxySettings(directProxy().get());
    return request;
}

// Watches /proc for wget children of this process while a request runs, and keeps what
// any local user could read of them: the argument list, and the mode of the file that
// --config names.
class WgetWatcher
{
public:
    WgetWatcher()
        : m_thread([this] {
              while (!m_stop) {
                  look();
                  std::this_thread::sleep_for(std::chrono::milliseconds(5));
              }
          })
    {
    }
    ~WgetWatcher() { stop(); }
    void stop()
    {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
    }
    QList<QByteArrayList> arguments() const
    {
        std::lock_guard lock(m_mutex);
        return m_arguments;
    }
    QList<mode_t> configModes() const
    {
        std::lock_guard lock(m_mutex);
        return m_modes;
    }

private:
    void look()
    {
        const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs);
        for (const QString& entry : entries) {
            bool isPid = false;
            entry.toInt(&isPid);
            if (!isPid)
                continue;
            QFile stat(QStringLiteral("/proc/%1/stat").arg(entry));
            if (!stat.open(QIODevice::ReadOnly))
                continue;
            const QByteArray text = stat.readAll();
            const QByteArrayList fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
            if (fields.size() < 2 || fields.at(1).toInt() != getpid())
                continue;
            QFile cmdline(QStringLiteral("/proc/%1/cmdline").arg(entry));
            if (!cmdline.open(QIODevice::ReadOnly))
                continue;
            const QByteArrayList argv = cmdline.readAll().split('\0');
            if (argv.isEmpty() || !argv.first().endsWith("/wget"))
                continue; // not yet wget, or already gone
            std::lock_guard lock(m_mutex);
            if (!m_arguments.contains(argv))
                m_arguments << argv;
            for (const QByteArray& argument : argv) {
                struct stat info
                {
                };
                if (argument.startsWith("--config=") &&
                    ::stat(argument.mid(9).constData(), &info) == 0)
                    m_modes << (info.st_mode & 0777);
            }
        }
    }

    std::atomic<bool> m_stop{false};
    mutable std::mutex m_mutex;
    QList<QByteArrayList> m_arguments;
    QList<mode_t> m_modes;
    std::thread m_thread;
};

class RequestExecute : public ::testing::Test
{
protected:
    static void SetUpTestSuite() { temporaryFolder(); }
};
} // namespace

TEST_F(RequestExecute, ANewObjectHoldsItsDefaults)
{
    ComPtr<_olvHTTPRequestHT> request = newRequest();
    std::int32_t timeout = 0;
    request->get_Timeout(&timeout);
    EXPECT_EQ(timeout, -1);
    RequestExecuteError_Const rc = reeUnknownError;
    request->get_LastRC(&rc);
    EXPECT_EQ(rc, reeSuccess);
    EXPECT_TRUE(receivedDataOf(request.get()).isEmpty());
    EXPECT_TRUE(stringOf(&_olvHTTPRequestHT::get_UserAgent, request.get())
                    .startsWith(QStringLiteral("Mozilla/4.0 (compatible; Windows NT ")));
    ComPtr<_ProxySettings> proxy;
    request->get_ProxySettings(proxy.put());
    EXPECT_FALSE(proxy);
    ComPtr<ICollection> headers;
    request->get_AdditionalHeaders(headers.put());
    ASSERT_TRUE(headers);
    EXPECT_EQ(headers->Count(), 0);
    EXPECT_TRUE(stringOf(&_olvHTTPRequestHT::get_WGetEXEFileName, request.get())
                    .endsWith(QStringLiteral("/KWQT0100/Win51/wget")));
    EXPECT_TRUE(stringOf(&_olvHTTPRequestHT::get_WGetEXEDataPath, request.get())
                    .endsWith(QStringLiteral("/KWQT0100/Data")));
}

TEST_F(RequestExecute, NoAddressNoRun)
{
    ComPtr<_olvHTTPRequestHT> request = newRequest();
    EXPECT_EQ(execute(request.get()), reeURLNotSpecified);
    EXPECT_TRUE(receivedDataOf(request.get()).isEmpty());
    EXPECT_TRUE(outputLogOf(request.get()).isEmpty());
    EXPECT_TRUE(commandLineOf(request.get()).isEmpty());
    EXPECT_TRUE(temporaryFiles().isEmpty());
}

TEST_F(RequestExecute, TheCommandLineStandsAsDesigned)
{
    TestServer server;
    ComPtr<_olvHTTPRequestHT> request = newRequest();
    request->put_URL(server.url(QStringLiteral("/echo")));
    ComPtr<_ProxySettings> proxy = directProxy();
    request->putref_ProxySettings(proxy.get());
    ASSERT_EQ(execute(request.get()), reeSuccess) << outputLogOf(request.get()).toStdString();

    const QString line = commandLineOf(request.get());
    const QStringList argv = splitCommandLine(line);
    const QString e = stringOf(&_olvHTTPRequestHT::get_WGetEXEFileName, request.get());
    const QString d = stringOf(&_olvHTTPRequestHT::get_WGetEXEDataPath, request.get());
    const QString k = valueOf(argv, QStringLiteral("--load-cookies"));
    const QString expected =
        QLatin1Char('"') + e + QStringLiteral("\" ") +
        q(QStringLiteral("--output-file"), valueOf(argv, QStringLiteral("--output-file"))) +
        q(QStringLiteral("--output-document"), valueOf(argv, QStringLiteral("--output-document"))) +
        q(QStringLiteral("--user-agent"),
          stringOf(&_olvHTTPRequestHT::get_UserAgent, request.get())) +
        QStringLiteral("--compression=auto --no-netrc --no-hsts ") +
        q(QStringLiteral("--config"), d + QStringLiteral("/wget.cfg")) +
        q(QStringLiteral("--ca-certificate"), d + QStringLiteral("/curl-ca-bundle.crt")) +
        q(QStringLiteral("--ca-directory"), d + QStringLiteral("/ca")) +
        q(QStringLiteral("--load-cookies"), k) + q(QStringLiteral("--save-cookies"), k) +
        QStringLiteral("--keep-session-cookies --content-on-error ") +
        QStringLiteral("--execute=\"use_proxy=no\" --no-proxy ") + QLatin1Char('"') +
        server.url(QStringLiteral("/echo")) + QLatin1Char('"');
    EXPECT_EQ(line, expected);
    EXPECT_TRUE(k.startsWith(temporaryFolder() + QStringLiteral("/TMP")));

    // The same object again: outputs are reset, and the files of both runs stay until
    // the object goes, readable only by the user.
    ASSERT_EQ(execute(request.get()), reeSuccess);
    EXPECT_EQ(temporaryFiles().size(), 6);
    for (const QString& name : temporaryFiles())
        EXPECT_EQ(QFileInfo(temporaryFolder() + QLatin1Char('/') + name).permissions() &
                      (QFile::ReadGroup | QFile::ReadOther),
                  0);
    request.reset();
    EXPECT_TRUE(temporaryFiles().isEmpty());
}

TEST_F(RequestExecute, OptionsFollowTheProperties)
{
    TestServer server;
    ComPtr<_olvHTTPRequestHT> request = directRequest(server.url(QStringLiteral("/echo")));
    request->put_Timeout(0);
    request->put_DisableCompression(VARIANT_TRUE);
    request->put_Referer(QStringLiteral("http://ref/\"x\""));
    request->put_HTTPVerb(QStringLiteral("patch"));
    request->put_ServerUserName(QStringLiteral("user"));
    request->put_ServerPassword(QStringLiteral("pa\\\"ss\\"));
    request->put_IgnoreCertificateErrors(VARIANT_TRUE);
    request->put_NoCookies(VARIANT_TRUE);
    request->put_CookiesData(QStringLiteral("kept"));
    request->put_OptionalData(QByteArray("ignored"));
    request->put_UseOptionalDataFileName(VARIANT_TRUE); // with no file name: no body at all
    ComPtr<ICollection> headers = newCollection();
    headers->Add(QStringLiteral("X-First: 1"));
    headers->Add(QString());
    headers->Add(QStringLiteral("X-Third: \"3\""));
    request->putref_AdditionalHeaders(headers.get());
    ASSERT_EQ(execute(request.get()), reeSuccess) << outputLogOf(request.get()).toStdString();

    const QString line = commandLineOf(request.get());
    EXPECT_TRUE(line.contains(QStringLiteral("--compression=none --no-netrc")));
    EXPECT_TRUE(line.contains(
        QStringLiteral("\" --timeout=0 --referer=\"http://ref/\\\"x\\\"\" --method=\"patch\" "
                       "--user=\"user\" --no-check-certificate ")));
    EXPECT_FALSE(line.contains(QStringLiteral("--password"))); // it goes by the options file
    EXPECT_TRUE(
        line.contains(QStringLiteral("--no-cookies --header=\"X-First: 1\" --header=\"X-Third: "
                                     "\\\"3\\\"\" --max-redirect=0 --content-on-error ")));
    EXPECT_FALSE(line.contains(QStringLiteral("--body-file")));
    EXPECT_EQ(cookiesOf(request.get()), QStringLiteral("kept"));

    const QByteArray echo = receivedDataOf(request.get());
    EXPECT_TRUE(echo.startsWith("METHOD PATCH\n")) << echo.constData(); // wget sends it upper-cased
    EXPECT_TRUE(echo.contains("Referer: http://ref/\"x\"\n"));
    const qsizetype first = echo.indexOf("X-First: 1"), third = echo.indexOf("X-Third: \"3\"");
    EXPECT_TRUE(first > 0 && third > first);

    request->put_Timeout(-1);
    request->putref_AdditionalHeaders(nullptr);
    ASSERT_EQ(execute(request.get()), reeSuccess);
    EXPECT_FALSE(commandLineOf(request.get()).contains(QStringLiteral("--timeout")));
    EXPECT_FALSE(commandLineOf(request.get()).contains(QStringLiteral("--header")));
}

TEST_F(RequestExecute, BodiesArriveByteForByte)
{
    TestServer server;
    QByteArray body;
    for (int i = 0; i < 70000; ++i)
        body.append(static_cast<char>(i * 7 % 256));
    ComPtr<_olvHTTPRequestHT> request = directRequest(server.url(QStringLiteral("/echo/post")));
    request->put_HTTPVerb(QStringLiteral("POST"));
    request->put_OptionalData(body);
    ASSERT_EQ(execute(request.get()), reeSuccess);
    QByteArray echo = receivedDataOf(request.get());
    EXPECT_TRUE(echo.startsWith("METHOD POST\nPATH /echo/post\n"));
    EXPECT_TRUE(echo.endsWith("\n\n" + body));

    const QString file = writeTestFile(QStringLiteral("put-body.bin"), body.left(1000));
    ComPtr<_olvHTTPRequestHT> put = directRequest(server.url(QStringLiteral("/echo")));
    put->put_HTTPVerb(QStringLiteral("PUT"));
    put->put_OptionalDataFileName(file);
    put->put_UseOptionalDataFileName(VARIANT_TRUE);
    ASSERT_EQ(execute(put.get()), reeSuccess);
    echo = receivedDataOf(put.get());
    EXPECT_TRUE(echo.startsWith("METHOD PUT\n"));
    EXPECT_TRUE(echo.endsWith("\n\n" + body.left(1000)));
    put.reset();
    EXPECT_TRUE(QFile::exists(file)); // the caller's own body file is never deleted
}

TEST_F(RequestExecute, AnErrorStatusStillDeliversItsBody)
{
    TestServer server;
    ComPtr<_olvHTTPRequestHT> request = directRequest(server.url(QStringLiteral("/status/404")));
    EXPECT_EQ(execute(request.get()), reeWGetReturnsError);
    std::int32_t code = 0;
    request->get_WGetReturnCode(&code);
    EXPECT_EQ(code, 8);
    EXPECT_EQ(receivedDataOf(request.get()), QByteArray("error body 404"));
    EXPECT_TRUE(outputLogOf(request.get()).contains(QStringLiteral("404")));
    EXPECT_FALSE(outputLogOf(request.get()).contains(QLatin1Char('\n')) &&
                 outputLogOf(request.get()).count(QStringLiteral("\r\n")) == 0);
}

TEST_F(RequestExecute, TheCookieJarRoundTripsSessionCookiesToo)
{
    TestServer server;
    ComPtr<_olvHTTPRequestHT> first = directRequest(server.url(QStringLiteral("/cookies/set")));
    ASSERT_EQ(execute(first.get()), reeSuccess);
    const QString jar = cookiesOf(first.get());
    EXPECT_TRUE(jar.contains(QStringLiteral("\tsession\tabc123\r\n"))) << jar.toStdString();
    EXPECT_TRUE(jar.contains(QStringLiteral("\tpersistent\txyz\r\n")));
    EXPECT_FALSE(jar.contains(QLatin1Char('#')));

    ComPtr<_olvHTTPRequestHT> second = directRequest(server.url(QStringLiteral("/cookies/echo")));
    second->put_CookiesData(jar);
    ASSERT_EQ(execute(second.get()), reeSuccess);
    const QByteArray sent = receivedDataOf(second.get());
    EXPECT_TRUE(sent.contains("session=abc123")) << sent.constData();
    EXPECT_TRUE(sent.contains("persistent=xyz"));
}

TEST_F(RequestExecute, CertificatesAreCheckedUnlessToldOtherwise)
{
    TestServer server(true);
    ComPtr<_olvHTTPRequestHT> request = directRequest(server.url(QStringLiteral("/echo")));
    EXPECT_EQ(execute(request.get()), reeWGetReturnsError);
    EXPECT_TRUE(
        outputLogOf(request.get()).contains(QStringLiteral("certificate"), Qt::CaseInsensitive))
        << outputLogOf(request.get()).toStdString();
    request->put_IgnoreCertificateErrors(VARIANT_TRUE);
    EXPECT_EQ(execute(request.get()), reeSuccess) << outputLogOf(request.get()).toStdString();
    EXPECT_TRUE(receivedDataOf(request.get()).startsWith("METHOD GET\n"));
}

TEST_F(RequestExecute, ProxiesAreUsedOnlyWhenChosen)
{
    TestServer server;
    TinyProxy tinyproxy;
    ComPtr<_olvHTTPRequestHT> request = newRequest();
    request->put_URL(server.url(QStringLiteral("/echo")));
    ComPtr<_ProxySettings> proxy = newProxySettings();
    request->putref_ProxySettings(proxy.get());

    proxy->put_AccessType(atProxy);
    proxy->put_HTTP_Address(tinyproxy.address());
    ASSERT_EQ(execute(request.get()), reeSuccess) << outputLogOf(request.get()).toStdString();
    EXPECT_TRUE(receivedDataOf(request.get()).contains("Via: "))
        << receivedDataOf(request.get()).constData();

    proxy->put_AccessType(atDirect);
    ASSERT_EQ(execute(request.get()), reeSuccess);
    EXPECT_FALSE(receivedDataOf(request.get()).contains("Via: "));

    proxy->put_AccessType(atSystem);
    setenv("http_proxy", (QStringLiteral("http://") + tinyproxy.address()).toLatin1().constData(),
           1);
    const RequestExecuteError_Const rc = execute(request.get());
    unsetenv("http_proxy");
    ASSERT_EQ(rc, reeSuccess);
    EXPECT_TRUE(receivedDataOf(request.get()).contains("Via: "));
    EXPECT_TRUE(commandLineOf(request.get())
                    .contains(QStringLiteral("--execute=\"http_proxy=") + tinyproxy.address()));

    // With no ProxySettings a default one (the system's configuration) is used, and
    // the property stays nothing.
    request->putref_ProxySettings(nullptr);
    ASSERT_EQ(execute(request.get()), reeSuccess);
    EXPECT_FALSE(receivedDataOf(request.get()).contains("Via: "));
    ComPtr<_ProxySettings> none;
    request->get_ProxySettings(none.put());
    EXPECT_FALSE(none);
}

TEST_F(RequestExecute, TheResponseFileCanBeHandedOut)
{
    TestServer server;
    ComPtr<_olvHTTPRequestHT> request = directRequest(server.url(QStringLiteral("/echo")));
    request->put_ReturnReceivedDataFileName(VARIANT_TRUE);
    ASSERT_EQ(execute(request.get()), reeSuccess);
    const QString file = stringOf(&_olvHTTPRequestHT::get_ReceivedDataFileName, request.get());
    EXPECT_TRUE(receivedDataOf(request.get()).isEmpty());
    request->put_ReturnReceivedDataFileName(VARIANT_FALSE);
    ASSERT_EQ(execute(request.get()), reeSuccess);
    EXPECT_EQ(stringOf(&_olvHTTPRequestHT::get_ReceivedDataFileName, request.get()), file);
    request.reset();
    // It outlives the process too: it stays in the user's private folder, not in the
    // process's own.
    EXPECT_TRUE(temporaryFiles().isEmpty());
    EXPECT_EQ(QFileInfo(file).path(), UserTempFolder());
    EXPECT_EQ(QFileInfo(file).permissions() & (QFile::ReadGroup | QFile::ReadOther), 0);
    QFile response(file);
    ASSERT_TRUE(response.open(QIODevice::ReadOnly));
    EXPECT_TRUE(response.readAll().startsWith("METHOD GET\n"));
    response.remove();
}

TEST_F(RequestExecute, WritesThatFailGiveTheirResultCodes)
{
    TestServer server;
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    rlimit small = saved;
    small.rlim_cur = 8; // the cookie header and the body are longer
    setrlimit(RLIMIT_FSIZE, &small);
    ComPtr<_olvHTTPRequestHT> cookies = directRequest(server.url(QStringLiteral("/echo")));
    const RequestExecuteError_Const cookieResult = execute(cookies.get());
    ComPtr<_olvHTTPRequestHT> body = directRequest(server.url(QStringLiteral("/echo")));
    body->put_NoCookies(VARIANT_TRUE);
    body->put_OptionalData(QByteArray(100, 'b'));
    const RequestExecuteError_Const bodyResult = execute(body.get());
    setrlimit(RLIMIT_FSIZE, &saved);
    EXPECT_EQ(cookieResult, reeCookieFileWriteError);
    EXPECT_EQ(bodyResult, reeOptionalDataFileWriteError);
    EXPECT_TRUE(commandLineOf(body.get()).isEmpty());
}

TEST_F(RequestExecute, MissingOrMisbehavingWgetGivesItsResultCode)
{
    TestServer server;
    const struct
    {
        const char* name;
        QByteArray script;
        RequestExecuteError_Const rc;
    } cases[] = {
        {"none", QByteArray(), reeCantRunWGet},
        {"nolog",
         "for a; do case \"$a\" in --output-file=*) rm -f \"${a#--output-file=}\";; esac; done\n",
         reeLogFileReadError},
        {"noresponse",
         "for a; do case \"$a\" in --output-document=*) rm -f \"${a#--output-document=}\";; esac; "
         "done\n",
         reeResultFileReadError},
        {"nocookies",
         "for a; do case \"$a\" in --save-cookies=*) rm -f \"${a#--save-cookies=}\";; esac; "
         "done\nexit 4\n",
         reeCookieFileReadError},
        {"fails",
         "for a; do case \"$a\" in --output-document=*) echo partial > "
         "\"${a#--output-document=}\";; "
         "--save-cookies=*) printf 'c\\tFALSE\\t/\\tFALSE\\t0\\tk\\tv\\n' >> "
         "\"${a#--save-cookies=}\";; esac; done\nexit 4\n",
         reeWGetReturnsError},
    };
    for (const auto& c : cases) {
        ComPtr<_olvHTTPRequestHT> request = requestWithWget(QString::fromLatin1(c.name), c.script);
        request->put_URL(server.url(QStringLiteral("/echo")));
        request->put_CookiesData(QStringLiteral("old\r\n"));
        EXPECT_EQ(execute(request.get()), c.rc) << c.name;
        std::int32_t error = -1, code = -1;
        request->get_Win32ErrorCode(&error);
        request->get_WGetReturnCode(&code);
        if (c.rc == reeCantRunWGet) {
            EXPECT_EQ(error, 2);
            EXPECT_EQ(code, 0);
            EXPECT_EQ(cookiesOf(request.get()), QStringLiteral("old\r\n"));
        } else {
            EXPECT_EQ(error, 0) << c.name;
        }
        if (c.rc == reeCookieFileReadError) {
            EXPECT_TRUE(cookiesOf(request.get()).isEmpty());
        }
        if (c.rc == reeWGetReturnsError) {
            EXPECT_EQ(receivedDataOf(request.get()), QByteArray("partial\n"));
            EXPECT_EQ(cookiesOf(request.get()),
                      QStringLiteral("old\r\nc\tFALSE\t/\tFALSE\t0\tk\tv\r\n"));
        }
    }
}

TEST_F(RequestExecute, ARaisedErrorLeavesUnknownError)
{
    ComPtr<_olvHTTPRequestHT> request = directRequest(QStringLiteral("http://127.0.0.1:9/"));
    const QByteArray saved = qgetenv("TMPDIR"), runtime = qgetenv("XDG_RUNTIME_DIR");
    // A folder where no file can be made, not even by root.
    qputenv("TMPDIR", "/proc");
    qunsetenv("XDG_RUNTIME_DIR");
    RequestExecuteError_Const rc = reeSuccess;
    const HRESULT hr = request->Execute(&rc);
    qputenv("TMPDIR", saved);
    qputenv("XDG_RUNTIME_DIR", runtime);
    EXPECT_EQ(hr, DISP_E_EXCEPTION);
    const auto error = takeErrorInfo();
    ASSERT_TRUE(error);
    EXPECT_EQ(error->source(), QStringLiteral("olvHTTPRequestHT"));
    EXPECT_TRUE(error->description().contains(QStringLiteral("/proc/kwqt0100-")))
        << error->description().toStdString();
    request->get_LastRC(&rc);
    EXPECT_EQ(rc, reeUnknownError);
}

TEST_F(RequestExecute, HomePointsAtTheDataFolderDuringTheRun)
{
    const QString seen = testFolder() + QStringLiteral("/home-seen.txt");
    ComPtr<_olvHTTPRequestHT> request =
        requestWithWget(QStringLiteral("home"), "echo \"HOME=$HOME WGETRC=${WGETRC:-none}\" > '" +
                                                    seen.toLocal8Bit() + "'\n");
    request->put_URL(QStringLiteral("http://127.0.0.1:9/"));
    const QByteArray home = qgetenv("HOME");
    execute(request.get());
    EXPECT_EQ(qgetenv("HOME"), home);
    QFile file(seen);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(
        file.readAll().trimmed(),
        "HOME=" + stringOf(&_olvHTTPRequestHT::get_WGetEXEDataPath, request.get()).toLocal8Bit() +
            " WGETRC=none");
}

TEST_F(RequestExecute, TheLegacyBuildTakesItsConfigurationFromTheEnvironment)
{
    TestServer server;
    setSystemVersion({5, 0});
    InitWGetCache(true);
    auto request = ComPtr<olvHTTPRequestHT>::adopt(new olvHTTPRequestHT);
    setSystemVersion({});
    InitWGetCache(true);
    request->put_NoHourglassCursor(VARIANT_TRUE);
    EXPECT_TRUE(stringOf(&_olvHTTPRequestHT::get_WGetEXEFileName, request.get())
                    .endsWith(QStringLiteral("/Win40/wget")));
    request->put_URL(server.url(QStringLiteral("/echo")));
    request->putref_ProxySettings(directProxy().get());
    request->put_OptionalData(QByteArray("legacy body"));

    request->put_HTTPVerb(QStringLiteral(" post "));
    ASSERT_EQ(execute(request.get()), reeSuccess) << outputLogOf(request.get()).toStdString();
    const QString line = commandLineOf(request.get());
    for (const char* absent :
         {"--compression", "--no-netrc", "--no-hsts", "--config", "--method", "--body-file"})
        EXPECT_FALSE(line.contains(QString::fromLatin1(absent))) << absent;
    EXPECT_TRUE(line.contains(QStringLiteral("--post-file=")));
    EXPECT_TRUE(receivedDataOf(request.get()).startsWith("METHOD POST\n"));
    EXPECT_TRUE(receivedDataOf(request.get()).endsWith("\n\nlegacy body"));
    EXPECT_EQ(std::getenv("WGETRC"), nullptr);

    request->put_HTTPVerb(QStringLiteral("PUT")); // wget of that age cannot send it at all
    ASSERT_EQ(execute(request.get()), reeSuccess);
    EXPECT_FALSE(commandLineOf(request.get()).contains(QStringLiteral("--post-file=")));
    EXPECT_FALSE(commandLineOf(request.get()).contains(QStringLiteral("--body-file=")));
    EXPECT_TRUE(receivedDataOf(request.get()).startsWith("METHOD GET\n"));
}

TEST_F(RequestExecute, MembersCanBeReachedByName)
{
    ComPtr<_olvHTTPRequestHT> request = newRequest();
    callByName(request.get(), QStringLiteral("URL"), InvokeKind::PropertyPut, {QString()});
    EXPECT_EQ(callByName(request.get(), QStringLiteral("Execute"), InvokeKind::Method).toInt(),
              reeURLNotSpecified);
    EXPECT_EQ(callByName(request.get(), QStringLiteral("LastRC"), InvokeKind::PropertyGet).toInt(),
              reeURLNotSpecified);
    callByName(request.get(), QStringLiteral("Timeout"), InvokeKind::PropertyPut, {30});
    std::int32_t timeout = 0;
    request->get_Timeout(&timeout);
    EXPECT_EQ(timeout, 30);
    IUnknown* headers =
        callByName(request.get(), QStringLiteral("AdditionalHeaders"), InvokeKind::PropertyGet)
            .value<IUnknown*>();
    EXPECT_TRUE(ComPtr<IUnknown>::share(headers).as<ICollection>());
    QStringList names;
    request->GetPropertyNames(&names);
    EXPECT_TRUE(names.contains(QStringLiteral("ServerPassword")));
    EXPECT_FALSE(names.contains(QStringLiteral("OutputLog"))); // read-only
}

TEST_F(RequestExecute, SecretsNeverStandOnTheCommandLine)
{
    TestServer server;
    // The server stands as its own proxy, slowly, so that wget can be watched running.
    ComPtr<_olvHTTPRequestHT> request = newRequest();
    request->put_URL(server.url(QStringLiteral("/slow/300/echo")));
    ComPtr<_ProxySettings> proxy = newProxySettings();
    proxy->put_AccessType(atProxy);
    proxy->put_HTTP_Address(QStringLiteral("127.0.0.1:%1").arg(server.port()));
    proxy->put_UserName(QStringLiteral("proxy-user"));
    proxy->put_Password(QStringLiteral("proxy \"secret\" #1"));
    request->putref_ProxySettings(proxy.get());
    request->put_ServerUserName(QStringLiteral("server-user"));
    request->put_ServerPassword(QStringLiteral("server secret\\"));
    ComPtr<ICollection> headers = newCollection();
    const QStringList lines{
        QStringLiteral("X-Before: 1"), QStringLiteral("authorization: Bearer token-secret"),
        QStringLiteral("X-Middle: 2"), QStringLiteral("Cookie: c=cookie-secret"),
        QStringLiteral("X-After: \"3\"")};
    for (const QString& line : lines)
        headers->Add(line);
    request->putref_AdditionalHeaders(headers.get());
    const QStringList before = temporaryFiles();

    WgetWatcher watcher;
    ASSERT_EQ(execute(request.get()), reeSuccess) << outputLogOf(request.get()).toStdString();
    const QByteArray echo = receivedDataOf(request.get());
    const QString line = commandLineOf(request.get());
    EXPECT_EQ(temporaryFiles().size(), before.size() + 3); // the options file is gone already
    // Without the bearer token the server asks for the password, and gets it.
    request->putref_AdditionalHeaders(nullptr);
    request->put_URL(server.url(QStringLiteral("/slow/300/auth/echo")));
    ASSERT_EQ(execute(request.get()), reeSuccess) << outputLogOf(request.get()).toStdString();
    watcher.stop();

    const QList<QByteArrayList> seen = watcher.arguments();
    ASSERT_GE(seen.size(), 2) << "wget was not seen running";
    for (const QByteArrayList& argv : seen) {
        const QByteArray all = argv.join(' ');
        for (const char* secret : {"secret", "Bearer", "Cookie", "X-Before", "X-Middle"})
            EXPECT_FALSE(all.contains(secret)) << secret << " in " << all.constData();
        EXPECT_TRUE(argv.contains("--user=server-user"));
        EXPECT_TRUE(argv.contains("--proxy-user=proxy-user"));
    }
    EXPECT_TRUE(seen.first().contains("--header=X-After: \"3\"")); // after the last secret
    ASSERT_FALSE(watcher.configModes().isEmpty());
    for (const mode_t mode : watcher.configModes())
        EXPECT_EQ(mode, 0600u);
    EXPECT_FALSE(line.contains(QStringLiteral("secret")));
    EXPECT_FALSE(line.contains(QStringLiteral("--proxy-password")));
    EXPECT_FALSE(line.contains(QStringLiteral("--password")));

    // The servers got everything, the headers in the caller's order.
    EXPECT_TRUE(echo.contains("Proxy-Authorization: Basic " +
                              QByteArray("proxy-user:proxy \"secret\" #1").toBase64() + "\n"))
        << echo.constData();
    qsizetype at = 0;
    for (const QString& header : lines) {
        const qsizetype found = echo.indexOf(header.toLatin1() + '\n');
        EXPECT_GT(found, at) << header.toStdString() << "\n" << echo.constData();
        at = found;
    }
    EXPECT_TRUE(receivedDataOf(request.get())
                    .contains("\nAuthorization: Basic " +
                              QByteArray("server-user:server secret\\").toBase64() + "\n"))
        << receivedDataOf(request.get()).constData();
    request.reset();
    EXPECT_EQ(temporaryFiles(), before);
}

TEST_F(RequestExecute, ValuesThatCannotStandInTheOptionsFileAreRefused)
{
    TestServer server;
    for (const QString& password :
         {QStringLiteral(" leading"), QStringLiteral("trailing\t"), QStringLiteral("two\nlines")}) {
        ComPtr<_olvHTTPRequestHT> request = directRequest(server.url(QStringLiteral("/echo")));
        request->put_ServerPassword(password);
        const QStringList before = temporaryFiles();
        RequestExecuteError_Const rc = reeSuccess;
        EXPECT_EQ(request->Execute(&rc), DISP_E_EXCEPTION);
        const auto error = takeErrorInfo();
        ASSERT_TRUE(error);
        EXPECT_EQ(error->number(), ErrInvalidProcedureCall);
        EXPECT_EQ(temporaryFiles(), before);
        EXPECT_TRUE(commandLineOf(request.get()).isEmpty());
    }
}

TEST_F(RequestExecute, LineBreaksAndForgedVerbsAreRefusedBeforeAnythingStarts)
{
    using Setter = std::function<void(_olvHTTPRequestHT*)>;
    const auto text = [](HRESULT (_olvHTTPRequestHT::*put)(const QString&), const char* value) {
        return Setter(
            [put, value](_olvHTTPRequestHT* r) { (r->*put)(QString::fromLatin1(value)); });
    };
    const auto header = [](const char* line) {
        return Setter([line](_olvHTTPRequestHT* r) {
            ComPtr<ICollection> headers = newCollection();
            headers->Add(QStringLiteral("X-Fine: 1"));
            headers->Add(QString::fromLatin1(line));
            r->putref_AdditionalHeaders(headers.get());
        });
    };
    const auto proxy = [](HRESULT (_ProxySettings::*put)(const QString&), const char* value) {
        return Setter([put, value](_olvHTTPRequestHT* r) {
            ComPtr<_ProxySettings> settings = newProxySettings();
            settings->put_AccessType(atProxy);
            (settings.get()->*put)(QString::fromLatin1(value));
            r->putref_ProxySettings(settings.get());
        });
    };
    const struct
    {
        const char* name;
        Setter set;
    } cases[] = {
        {"URL", text(&_olvHTTPRequestHT::put_URL, "http://127.0.0.1:9/\r\nX-Injected: 1")},
        {"verb with a line", text(&_olvHTTPRequestHT::put_HTTPVerb, "GET\r\nX-Injected: 1")},
        {"verb with a path", text(&_olvHTTPRequestHT::put_HTTPVerb, "GET /admin HTTP/1.0")},
        {"Referer", text(&_olvHTTPRequestHT::put_Referer, "http://r/\nX-Injected: 1")},
        {"Referer with CR", text(&_olvHTTPRequestHT::put_Referer, "http://r/\rX")},
        {"UserAgent", text(&_olvHTTPRequestHT::put_UserAgent, "ua\r\nX-Injected: 1")},
        {"user name", text(&_olvHTTPRequestHT::put_ServerUserName, "u\nX")},
        {"header", header("X-A: 1\r\nX-Injected: 1")},
        {"header with CR", header("X-A: 1\rX-Injected: 1")},
        {"proxy address", proxy(&_ProxySettings::put_HTTP_Address, "p:1\nuse_proxy=no")},
        {"bypass list", proxy(&_ProxySettings::put_BypassList, "a,\rb")},
        {"proxy user", proxy(&_ProxySettings::put_UserName, "u\r\n")},
        {"proxy password", proxy(&_ProxySettings::put_Password, "p\nheader = X: 1")},
    };
    for (const auto& c : cases) {
        ComPtr<_olvHTTPRequestHT> request = directRequest(QStringLiteral("http://127.0.0.1:9/"));
        c.set(request.get());
        const QStringList before = temporaryFiles();
        RequestExecuteError_Const rc = reeSuccess;
        EXPECT_EQ(request->Execute(&rc), DISP_E_EXCEPTION) << c.name;
        const auto error = takeErrorInfo();
        ASSERT_TRUE(error) << c.name;
        EXPECT_EQ(error->number(), ErrInvalidProcedureCall) << c.name;
        EXPECT_EQ(error->source(), QStringLiteral("olvHTTPRequestHT")) << c.name;
        request->get_LastRC(&rc);
        EXPECT_EQ(rc, reeUnknownError) << c.name;
        EXPECT_TRUE(commandLineOf(request.get()).isEmpty()) << c.name;
        EXPECT_EQ(temporaryFiles(), before) << c.name;
    }
}

TEST_F(RequestExecute, AnyTokenIsAVerbAndABodyAloneIsPosted)
{
    TestServer server;
    ComPtr<_olvHTTPRequestHT> request = directRequest(server.url(QStringLiteral("/echo")));
    request->put_OptionalData(QByteArray("a=1"));
    ASSERT_EQ(execute(request.get()), reeSuccess) << outputLogOf(request.get()).toStdString();
    EXPECT_TRUE(commandLineOf(request.get()).contains(QStringLiteral("--method=\"POST\" ")));
    EXPECT_TRUE(receivedDataOf(request.get()).startsWith("METHOD POST\n"));
    EXPECT_TRUE(receivedDataOf(request.get()).endsWith("\n\na=1"));

    request->put_HTTPVerb(QStringLiteral("DELETE"));
    ASSERT_EQ(execute(request.get()), reeSuccess);
    EXPECT_TRUE(receivedDataOf(request.get()).startsWith("METHOD DELETE\n"));
    EXPECT_TRUE(receivedDataOf(request.get()).endsWith("\n\na=1"));
}

TEST_F(RequestExecute, WgetsOwnMessagesReachTheLogAsWritten)
{
    TestServer server;
    ComPtr<_olvHTTPRequestHT> request = directRequest(server.url(QStringLiteral("/echo")));
    ASSERT_EQ(execute(request.get()), reeSuccess);
    // Under a UTF-8 locale wget quotes the file name with typographic quotes.
    const QString log = outputLogOf(request.get());
    EXPECT_TRUE(log.contains(QStringLiteral("Saving to: \u2018"))) << log.toStdString();
    EXPECT_FALSE(log.contains(QStringLiteral("\u00e2\u20ac")));

    ComPtr<ICollection> headers = newCollection();
    headers->Add(QStringLiteral("no colon here"));
    request->putref_AdditionalHeaders(headers.get());
    EXPECT_EQ(execute(request.get()), reeWGetReturnsError);
    EXPECT_TRUE(outputLogOf(request.get()).contains(QStringLiteral("Invalid header")))
        << outputLogOf(request.get()).toStdString();
}

TEST_F(RequestExecute, TemporaryNamesAreAbsoluteInAFolderThatExists)
{
    TestServer server;
    ComPtr<_olvHTTPRequestHT> request = directRequest(server.url(QStringLiteral("/echo")));
    const QByteArray saved = qgetenv("TMPDIR"), runtime = qgetenv("XDG_RUNTIME_DIR");
    const QString current = QDir::currentPath();
    const QString work = testFolder() + QStringLiteral("/cwd");
    QDir().mkpath(work);
    QDir::setCurrent(work);
    // Without a runtime folder the user's folder stands in the temporary folder.
    qunsetenv("XDG_RUNTIME_DIR");
    qputenv("TMPDIR", QByteArray(testFolder().toLocal8Bit() + "/no-such-folder"));
    const RequestExecuteError_Const missing = execute(request.get());
    qunsetenv("TMPDIR");
    const RequestExecuteError_Const unset = execute(request.get());
    const QString line = commandLineOf(request.get());
    const QString folder = ProcessTempFolder();
    request.reset();
    RemoveProcessTempFolder();
    QDir::setCurrent(current);
    qputenv("TMPDIR", saved);
    qputenv("XDG_RUNTIME_DIR", runtime);
    EXPECT_EQ(missing, reeSuccess);
    EXPECT_EQ(unset, reeSuccess);
    EXPECT_TRUE(folder.startsWith(QStringLiteral("/tmp/kwqt0100-%1/kwqt-").arg(::getuid())));
    EXPECT_TRUE(splitCommandLine(line).at(1).startsWith(QStringLiteral("--output-file=") + folder +
                                                        QStringLiteral("/TMP")))
        << line.toStdString();
    EXPECT_FALSE(QFileInfo::exists(folder));
    EXPECT_TRUE(QDir(work).entryList(QDir::Files).isEmpty());
}

TEST_F(RequestExecute, AnAuthenticatingProxyTakesTheCredentialsOfTheSystemAddress)
{
    TestServer server;
    TinyProxy tinyproxy("BasicAuth proxyuser pass1word\n");
    ComPtr<_olvHTTPRequestHT> request = newRequest();
    request->put_URL(server.url(QStringLiteral("/echo")));
    ComPtr<_ProxySettings> proxy = newProxySettings(); // atSystem
    request->putref_ProxySettings(proxy.get());

    setenv("http_proxy", (QStringLiteral("http://") + tinyproxy.address()).toLatin1().constData(),
           1);
    const RequestExecuteError_Const without = execute(request.get());
    const QString refused = outputLogOf(request.get());
    setenv("http_proxy",
           (QStringLiteral("http://proxyuser:p%61ss1word@") + tinyproxy.address())
               .toLatin1()
               .constData(),
           1);
    const RequestExecuteError_Const with = execute(request.get());
    unsetenv("http_proxy");
    EXPECT_EQ(without, reeWGetReturnsError);
    EXPECT_TRUE(refused.contains(QStringLiteral("407"))) << refused.toStdString();
    EXPECT_EQ(with, reeSuccess) << outputLogOf(request.get()).toStdString();
    EXPECT_TRUE(receivedDataOf(request.get()).contains("Via: "));
    const QString line = commandLineOf(request.get());
    EXPECT_TRUE(line.contains(QStringLiteral("--proxy-user=\"proxyuser\" ")));
    EXPECT_FALSE(line.contains(QStringLiteral("word")));
}

#include "tests/request/RequestFixtures.h"

#include "platform/com/ClassRegistry.h"
#include "tests/TestSupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QLibrary>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <gtest/gtest.h>

namespace {
QString certificateFolder()
{
    // Made once per test binary: an authority, and a certificate for 127.0.0.1 signed by it.
    static const QString folder = [] {
        const QString dir = testFolder() + QStringLiteral("/tls");
        QDir().mkpath(dir);
        const auto openssl = [&](const QStringList& arguments) {
            QProcess process;
            process.setWorkingDirectory(dir);
            process.start(QStringLiteral("openssl"), arguments);
            process.waitForFinished(60000);
            EXPECT_EQ(process.exitCode(), 0) << process.readAllStandardError().constData();
        };
        openssl({QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-newkey"),
                 QStringLiteral("rsa:2048"), QStringLiteral("-nodes"), QStringLiteral("-keyout"),
                 QStringLiteral("ca.key"), QStringLiteral("-out"), QStringLiteral("ca.crt"),
                 QStringLiteral("-days"), QStringLiteral("2"), QStringLiteral("-subj"),
                 QStringLiteral("/CN=Brivet Test CA")});
        openssl({QStringLiteral("req"), QStringLiteral("-newkey"), QStringLiteral("rsa:2048"),
                 QStringLiteral("-nodes"), QStringLiteral("-keyout"), QStringLiteral("server.key"),
                 QStringLiteral("-out"), QStringLiteral("server.csr"), QStringLiteral("-subj"),
                 QStringLiteral("/CN=127.0.0.1")});
        QFile ext(dir + QStringLiteral("/ext.cnf"));
        ext.open(QIODevice::WriteOnly);
        ext.write("subjectAltName=IP:127.0.0.1\n");
        ext.close();
        openssl({QStringLiteral("x509"), QStringLiteral("-req"), QStringLiteral("-in"),
                 QStringLiteral("server.csr"), QStringLiteral("-CA"), QStringLiteral("ca.crt"),
                 QStringLiteral("-CAkey"), QStringLiteral("ca.key"),
                 QStringLiteral("-CAcreateserial"), QStringLiteral("-out"),
                 QStringLiteral("server.crt"), QStringLiteral("-days"), QStringLiteral("2"),
                 QStringLiteral("-extfile"), QStringLiteral("ext.cnf")});
        return dir;
    }();
    return folder;
}

int freePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

bool waitForPort(int port)
{
    for (int i = 0; i < 200; ++i) {
        QTcpSocket socket;
        socket.connectToHost(QHostAddress::LocalHost, static_cast<quint16>(port));
        if (socket.waitForConnected(100))
            return true;
        QThread::msleep(20);
    }
    return false;
}

void stop(QProcess& process)
{
    process.kill();
    process.waitForFinished(5000);
}

template <typename T> T value(HRESULT (_olvHTTPRequestHT::*getter)(T*), _olvHTTPRequestHT* request)
{
    T result{};
    EXPECT_EQ((request->*getter)(&result), S_OK);
    return result;
}
} // namespace

TestServer::TestServer(bool tls) : m_tls(tls)
{
    QStringList arguments{sourceFolder() + QStringLiteral("/tests/servers/test_server.py")};
    if (tls)
        arguments << QStringLiteral("--tls") << certificateFolder() + QStringLiteral("/server.crt")
                  << certificateFolder() + QStringLiteral("/server.key");
    m_process.start(QStringLiteral("python3"), arguments);
    if (!m_process.waitForReadyRead(20000)) {
        ADD_FAILURE() << "the test server did not start: "
                      << m_process.readAllStandardError().constData();
        return;
    }
    const QByteArray line = m_process.readLine().trimmed();
    m_port = line.mid(5).toInt();
}

TestServer::~TestServer()
{
    stop(m_process);
}

QString TestServer::url(const QString& path) const
{
    return QStringLiteral("%1://127.0.0.1:%2%3")
        .arg(m_tls ? QStringLiteral("https") : QStringLiteral("http"))
        .arg(m_port)
        .arg(path);
}

TinyProxy::TinyProxy(const QByteArray& extraConfig) : m_port(freePort())
{
    const QString config =
        writeTestFile(QStringLiteral("tinyproxy-%1.conf").arg(m_port),
                      QStringLiteral("Port %1\nListen 127.0.0.1\nTimeout 30\n"
                                     "Allow 127.0.0.1\nMaxClients 20\nLogLevel Critical\n")
                              .arg(m_port)
                              .toLatin1() +
                          extraConfig);
    m_process.start(QStringLiteral("tinyproxy"),
                    {QStringLiteral("-d"), QStringLiteral("-c"), config});
    if (!waitForPort(m_port))
        ADD_FAILURE() << "tinyproxy did not start: "
                      << m_process.readAllStandardError().constData();
}

TinyProxy::~TinyProxy()
{
    stop(m_process);
}

QString TinyProxy::address() const
{
    return QStringLiteral("127.0.0.1:%1").arg(m_port);
}

QJsonObject parseForm(const QString& contentType, const QByteArray& body)
{
    QProcess parser;
    parser.start(QStringLiteral("python3"),
                 {sourceFolder() + QStringLiteral("/tests/servers/form_parser.py"), contentType});
    parser.write(body);
    parser.closeWriteChannel();
    parser.waitForFinished(60000);
    EXPECT_EQ(parser.exitCode(), 0) << parser.readAllStandardError().constData();
    return QJsonDocument::fromJson(parser.readAllStandardOutput()).object();
}

void useComponentBesideTests()
{
    const QString library =
        QCoreApplication::applicationDirPath() + QStringLiteral("/libKWQT0100.so");
    for (const GUID& clsid : {CLSID_olvHTTPRequestHT, CLSID_ProxySettings, CLSID_HTTPFormBuilder,
                              CLSID_HTTPFormBuilderUE})
        setDefaultServerLibrary(clsid, library);
}

ComPtr<_olvHTTPRequestHT> newRequest()
{
    useComponentBesideTests();
    auto request = createObject<_olvHTTPRequestHT>(CLSID_olvHTTPRequestHT);
    // Tests run without a screen; keep the pointer alone.
    request->put_NoHourglassCursor(VARIANT_TRUE);
    return request;
}

ComPtr<_ProxySettings> newProxySettings()
{
    useComponentBesideTests();
    return createObject<_ProxySettings>(CLSID_ProxySettings);
}

ComPtr<_olvHTTPRequestHT> requestWithWget(const QString& name, const QByteArray& script)
{
    const QString folder = testFolder() + QStringLiteral("/component-") + name;
    QDir().mkpath(folder + QStringLiteral("/KWQT0100/Win51"));
    QDir().mkpath(folder + QStringLiteral("/KWQT0100/Data"));
    const QString library = folder + QStringLiteral("/libKWQT0100.so");
    // A copy, not a link: the loader then treats it as a library of its own, which finds
    // its wget beside itself.
    QFile::copy(QCoreApplication::applicationDirPath() + QStringLiteral("/libKWQT0100.so"),
                library);
    if (!script.isEmpty()) {
        const QString wget = folder + QStringLiteral("/KWQT0100/Win51/wget");
        QFile file(wget);
        file.open(QIODevice::WriteOnly);
        file.write("#!/bin/sh\n" + script);
        file.close();
        file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    QLibrary loader(library);
    const auto getClassObject =
        reinterpret_cast<DllGetClassObjectFunc>(loader.resolve("DllGetClassObject"));
    EXPECT_TRUE(getClassObject) << loader.errorString().toStdString();
    ComPtr<IClassFactory> factory;
    getClassObject(&CLSID_olvHTTPRequestHT, &IClassFactory::iid, factory.putVoid());
    ComPtr<_olvHTTPRequestHT> request;
    factory->CreateInstance(nullptr, _olvHTTPRequestHT::iid, request.putVoid());
    request->put_NoHourglassCursor(VARIANT_TRUE);
    return request;
}

QString commandLineOf(_olvHTTPRequestHT* r)
{
    return value(&_olvHTTPRequestHT::get_WGetCommandLine, r);
}
QByteArray receivedDataOf(_olvHTTPRequestHT* r)
{
    return value(&_olvHTTPRequestHT::get_ReceivedData, r);
}
QString outputLogOf(_olvHTTPRequestHT* r)
{
    return value(&_olvHTTPRequestHT::get_OutputLog, r);
}
QString cookiesOf(_olvHTTPRequestHT* r)
{
    return value(&_olvHTTPRequestHT::get_CookiesData, r);
}

RequestExecuteError_Const execute(_olvHTTPRequestHT* request)
{
    RequestExecuteError_Const rc = reeUnknownError;
    EXPECT_EQ(request->Execute(&rc), S_OK);
    return rc;
}

#pragma once
// Real peers for the request tests, all on 127.0.0.1: the Python test server (HTTP or
// HTTPS with a certificate authority made for the test), tinyproxy, and copies of the
// component with a wget of the test's choosing.
#include "request/KWQT0100.h"

#include <QJsonObject>
#include <QProcess>
#include <QString>
#include <memory>

class TestServer
{
public:
    // tls: serve HTTPS with a certificate of the test's own authority.
    explicit TestServer(bool tls = false);
    ~TestServer();
    QString url(const QString& path) const;
    int port() const { return m_port; }

private:
    QProcess m_process;
    int m_port = 0;
    bool m_tls;
};

class TinyProxy
{
public:
    // extraConfig: further lines of tinyproxy's configuration ("BasicAuth user secret").
    explicit TinyProxy(const QByteArray& extraConfig = {});
    ~TinyProxy();
    QString address() const; // "127.0.0.1:port"

private:
    QProcess m_process;
    int m_port = 0;
};

// Classes are created from the component beside the test binaries.
void useComponentBesideTests();
// A new request object of the component beside the test binaries.
ComPtr<_olvHTTPRequestHT> newRequest();
ComPtr<_ProxySettings> newProxySettings();

// A copy of the component in a folder of its own whose KWQT0100/Win51/wget is the given
// shell script (or none at all when the script is empty).
ComPtr<_olvHTTPRequestHT> requestWithWget(const QString& name, const QByteArray& script);

// Shortcuts for the interface's out-argument style.
// Python's own reading of a form body (tests/servers/form_parser.py).
QJsonObject parseForm(const QString& contentType, const QByteArray& body);

QString commandLineOf(_olvHTTPRequestHT* request);
QByteArray receivedDataOf(_olvHTTPRequestHT* request);
QString outputLogOf(_olvHTTPRequestHT* request);
QString cookiesOf(_olvHTTPRequestHT* request);
RequestExecuteError_Const execute(_olvHTTPRequestHT* request);

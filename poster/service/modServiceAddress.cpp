#include "poster/service/modServiceAddress.h"

#include "platform/com/ClassRegistry.h"
#include "request/KWQT0100.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLibrary>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <memory>
#include <vector>

namespace {
QString& BaseAddress()
{
    static QString address = QStringLiteral("https://www.brivet.example");
    return address;
}

// The blog whose new-entry page the uploads name as their Referer.
const QString BlogShortName = QStringLiteral("diary");

// A private copy of the request component, set up by SetExtraCACertificate.
DllGetClassObjectFunc PrivateGetClassObject = nullptr;

HRESULT CreatePrivate(const GUID& clsid, const GUID& iid, void** object)
{
    ComPtr<IClassFactory> factory;
    const HRESULT hr = PrivateGetClassObject(&clsid, &IClassFactory::iid, factory.putVoid());
    if (FAILED(hr))
        return hr;
    return factory->CreateInstance(nullptr, iid, object);
}

HRESULT CreatePrivateRequest(const GUID& iid, void** object)
{
    return CreatePrivate(CLSID_olvHTTPRequestHT, iid, object);
}

HRESULT CreatePrivateProxySettings(const GUID& iid, void** object)
{
    return CreatePrivate(CLSID_ProxySettings, iid, object);
}

bool Fail(QString* error, const QString& text)
{
    if (error)
        *error = text;
    return false;
}

int& TimeLimit()
{
    static int seconds = 300;
    return seconds;
}
} // namespace

int ServiceTimeLimit()
{
    return TimeLimit();
}

void SetServiceTimeLimit(int seconds)
{
    if (seconds > 0)
        TimeLimit() = seconds;
}

int ServiceReplySizeLimit()
{
    return 16 << 20;
}

QString ServiceBaseAddress()
{
    return BaseAddress();
}

QString EntryEditorAddress()
{
    return BaseAddress() + QStringLiteral("/blog/") + BlogShortName + QStringLiteral("/0/edit");
}

bool SetServiceBaseAddress(const QString& url, QString* error)
{
    // Only a scheme, a host and a port: the address goes into every request line and
    // into the Origin header, so nothing else may ride along.
    static const QRegularExpression form(
        QStringLiteral(
            "^(https?)://"
            "([A-Za-z0-9](?:[A-Za-z0-9.-]*[A-Za-z0-9])?|\\[[0-9A-Fa-f:.]+\\])(?::(\\d{1,5}))?$"),
        QRegularExpression::CaseInsensitiveOption);
    if (url.endsWith(QLatin1Char('/')))
        return Fail(error, QStringLiteral("The service address \"%1\" ends in a slash; give it "
                                          "without the trailing slash.")
                               .arg(url));
    const QRegularExpressionMatch match = form.match(url);
    if (!match.hasMatch())
        return Fail(error, QStringLiteral("The service address \"%1\" is not an http:// or "
                                          "https:// address of a host (with an optional port "
                                          "and nothing after it).")
                               .arg(url));
    const QString port = match.captured(3);
    if (!port.isEmpty() && (port.toInt() < 1 || port.toInt() > 65535))
        return Fail(error, QStringLiteral("The port in the service address \"%1\" is not "
                                          "between 1 and 65535.")
                               .arg(url));
    BaseAddress() = match.captured(1).toLower() + QStringLiteral("://") + match.captured(2) +
                    (port.isEmpty() ? QString() : QLatin1Char(':') + port);
    return true;
}

bool SetExtraCACertificate(const QString& pemFile, QString* error)
{
    QFile pem(pemFile);
    if (!pem.open(QIODevice::ReadOnly))
        return Fail(error, QStringLiteral("The certificate file \"%1\" cannot be read: %2.")
                               .arg(pemFile, pem.errorString()));
    const QByteArray authority = pem.readAll();
    if (!authority.contains("-----BEGIN CERTIFICATE-----"))
        return Fail(error,
                    QStringLiteral("The file \"%1\" holds no PEM certificate.").arg(pemFile));

    // wget gets its trusted authorities from the files beside the component. This run
    // uses a private copy of the component whose bundle is the shipped one plus this
    // authority; wget itself, its settings and the certificate folder stay the shipped
    // ones, and certificates are still checked.
    // Each call makes its own copy, so a later authority replaces an earlier one.
    static std::vector<std::unique_ptr<QTemporaryDir>> folders;
    folders.push_back(std::make_unique<QTemporaryDir>());
    const QTemporaryDir* folder = folders.back().get();
    if (!folder->isValid())
        return Fail(error, QStringLiteral("No private folder for the certificate: %1.")
                               .arg(folder->errorString()));
    const QString shipped = QCoreApplication::applicationDirPath();
    const QString copy = folder->path();
    const QString shippedData = shipped + QStringLiteral("/KWQT0100/Data");
    const QString data = copy + QStringLiteral("/KWQT0100/Data");
    QDir().mkpath(data);
    bool ok = QFile::copy(shipped + QStringLiteral("/libKWQT0100.so"),
                          copy + QStringLiteral("/libKWQT0100.so"));
    for (const char* build : {"Win51", "Win40"}) {
        const QString name = QStringLiteral("/KWQT0100/%1").arg(QLatin1String(build));
        QDir().mkpath(copy + name);
        const QString wget =
            QFileInfo(shipped + name + QStringLiteral("/wget")).canonicalFilePath();
        if (!wget.isEmpty())
            ok = QFile::link(wget, copy + name + QStringLiteral("/wget")) && ok;
    }
    ok = QFile::copy(shippedData + QStringLiteral("/wget.cfg"),
                     data + QStringLiteral("/wget.cfg")) &&
         ok;
    ok = QFile::link(QFileInfo(shippedData + QStringLiteral("/ca")).canonicalFilePath(),
                     data + QStringLiteral("/ca")) &&
         ok;
    QFile shippedBundle(shippedData + QStringLiteral("/curl-ca-bundle.crt"));
    QFile bundle(data + QStringLiteral("/curl-ca-bundle.crt"));
    ok = ok && shippedBundle.open(QIODevice::ReadOnly) && bundle.open(QIODevice::WriteOnly) &&
         bundle.write(shippedBundle.readAll() + "\n" + authority) > 0;
    bundle.close();
    if (!ok)
        return Fail(error, QStringLiteral("The request component beside the program could not "
                                          "be prepared for the extra certificate authority."));
    QLibrary library(copy + QStringLiteral("/libKWQT0100.so"));
    library.setLoadHints(QLibrary::PreventUnloadHint);
    const auto getClassObject =
        reinterpret_cast<DllGetClassObjectFunc>(library.resolve("DllGetClassObject"));
    if (!getClassObject)
        return Fail(error, library.errorString());
    PrivateGetClassObject = getClassObject;
    registerLocalClass(CLSID_olvHTTPRequestHT, CreatePrivateRequest);
    registerLocalClass(CLSID_ProxySettings, CreatePrivateProxySettings);
    return true;
}

#include "request/proxy/ProxySettings.h"

#include "platform/com/ErrorInfo.h"
#include "platform/net/SystemProxy.h"
#include "request/http/csUnique.h"
#include "request/http/modCommon.h"
#include "request/modUserInterface.h"
#include "support/olvsupport0100/olvsupport0100.h"

namespace {
const QString DirectText = QStringLiteral("--execute=\"use_proxy=no\" --no-proxy");

HRESULT store(QString* target, const QString& value)
{
    *target = value;
    return S_OK;
}

void setIf(QString* output, const QString& value)
{
    if (output)
        *output = value;
}
} // namespace

ProxySettings::ProxySettings()
{
    const auto text = [this](const char* name, QString* field) {
        m_table.addProperty(
            QString::fromLatin1(name), [field] { return *field; },
            [field](const QVariant& v) { *field = v.toString(); });
    };
    // The properties in declaration order, as the settings store lists them.
    m_table.addProperty(
        QStringLiteral("AccessType"), [this] { return static_cast<int>(m_accessType); },
        [this](const QVariant& v) { put_AccessType(static_cast<AccessType_Const>(v.toInt())); });
    text("HTTP_Address", &m_fields.http);
    text("HTTPS_Address", &m_fields.https);
    text("FTP_Address", &m_fields.ftp);
    text("BypassList", &m_fields.bypass);
    text("UserName", &m_fields.user);
    text("Password", &m_fields.password);
    const auto method = [this](const char* name, HRESULT (ProxySettings::*member)(QString*)) {
        m_table.addMethod(QString::fromLatin1(name), [this, member](const QVariantList&) {
            QString result;
            checkCall((this->*member)(&result), QStringLiteral("ProxySettings"));
            return QVariant(result);
        });
    };
    method("toString", &ProxySettings::toString);
    method("toString_Direct", &ProxySettings::toString_Direct);
    method("toString_Proxy", &ProxySettings::toString_Proxy);
    method("toString_System", &ProxySettings::toString_System);
    m_table.addMethod(QStringLiteral("ShowConfigDialog"), [this](const QVariantList&) {
        VARIANT_BOOL ok = VARIANT_FALSE;
        checkCall(ShowConfigDialog(&ok), QStringLiteral("ProxySettings"));
        return QVariant(ok != VARIANT_FALSE);
    });
}

HRESULT ProxySettings::put_Password(const QString& value)
{
    return store(&m_fields.password, value);
}
HRESULT ProxySettings::get_Password(QString* value)
{
    return give(m_fields.password, value);
}
HRESULT ProxySettings::put_UserName(const QString& value)
{
    return store(&m_fields.user, value);
}
HRESULT ProxySettings::get_UserName(QString* value)
{
    return give(m_fields.user, value);
}
HRESULT ProxySettings::put_HTTP_Address(const QString& value)
{
    return store(&m_fields.http, value);
}
HRESULT ProxySettings::get_HTTP_Address(QString* value)
{
    return give(m_fields.http, value);
}
HRESULT ProxySettings::put_HTTPS_Address(const QString& value)
{
    return store(&m_fields.https, value);
}
HRESULT ProxySettings::get_HTTPS_Address(QString* value)
{
    return give(m_fields.https, value);
}
HRESULT ProxySettings::put_FTP_Address(const QString& value)
{
    return store(&m_fields.ftp, value);
}
HRESULT ProxySettings::get_FTP_Address(QString* value)
{
    return give(m_fields.ftp, value);
}
HRESULT ProxySettings::put_BypassList(const QString& value)
{
    return store(&m_fields.bypass, value);
}
HRESULT ProxySettings::get_BypassList(QString* value)
{
    return give(m_fields.bypass, value);
}

HRESULT ProxySettings::put_AccessType(AccessType_Const value)
{
    m_accessType = value >= _atMin && value <= _atMax ? value : atSystem;
    return S_OK;
}

HRESULT ProxySettings::get_AccessType(AccessType_Const* value)
{
    if (!value)
        return E_POINTER;
    *value = m_accessType;
    return S_OK;
}

HRESULT ProxySettings::ShowConfigDialog(VARIANT_BOOL* result)
{
    if (!result)
        return E_POINTER;
    return guardCall([&] {
        *result = toVariantBool(OpenProxyConfigDialog(this));
        return S_OK;
    });
}

QString ProxySettings::proxyText(const Addresses& a)
{
    QString text =
        QStringLiteral("--execute=\"http_proxy=") + EscapeArgument(a.http) + QStringLiteral("\" ") +
        QStringLiteral("--execute=\"https_proxy=") + EscapeArgument(a.https) +
        QStringLiteral("\" ") + QStringLiteral("--execute=\"ftp_proxy=") + EscapeArgument(a.ftp) +
        QStringLiteral("\" ") + QStringLiteral("--execute=\"no_proxy=") + EscapeArgument(a.bypass) +
        QStringLiteral("\" ") + QStringLiteral("--execute=\"use_proxy=yes\" ");
    if (!a.user.isEmpty())
        text += QStringLiteral("--proxy-user=\"") + EscapeArgument(a.user) + QStringLiteral("\" ");
    if (!a.password.isEmpty())
        text += QStringLiteral("--proxy-password=\"") + EscapeArgument(a.password) +
                QStringLiteral("\" ");
    return text;
}

QString ProxySettings::systemText() const
{
    bool useProxy = false;
    Addresses system;
    // A configuration that cannot be read counts as a direct connection.
    if (!systemSettings(false, &useProxy, &system) || !useProxy)
        return DirectText;
    // A proxy user of the object's own comes first; else the credentials written into
    // the system's proxy address, without which an authenticating proxy answers 407.
    if (!m_fields.user.isEmpty()) {
        system.user = m_fields.user;
        system.password = m_fields.password;
    }
    return proxyText(system);
}

QString ProxySettings::text() const
{
    switch (m_accessType) {
    case atDirect:
        return DirectText;
    case atProxy:
        return proxyText(m_fields);
    default:
        return systemText();
    }
}

HRESULT ProxySettings::toString(QString* result)
{
    return guardCall([&] { return give(text(), result); });
}

HRESULT ProxySettings::toString_Direct(QString* result)
{
    return give(DirectText, result);
}

HRESULT ProxySettings::toString_Proxy(QString* result)
{
    return guardCall([&] { return give(proxyText(m_fields), result); });
}

HRESULT ProxySettings::toString_System(QString* result)
{
    return guardCall([&] { return give(systemText(), result); });
}

QString ProxySettings::ParseProxyEntry(const QString& entry, bool StripPort, QString* scheme)
{
    QString text;
    checkStatus(
        suTrimEx2(entry, true, true, true, true, true, false, false, false, false, false, &text),
        "suTrimEx2");
    if (StripPort && text.startsWith(QLatin1Char('['))) {
        // An IPv6 address: "[::1]:80" → "::1", as wget names the host of http://[::1]/.
        const qsizetype close = text.indexOf(QLatin1Char(']'));
        text = close < 0 ? text.mid(1) : text.mid(1, close - 1);
    } else if (StripPort && text.count(QLatin1Char(':')) > 1) {
        // A bare IPv6 address carries no port.
    } else if (StripPort && text.contains(QLatin1Char(':'))) {
        text = text.left(text.indexOf(QLatin1Char(':')));
    }
    scheme->clear();
    if (const qsizetype equals = text.indexOf(QLatin1Char('=')); equals >= 0) {
        *scheme = text.left(equals);
        text = text.mid(equals + 1);
    }
    if (text.toLower() == QStringLiteral("<local>"))
        text = QStringLiteral("127.0.0.1");
    if (text.toLower() == QStringLiteral("<-loopback>"))
        text.clear();
    return text;
}

bool ProxySettings::systemSettings(bool fullInfo, bool* useProxy, Addresses* a) const
{
    *a = {};
    *useProxy = false;
    SystemProxyInfo info;
    if (!querySystemProxy(&info))
        return false;
    *useProxy = info.accessType != InternetOpenTypeDirect;
    if (!*useProxy && !fullInfo)
        return true;
    a->user = QString::fromLocal8Bit(info.userName);
    a->password = QString::fromLocal8Bit(info.password);

    if (info.bypassList) {
        csUnique seen;
        const QStringList pieces =
            QString::fromLatin1(*info.bypassList + ' ').split(QLatin1Char(' '));
        for (const QString& piece : pieces) {
            if (piece.isEmpty())
                continue;
            QString scheme;
            const QString entry = ParseProxyEntry(piece, true, &scheme);
            if (!entry.isEmpty() && seen.IsUnique(entry))
                a->bypass += entry + QLatin1Char(',');
        }
        if (a->bypass.endsWith(QLatin1Char(',')))
            a->bypass.chop(1);
    }
    if (info.proxyList) {
        const QStringList pieces = QString::fromLatin1(*info.proxyList).split(QLatin1Char(' '));
        bool stored = false;
        for (const QString& piece : pieces) {
            if (piece.isEmpty())
                continue;
            QString scheme;
            const QString entry = ParseProxyEntry(piece, false, &scheme);
            if (entry.isEmpty())
                continue;
            const QString upper = scheme.toUpper();
            QString* target = upper == QStringLiteral("HTTP")    ? &a->http
                              : upper == QStringLiteral("HTTPS") ? &a->https
                              : upper == QStringLiteral("FTP")   ? &a->ftp
                                                                 : nullptr;
            if (target) {
                *target = entry;
                stored = true;
            }
        }
        if (!stored) {
            for (const QString& piece : pieces) {
                QString scheme;
                const QString entry =
                    piece.isEmpty() ? QString() : ParseProxyEntry(piece, false, &scheme);
                if (!entry.isEmpty() && scheme.isEmpty())
                    a->http = a->https = a->ftp = entry;
            }
        }
    }
    return true;
}

HRESULT ProxySettings::GetSystemSettings(VARIANT_BOOL GetFullInfo, VARIANT_BOOL* lpUseProxy,
                                         QString* lpHTTP_Address, QString* lpHTTPS_Address,
                                         QString* lpFTP_Address, QString* lpBypassList,
                                         QString* lpUserName, QString* lpPassword,
                                         VARIANT_BOOL* result)
{
    return guardCall([&] {
        bool useProxy = false;
        Addresses a;
        const bool read = systemSettings(GetFullInfo != VARIANT_FALSE, &useProxy, &a);
        if (lpUseProxy)
            *lpUseProxy = toVariantBool(useProxy);
        setIf(lpHTTP_Address, a.http);
        setIf(lpHTTPS_Address, a.https);
        setIf(lpFTP_Address, a.ftp);
        setIf(lpBypassList, a.bypass);
        // Credentials found in the system's proxy address are used by toString_System only:
        // handed out here they would end up in stored settings.
        setIf(lpUserName, QString());
        setIf(lpPassword, QString());
        if (result)
            *result = toVariantBool(read);
        return S_OK;
    });
}

HRESULT ProxySettings::GetPropertyNames(QStringList* names)
{
    return m_table.propertyNames(names);
}

HRESULT ProxySettings::Invoke(const QString& member, InvokeKind kind, const QVariantList& arguments,
                              QVariant* result)
{
    return guardCall([&] { return m_table.invoke(member, kind, arguments, result); });
}

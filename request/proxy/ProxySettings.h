#pragma once
// ProxySettings: how one request reaches the network (the system's configuration,
// directly, or through named proxies) and the wget options that say so.
#include "platform/com/DispatchTable.h"
#include "request/KWQT0100.h"

class ProxySettings : public ComObject<_ProxySettings>
{
public:
    ProxySettings();

    HRESULT put_Password(const QString& value) override;
    HRESULT get_Password(QString* value) override;
    HRESULT put_UserName(const QString& value) override;
    HRESULT get_UserName(QString* value) override;
    HRESULT put_HTTP_Address(const QString& value) override;
    HRESULT get_HTTP_Address(QString* value) override;
    HRESULT put_HTTPS_Address(const QString& value) override;
    HRESULT get_HTTPS_Address(QString* value) override;
    HRESULT put_FTP_Address(const QString& value) override;
    HRESULT get_FTP_Address(QString* value) override;
    HRESULT put_BypassList(const QString& value) override;
    HRESULT get_BypassList(QString* value) override;
    HRESULT put_AccessType(AccessType_Const value) override;
    HRESULT get_AccessType(AccessType_Const* value) override;
    HRESULT ShowConfigDialog(VARIANT_BOOL* result) override;
    HRESULT toString(QString* result) override;
    HRESULT toString_Direct(QString* result) override;
    HRESULT toString_Proxy(QString* result) override;
    HRESULT toString_System(QString* result) override;
    HRESULT GetSystemSettings(VARIANT_BOOL GetFullInfo, VARIANT_BOOL* lpUseProxy,
                              QString* lpHTTP_Address, QString* lpHTTPS_Address,
                              QString* lpFTP_Address, QString* lpBypassList, QString* lpUserName,
                              QString* lpPassword, VARIANT_BOOL* result) override;

    HRESULT GetPropertyNames(QStringList* names) override;
    HRESULT Invoke(const QString& member, InvokeKind kind, const QVariantList& arguments,
                   QVariant* result) override;

    // One entry of a proxy or bypass list, normalised; scheme receives the part
    // before "=" (empty when there is none).
    static QString ParseProxyEntry(const QString& entry, bool StripPort, QString* scheme);

private:
    struct Addresses
    {
        QString http, https, ftp, bypass, user, password;
    };
    static QString proxyText(const Addresses& addresses);
    bool systemSettings(bool fullInfo, bool* useProxy, Addresses* addresses) const;
    QString systemText() const;
    QString text() const;

    AccessType_Const m_accessType = atSystem;
    Addresses m_fields;
    DispatchTable m_table;
};

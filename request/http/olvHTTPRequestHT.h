#pragma once
// olvHTTPRequestHT: one HTTP request, run by wget. Properties in, Execute, results out.
#include "platform/com/DispatchTable.h"
#include "request/KWQT0100.h"
#include "request/http/csFileGarbageCollector.h"

#include <memory>

class olvHTTPRequestHT : public ComObject<_olvHTTPRequestHT>
{
public:
    olvHTTPRequestHT();
    ~olvHTTPRequestHT() override;

    HRESULT get_AdditionalHeaders(ICollection** value) override;
    HRESULT putref_AdditionalHeaders(ICollection* value) override;
    HRESULT get_ProxySettings(_ProxySettings** value) override;
    HRESULT putref_ProxySettings(_ProxySettings* value) override;
    HRESULT get_WGetEXEFileName(QString* value) override;
    HRESULT get_WGetEXEDataPath(QString* value) override;
    HRESULT put_URL(const QString& value) override;
    HRESULT get_URL(QString* value) override;
    HRESULT put_HTTPVerb(const QString& value) override;
    HRESULT get_HTTPVerb(QString* value) override;
    HRESULT put_Referer(const QString& value) override;
    HRESULT get_Referer(QString* value) override;
    HRESULT put_IgnoreCertificateErrors(VARIANT_BOOL value) override;
    HRESULT get_IgnoreCertificateErrors(VARIANT_BOOL* value) override;
    HRESULT put_Timeout(std::int32_t value) override;
    HRESULT get_Timeout(std::int32_t* value) override;
    HRESULT put_UserAgent(const QString& value) override;
    HRESULT get_UserAgent(QString* value) override;
    HRESULT put_DisableCompression(VARIANT_BOOL value) override;
    HRESULT get_DisableCompression(VARIANT_BOOL* value) override;
    HRESULT put_ServerUserName(const QString& value) override;
    HRESULT get_ServerUserName(QString* value) override;
    HRESULT put_ServerPassword(const QString& value) override;
    HRESULT get_ServerPassword(QString* value) override;
    HRESULT put_NoCookies(VARIANT_BOOL value) override;
    HRESULT get_NoCookies(VARIANT_BOOL* value) override;
    HRESULT put_CookiesData(const QString& value) override;
    HRESULT get_CookiesData(QString* value) override;
    HRESULT put_OptionalData(const QByteArray& value) override;
    HRESULT get_OptionalData(QByteArray* value) override;
    HRESULT put_OptionalDataFileName(const QString& value) override;
    HRESULT get_OptionalDataFileName(QString* value) override;
    HRESULT put_UseOptionalDataFileName(VARIANT_BOOL value) override;
    HRESULT get_UseOptionalDataFileName(VARIANT_BOOL* value) override;
    HRESULT get_ReceivedData(QByteArray* value) override;
    HRESULT get_ReceivedDataFileName(QString* value) override;
    HRESULT put_ReturnReceivedDataFileName(VARIANT_BOOL value) override;
    HRESULT get_ReturnReceivedDataFileName(VARIANT_BOOL* value) override;
    HRESULT get_OutputLog(QString* value) override;
    HRESULT get_Win32ErrorCode(std::int32_t* value) override;
    HRESULT get_WGetReturnCode(std::int32_t* value) override;
    HRESULT put_NoHourglassCursor(VARIANT_BOOL value) override;
    HRESULT get_NoHourglassCursor(VARIANT_BOOL* value) override;
    HRESULT get_WGetCommandLine(QString* value) override;
    HRESULT get_LastRC(RequestExecuteError_Const* value) override;
    HRESULT Execute(RequestExecuteError_Const* result) override;
    HRESULT put_TimeLimit(std::int32_t value) override;
    HRESULT get_TimeLimit(std::int32_t* value) override;
    HRESULT put_ReceivedDataLimit(std::int32_t value) override;
    HRESULT get_ReceivedDataLimit(std::int32_t* value) override;

    HRESULT GetPropertyNames(QStringList* names) override;
    HRESULT Invoke(const QString& member, InvokeKind kind, const QVariantList& arguments,
                   QVariant* result) override;

private:
    RequestExecuteError_Const run();
    void checkValues() const;
    QString checkedProxyText(QString* proxyPassword);
    QStringList checkedHeaders() const;
    QString buildCommandLine(const QString& logFile, const QString& responseFile,
                             const QString& cookieFile, const QString& bodyFile,
                             const QString& configFile, const QStringList& headers,
                             const QString& proxyText, bool followRedirects) const;
    csFileGarbageCollector& collector();
    QString newTemporaryFile(bool registered, bool handedOut = false);

    QString m_url, m_verb, m_referer, m_userAgent, m_serverUser, m_serverPassword;
    QString m_cookies, m_optionalDataFileName, m_receivedDataFileName, m_outputLog, m_commandLine;
    QString m_exe, m_dataPath;
    bool m_legacy = false;
    bool m_ignoreCertificateErrors = false, m_disableCompression = false, m_noCookies = false;
    bool m_useOptionalDataFileName = false, m_returnReceivedDataFileName = false;
    bool m_noHourglass = false;
    std::int32_t m_timeout = -1, m_win32ErrorCode = 0, m_wgetReturnCode = 0;
    std::int32_t m_timeLimit = 0, m_receivedDataLimit = 0;
    RequestExecuteError_Const m_lastRC = reeSuccess;
    QByteArray m_optionalData, m_receivedData;
    ComPtr<ICollection> m_headers;
    ComPtr<_ProxySettings> m_proxy;
    std::unique_ptr<csFileGarbageCollector> m_collector;
    DispatchTable m_table;
};

#pragma once
// KWQT0100: one HTTP request per object, performed by GNU Wget as a hidden child
// process, and the proxy settings it uses. Create the classes by CLSID and call them
// through these interfaces; members stand in their binding slot order. Every member
// returns a status; a raised error comes back as DISP_E_EXCEPTION (see checkCall).
#include "platform/com/Collection.h"

#include <QByteArray>

#define KWQT_EXPORT __attribute__((visibility("default")))

// Result of Execute (LastRC).
enum RequestExecuteError_Const : std::int32_t {
    reeSuccess = 0,
    reeURLNotSpecified = 1,
    reeCookieFileWriteError = 2,
    reeOptionalDataFileWriteError = 3,
    reeCantRunWGet = 4,
    reeLogFileReadError = 5,
    reeWGetReturnsError = 6,
    reeResultFileReadError = 7,
    reeCookieFileReadError = 8,
    reeTimeLimitReached = 9,          // wget was stopped at TimeLimit; its files are gone
    reeReceivedDataLimitReached = 10, // the response grew past ReceivedDataLimit; likewise
    reeCancelled = 98,                // never produced by the component; for callers
    reeUnknownError = 99,
};

enum AccessType_Const : std::int32_t {
    _atMin = 0,
    atSystem = 0, // the system's proxy configuration, read at every toString
    atDirect = 1,
    atProxy = 2, // the object's own addresses
    _atMax = 2,
};

// How a multipart part is labelled; the builder never encodes the data itself.
enum TransferEncoding_Const : std::int32_t {
    _teMin = 0,
    teText = 0,   // no transfer-encoding line
    teBinary = 1, // "Content-Transfer-Encoding: binary"
    teBase64 = 2, // "Content-Transfer-Encoding: base64"; the data is already base64
    _teMax = 2,
};

constexpr GUID LIBID_KWQT0100 = makeGuid("{4E94DCEC-AE53-4A60-A2DA-DCA4F183E478}");
constexpr GUID CLSID_olvHTTPRequestHT = makeGuid("{5E092251-CB80-4BA4-BCF0-E355E2B3E9AF}");
constexpr GUID CLSID_ProxySettings = makeGuid("{254CD6EC-B786-4AC9-B5B3-27AC612746A8}");
constexpr GUID CLSID_HTTPFormBuilder = makeGuid("{5451A0F4-425D-4F79-8A12-A4541482EE44}");
constexpr GUID CLSID_HTTPFormBuilderUE = makeGuid("{37CE0327-8EFA-4841-9741-34B10CE23B44}");

struct _ProxySettings : IDispatch
{
    static constexpr GUID iid = makeGuid("{331C4BE9-A70F-4AE4-9E36-42853C212D31}");
    // Texts are stored unchanged.
    virtual HRESULT put_Password(const QString& value) = 0;
    virtual HRESULT get_Password(QString* value) = 0;
    virtual HRESULT put_UserName(const QString& value) = 0;
    virtual HRESULT get_UserName(QString* value) = 0;
    virtual HRESULT put_HTTP_Address(const QString& value) = 0;
    virtual HRESULT get_HTTP_Address(QString* value) = 0;
    virtual HRESULT put_HTTPS_Address(const QString& value) = 0;
    virtual HRESULT get_HTTPS_Address(QString* value) = 0;
    virtual HRESULT put_FTP_Address(const QString& value) = 0;
    virtual HRESULT get_FTP_Address(QString* value) = 0;
    // Comma-separated addresses reached directly.
    virtual HRESULT put_BypassList(const QString& value) = 0;
    virtual HRESULT get_BypassList(QString* value) = 0;
    // A value outside 0..2 is stored as atSystem.
    virtual HRESULT put_AccessType(AccessType_Const value) = 0;
    virtual HRESULT get_AccessType(AccessType_Const* value) = 0;
    // Opens the settings dialog; true when the user confirmed (the object then holds
    // the dialog's values).
    virtual HRESULT ShowConfigDialog(VARIANT_BOOL* result) = 0;
    // The wget proxy options for AccessType.
    virtual HRESULT toString(QString* result) = 0;
    virtual HRESULT toString_Direct(QString* result) = 0;
    virtual HRESULT toString_Proxy(QString* result) = 0;
    virtual HRESULT toString_System(QString* result) = 0;
    // The system's proxy configuration; every output is optional (nullptr). result is
    // false when the configuration cannot be read.
    virtual HRESULT GetSystemSettings(VARIANT_BOOL GetFullInfo, VARIANT_BOOL* lpUseProxy,
                                      QString* lpHTTP_Address, QString* lpHTTPS_Address,
                                      QString* lpFTP_Address, QString* lpBypassList,
                                      QString* lpUserName, QString* lpPassword,
                                      VARIANT_BOOL* result) = 0;
};

struct _olvHTTPRequestHT : IDispatch
{
    static constexpr GUID iid = makeGuid("{B88AE497-F083-41BF-9D27-9B0726F5003A}");
    // Extra header lines ("Name: value"); empty items are skipped. May be set to nothing.
    virtual HRESULT get_AdditionalHeaders(ICollection** value) = 0;
    virtual HRESULT putref_AdditionalHeaders(ICollection* value) = 0;
    // Nothing means a ProxySettings with its defaults (the system's configuration).
    virtual HRESULT get_ProxySettings(_ProxySettings** value) = 0;
    virtual HRESULT putref_ProxySettings(_ProxySettings* value) = 0;
    virtual HRESULT get_WGetEXEFileName(QString* value) = 0;
    virtual HRESULT get_WGetEXEDataPath(QString* value) = 0;
    virtual HRESULT put_URL(const QString& value) = 0;
    virtual HRESULT get_URL(QString* value) = 0;
    // The method; passed only when not empty.
    virtual HRESULT put_HTTPVerb(const QString& value) = 0;
    virtual HRESULT get_HTTPVerb(QString* value) = 0;
    virtual HRESULT put_Referer(const QString& value) = 0;
    virtual HRESULT get_Referer(QString* value) = 0;
    virtual HRESULT put_IgnoreCertificateErrors(VARIANT_BOOL value) = 0;
    virtual HRESULT get_IgnoreCertificateErrors(VARIANT_BOOL* value) = 0;
    // Seconds; negative means no time-out option.
    virtual HRESULT put_Timeout(std::int32_t value) = 0;
    virtual HRESULT get_Timeout(std::int32_t* value) = 0;
    virtual HRESULT put_UserAgent(const QString& value) = 0;
    virtual HRESULT get_UserAgent(QString* value) = 0;
    virtual HRESULT put_DisableCompression(VARIANT_BOOL value) = 0;
    virtual HRESULT get_DisableCompression(VARIANT_BOOL* value) = 0;
    virtual HRESULT put_ServerUserName(const QString& value) = 0;
    virtual HRESULT get_ServerUserName(QString* value) = 0;
    virtual HRESULT put_ServerPassword(const QString& value) = 0;
    virtual HRESULT get_ServerPassword(QString* value) = 0;
    virtual HRESULT put_NoCookies(VARIANT_BOOL value) = 0;
    virtual HRESULT get_NoCookies(VARIANT_BOOL* value) = 0;
    // Netscape cookie-file lines, each ended by CR LF; replaced after each run.
    virtual HRESULT put_CookiesData(const QString& value) = 0;
    virtual HRESULT get_CookiesData(QString* value) = 0;
    virtual HRESULT put_OptionalData(const QByteArray& value) = 0;
    virtual HRESULT get_OptionalData(QByteArray* value) = 0;
    virtual HRESULT put_OptionalDataFileName(const QString& value) = 0;
    virtual HRESULT get_OptionalDataFileName(QString* value) = 0;
    virtual HRESULT put_UseOptionalDataFileName(VARIANT_BOOL value) = 0;
    virtual HRESULT get_UseOptionalDataFileName(VARIANT_BOOL* value) = 0;
    virtual HRESULT get_ReceivedData(QByteArray* value) = 0;
    virtual HRESULT get_ReceivedDataFileName(QString* value) = 0;
    virtual HRESULT put_ReturnReceivedDataFileName(VARIANT_BOOL value) = 0;
    virtual HRESULT get_ReturnReceivedDataFileName(VARIANT_BOOL* value) = 0;
    // wget's log of the last run, progress removed.
    virtual HRESULT get_OutputLog(QString* value) = 0;
    // errno of a failed start of wget (2: not found).
    virtual HRESULT get_Win32ErrorCode(std::int32_t* value) = 0;
    virtual HRESULT get_WGetReturnCode(std::int32_t* value) = 0;
    virtual HRESULT put_NoHourglassCursor(VARIANT_BOOL value) = 0;
    virtual HRESULT get_NoHourglassCursor(VARIANT_BOOL* value) = 0;
    virtual HRESULT get_WGetCommandLine(QString* value) = 0;
    virtual HRESULT get_LastRC(RequestExecuteError_Const* value) = 0;
    // Runs the request; ordinary failures are result codes, never failed calls. A request
    // of a program told to end (SIGTERM, SIGINT, SIGHUP) stops wget, or does not start
    // it, and gives reeCancelled.
    virtual HRESULT Execute(RequestExecuteError_Const* result) = 0;
    // Seconds the whole run may take; 0 or less: no limit (a new object). When it is
    // reached wget is stopped and Execute gives reeTimeLimitReached.
    virtual HRESULT put_TimeLimit(std::int32_t value) = 0;
    virtual HRESULT get_TimeLimit(std::int32_t* value) = 0;
    // Largest response body in bytes; 0 or less: no limit (a new object). A larger one
    // stops wget and gives reeReceivedDataLimitReached.
    virtual HRESULT put_ReceivedDataLimit(std::int32_t value) = 0;
    virtual HRESULT get_ReceivedDataLimit(std::int32_t* value) = 0;
};

// A multipart/form-data body, part by part. Texts of the *Str members hold one byte
// per character (convert Unicode to UTF-8 first). Members marked hidden are kept for
// older clients and left out of object browsers.
struct _HTTPFormBuilder : IDispatch
{
    static constexpr GUID iid = makeGuid("{9BE318AD-D45E-4973-ABB1-DDD5BA62EFF8}");
    // Empties the body and takes a fresh boundary.
    virtual HRESULT Clear() = 0;
    // The boundary: 36 upper-case GUID characters.
    virtual HRESULT get_Bound(QString* value) = 0;
    // "Content-Type: multipart/form-data; boundary=..." for AdditionalHeaders.
    virtual HRESULT get_Header(QString* value) = 0;
    // The body with its closing delimiter; empty when nothing was added.
    virtual HRESULT get_FormData(QByteArray* value) = 0;
    virtual HRESULT get_FormDataStr(QString* value) = 0;
    // Hidden: AddElement with teText.
    virtual HRESULT AddTextElement(const QString& Name, const QByteArray& Data) = 0;
    // Hidden: AddElement with teBinary, a type and a file name.
    virtual HRESULT AddBinaryElement(const QString& Name, const QString& FileName,
                                     const QString& MIMEType, const QByteArray& Data) = 0;
    // Appends one part; an encoding outside teText..teBase64 raises error 5 and adds
    // nothing. A charset without a MIME type is ignored.
    virtual HRESULT AddElement(const QString& Name, const QByteArray& Data,
                               TransferEncoding_Const TransferEncoding = teText,
                               const QString& MIMEType = QString(),
                               const QString& Charset = QString(),
                               const QString& FileName = QString()) = 0;
    // Hidden.
    virtual HRESULT AddTextElementStr(const QString& Name, const QString& Data) = 0;
    // Hidden.
    virtual HRESULT AddBinaryElementStr(const QString& Name, const QString& FileName,
                                        const QString& MIMEType, const QString& Data) = 0;
    virtual HRESULT AddElementStr(const QString& Name, const QString& Data,
                                  TransferEncoding_Const TransferEncoding = teText,
                                  const QString& MIMEType = QString(),
                                  const QString& Charset = QString(),
                                  const QString& FileName = QString()) = 0;
};

// An application/x-www-form-urlencoded body: name=value pairs joined by "&", every
// character outside A-Z a-z 0-9 - _ . ~ percent-encoded.
struct _HTTPFormBuilderUE : IDispatch
{
    static constexpr GUID iid = makeGuid("{8DDE8E17-EF82-46CF-B8B5-CC37D098FB19}");
    virtual HRESULT Clear() = 0;
    // "Content-type: application/x-www-form-urlencoded" for AdditionalHeaders.
    virtual HRESULT get_Header(QString* value) = 0;
    virtual HRESULT get_FormData(QByteArray* value) = 0;
    virtual HRESULT get_FormDataStr(QString* value) = 0;
    // Names are encoded through the ANSI code page, data byte by byte.
    virtual HRESULT AddElement(const QString& Name, const QByteArray& Data) = 0;
    // Data holds one byte per character (UTF-8 for Unicode text).
    virtual HRESULT AddElementStr(const QString& Name, const QString& Data) = 0;
};

extern "C" {
KWQT_EXPORT HRESULT DllGetClassObject(const GUID* clsid, const GUID* iid, void** object);
KWQT_EXPORT HRESULT DllCanUnloadNow();
KWQT_EXPORT HRESULT DllRegisterServer();
KWQT_EXPORT HRESULT DllUnregisterServer();
}

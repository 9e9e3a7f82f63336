#include "request/http/olvHTTPRequestHT.h"

#include "platform/com/ErrorInfo.h"
#include "platform/process/ProcessTempFolder.h"
#include "platform/process/TerminationSignals.h"
#include "request/http/modArraySize.h"
#include "request/http/modCommon.h"
#include "request/http/modCookies.h"
#include "request/http/modEnvVariables.h"
#include "request/http/modFileIO.h"
#include "request/http/modFormatVersion.h"
#include "request/http/modLaunchProcess.h"
#include "request/http/modOutputLogSupport.h"
#include "request/http/modWgetSecrets.h"
#include "request/http/mvarWGetCache.h"
#include "request/modUserInterface.h"
#include "request/proxy/ProxySettings.h"
#include "support/olvsupport0100/olvsupport0100.h"
#include "support/olvsupportfbe0100/olvsupportfbe0100.h"

#include <QFile>
#include <QUrl>
#include <csignal>
#include <cstdlib>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {
HRESULT giveBool(bool source, VARIANT_BOOL* value)
{
    if (!value)
        return E_POINTER;
    *value = toVariantBool(source);
    return S_OK;
}

HRESULT take(QString* target, const QString& value)
{
    *target = value;
    return S_OK;
}

HRESULT takeBool(bool* target, VARIANT_BOOL value)
{
    *target = value != VARIANT_FALSE;
    return S_OK;
}

// N="value" and one blank, the value escaped.
QString quoted(const QString& name, const QString& value)
{
    return name + QStringLiteral("=\"") + EscapeArgument(value) + QStringLiteral("\" ");
}

// HOME (and WGETRC for the legacy build) as wget needs them, for as long as it runs.
class WgetEnvironment
{
public:
    WgetEnvironment(const QString& dataPath, bool legacy) : m_legacy(legacy)
    {
        SetWGetHome(dataPath);
    }
    ~WgetEnvironment()
    {
        RestoreHome();
        if (m_legacy)
            unsetenv("WGETRC");
    }
    WgetEnvironment(const WgetEnvironment&) = delete;
    WgetEnvironment& operator=(const WgetEnvironment&) = delete;

private:
    bool m_legacy;
};

// Everything written into fd, from its start.
QByteArray readFrom(int fd)
{
    QByteArray bytes;
    if (::lseek(fd, 0, SEEK_SET) != 0)
        return bytes;
    char buffer[4096];
    ssize_t got = 0;
    while ((got = ::read(fd, buffer, sizeof buffer)) > 0)
        bytes.append(buffer, got);
    return bytes;
}

// Removes the file when the run is over, however it ends.
class RemovedAtEnd
{
public:
    explicit RemovedAtEnd(QString name) : m_name(std::move(name)) {}
    ~RemovedAtEnd()
    {
        if (!m_name.isEmpty())
            QFile::remove(m_name);
    }
    RemovedAtEnd(const RemovedAtEnd&) = delete;
    RemovedAtEnd& operator=(const RemovedAtEnd&) = delete;

private:
    QString m_name;
};

[[noreturn]] void refuse(const char* what)
{
    raiseError(ErrInvalidProcedureCall, QStringLiteral("olvHTTPRequestHT"),
               QStringLiteral("%1: %2").arg(standardErrorDescription(ErrInvalidProcedureCall),
                                            QString::fromLatin1(what)));
}

bool hasLineBreak(const QString& value)
{
    return value.contains(QLatin1Char('\r')) || value.contains(QLatin1Char('\n'));
}

// An HTTP method is one token; blanks around it are trimmed by wget.
bool isMethodToken(const QString& verb)
{
    const QString token = verb.trimmed();
    if (token.isEmpty())
        return false;
    for (const QChar c : token) {
        if (c.unicode() < 0x80 &&
            (c.isLetterOrNumber() || QStringLiteral("!#$%&'*+-.^_`|~").contains(c)))
            continue;
        return false;
    }
    return true;
}

} // namespace

olvHTTPRequestHT::olvHTTPRequestHT()
{
    const WGetCache& cache = InitWGetCache(false);
    m_exe = cache.WGetEXEFileName;
    m_dataPath = cache.WGetEXEDataPath;
    m_legacy = cache.LegacyWGet;
    m_userAgent = FormatUserAgent(false);
    m_headers = newCollection();

    // The same members by name, for late-bound callers. Objects travel as borrowed
    // IUnknown pointers.
    const auto text = [this](const char* name, QString* field, bool writable = true) {
        m_table.addProperty(
            QString::fromLatin1(name), [field] { return *field; },
            writable ? DispatchTable::Setter([field](const QVariant& v) { *field = v.toString(); })
                     : DispatchTable::Setter());
    };
    const auto flag = [this](const char* name, bool* field) {
        m_table.addProperty(
            QString::fromLatin1(name), [field] { return *field; },
            [field](const QVariant& v) { *field = v.toBool(); });
    };
    const auto number = [this](const char* name, std::int32_t* field, bool writable) {
        m_table.addProperty(
            QString::fromLatin1(name), [field] { return *field; },
            writable ? DispatchTable::Setter([field](const QVariant& v) { *field = v.toInt(); })
                     : DispatchTable::Setter());
    };
    m_table.addProperty(QStringLiteral("AdditionalHeaders"), [this] {
        return QVariant::fromValue(static_cast<IUnknown*>(m_headers.get()));
    });
    m_table.addProperty(QStringLiteral("ProxySettings"), [this] {
        return QVariant::fromValue(static_cast<IUnknown*>(m_proxy.get()));
    });
    text("WGetEXEFileName", &m_exe, false);
    text("WGetEXEDataPath", &m_dataPath, false);
    text("URL", &m_url);
    text("HTTPVerb", &m_verb);
    text("Referer", &m_referer);
    flag("IgnoreCertificateErrors", &m_ignoreCertificateErrors);
    number("Timeout", &m_timeout, true);
    text("UserAgent", &m_userAgent);
    flag("DisableCompression", &m_disableCompression);
    text("ServerUserName", &m_serverUser);
    text("ServerPassword", &m_serverPassword);
    flag("NoCookies", &m_noCookies);
    text("CookiesData", &m_cookies);
    m_table.addProperty(
        QStringLiteral("OptionalData"), [this] { return m_optionalData; },
        [this](const QVariant& v) { m_optionalData = v.toByteArray(); });
    text("OptionalDataFileName", &m_optionalDataFileName);
    flag("UseOptionalDataFileName", &m_useOptionalDataFileName);
    m_table.addProperty(QStringLiteral("ReceivedData"), [this] { return m_receivedData; });
    text("ReceivedDataFileName", &m_receivedDataFileName, false);
    flag("ReturnReceivedDataFileName", &m_returnReceivedDataFileName);
    text("OutputLog", &m_outputLog, false);
    number("Win32ErrorCode", &m_win32ErrorCode, false);
    number("WGetReturnCode", &m_wgetReturnCode, false);
    flag("NoHourglassCursor", &m_noHourglass);
    text("WGetCommandLine", &m_commandLine, false);
    m_table.addProperty(QStringLiteral("LastRC"), [this] { return static_cast<int>(m_lastRC); });
    m_table.addMethod(QStringLiteral("Execute"), [this](const QVariantList&) {
        RequestExecuteError_Const rc = reeUnknownError;
        checkCall(Execute(&rc), QStringLiteral("olvHTTPRequestHT"));
        return QVariant(static_cast<int>(rc));
    });
    number("TimeLimit", &m_timeLimit, true);
    number("ReceivedDataLimit", &m_receivedDataLimit, true);
}

olvHTTPRequestHT::~olvHTTPRequestHT()
{
    if (m_collector)
        m_collector->FlushIt(); // and once more as the collector goes
}

csFileGarbageCollector& olvHTTPRequestHT::collector()
{
    if (!m_collector)
        m_collector = std::make_unique<csFileGarbageCollector>();
    return *m_collector;
}

HRESULT olvHTTPRequestHT::get_AdditionalHeaders(ICollection** value)
{
    if (!value)
        return E_POINTER;
    *value = ComPtr<ICollection>(m_headers).detach();
    return S_OK;
}

HRESULT olvHTTPRequestHT::putref_AdditionalHeaders(ICollection* value)
{
    m_headers = ComPtr<ICollection>::share(value);
    return S_OK;
}

HRESULT olvHTTPRequestHT::get_ProxySettings(_ProxySettings** value)
{
    if (!value)
        return E_POINTER;
    *value = ComPtr<_ProxySettings>(m_proxy).detach();
    return S_OK;
}

HRESULT olvHTTPRequestHT::putref_ProxySettings(_ProxySettings* value)
{
    m_proxy = ComPtr<_ProxySettings>::share(value);
    return S_OK;
}

HRESULT olvHTTPRequestHT::get_WGetEXEFileName(QString* value)
{
    return give(m_exe, value);
}
HRESULT olvHTTPRequestHT::get_WGetEXEDataPath(QString* value)
{
    return give(m_dataPath, value);
}
HRESULT olvHTTPRequestHT::put_URL(const QString& value)
{
    return take(&m_url, value);
}
HRESULT olvHTTPRequestHT::get_URL(QString* value)
{
    return give(m_url, value);
}
HRESULT olvHTTPRequestHT::put_HTTPVerb(const QString& value)
{
    return take(&m_verb, value);
}
HRESULT olvHTTPRequestHT::get_HTTPVerb(QString* value)
{
    return give(m_verb, value);
}
HRESULT olvHTTPRequestHT::put_Referer(const QString& value)
{
    return take(&m_referer, value);
}
HRESULT olvHTTPRequestHT::get_Referer(QString* value)
{
    return give(m_referer, value);
}
HRESULT olvHTTPRequestHT::put_IgnoreCertificateErrors(VARIANT_BOOL value)
{
    return takeBool(&m_ignoreCertificateErrors, value);
}
HRESULT olvHTTPRequestHT::get_IgnoreCertificateErrors(VARIANT_BOOL* value)
{
    return giveBool(m_ignoreCertificateErrors, value);
}
HRESULT olvHTTPRequestHT::put_Timeout(std::int32_t value)
{
    m_timeout = value;
    return S_OK;
}
HRESULT olvHTTPRequestHT::get_Timeout(std::int32_t* value)
{
    return give(m_timeout, value);
}
HRESULT olvHTTPRequestHT::put_UserAgent(const QString& value)
{
    return take(&m_userAgent, value);
}
HRESULT olvHTTPRequestHT::get_UserAgent(QString* value)
{
    return give(m_userAgent, value);
}
HRESULT olvHTTPRequestHT::put_DisableCompression(VARIANT_BOOL value)
{
    return takeBool(&m_disableCompression, value);
}
HRESULT olvHTTPRequestHT::get_DisableCompression(VARIANT_BOOL* value)
{
    return giveBool(m_disableCompression, value);
}
HRESULT olvHTTPRequestHT::put_ServerUserName(const QString& value)
{
    return take(&m_serverUser, value);
}
HRESULT olvHTTPRequestHT::get_ServerUserName(QString* value)
{
    return give(m_serverUser, value);
}
HRESULT olvHTTPRequestHT::put_ServerPassword(const QString& value)
{
    return take(&m_serverPassword, value);
}
HRESULT olvHTTPRequestHT::get_ServerPassword(QString* value)
{
    return give(m_serverPassword, value);
}
HRESULT olvHTTPRequestHT::put_NoCookies(VARIANT_BOOL value)
{
    return takeBool(&m_noCookies, value);
}
HRESULT olvHTTPRequestHT::get_NoCookies(VARIANT_BOOL* value)
{
    return giveBool(m_noCookies, value);
}
HRESULT olvHTTPRequestHT::put_CookiesData(const QString& value)
{
    return take(&m_cookies, value);
}
HRESULT olvHTTPRequestHT::get_CookiesData(QString* value)
{
    return give(m_cookies, value);
}
HRESULT olvHTTPRequestHT::put_OptionalData(const QByteArray& value)
{
    m_optionalData = value;
    return S_OK;
}
HRESULT olvHTTPRequestHT::get_OptionalData(QByteArray* value)
{
    return give(m_optionalData, value);
}
HRESULT olvHTTPRequestHT::put_OptionalDataFileName(const QString& value)
{
    return take(&m_optionalDataFileName, value);
}
HRESULT olvHTTPRequestHT::get_OptionalDataFileName(QString* value)
{
    return give(m_optionalDataFileName, value);
}
HRESULT olvHTTPRequestHT::put_UseOptionalDataFileName(VARIANT_BOOL value)
{
    return takeBool(&m_useOptionalDataFileName, value);
}
HRESULT olvHTTPRequestHT::get_UseOptionalDataFileName(VARIANT_BOOL* value)
{
    return giveBool(m_useOptionalDataFileName, value);
}
HRESULT olvHTTPRequestHT::get_ReceivedData(QByteArray* value)
{
    return give(m_receivedData, value);
}
HRESULT olvHTTPRequestHT::get_ReceivedDataFileName(QString* value)
{
    return give(m_receivedDataFileName, value);
}
HRESULT olvHTTPRequestHT::put_ReturnReceivedDataFileName(VARIANT_BOOL value)
{
    return takeBool(&m_returnReceivedDataFileName, value);
}
HRESULT olvHTTPRequestHT::get_ReturnReceivedDataFileName(VARIANT_BOOL* value)
{
    return giveBool(m_returnReceivedDataFileName, value);
}
HRESULT olvHTTPRequestHT::get_OutputLog(QString* value)
{
    return give(m_outputLog, value);
}
HRESULT olvHTTPRequestHT::get_Win32ErrorCode(std::int32_t* value)
{
    return give(m_win32ErrorCode, value);
}
HRESULT olvHTTPRequestHT::get_WGetReturnCode(std::int32_t* value)
{
    return give(m_wgetReturnCode, value);
}
HRESULT olvHTTPRequestHT::put_NoHourglassCursor(VARIANT_BOOL value)
{
    return takeBool(&m_noHourglass, value);
}
HRESULT olvHTTPRequestHT::get_NoHourglassCursor(VARIANT_BOOL* value)
{
    return giveBool(m_noHourglass, value);
}
HRESULT olvHTTPRequestHT::get_WGetCommandLine(QString* value)
{
    return give(m_commandLine, value);
}
HRESULT olvHTTPRequestHT::get_LastRC(RequestExecuteError_Const* value)
{
    return give(m_lastRC, value);
}

HRESULT olvHTTPRequestHT::put_TimeLimit(std::int32_t value)
{
    m_timeLimit = value;
    return S_OK;
}
HRESULT olvHTTPRequestHT::get_TimeLimit(std::int32_t* value)
{
    return give(m_timeLimit, value);
}
HRESULT olvHTTPRequestHT::put_ReceivedDataLimit(std::int32_t value)
{
    m_receivedDataLimit = value;
    return S_OK;
}
HRESULT olvHTTPRequestHT::get_ReceivedDataLimit(std::int32_t* value)
{
    return give(m_receivedDataLimit, value);
}

HRESULT olvHTTPRequestHT::Execute(RequestExecuteError_Const* result)
{
    // A raised error ends the run with LastRC left at reeUnknownError.
    return guardCall([&] {
        const RequestExecuteError_Const rc = run();
        if (result)
            *result = rc;
        return S_OK;
    });
}

QString olvHTTPRequestHT::newTemporaryFile(bool registered, bool handedOut)
{
    // The process's own folder, which goes with the process even when it is killed; a
    // file handed out to the caller outlives the process, in the user's private folder.
    QString why;
    const QString folder = handedOut ? UserTempFolder(&why) : ProcessTempFolder(&why);
    if (folder.isEmpty())
        raiseError(ErrInvalidProcedureCall, QStringLiteral("olvHTTPRequestHT"),
                   QStringLiteral("No temporary file can be made. %1").arg(why));
    QString name;
    checkStatus(sxGetTempFileName2(folder, QStringLiteral("TMP"), &name), "sxGetTempFileName2");
    if (registered)
        collector().AddFiles({name});
    return name;
}

QString olvHTTPRequestHT::checkedProxyText(QString* proxyPassword)
{
    QString proxyText;
    if (m_proxy) {
        checkCall(m_proxy->toString(&proxyText), QStringLiteral("ProxySettings"));
    } else {
        auto temporary = ComPtr<_ProxySettings>::adopt(new ProxySettings);
        checkCall(temporary->toString(&proxyText), QStringLiteral("ProxySettings"));
    }
    if (hasLineBreak(proxyText))
        refuse("a proxy value holds a line break");
    const QString rest = TakeProxyPassword(proxyText, proxyPassword);
    if (!FitsSecretFile(*proxyPassword))
        refuse("the proxy password begins or ends with white space");
    return rest;
}

QStringList olvHTTPRequestHT::checkedHeaders() const
{
    QStringList lines;
    if (m_headers) {
        for (int i = 1; i <= m_headers->Count(); ++i) {
            const QString header = m_headers->Item(i).toString();
            if (header.isEmpty())
                continue;
            if (hasLineBreak(header))
                refuse("a header line holds a line break");
            lines << header;
        }
    }
    return lines;
}

void olvHTTPRequestHT::checkValues() const
{
    // Anything that reaches the request line or a header must stay on its own line.
    if (hasLineBreak(m_url))
        refuse("the URL holds a line break");
    if (!m_verb.isEmpty() && !isMethodToken(m_verb))
        refuse("the HTTP verb is not a single word");
    if (hasLineBreak(m_referer))
        refuse("the Referer holds a line break");
    if (hasLineBreak(m_userAgent))
        refuse("the User-Agent holds a line break");
    if (hasLineBreak(m_serverUser))
        refuse("the user name holds a line break");
    if (!FitsSecretFile(m_serverPassword))
        refuse("the password begins or ends with white space or holds a line break");
}

RequestExecuteError_Const olvHTTPRequestHT::run()
{
    m_lastRC = reeUnknownError;
    m_receivedData.clear();
    m_outputLog.clear();
    m_commandLine.clear();
    m_win32ErrorCode = 0;
    m_wgetReturnCode = 0;
    const auto finish = [this](RequestExecuteError_Const rc) { return m_lastRC = rc; };

    if (m_url.isEmpty())
        return finish(reeURLNotSpecified);
    // A program told to end starts no request.
    if (TerminationRequested())
        return finish(reeCancelled);

    // Every value is checked before any file is made or anything started.
    checkValues();
    WgetSecrets secrets;
    secrets.password = m_serverPassword;
    const QString proxyText = checkedProxyText(&secrets.proxyPassword);
    QStringList headers = checkedHeaders();
    // Header lines up to the last one with credentials go to the file, so that wget,
    // which sends the file's headers first, keeps the caller's order.
    const qsizetype inFile = CredentialHeaderCount(headers);
    secrets.headers = headers.mid(0, inFile);
    headers = headers.mid(inFile);

    const QString logFile = newTemporaryFile(true);
    const QString responseFile =
        newTemporaryFile(!m_returnReceivedDataFileName, m_returnReceivedDataFileName);
    const QString cookieFile = m_noCookies ? QString() : newTemporaryFile(true);
    QString bodyFile;
    if (m_useOptionalDataFileName)
        bodyFile = m_optionalDataFileName;
    else if (!IsArrayEmpty(m_optionalData))
        bodyFile = newTemporaryFile(true);

    if (!m_noCookies && !WriteTextFile(cookieFile, CookieFileHeader() + m_cookies))
        return finish(reeCookieFileWriteError);
    if (!m_useOptionalDataFileName && !bodyFile.isEmpty() &&
        !WriteBinaryFile(bodyFile, m_optionalData))
        return finish(reeOptionalDataFileWriteError);

    QString configFile = JoinFileName(m_dataPath, QStringLiteral("wget.cfg"));
    QString secretFile;
    if (!secrets.isEmpty()) {
        secretFile = newTemporaryFile(false);
        configFile = secretFile;
    }
    const RemovedAtEnd secretFileGoes(secretFile);
    if (!secretFile.isEmpty()) {
        QByteArray shipped;
        ReadBinaryFile(JoinFileName(m_dataPath, QStringLiteral("wget.cfg")), &shipped);
        if (!WriteSecretFile(secretFile, shipped, secrets))
            raiseError(ErrInvalidProcedureCall, QStringLiteral("olvHTTPRequestHT"),
                       QStringLiteral("wget's options file could not be written"));
    }

    // wget sends every header line, and the password, again to wherever a redirect
    // points, and resends or drops the body as it sees fit: such a request goes to the
    // address it was given or nowhere.
    const bool followRedirects = secrets.headers.isEmpty() && m_serverPassword.isEmpty() &&
                                 QUrl(m_url).password().isEmpty() && bodyFile.isEmpty();
    m_commandLine = buildCommandLine(logFile, responseFile, cookieFile, bodyFile, configFile,
                                     headers, proxyText, followRedirects);
    // The legacy build takes its configuration file from the environment instead.
    if (m_legacy)
        setenv("WGETRC", QFile::encodeName(configFile).constData(), 1);

    // How the run ended beyond wget's own exit code.
    enum class Ending { Exited, TimeLimit, SizeLimit, Stopped };
    Ending ending = Ending::Exited;
    bool started = false;
    QByteArray errors;
    {
        HourglassCursor hourglass(!m_noHourglass);
        const WgetEnvironment environment(m_dataPath, m_legacy);
        // What wget says before it opens its log (option errors above all) goes to its
        // standard error: kept in memory, since wget empties the log as it opens it.
        const int errorOutput = memfd_create("wget-stderr", MFD_CLOEXEC);
        ChildOptions options;
        if (errorOutput >= 0)
            options.standardHandles[2] = errorOutput;
        if (m_receivedDataLimit > 0)
            // The kernel bounds every file wget writes, so that no reply fills the disk
            // between two looks at the response file. The bound stays far above the log
            // and the cookie file of any reply within the limit.
            options.fileSizeLimit =
                2 * static_cast<std::int64_t>(m_receivedDataLimit) + (1 << 20) + m_cookies.size();
        pid_t pid = 0;
        // A signal may have come while the files were written.
        if (!TerminationRequested())
            started = StartChild(m_commandLine, options, &pid, &m_win32ErrorCode);
        else
            ending = Ending::Stopped;
        if (started) {
            const QByteArray watched = QFile::encodeName(responseFile);
            const auto overLimit = [&] {
                struct stat info = {};
                return m_receivedDataLimit > 0 && ::stat(watched.constData(), &info) == 0 &&
                       info.st_size > m_receivedDataLimit;
            };
            const auto stop = [&] { return TerminationRequested() || overLimit(); };
            const std::int64_t timeoutMs =
                m_timeLimit > 0 ? static_cast<std::int64_t>(m_timeLimit) * 1000 : -1;
            int status = 0;
            switch (WaitForChild(pid, timeoutMs, TerminationWakeFd(),
                                 m_receivedDataLimit > 0 ? 50 : -1, stop, &m_wgetReturnCode,
                                 &status)) {
            case ChildWaitEnd::Exited:
                // An answer that wget finished stands, even if a signal came meanwhile.
                if ((WIFSIGNALED(status) && WTERMSIG(status) == SIGXFSZ) || overLimit())
                    ending = Ending::SizeLimit;
                break;
            case ChildWaitEnd::TimedOut:
                KillChild(pid, &m_wgetReturnCode, &status);
                ending = Ending::TimeLimit;
                break;
            case ChildWaitEnd::Stopped:
                KillChild(pid, &m_wgetReturnCode, &status);
                ending = TerminationRequested() ? Ending::Stopped : Ending::SizeLimit;
                break;
            }
        }
        if (errorOutput >= 0) {
            errors = readFrom(errorOutput);
            ::close(errorOutput);
        }
    }
    if (!started && ending != Ending::Stopped)
        return finish(reeCantRunWGet);

    QByteArray log;
    const bool logRead = started && ReadBinaryFile(logFile, &log);
    // wget writes its log in the locale's encoding, and ends its lines with LF alone;
    // the log is kept with CR LF.
    m_outputLog = CleanOutputLog(NormalizeLineBreaks(QString::fromLocal8Bit(log)));
    if (const QString said = CleanOutputLog(NormalizeLineBreaks(QString::fromLocal8Bit(errors)));
        !said.isEmpty())
        m_outputLog = m_outputLog.isEmpty() ? said : said + QStringLiteral("\r\n") + m_outputLog;

    if (ending != Ending::Exited) {
        // Nothing of a broken-off answer is kept: not the response, not the cookies.
        for (const QString& name :
             {logFile, responseFile, cookieFile, m_useOptionalDataFileName ? QString() : bodyFile})
            if (!name.isEmpty())
                QFile::remove(name);
        return finish(ending == Ending::TimeLimit   ? reeTimeLimitReached
                      : ending == Ending::SizeLimit ? reeReceivedDataLimitReached
                                                    : reeCancelled);
    }
    if (!logRead) {
        m_outputLog.clear();
        return finish(reeLogFileReadError);
    }

    RequestExecuteError_Const rc = finish(m_wgetReturnCode != 0 ? reeWGetReturnsError : reeSuccess);
    if (m_returnReceivedDataFileName) {
        m_receivedDataFileName = responseFile;
    } else if (!ReadBinaryFile(responseFile, &m_receivedData)) {
        return finish(reeResultFileReadError);
    }
    if (!m_noCookies) {
        QString cookies;
        if (ReadTextFile(cookieFile, &cookies)) {
            m_cookies = CookiesFromCookieFile(cookies);
        } else {
            m_cookies.clear();
            rc = finish(reeCookieFileReadError);
        }
    }
    return rc;
}

QString olvHTTPRequestHT::buildCommandLine(const QString& logFile, const QString& responseFile,
                                           const QString& cookieFile, const QString& bodyFile,
                                           const QString& configFile, const QStringList& headers,
                                           const QString& proxyText, bool followRedirects) const
{
    QString line = QLatin1Char('"') + EscapeArgument(m_exe) + QStringLiteral("\" ");
    line += quoted(QStringLiteral("--output-file"), logFile);
    line += quoted(QStringLiteral("--output-document"), responseFile);
    line += quoted(QStringLiteral("--user-agent"), m_userAgent);
    if (!m_legacy) {
        line += QStringLiteral("--compression=") +
                (m_disableCompression ? QStringLiteral("none") : QStringLiteral("auto")) +
                QStringLiteral(" --no-netrc --no-hsts ");
        line += quoted(QStringLiteral("--config"), configFile);
    }
    if (m_timeout >= 0)
        line += QStringLiteral("--timeout=%1 ").arg(m_timeout);
    if (!m_referer.isEmpty())
        line += quoted(QStringLiteral("--referer"), m_referer);
    // wget refuses a body without a method; a body alone has always meant POST.
    if (!m_legacy && !m_verb.isEmpty())
        line += quoted(QStringLiteral("--method"), m_verb);
    else if (!m_legacy && !bodyFile.isEmpty())
        line += QStringLiteral("--method=\"POST\" ");
    if (!m_serverUser.isEmpty())
        line += quoted(QStringLiteral("--user"), m_serverUser);
    if (m_ignoreCertificateErrors)
        line += QStringLiteral("--no-check-certificate ");
    line += quoted(QStringLiteral("--ca-certificate"),
                   JoinFileName(m_dataPath, QStringLiteral("curl-ca-bundle.crt")));
    line +=
        quoted(QStringLiteral("--ca-directory"), JoinFileName(m_dataPath, QStringLiteral("ca")));
    if (m_noCookies) {
        line += QStringLiteral("--no-cookies ");
    } else {
        line += quoted(QStringLiteral("--load-cookies"), cookieFile);
        line += quoted(QStringLiteral("--save-cookies"), cookieFile);
        // Without it wget drops every cookie that has no expiry time from the jar.
        line += QStringLiteral("--keep-session-cookies ");
    }
    if (!bodyFile.isEmpty()) {
        if (m_legacy) {
            QString verb;
            checkStatus(suTrimEx2(m_verb.toUpper(), true, true, true, true, true, false, false,
                                  false, false, false, &verb),
                        "suTrimEx2");
            if (verb == QStringLiteral("POST"))
                line += quoted(QStringLiteral("--post-file"), bodyFile);
        } else {
            line += quoted(QStringLiteral("--body-file"), bodyFile);
        }
    }
    for (const QString& header : headers)
        line += quoted(QStringLiteral("--header"), header);
    if (!followRedirects)
        line += QStringLiteral("--max-redirect=0 ");
    line += QStringLiteral("--content-on-error ");
    line += proxyText + QLatin1Char(' ');
    line += QLatin1Char('"') + EscapeArgument(m_url) + QLatin1Char('"');
    return line;
}

HRESULT olvHTTPRequestHT::GetPropertyNames(QStringList* names)
{
    return m_table.propertyNames(names);
}

HRESULT olvHTTPRequestHT::Invoke(const QString& member, InvokeKind kind,
                                 const QVariantList& arguments, QVariant* result)
{
    return guardCall([&] { return m_table.invoke(member, kind, arguments, result); });
}

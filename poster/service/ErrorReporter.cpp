#include "poster/service/ErrorReporter.h"

#include "platform/text/ControlCharacters.h"
#include "platform/ui/MsgBox.h"
#include "request/KWQT0100.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QStringList>
#include <cstring>

namespace {
// The first lines of the server's answer, enough to say what it objected to. Its control
// characters are shown as escapes: the text may reach a terminal, where a CR or an ESC
// from the server could forge or hide lines.
QString AnswerExcerpt(const QByteArray& answer)
{
    // A JSON:API errors document says it best in its own titles and details.
    const QJsonArray errors =
        QJsonDocument::fromJson(answer).object().value(QStringLiteral("errors")).toArray();
    QStringList said;
    for (const QJsonValue& error : errors) {
        const QJsonObject object = error.toObject();
        const QString title = object.value(QStringLiteral("title")).toString();
        const QString detail = object.value(QStringLiteral("detail")).toString();
        if (!title.isEmpty() || !detail.isEmpty())
            said << escapeControlCharacters(title.isEmpty() || detail.isEmpty()
                                                ? title + detail
                                                : title + QStringLiteral(": ") + detail)
                        .left(300);
        if (said.size() == 4)
            break;
    }
    if (!said.isEmpty())
        return said.join(QLatin1Char('\n'));
    QString text = QString::fromUtf8(answer.left(2000)).trimmed();
    QStringList lines;
    for (QString line : text.split(QLatin1Char('\n'))) {
        line = line.trimmed();
        line.removeIf([](QChar c) { return c.unicode() < 0x20 || c == QChar(0x7F); });
        line = escapeControlCharacters(line);
        if (line.isEmpty())
            continue;
        if (line.size() > 200)
            line = line.left(200) + QStringLiteral("…");
        lines << line;
        if (lines.size() == 4)
            break;
    }
    return lines.join(QLatin1Char('\n'));
}

QString StatusLine(const QString& log)
{
    static const QRegularExpression status(
        QStringLiteral("awaiting response\\.\\.\\. (\\d{3}[^\\r\\n]*)"));
    QString last;
    auto matches = status.globalMatch(log);
    while (matches.hasNext())
        last = matches.next().captured(1).trimmed();
    return escapeControlCharacters(last);
}

// The last line of wget's log that names an error, for the cases we have no words for.
QString LastErrorLine(const QString& log)
{
    const QStringList lines = log.split(QRegularExpression(QStringLiteral("[\\r\\n]+")));
    for (auto line = lines.crbegin(); line != lines.crend(); ++line) {
        const QString trimmed = line->trimmed();
        if (trimmed.contains(QStringLiteral("ERROR"), Qt::CaseInsensitive) ||
            trimmed.contains(QStringLiteral("failed"), Qt::CaseInsensitive) ||
            trimmed.contains(QStringLiteral("error"), Qt::CaseInsensitive))
            return escapeControlCharacters(trimmed).left(300);
    }
    return {};
}

QString NetworkFailure(const QString& log)
{
    const auto has = [&](const char* text) {
        return log.contains(QLatin1String(text), Qt::CaseInsensitive);
    };
    if (has("Connection refused"))
        return QStringLiteral("The server refused the connection: it is not running at this "
                              "address, or a firewall is in the way.");
    if (has("timed out"))
        return QStringLiteral("The server did not answer in time.");
    if (has("unable to resolve") || has("Name or service not known") ||
        has("Temporary failure in name resolution"))
        return QStringLiteral("The server's name could not be found. Check the address and the "
                              "network connection.");
    if (has("No data received") || has("Read error") || has("Connection reset") ||
        has("Connection closed"))
        return QStringLiteral("The connection broke before the server's answer arrived. The "
                              "server may or may not have received the request.");
    return QStringLiteral("A network error stopped the request.");
}

// Where a redirect pointed, as wget logged it; control characters left out.
QString RedirectTarget(const QString& log)
{
    static const QRegularExpression location(QStringLiteral("Location: ([^\\r\\n]*)"));
    QString last;
    auto matches = location.globalMatch(log);
    while (matches.hasNext())
        last = matches.next().captured(1);
    last.remove(QStringLiteral(" [following]"));
    last.removeIf([](QChar c) { return c.unicode() < 0x20 || c == QChar(0x7F); });
    return escapeControlCharacters(last.trimmed()).left(500);
}

// "5 minutes", "90 seconds", "1 hour".
QString Duration(std::int32_t seconds)
{
    const auto unit = [](std::int32_t count, const char* one, const char* many) {
        return QStringLiteral("%1 %2").arg(count).arg(QLatin1String(count == 1 ? one : many));
    };
    if (seconds % 3600 == 0)
        return unit(seconds / 3600, "hour", "hours");
    if (seconds % 60 == 0)
        return unit(seconds / 60, "minute", "minutes");
    return unit(seconds, "second", "seconds");
}

// "16 MB", "512 KB", "1000 bytes".
QString Size(std::int32_t bytes)
{
    if (bytes % (1 << 20) == 0)
        return QStringLiteral("%1 MB").arg(bytes >> 20);
    if (bytes % (1 << 10) == 0)
        return QStringLiteral("%1 KB").arg(bytes >> 10);
    return QStringLiteral("%1 bytes").arg(bytes);
}

QString WGetFailure(_olvHTTPRequestHT* request, std::int32_t wgetCode, const QString& log)
{
    // An HTTP error status ends wget with 8, or with 6 for 401 and 407.
    const QString status = StatusLine(log);
    // A request with credentials or a body follows no redirect: wget stops at the first.
    if (wgetCode == 8 && status.startsWith(QLatin1Char('3'))) {
        const QString target = RedirectTarget(log);
        return QStringLiteral("The service answered with a redirect (HTTP %1) to %2. A request "
                              "that carries a password, a token or a body does not follow "
                              "redirects, so nothing was sent there.")
            .arg(status, target.isEmpty() ? QStringLiteral("an address it did not give")
                                          : QStringLiteral("\"%1\"").arg(target));
    }
    if (wgetCode == 8 || (wgetCode == 6 && !status.isEmpty())) {
        QByteArray answer;
        request->get_ReceivedData(&answer);
        QString text = status.isEmpty()
                           ? QStringLiteral("The server answered with an error.")
                           : QStringLiteral("The server answered: HTTP %1.").arg(status);
        if (wgetCode == 6)
            text += QStringLiteral(" It did not accept the user name or password.");
        const QString excerpt = AnswerExcerpt(answer);
        if (!excerpt.isEmpty())
            text += QStringLiteral("\n") + excerpt;
        return text;
    }
    switch (wgetCode) {
    case 4:
        return NetworkFailure(log);
    case 5:
        return QStringLiteral("The server's certificate could not be verified, so nothing "
                              "was sent. It may be forged, expired, or signed by an authority "
                              "this computer does not trust.");
    case 6:
        return QStringLiteral("The server refused the user name or password.");
    case 7:
        return QStringLiteral("The server's answer broke the HTTP protocol.");
    case 3:
        return QStringLiteral("wget could not read or write one of its files.");
    case 2:
        return QStringLiteral("wget did not accept its command line.");
    default:
        return QStringLiteral("wget reported a failure.");
    }
}
} // namespace

ErrorReporter& ErrorReporter::instance()
{
    static ErrorReporter reporter;
    return reporter;
}

QString ErrorReporter::RequestErrorText(_olvHTTPRequestHT* request, const QString& leadingText)
{
    RequestExecuteError_Const rc = reeUnknownError;
    std::int32_t wgetCode = 0, systemCode = 0;
    QString log;
    request->get_LastRC(&rc);
    request->get_WGetReturnCode(&wgetCode);
    request->get_Win32ErrorCode(&systemCode);
    request->get_OutputLog(&log);

    QString what;
    switch (rc) {
    case reeURLNotSpecified:
        what = QStringLiteral("The request had no address.");
        break;
    case reeCookieFileWriteError:
        what = QStringLiteral("The cookie file for wget could not be written.");
        break;
    case reeOptionalDataFileWriteError:
        what = QStringLiteral("The request body could not be written to a temporary file.");
        break;
    case reeCantRunWGet:
        what = QStringLiteral("wget could not be started: %1 (system error %2).")
                   .arg(QString::fromLocal8Bit(std::strerror(systemCode)))
                   .arg(systemCode);
        break;
    case reeLogFileReadError:
        what = QStringLiteral("wget's log could not be read.");
        break;
    case reeWGetReturnsError:
        what = WGetFailure(request, wgetCode, log);
        break;
    case reeResultFileReadError:
        what = QStringLiteral("The server's answer could not be read from its file.");
        break;
    case reeCookieFileReadError:
        what = QStringLiteral("The cookie file could not be read back.");
        break;
    case reeTimeLimitReached: {
        std::int32_t limit = 0;
        request->get_TimeLimit(&limit);
        what = QStringLiteral("The service did not finish its answer within %1, so the request "
                              "was stopped. The service may or may not have received it.")
                   .arg(Duration(limit));
        break;
    }
    case reeReceivedDataLimitReached: {
        std::int32_t limit = 0;
        request->get_ReceivedDataLimit(&limit);
        what = QStringLiteral("The service answered with more than %1, far more than any answer "
                              "it is meant to give, so the request was stopped and the answer "
                              "thrown away.")
                   .arg(Size(limit));
        break;
    }
    case reeCancelled:
        what = QStringLiteral("The request was stopped because the program is ending.");
        break;
    default:
        what = QStringLiteral("The request was broken off by an internal error.");
        break;
    }
    QString text = leadingText + QStringLiteral("\n\n") + what;
    if (rc == reeWGetReturnsError && wgetCode != 8 && wgetCode != 6 && wgetCode != 5) {
        const QString detail = LastErrorLine(log);
        if (!detail.isEmpty())
            text += QStringLiteral("\n(") + detail + QLatin1Char(')');
    }
    // wget's exit code says nothing when it never ran or was stopped by us.
    if (rc != reeURLNotSpecified && rc != reeCantRunWGet && rc != reeCookieFileWriteError &&
        rc != reeOptionalDataFileWriteError && rc != reeTimeLimitReached &&
        rc != reeReceivedDataLimitReached && rc != reeCancelled)
        text += QStringLiteral("\n\nwget exit code: %1.").arg(wgetCode);
    return text;
}

QString ErrorReporter::UnconfirmedReplyText(_olvHTTPRequestHT* request, const QString& leadingText)
{
    QString log;
    QByteArray answer;
    request->get_OutputLog(&log);
    request->get_ReceivedData(&answer);
    const QString status = StatusLine(log);
    QString line = QString::fromUtf8(answer.left(2000)).trimmed().section(QLatin1Char('\n'), 0, 0);
    line.removeIf([](QChar c) { return c.unicode() < 0x20 || c == QChar(0x7F); });
    if (line.size() > 200)
        line = line.left(200) + QStringLiteral("…");
    QString text = leadingText + QStringLiteral("\n\nThe service did not confirm the entry ") +
                   (status.isEmpty() ? QStringLiteral("(no HTTP status)")
                                     : QStringLiteral("(HTTP %1)").arg(status)) +
                   QLatin1Char('.');
    text += line.isEmpty() ? QStringLiteral("\nIts reply was empty.")
                           : QStringLiteral("\nIts reply began: ") + line;
    return text;
}

QString ErrorReporter::RunTimeErrorText(const RuntimeError& error, const QString& leadingText)
{
    return leadingText + QStringLiteral("\n\n") + error.description() +
           QStringLiteral("\n(run-time error %1)").arg(error.number());
}

int ErrorReporter::ShowRequestError(_olvHTTPRequestHT* request, int style, int,
                                    const QString& leadingText, int)
{
    ErrorReport report{RequestErrorText(request, leadingText), style, {}};
    request->get_URL(&report.requestUrl);
    return show(report);
}

int ErrorReporter::ShowRunTimeError(const RuntimeError& error, int style, int,
                                    const QString& leadingText, int)
{
    return show({RunTimeErrorText(error, leadingText), style, {}});
}

int ErrorReporter::ShowUnconfirmedReply(_olvHTTPRequestHT* request, int style,
                                        const QString& leadingText)
{
    ErrorReport report{UnconfirmedReplyText(request, leadingText), style, {}};
    request->get_URL(&report.requestUrl);
    return show(report);
}

int ErrorReporter::ShowMessage(const QString& text, int style)
{
    return show({text, style, {}});
}

void ErrorReporter::setSink(Sink sink)
{
    m_sink = std::move(sink);
}

int ErrorReporter::show(const ErrorReport& report)
{
    if (m_sink)
        return m_sink(report);
    return msgBox(report.text, report.style, QString());
}

#include "poster/service/modPostSender.h"

#include "platform/com/ClassRegistry.h"
#include "platform/com/ErrorInfo.h"
#include "platform/ui/MsgBox.h"
#include "poster/convert/modConverter.h"
#include "poster/service/ErrorReporter.h"
#include "poster/service/modPublishJournal.h"
#include "poster/service/modServiceAddress.h"
#include "poster/service/modSimpleRegExp.h"
#include "poster/workflow/modApp.h"
#include "request/KWQT0100.h"
#include "support/olvsupport0100/olvsupport0100.h"
#include "support/olvsupportfbe0100/olvsupportfbe0100.h"
#include "support/settings/SettingsStore.h"

#include <QCoreApplication>
#include <QFile>
#include <QHash>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <cmath>
#include <functional>
#include <type_traits>

QString LogonUserName;
QString LogonPassword;
QString AccessToken;
QString ProfileId;
const QString UploadUserAgent = QStringLiteral(
    "Mozilla/5.0 (Windows NT 6.1; Win64; x64; rv:109.0) Gecko/20100101 Firefox/115.0");

static void initStringTable()
{
    Q_INIT_RESOURCE(strings);
}

namespace {
const QString ServiceName = QStringLiteral("Brivet");

// The program's string table, read once.
QString LoadResString(int id)
{
    static const QHash<int, QString> table = [] {
        initStringTable();
        QHash<int, QString> strings;
        QFile file(QStringLiteral(":/strings/StringTable.txt"));
        if (file.open(QIODevice::ReadOnly)) {
            const QStringList lines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'));
            for (const QString& line : lines) {
                const qsizetype tab = line.indexOf(QLatin1Char('\t'));
                if (!line.startsWith(QLatin1Char('#')) && tab > 0)
                    strings.insert(line.left(tab).toInt(), line.mid(tab + 1));
            }
        }
        return strings;
    }();
    return table.value(id);
}

// JSON string content: CR LF and a lone CR become LF first (LineBreaksToLF), then
// backslash, quote, line breaks and every other control character are escaped. An
// unpaired surrogate has no UTF-8 form and becomes U+FFFD. Bodies run to megabytes, so
// the exact length is counted first and the text is written once, in place.
qsizetype JsonLength(QStringView text)
{
    qsizetype length = 0;
    const qsizetype size = text.size();
    for (qsizetype i = 0; i < size; ++i) {
        const char16_t c = text[i].unicode();
        if (c >= 0x20)
            length += c == u'\\' || c == u'"' ? 2 : 1;
        else if (c == u'\r' && i + 1 < size && text[i + 1] == u'\n')
            continue; // the pair is one line break
        else if (c == u'\n' || c == u'\r' || c == u'\t' || c == u'\b' || c == u'\f')
            length += 2;
        else
            length += 6;
    }
    return length;
}

// The escape of a control character, as JSON writes it, in either output: a CR LF
// pair is one line break, so i may step over its LF. Quote and backslash, which are
// frequent in HTML, are escaped by the writers themselves.
template <typename Char>
Char* WriteControlEscape(char16_t code, QStringView text, qsizetype& i, Char* out)
{
    static const char hex[] = "0123456789abcdef";
    const auto put = [&out](char16_t c) {
        if constexpr (std::is_same_v<Char, QChar>)
            *out++ = QChar(c);
        else
            *out++ = static_cast<char>(c);
    };
    put(u'\\');
    switch (code) {
    case u'\r':
        if (i + 1 < text.size() && text[i + 1] == u'\n')
            ++i;
        put(u'n');
        break;
    case u'\n':
        put(u'n');
        break;
    case u'\t':
        put(u't');
        break;
    case u'\b':
        put(u'b');
        break;
    case u'\f':
        put(u'f');
        break;
    default:
        put(u'u');
        put(u'0');
        put(u'0');
        put(static_cast<char16_t>(hex[code >> 4]));
        put(static_cast<char16_t>(hex[code & 0xF]));
    }
    return out;
}

QChar* WriteJson(QStringView text, QChar* out)
{
    const qsizetype size = text.size();
    for (qsizetype i = 0; i < size; ++i) {
        const QChar c = text[i];
        const char16_t code = c.unicode();
        if (code >= 0x20 && code != u'\\' && code != u'"') {
            if (!c.isSurrogate()) {
                *out++ = c;
            } else if (c.isHighSurrogate() && i + 1 < size && text[i + 1].isLowSurrogate()) {
                *out++ = c;
                *out++ = text[++i];
            } else {
                *out++ = QChar::ReplacementCharacter;
            }
            continue;
        }
        if (code >= 0x20) {
            *out++ = u'\\';
            *out++ = c;
        } else {
            out = WriteControlEscape(code, text, i, out);
        }
    }
    return out;
}

// The same escaped text as UTF-8, written straight from the UTF-16 text: a body of
// megabytes then goes to the request without a UTF-16 copy of it.
qsizetype JsonUtf8Length(QStringView text)
{
    qsizetype length = 0;
    const qsizetype size = text.size();
    for (qsizetype i = 0; i < size; ++i) {
        const char16_t c = text[i].unicode();
        if (c < 0x20) {
            if (c == u'\r' && i + 1 < size && text[i + 1] == u'\n')
                continue; // the pair is one line break
            length += c == u'\n' || c == u'\r' || c == u'\t' || c == u'\b' || c == u'\f' ? 2 : 6;
        } else if (c < 0x80) {
            length += c == u'\\' || c == u'"' ? 2 : 1;
        } else if (c < 0x800) {
            length += 2;
        } else if (QChar::isHighSurrogate(c) && i + 1 < size && text[i + 1].isLowSurrogate()) {
            length += 4;
            ++i;
        } else {
            length += 3; // a lone surrogate becomes U+FFFD, three bytes too
        }
    }
    return length;
}

char* WriteJsonUtf8(QStringView text, char* out)
{
    const qsizetype size = text.size();
    for (qsizetype i = 0; i < size; ++i) {
        char32_t c = text[i].unicode();
        if (c >= 0x20 && c < 0x80) {
            if (c == u'\\' || c == u'"')
                *out++ = '\\';
            *out++ = static_cast<char>(c);
            continue;
        }
        if (c < 0x20) {
            out = WriteControlEscape(static_cast<char16_t>(c), text, i, out);
            continue;
        }
        if (QChar::isSurrogate(c)) {
            if (QChar::isHighSurrogate(c) && i + 1 < size && text[i + 1].isLowSurrogate())
                c = QChar::surrogateToUcs4(static_cast<char16_t>(c), text[++i].unicode());
            else
                c = QChar::ReplacementCharacter;
        }
        if (c < 0x800) {
            *out++ = static_cast<char>(0xC0 | (c >> 6));
        } else if (c < 0x10000) {
            *out++ = static_cast<char>(0xE0 | (c >> 12));
            *out++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        } else {
            *out++ = static_cast<char>(0xF0 | (c >> 18));
            *out++ = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            *out++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        }
        *out++ = static_cast<char>(0x80 | (c & 0x3F));
    }
    return out;
}

// What a placeholder becomes: the user's text escaped for JSON, or a fixed text as is.
struct FillIn
{
    QString text;
    bool escaped = false;
    qsizetype length() const { return escaped ? JsonLength(text) : text.size(); }
    QChar* write(QChar* out) const
    {
        if (escaped)
            return WriteJson(text, out);
        return std::copy(text.cbegin(), text.cend(), out);
    }
    qsizetype utf8Length() const { return escaped ? JsonUtf8Length(text) : text.toUtf8().size(); }
    char* write(char* out) const
    {
        if (escaped)
            return WriteJsonUtf8(text, out);
        const QByteArray bytes = text.toUtf8();
        return std::copy(bytes.cbegin(), bytes.cend(), out);
    }
};

struct TemplatePiece
{
    QStringView literal;
    const FillIn* value;
};

// The template cut at its placeholders: each literal piece with the value that follows
// it (none after the last).
QList<TemplatePiece> TemplatePieces(const QString& text, const QHash<QString, FillIn>& values)
{
    QList<TemplatePiece> pieces;
    qsizetype from = 0;
    while (from < text.size()) {
        const qsizetype start = text.indexOf(QLatin1Char('%'), from);
        const qsizetype end = start < 0 ? -1 : text.indexOf(QLatin1Char('%'), start + 1);
        const auto found =
            end < 0 ? values.constEnd() : values.constFind(text.mid(start + 1, end - start - 1));
        if (end < 0) {
            pieces.append({QStringView(text).mid(from), nullptr});
            from = text.size();
        } else if (found == values.constEnd()) {
            pieces.append({QStringView(text).mid(from, end - from), nullptr});
            from = end;
        } else {
            pieces.append({QStringView(text).mid(from, start - from), &*found});
            from = end + 1;
        }
    }
    return pieces;
}

// The filled template as a text (QString) or as UTF-8 bytes (QByteArray): the exact
// size is counted first, a value that stands twice measured once, and the result is
// written once.
template <typename Result>
Result FillPieces(const QString& text, const QHash<QString, FillIn>& values)
{
    constexpr bool utf8 = std::is_same_v<Result, QByteArray>;
    const QList<TemplatePiece> pieces = TemplatePieces(text, values);
    QList<Result> literals;
    QHash<const FillIn*, qsizetype> lengths;
    qsizetype total = 0;
    for (const TemplatePiece& piece : pieces) {
        if constexpr (utf8)
            literals.append(piece.literal.toUtf8());
        else
            literals.append(piece.literal.toString());
        total += literals.last().size();
        if (piece.value) {
            if (!lengths.contains(piece.value))
                lengths.insert(piece.value,
                               utf8 ? piece.value->utf8Length() : piece.value->length());
            total += lengths.value(piece.value);
        }
    }
    Result result(total, Qt::Uninitialized);
    auto* out = result.data();
    for (qsizetype i = 0; i < pieces.size(); ++i) {
        out = std::copy(literals[i].cbegin(), literals[i].cend(), out);
        if (pieces[i].value)
            out = pieces[i].value->write(out);
    }
    return result;
}

// FillTemplate's text as UTF-8 bytes, written once.
QByteArray FillTemplateUtf8(const QString& text, const QHash<QString, FillIn>& values)
{
    return FillPieces<QByteArray>(text, values);
}

// Replaces every %NAME% of the template in one pass, so that a placeholder written
// inside a title or body reaches the service as the user wrote it.
QString FillTemplate(const QString& text, const QHash<QString, FillIn>& values)
{
    return FillPieces<QString>(text, values);
}

// The component beside the program, unless this run uses one of its own.
void UseRequestComponent()
{
    static bool done = false;
    if (done)
        return;
    done = true;
    const QString library =
        QCoreApplication::applicationDirPath() + QStringLiteral("/libKWQT0100.so");
    setDefaultServerLibrary(CLSID_olvHTTPRequestHT, library);
    setDefaultServerLibrary(CLSID_ProxySettings, library);
}

void AddHeader(_olvHTTPRequestHT* request, const QString& line)
{
    ComPtr<ICollection> headers;
    checkCall(request->get_AdditionalHeaders(headers.put()), QStringLiteral("olvHTTPRequestHT"));
    headers->Add(line);
}

// The request's proxy object, filled from the stored proxy settings. A store that
// cannot be read leaves the defaults.
void SetStoredProxy(_olvHTTPRequestHT* request)
{
    const auto proxy = createObject<_ProxySettings>(CLSID_ProxySettings);
    checkCall(request->putref_ProxySettings(proxy.get()), QStringLiteral("olvHTTPRequestHT"));
    try {
        const auto store = createObject<ISettingsStore>(CLSID_SettingsStore);
        store->LoadObject(QStringLiteral("Proxy HT"), proxy.get(), App(), true);
    } catch (const RuntimeError&) {
    }
}

RefusedLogonHandler& RefusedLogon()
{
    static RefusedLogonHandler handler;
    return handler;
}

// The service turned down the credentials themselves: the request failed with HTTP 401
// or 403 (the last status in wget's log, after any redirect).
bool CredentialsRefused(_olvHTTPRequestHT* request)
{
    QString log;
    request->get_OutputLog(&log);
    static const QRegularExpression status(QStringLiteral("awaiting response\\.\\.\\. (\\d{3})"));
    QString last;
    for (auto matches = status.globalMatch(log); matches.hasNext();)
        last = matches.next().captured(1);
    return last == QLatin1String("401") || last == QLatin1String("403");
}

// Sends the request until it succeeds, is cancelled, or the user gives up. With
// newCredentials, a Retry after refused credentials asks for other ones instead and
// ends the loop: *newCredentials tells whether the user gave them. With confirmed, a
// success counts only when the reply passes it; any other reply is offered Retry and
// Cancel like a failure, and gives reeUnknownError after Cancel.
RequestExecuteError_Const
ExecuteWithRetry(_olvHTTPRequestHT* request, const QString& leadingText,
                 bool* newCredentials = nullptr,
                 const std::function<bool(const QByteArray& reply)>& confirmed = {})
{
    for (;;) {
        RequestExecuteError_Const rc = reeUnknownError;
        checkCall(request->Execute(&rc), QStringLiteral("olvHTTPRequestHT"));
        checkCall(request->get_LastRC(&rc), QStringLiteral("olvHTTPRequestHT"));
        if (rc == reeCancelled)
            return rc;
        if (rc == reeSuccess) {
            QByteArray reply;
            if (confirmed)
                checkCall(request->get_ReceivedData(&reply), QStringLiteral("olvHTTPRequestHT"));
            if (!confirmed || confirmed(reply))
                return rc;
            if (ErrorReporter::instance().ShowUnconfirmedReply(request, vbRetryCancel | vbCritical,
                                                               leadingText) == vbCancel)
                return reeUnknownError;
            continue;
        }
        if (ErrorReporter::instance().ShowRequestError(request, vbRetryCancel | vbCritical, 0,
                                                       leadingText, 0) == vbCancel)
            return rc;
        if (newCredentials && RefusedLogon() && CredentialsRefused(request)) {
            *newCredentials = RefusedLogon()();
            return rc;
        }
    }
}

// A request with the headers and settings that both requests share.
ComPtr<_olvHTTPRequestHT> NewServiceRequest(const QByteArray& body)
{
    UseRequestComponent();
    auto request = createObject<_olvHTTPRequestHT>(CLSID_olvHTTPRequestHT);
    checkCall(request->put_HTTPVerb(QStringLiteral("POST")), QStringLiteral("olvHTTPRequestHT"));
    AddHeader(request.get(), QStringLiteral("Content-Type: application/vnd.api+json"));
    checkCall(request->put_OptionalData(body), QStringLiteral("olvHTTPRequestHT"));
    AddHeader(request.get(), QStringLiteral("Origin: ") + ServiceBaseAddress());
    checkCall(request->put_TimeLimit(ServiceTimeLimit()), QStringLiteral("olvHTTPRequestHT"));
    checkCall(request->put_ReceivedDataLimit(ServiceReplySizeLimit()),
              QStringLiteral("olvHTTPRequestHT"));
    return request;
}

[[noreturn]] void ParseFailure(const QString& description)
{
    raiseError(ErrInvalidProcedureCall, QStringLiteral("modPostSender"), description);
}
} // namespace

QString LogonBodyTemplate()
{
    return LoadResString(1000);
}

QString EntryBodyTemplate()
{
    return LoadResString(2000);
}

QString JsonEscape(const QString& text)
{
    QString result(JsonLength(text), Qt::Uninitialized);
    WriteJson(text, result.data());
    return result;
}

QString MakeNonce()
{
    int high = 0, low = 0;
    checkStatus(sxGetRnd(100000, 999999, 0, &high), "sxGetRnd");
    checkStatus(sxGetRnd(1000000, 9999999, 0, &low), "sxGetRnd");
    return QString::number(high) + QString::number(low);
}

bool ParseSessionResponse(const QByteArray& response)
{
    try {
        QString bytes;
        checkStatus(suStrConvW(response, &bytes), "suStrConvW");
        // The decoder would quietly turn broken UTF-8 into U+FFFD, and a token with
        // those in it is not the one the service issued.
        if (QString::fromUtf8(response).toUtf8() != response)
            ParseFailure(QStringLiteral("The reply is not valid UTF-8 text."));
        QString text;
        checkStatus(suUTF8ToUNICODE(bytes, &text), "suUTF8ToUNICODE");
        const auto token = RegExpExecute(text, QStringLiteral("\"access-token\":\"(.*?)\""), true,
                                         true, true, true);
        AccessToken = token->Item(0)->SubMatches().value(0);
        // An empty token would go out as a bare "Authorization: Bearer" and hold no session.
        if (AccessToken.isEmpty())
            ParseFailure(QStringLiteral("The reply's access token is empty."));
        const auto profile =
            RegExpExecute(text, QStringLiteral("\"profile\":(\\d+)"), true, true, true, true);
        ProfileId = profile->Item(0)->SubMatches().value(0);
        return true;
    } catch (const RuntimeError& error) {
        ErrorReporter::instance().ShowRunTimeError(
            error, vbCritical, 0,
            QStringLiteral("Can't log on %1: error parsing server response.").arg(ServiceName), 0);
        AccessToken.clear();
        ProfileId.clear();
        return false;
    }
}

void SetRefusedLogonHandler(RefusedLogonHandler handler)
{
    RefusedLogon() = std::move(handler);
}

bool LogOn()
{
    // Each pass is a new logon request with the credentials of that moment.
    for (;;) {
        const auto request = NewServiceRequest(FillTemplateUtf8(
            LogonBodyTemplate(), {{QStringLiteral("EMAIL"), {LogonUserName, true}},
                                  {QStringLiteral("PASSWORD"), {LogonPassword, true}}}));
        checkCall(request->put_UserAgent(UploadUserAgent), QStringLiteral("olvHTTPRequestHT"));
        checkCall(request->put_Referer(ServiceBaseAddress()), QStringLiteral("olvHTTPRequestHT"));
        SetStoredProxy(request.get());
        checkCall(request->put_URL(ServiceBaseAddress() + QStringLiteral("/v2/sessions?nonce=") +
                                   MakeNonce()),
                  QStringLiteral("olvHTTPRequestHT"));
        bool newCredentials = false;
        const RequestExecuteError_Const rc = ExecuteWithRetry(
            request.get(), QStringLiteral("Can't log on %1.").arg(ServiceName), &newCredentials);
        if (newCredentials)
            continue;
        if (rc != reeSuccess)
            return false;
        QByteArray reply;
        checkCall(request->get_ReceivedData(&reply), QStringLiteral("olvHTTPRequestHT"));
        return ParseSessionResponse(reply);
    }
}

namespace {
QHash<QString, FillIn> EntryFillIns(const QString& htmlBody, const QString& title, bool adultOnly,
                                    const QString& profileId)
{
    return {{QStringLiteral("POST_BODY"), {htmlBody, true}},
            {QStringLiteral("POST_TITLE"), {title, true}},
            {QStringLiteral("PROFILE_ID"), {profileId}},
            {QStringLiteral("COMMENTS_TYPE"), {}},
            {QStringLiteral("ACCESS_TYPE"),
             {adultOnly ? QStringLiteral("{\"type\":\"registered\"}") : QString()}},
            {QStringLiteral("COMMON_FEED"),
             {adultOnly ? QStringLiteral(",\"feed\":false") : QString()}}};
}
} // namespace

QString EntryRequestBody(const QString& htmlBody, const QString& title, bool adultOnly,
                         const QString& profileId)
{
    return FillTemplate(EntryBodyTemplate(), EntryFillIns(htmlBody, title, adultOnly, profileId));
}

QByteArray EntryRequestBytes(const QString& htmlBody, const QString& title, bool adultOnly,
                             const QString& profileId)
{
    return FillTemplateUtf8(EntryBodyTemplate(),
                            EntryFillIns(htmlBody, title, adultOnly, profileId));
}

QString ConfirmedEntryId(const QByteArray& reply)
{
    QJsonParseError parsed{};
    const QJsonDocument document = QJsonDocument::fromJson(reply, &parsed);
    if (parsed.error != QJsonParseError::NoError || !document.isObject())
        return {};
    const QJsonValue data = document.object().value(QLatin1String("data"));
    if (!data.isObject())
        return {};
    const QJsonObject entry = data.toObject();
    if (entry.value(QLatin1String("type")).toString() != QLatin1String("entries"))
        return {};
    const QJsonValue id = entry.value(QLatin1String("id"));
    if (id.isString())
        return id.toString().trimmed();
    if (id.isDouble() && id.toDouble() == std::floor(id.toDouble()))
        return QString::number(id.toInteger());
    return {};
}

JournalScope ServiceJournalScope()
{
    return {ServiceBaseAddress(), LogonUserName};
}

namespace {
// The journal failed: the user is told which file and why, and nothing more is sent.
void ReportJournalFailure(const QString& text)
{
    ErrorReporter::instance().ShowMessage(text, vbCritical);
}

bool IsNonce(const QString& text)
{
    static const QRegularExpression nonce(QStringLiteral("\\A[1-9][0-9]{12}\\z"));
    return nonce.match(text).hasMatch();
}
} // namespace

bool SendPost(const ComPtr<IDiaryPost>& post, bool /*sendWithOriginalTime*/,
              bool /*sendAsBackdated*/)
{
    if (!post)
        raiseError(ErrInvalidProcedureCall, QStringLiteral("modPostSender"));
    // The program never publishes without its record.
    QString error;
    if (!OpenJournal(&error)) {
        ReportJournalFailure(QStringLiteral("Can't send post.\n\n") + error +
                             QStringLiteral("\nNothing was sent."));
        return false;
    }
    if (AccessToken.isEmpty() && !LogOn())
        return false;
    // The UTF-8 bytes of the filled template (suUNICODEToUTF8, then suStrConvB), made
    // straight from the converted body.
    const QByteArray bytes = EntryRequestBytes(ConvertPostBody(post->Body(), true), post->Title(),
                                               post->AdultOnly(), ProfileId);

    // A post left unconfirmed, in this run or an earlier one, may have been stored: it goes
    // again with the nonce it went with, so that the service hands back what it stored
    // instead of publishing it twice.
    const JournalScope scope = ServiceJournalScope();
    const QByteArray identity = PublishJournal::identity(post.get());
    JournalRecord record;
    const auto journalFailed = [&] {
        ReportJournalFailure(QStringLiteral("Can't send post.\n\nThe publish journal %1 cannot "
                                            "be read or written: %2.\nNothing was sent.")
                                 .arg(Journal().path(), error));
        return false;
    };
    if (!Journal().lookup(scope, identity, &record, &error))
        return journalFailed();
    const QString nonce =
        record.state == PublishState::Sending && IsNonce(record.nonce) ? record.nonce : MakeNonce();
    const auto request = NewServiceRequest(bytes);
    AddHeader(request.get(), QStringLiteral("Authorization: Bearer ") + AccessToken);
    checkCall(request->put_UserAgent(UploadUserAgent), QStringLiteral("olvHTTPRequestHT"));
    checkCall(request->put_Referer(EntryEditorAddress()), QStringLiteral("olvHTTPRequestHT"));
    SetStoredProxy(request.get());
    checkCall(request->put_URL(ServiceBaseAddress() + QStringLiteral("/v2/entries?nonce=") + nonce),
              QStringLiteral("olvHTTPRequestHT"));
    if (!Journal().markSending(scope, identity, post.get(), nonce, &error))
        return journalFailed();
    QString entryId;
    const bool published = ExecuteWithRetry(request.get(), QStringLiteral("Can't send post."),
                                            nullptr, [&](const QByteArray& reply) {
                                                entryId = ConfirmedEntryId(reply);
                                                return !entryId.isEmpty();
                                            }) == reeSuccess;
    if (published && !Journal().markPublished(scope, identity, nonce, entryId,
                                              QDateTime::currentDateTimeUtc(), &error))
        // The entry is published; the record stays sending, and a later send of the post
        // goes with the same nonce.
        ReportJournalFailure(QStringLiteral("The post was published, but the publish journal %1 "
                                            "cannot record it: %2.")
                                 .arg(Journal().path(), error));
    return published;
}

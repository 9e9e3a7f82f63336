#include "poster/convert/modConverter.h"

#include <QStringList>
#include <array>

const QString DiaryAddress = QStringLiteral("http://diary.example");
const QString DiaryImageAddress = QStringLiteral("http://static.diary.example");

namespace {
constexpr char16_t lowerAscii(char16_t c)
{
    return c >= u'A' && c <= u'Z' ? c + 32 : c;
}

// Does text hold needle at position, comparing ASCII letters without regard to case?
bool matchesAt(const QString& text, qsizetype position, QStringView needle)
{
    if (position < 0 || position + needle.size() > text.size())
        return false;
    const QChar* p = text.constData() + position;
    for (qsizetype i = 0; i < needle.size(); ++i)
        if (lowerAscii(p[i].unicode()) != lowerAscii(needle[i].unicode()))
            return false;
    return true;
}

// Case-insensitive search for a needle that begins with a non-letter (every tag here
// begins with "["), so the first character can be found by a plain fast search.
qsizetype findTag(const QString& text, QStringView needle, qsizetype from)
{
    const QChar first = needle.front();
    for (qsizetype i = text.indexOf(first, from); i >= 0; i = text.indexOf(first, i + 1))
        if (matchesAt(text, i, needle))
            return i;
    return -1;
}

// Replaces every occurrence of each needle (all beginning with "[") in one left-to-right
// scan. Equivalent to replacing them one after another, since no needle can overlap
// another and no replacement holds a "[".
struct Replacement
{
    QStringView needle;
    QStringView replacement;
};

template <size_t N>
QString replaceTags(const QString& text, const std::array<Replacement, N>& table)
{
    QString out;
    qsizetype done = 0;
    for (qsizetype i = text.indexOf(QLatin1Char('[')); i >= 0;
         i = text.indexOf(QLatin1Char('['), i + 1)) {
        for (const Replacement& r : table) {
            if (matchesAt(text, i, r.needle)) {
                if (out.isNull())
                    out.reserve(text.size() + text.size() / 8);
                out.append(QStringView(text).mid(done, i - done)).append(r.replacement);
                done = i + r.needle.size();
                i = done - 1;
                break;
            }
        }
    }
    if (done == 0)
        return text;
    out.append(QStringView(text).mid(done));
    return out;
}

bool isTagCharacter(QChar c)
{
    const char16_t u = c.unicode();
    return (u >= u'A' && u <= u'Z') || (u >= u'a' && u <= u'z') || (u >= u'0' && u <= u'9') ||
           u == u'"' || u == u'/' || u == u'\\' || u == u'\'';
}

// Every "[" + tag + "]" ... "[/" + tag + "]" pair on one line, found as the lazy pattern
// "\[tag\](.*?)\[/tag\]" finds it (case-insensitive, "." stopping at LF), replaced by
// the pieces of the template with the captured name between them.
QString replaceUserTags(const QString& text, QStringView opener, QStringView closer,
                        const QStringList& pieces)
{
    QString out;
    qsizetype done = 0;
    qsizetype from = 0;
    qsizetype end = -1;     // the first closer at or after the last search position
    qsizetype lineEnd = -1; // likewise the first line feed
    while (true) {
        const qsizetype start = findTag(text, opener, from);
        if (start < 0)
            break;
        const qsizetype nameStart = start + opener.size();
        if (lineEnd < nameStart) {
            lineEnd = text.indexOf(QLatin1Char('\n'), nameStart);
            if (lineEnd < 0)
                lineEnd = text.size();
        }
        // A closer found earlier is still the first one when it lies ahead; searching
        // again each time would make many openers before one far closer quadratic.
        if (end < nameStart)
            end = findTag(text, closer, nameStart);
        if (end < 0)
            break; // no closer anywhere later: no later opener can match either
        if (end + closer.size() > lineEnd) {
            // No closer on this line: neither has any later opener on it.
            from = lineEnd;
            continue;
        }
        const QStringView name = QStringView(text).mid(nameStart, end - nameStart);
        if (out.isNull())
            out.reserve(text.size() + text.size() / 4);
        out.append(QStringView(text).mid(done, start - done));
        for (qsizetype i = 0; i < pieces.size(); ++i) {
            if (i > 0)
                out.append(name);
            out.append(pieces[i]);
        }
        done = from = end + closer.size();
    }
    if (done == 0)
        return text;
    out.append(QStringView(text).mid(done));
    return out;
}

const QString JournalTitle = QStringLiteral("\" title=\"Ссылка на дневник пользователя ");
} // namespace

QString ConvertSimpleTag(const QString& text, const QString& name)
{
    const QString open = QLatin1Char('[') + name + QLatin1Char(']');
    const QString close = QStringLiteral("[/") + name + QLatin1Char(']');
    const QString htmlOpen = QLatin1Char('<') + name.toLower() + QLatin1Char('>');
    const QString htmlClose = QStringLiteral("</") + name.toLower() + QLatin1Char('>');
    return replaceTags(text,
                       std::array{Replacement{open, htmlOpen}, Replacement{close, htmlClose}});
}

QString ConvertTagPair(const QString& text, const QString& tag, const QString& opening,
                       const QString& closing)
{
    const QString open = QLatin1Char('[') + tag + QLatin1Char(']');
    const QString close = QStringLiteral("[/") + tag + QLatin1Char(']');
    return replaceTags(text, std::array{Replacement{open, opening}, Replacement{close, closing}});
}

QString ConvertUrlTags(const QString& text)
{
    static constexpr QStringView Opener = u"[URL";
    static constexpr QStringView Closer = u"[/URL]";
    QString out;
    qsizetype done = 0;
    qsizetype from = 0;
    while (true) {
        const qsizetype start = findTag(text, Opener, from);
        if (start < 0)
            break;
        const qsizetype closer = findTag(text, Closer, start);
        if (closer < 0)
            break;
        const qsizetype pieceEnd = closer + Closer.size();
        const QStringView piece = QStringView(text).mid(start, pieceEnd - start);
        QStringView target, linkText;
        bool wellFormed = piece.size() >= 11;
        if (wellFormed && matchesAt(text, start, u"[URL=")) {
            const qsizetype bracket = piece.indexOf(QLatin1Char(']'));
            wellFormed = bracket < piece.size() - 1; // not only the closer's own "]"
            if (wellFormed) {
                target = piece.mid(5, bracket - 5);
                linkText = piece.mid(bracket + 1, piece.size() - 6 - bracket - 1);
            }
        } else if (wellFormed) {
            target = linkText = piece.mid(5, piece.size() - 11);
        }
        // The search goes on after the piece: a link's own target and text are never
        // searched again, so nested openers cannot multiply the output.
        from = pieceEnd;
        if (!wellFormed)
            continue;
        if (out.isNull())
            out.reserve(text.size() + text.size() / 4);
        out.append(QStringView(text).mid(done, start - done));
        out.append(u"<a href=\"").append(target).append(u"\">").append(linkText).append(u"</a>");
        done = pieceEnd;
    }
    if (done == 0)
        return text;
    out.append(QStringView(text).mid(done));
    return out;
}

QString ExpandMoreTag(const QString& text)
{
    if (!text.contains(u"[MORE]"))
        return text;
    return QString(text).replace(QStringLiteral("[MORE]"), QStringLiteral("[MORE=Читать дальше]"));
}

QString EscapeCodeText(const QString& text)
{
    QString out;
    out.reserve(text.size() + text.size() / 8);
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = text.at(i);
        switch (c.unicode()) {
        case u'&':
            out.append(u"&amp;");
            break;
        case u'"':
            out.append(u"&quot;");
            break;
        case u'<':
            out.append(u"&lt;");
            break;
        case u'>':
            out.append(u"&gt;");
            break;
        case u'\r':
            if (i + 1 < n && text.at(i + 1) == u'\n') {
                out.append(u"<br />");
                ++i;
                break;
            }
            [[fallthrough]];
        default:
            out.append(c);
        }
    }
    return out;
}

QString ConvertCodeBlocks(const QString& text)
{
    static constexpr QStringView Open = u"[CODE]";
    static constexpr QStringView Close = u"[/CODE]";
    static const QString PreOpen = QStringLiteral(
        "<pre style=\"border:1px solid #c0c0c0;margin:0px;padding:8px 10px;overflow-x:scroll;\">");
    qsizetype marker = findTag(text, Open, 0);
    if (marker < 0)
        return text;
    QString out;
    out.reserve(text.size() + text.size() / 4);
    out.append(QStringView(text).first(marker));
    qsizetype nextCloser = findTag(text, Close, marker);
    while (marker >= 0) {
        const qsizetype pieceStart = marker + Open.size();
        const qsizetype next = findTag(text, Open, pieceStart);
        const qsizetype pieceEnd = next < 0 ? text.size() : next;
        // The first closer ahead is kept between pieces, so that many markers before
        // one far closer do not search the same text again and again.
        if (nextCloser >= 0 && nextCloser < pieceStart)
            nextCloser = findTag(text, Close, pieceStart);
        // It belongs to this piece only when it ends before the next marker (the two
        // cannot overlap: both begin with "[").
        const qsizetype closer =
            nextCloser >= 0 && nextCloser + Close.size() <= pieceEnd ? nextCloser : -1;
        if (closer < 0) {
            out.append(QStringView(text).mid(pieceStart, pieceEnd - pieceStart));
        } else {
            out.append(PreOpen);
            out.append(EscapeCodeText(text.mid(pieceStart, closer - pieceStart)));
            out.append(u"</pre>");
            out.append(
                QStringView(text).mid(closer + Close.size(), pieceEnd - closer - Close.size()));
        }
        marker = next;
    }
    return out;
}

QString EscapeStrayAngleBrackets(const QString& text)
{
    // Closing brackets: decided by the character just before, in the text as it is
    // being rewritten (so ">>" escapes both: the second follows the first's ";").
    QString closed;
    closed.reserve(text.size() + text.size() / 16);
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = text.at(i);
        if (c == u'>' && (closed.isEmpty() || !isTagCharacter(closed.back())))
            closed.append(u"&gt;");
        else
            closed.append(c);
    }
    // Opening brackets: decided by the character just after, which no replacement
    // before it can change.
    QString out;
    out.reserve(closed.size() + closed.size() / 16);
    const qsizetype m = closed.size();
    for (qsizetype i = 0; i < m; ++i) {
        const QChar c = closed.at(i);
        if (c == u'<' && (i == m - 1 || !isTagCharacter(closed.at(i + 1))))
            out.append(u"&lt;");
        else
            out.append(c);
    }
    return out;
}

QString ConvertJournalTags(const QString& text)
{
    static const QStringList pieces = {
        QStringLiteral("<a href=\"") + DiaryAddress + QStringLiteral("/member/?un="),
        JournalTitle,
        QStringLiteral("\"><img src=\"") + DiaryImageAddress +
            QStringLiteral("/images/j.gif\" border=\"0\" width=\"17\" height=\"14\"></a>&nbsp;"
                           "<a href=\"") +
            DiaryAddress + QStringLiteral("/journal.php?login="),
        JournalTitle,
        QStringLiteral("\">"),
        QStringLiteral("</a>")};
    return replaceUserTags(text, u"[J]", u"[/J]", pieces);
}

QString ConvertLinkTags(const QString& text)
{
    static const QStringList pieces = {QStringLiteral("<a href=\"") + DiaryAddress +
                                           QStringLiteral("/journal.php?login="),
                                       JournalTitle, QStringLiteral("\">"), QStringLiteral("</a>")};
    return replaceUserTags(text, u"[L]", u"[/L]", pieces);
}

QString ConvertLineBreaksToHtml(const QString& text)
{
    if (!text.contains(u"\r\n"))
        return text;
    return QString(text).replace(QStringLiteral("\r\n"), QStringLiteral("<br />\r\n"));
}

QString ConvertPostBody(const QString& body, bool ConvertLineBreaks)
{
    // Passes 1 and 2 in one scan: the same result as tag after tag (see replaceTags).
    static const std::array<Replacement, 16> tags = {{
        {u"[b]", u"<b>"},
        {u"[/b]", u"</b>"},
        {u"[i]", u"<i>"},
        {u"[/i]", u"</i>"},
        {u"[u]", u"<u>"},
        {u"[/u]", u"</u>"},
        {u"[s]", u"<s>"},
        {u"[/s]", u"</s>"},
        {u"[OT]", u"<span class=\"offtop\">"},
        {u"[/OT]", u"</span>"},
        {u"[IMG]", u"<img style=\"border:none;\" src=\""},
        {u"[/IMG]", u"\" />"},
        {u"[RIGHT]", u"<div align=\"right\">"},
        {u"[/RIGHT]", u"</div>"},
        {u"[CENTER]", u"<div align=\"center\">"},
        {u"[/CENTER]", u"</div>"},
    }};
    QString text = replaceTags(body, tags);
    text = ConvertUrlTags(text);
    text = ExpandMoreTag(text);
    text = ConvertCodeBlocks(text);
    text = EscapeStrayAngleBrackets(text);
    text = ConvertJournalTags(text);
    text = ConvertLinkTags(text);
    if (ConvertLineBreaks)
        text = ConvertLineBreaksToHtml(text);
    return text;
}

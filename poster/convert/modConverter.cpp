#include "poster/convert/modConverter.h"

#include <QStringList>
#include <algorithm>
#include <array>

const QString DiaryAddress = QStringLiteral("http://diary.example");
const QString DiaryImageAddress = QStringLiteral("http://static.diary.example");

// Every pass scans its text once, left to right, and writes the result into a buffer
// that the caller provides; it answers false, writing nothing, when the text stays as
// it is. ConvertPostBody passes two buffers back and forth, so that a long body costs
// two allocations rather than one per pass.
namespace {
constexpr char16_t lowerAscii(char16_t c)
{
    return c >= u'A' && c <= u'Z' ? c + 32 : c;
}

// Does text hold needle at position, comparing ASCII letters without regard to case?
bool matchesAt(QStringView text, qsizetype position, QStringView needle)
{
    if (position < 0 || position + needle.size() > text.size())
        return false;
    const QChar* p = text.data() + position;
    for (qsizetype i = 0; i < needle.size(); ++i)
        if (lowerAscii(p[i].unicode()) != lowerAscii(needle[i].unicode()))
            return false;
    return true;
}

// The next c at or after from. Markup is dense with brackets, so the next few
// characters are looked at directly before the vectorised search is called.
qsizetype findChar(QStringView text, char16_t c, qsizetype from)
{
    const qsizetype n = text.size();
    const QChar* data = text.data();
    const qsizetype near = std::min(n, from + 32);
    for (qsizetype i = from; i < near; ++i)
        if (data[i].unicode() == c)
            return i;
    return near < n ? text.indexOf(QChar(c), near) : -1;
}

// Case-insensitive search for a needle that begins with a non-letter (every tag here
// begins with "["), so that its first character can be found by a plain fast search.
qsizetype findTag(QStringView text, QStringView needle, qsizetype from)
{
    const char16_t first = needle.front().unicode();
    for (qsizetype i = findChar(text, first, from); i >= 0; i = findChar(text, first, i + 1))
        if (matchesAt(text, i, needle))
            return i;
    return -1;
}

// Collects the output of one pass: untouched stretches of the input and replacements.
class Output
{
public:
    Output(QStringView input, QString& buffer) : m_input(input), m_buffer(buffer) {}
    // Copies the input up to position, then appends the replacement, and goes on
    // after the replaced length.
    void replace(qsizetype position, qsizetype length, QStringView replacement)
    {
        start();
        m_buffer.append(m_input.mid(m_done, position - m_done)).append(replacement);
        m_done = position + length;
    }
    void copyTo(qsizetype position)
    {
        start();
        m_buffer.append(m_input.mid(m_done, position - m_done));
        m_done = position;
    }
    void append(QStringView text) { m_buffer.append(text); }
    // Leaves out the input up to position (after copyTo and appends that replace it).
    void skipTo(qsizetype position) { m_done = position; }
    // Copies the rest; false when nothing was replaced (the buffer is then untouched).
    bool finish()
    {
        if (!m_started)
            return false;
        m_buffer.append(m_input.mid(m_done));
        return true;
    }

private:
    void start()
    {
        if (m_started)
            return;
        m_started = true;
        m_buffer.truncate(0); // keeps the capacity of a reused buffer
        // Untouched capacity costs no memory pages, while growing later would copy.
        m_buffer.reserve(2 * m_input.size() + 64);
    }
    QStringView m_input;
    QString& m_buffer;
    qsizetype m_done = 0;
    bool m_started = false;
};

struct Replacement
{
    QStringView needle;
    QStringView replacement;
};

// Every needle (each beginning with "[") replaced in one scan. This equals replacing
// them one after another: no needle can overlap another, and no replacement holds a
// "[" that could start a new one.
bool replaceTags(QStringView text, const Replacement* table, size_t count, QString& buffer)
{
    Output out(text, buffer);
    for (qsizetype i = findChar(text, u'[', 0); i >= 0; i = findChar(text, u'[', i + 1)) {
        if (i + 2 >= text.size())
            break;
        const char16_t second = lowerAscii(text[i + 1].unicode());
        for (size_t k = 0; k < count; ++k) {
            const Replacement& r = table[k];
            if (lowerAscii(r.needle[1].unicode()) != second || !matchesAt(text, i, r.needle))
                continue;
            out.replace(i, r.needle.size(), r.replacement);
            i += r.needle.size() - 1;
            break;
        }
    }
    return out.finish();
}

// Every exact (case-sensitive) occurrence of needle.
bool replaceExact(QStringView text, QStringView needle, QStringView replacement, QString& buffer)
{
    // A search for the first character and a comparison of the rest beats a general
    // substring search for needles this short.
    Output out(text, buffer);
    const char16_t first = needle.front().unicode();
    for (qsizetype i = findChar(text, first, 0); i >= 0; i = findChar(text, first, i + 1)) {
        if (text.sliced(i).first(std::min(needle.size(), text.size() - i)) == needle) {
            out.replace(i, needle.size(), replacement);
            i += needle.size() - 1;
        }
    }
    return out.finish();
}

bool isTagCharacter(QChar c)
{
    const char16_t u = c.unicode();
    return (u >= u'A' && u <= u'Z') || (u >= u'a' && u <= u'z') || (u >= u'0' && u <= u'9') ||
           u == u'"' || u == u'/' || u == u'\\' || u == u'\'';
}

bool urlTags(QStringView text, QString& buffer)
{
    static constexpr QStringView Opener = u"[URL";
    static constexpr QStringView Closer = u"[/URL]";
    Output out(text, buffer);
    qsizetype from = 0;
    while (true) {
        const qsizetype start = findTag(text, Opener, from);
        if (start < 0)
            break;
        const qsizetype closer = findTag(text, Closer, start);
        if (closer < 0)
            break;
        const qsizetype pieceEnd = closer + Closer.size();
        const QStringView piece = text.mid(start, pieceEnd - start);
        QStringView target, linkText;
        bool wellFormed = piece.size() >= 11; // at least "[URL][/URL]"
        if (wellFormed && matchesAt(piece, 0, u"[URL=")) {
            const qsizetype bracket = piece.indexOf(u']');
            wellFormed = bracket < piece.size() - 1; // not only the closer's own "]"
            if (wellFormed) {
                target = piece.mid(5, bracket - 5);
                linkText = piece.mid(bracket + 1, piece.size() - 6 - bracket - 1);
            }
        } else if (wellFormed) {
            target = linkText = piece.mid(5, piece.size() - 11);
        }
        // The search goes on after the piece: a link's own target and text are never
        // searched again, so nested openers cannot multiply the text.
        from = pieceEnd;
        if (!wellFormed)
            continue;
        out.copyTo(start);
        out.append(u"<a href=\"");
        out.append(target);
        out.append(u"\">");
        out.append(linkText);
        out.append(u"</a>");
        out.skipTo(pieceEnd);
    }
    return out.finish();
}

void escapeCodeInto(QStringView text, QString& out)
{
    // "&" first, then the quote and the brackets, then CR LF: one scan gives the same,
    // as no replacement holds a character that a later one replaces.
    const qsizetype n = text.size();
    qsizetype done = 0;
    for (qsizetype i = 0; i < n; ++i) {
        QStringView replacement;
        switch (text[i].unicode()) {
        case u'&':
            replacement = u"&amp;";
            break;
        case u'"':
            replacement = u"&quot;";
            break;
        case u'<':
            replacement = u"&lt;";
            break;
        case u'>':
            replacement = u"&gt;";
            break;
        case u'\r':
            if (i + 1 < n && text[i + 1] == u'\n')
                replacement = u"<br />";
            break;
        }
        if (replacement.isNull())
            continue;
        out.append(text.mid(done, i - done)).append(replacement);
        done = i + (text[i] == u'\r' ? 2 : 1);
        i = done - 1;
    }
    out.append(text.mid(done));
}

bool codeBlocks(QStringView text, QString& buffer)
{
    static constexpr QStringView Open = u"[CODE]";
    static constexpr QStringView Close = u"[/CODE]";
    static constexpr QStringView PreOpen =
        u"<pre style=\"border:1px solid #c0c0c0;margin:0px;padding:8px 10px;overflow-x:scroll;\">";
    qsizetype marker = findTag(text, Open, 0);
    if (marker < 0)
        return false;
    Output out(text, buffer);
    out.copyTo(marker);
    // The first closer ahead is kept between pieces, so that many markers before one
    // far closer do not search the same text again and again.
    qsizetype nextCloser = findTag(text, Close, marker);
    while (marker >= 0) {
        const qsizetype pieceStart = marker + Open.size();
        const qsizetype next = findTag(text, Open, pieceStart);
        const qsizetype pieceEnd = next < 0 ? text.size() : next;
        if (nextCloser >= 0 && nextCloser < pieceStart)
            nextCloser = findTag(text, Close, pieceStart);
        // It belongs to this piece only when it ends before the next marker (the two
        // cannot overlap: both begin with "[").
        const bool closed = nextCloser >= 0 && nextCloser + Close.size() <= pieceEnd;
        // The marker itself disappears.
        out.replace(marker, Open.size(), {});
        if (closed) {
            out.append(PreOpen);
            escapeCodeInto(text.mid(pieceStart, nextCloser - pieceStart), buffer);
            out.append(u"</pre>");
            out.skipTo(nextCloser + Close.size());
        }
        out.copyTo(pieceEnd);
        marker = next;
    }
    return out.finish();
}

bool strayAngleBrackets(QStringView text, QString& buffer)
{
    // The two scans in one: the first only turns ">" into "&gt;", and neither ">" nor
    // the "&" and ";" it leaves are tag characters, so each bracket's neighbour decides
    // the same in the original text as in the text the first scan leaves.
    const qsizetype n = text.size();
    const QChar* data = text.data();
    Output out(text, buffer);
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = data[i].unicode();
        if (c != u'>' && c != u'<')
            continue;
        const bool stray = c == u'>' ? i == 0 || !isTagCharacter(data[i - 1])
                                     : i == n - 1 || !isTagCharacter(data[i + 1]);
        if (stray)
            out.replace(i, 1, c == u'>' ? u"&gt;" : u"&lt;");
    }
    return out.finish();
}

// Every opener ... closer pair on one line, found as the lazy pattern
// "\[J\](.*?)\[/J\]" finds it (case-insensitive, "." stopping at a line feed), replaced
// by the pieces of the template with the captured name between them.
bool userTags(QStringView text, QStringView opener, QStringView closer, const QStringList& pieces,
              QString& buffer)
{
    Output out(text, buffer);
    qsizetype from = 0;
    qsizetype end = -1;     // the first closer at or after the last search position
    qsizetype lineEnd = -1; // likewise the first line feed
    while (true) {
        const qsizetype start = findTag(text, opener, from);
        if (start < 0)
            break;
        const qsizetype nameStart = start + opener.size();
        // Positions found earlier stay valid while they lie ahead; searching again for
        // every opener would make many openers before one far closer quadratic.
        if (lineEnd < nameStart) {
            lineEnd = text.indexOf(u'\n', nameStart);
            if (lineEnd < 0)
                lineEnd = text.size();
        }
        if (end < nameStart)
            end = findTag(text, closer, nameStart);
        if (end < 0)
            break; // no closer anywhere later: no later opener can match either
        if (end + closer.size() > lineEnd) {
            from = lineEnd; // no closer on this line, for any opener on it
            continue;
        }
        const QStringView name = text.mid(nameStart, end - nameStart);
        out.copyTo(start);
        for (qsizetype i = 0; i < pieces.size(); ++i) {
            if (i > 0)
                out.append(name);
            out.append(pieces[i]);
        }
        from = end + closer.size();
        out.skipTo(from);
    }
    return out.finish();
}

const QString JournalTitle = QStringLiteral("\" title=\"Ссылка на дневник пользователя ");

const QStringList& journalPieces()
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
    return pieces;
}

const QStringList& linkPieces()
{
    static const QStringList pieces = {QStringLiteral("<a href=\"") + DiaryAddress +
                                           QStringLiteral("/journal.php?login="),
                                       JournalTitle, QStringLiteral("\">"), QStringLiteral("</a>")};
    return pieces;
}

template <typename Pass> QString runAlone(const QString& text, Pass pass)
{
    QString out;
    return pass(QStringView(text), out) ? out : text;
}
} // namespace

QString ConvertSimpleTag(const QString& text, const QString& name)
{
    const QString open = QLatin1Char('[') + name + QLatin1Char(']');
    const QString close = QStringLiteral("[/") + name + QLatin1Char(']');
    const QString htmlOpen = QLatin1Char('<') + name.toLower() + QLatin1Char('>');
    const QString htmlClose = QStringLiteral("</") + name.toLower() + QLatin1Char('>');
    const Replacement table[] = {{open, htmlOpen}, {close, htmlClose}};
    return runAlone(text,
                    [&](QStringView in, QString& out) { return replaceTags(in, table, 2, out); });
}

QString ConvertTagPair(const QString& text, const QString& tag, const QString& opening,
                       const QString& closing)
{
    const QString open = QLatin1Char('[') + tag + QLatin1Char(']');
    const QString close = QStringLiteral("[/") + tag + QLatin1Char(']');
    const Replacement table[] = {{open, opening}, {close, closing}};
    return runAlone(text,
                    [&](QStringView in, QString& out) { return replaceTags(in, table, 2, out); });
}

QString ConvertUrlTags(const QString& text)
{
    return runAlone(text, urlTags);
}

QString ExpandMoreTag(const QString& text)
{
    return runAlone(text, [](QStringView in, QString& out) {
        return replaceExact(in, u"[MORE]", u"[MORE=Читать дальше]", out);
    });
}

QString EscapeCodeText(const QString& text)
{
    QString out;
    out.reserve(text.size() + text.size() / 8);
    escapeCodeInto(text, out);
    return out;
}

QString ConvertCodeBlocks(const QString& text)
{
    return runAlone(text, codeBlocks);
}

QString EscapeStrayAngleBrackets(const QString& text)
{
    return runAlone(text, strayAngleBrackets);
}

QString ConvertJournalTags(const QString& text)
{
    return runAlone(text, [](QStringView in, QString& out) {
        return userTags(in, u"[J]", u"[/J]", journalPieces(), out);
    });
}

QString ConvertLinkTags(const QString& text)
{
    return runAlone(text, [](QStringView in, QString& out) {
        return userTags(in, u"[L]", u"[/L]", linkPieces(), out);
    });
}

QString ConvertLineBreaksToHtml(const QString& text)
{
    return runAlone(text, [](QStringView in, QString& out) {
        return replaceExact(in, u"\r\n", u"<br />\r\n", out);
    });
}

QString ConvertPostBody(const QString& body, bool ConvertLineBreaks)
{
    // Passes 1 and 2 in one scan: the same result as tag after tag (see replaceTags).
    static constexpr Replacement tags[] = {
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
    };
    QString buffers[2];
    QStringView current = body;
    int next = 0;
    const auto run = [&](auto pass) {
        if (pass(current, buffers[next])) {
            current = buffers[next];
            next ^= 1;
        }
    };
    run([](QStringView in, QString& out) { return replaceTags(in, tags, std::size(tags), out); });
    run(urlTags);
    run([](QStringView in, QString& out) {
        return replaceExact(in, u"[MORE]", u"[MORE=Читать дальше]", out);
    });
    run(codeBlocks);
    run(strayAngleBrackets);
    run([](QStringView in, QString& out) {
        return userTags(in, u"[J]", u"[/J]", journalPieces(), out);
    });
    run([](QStringView in, QString& out) {
        return userTags(in, u"[L]", u"[/L]", linkPieces(), out);
    });
    if (ConvertLineBreaks)
        run([](QStringView in, QString& out) {
            return replaceExact(in, u"\r\n", u"<br />\r\n", out);
        });
    if (current.data() == body.data())
        return body;
    return std::move(buffers[next ^ 1]);
}

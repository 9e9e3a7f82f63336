#include "poster/convert/modConverter.h"

#include "platform/com/RuntimeError.h"

#include <QStringList>
#include <algorithm>
#include <array>
#include <deque>
#include <vector>

const QString DiaryAddress = QStringLiteral("http://diary.example");
const QString DiaryImageAddress = QStringLiteral("http://static.diary.example");

qsizetype LinkPassLimit(qsizetype textSize)
{
    return 16 * textSize + (qsizetype(1) << 20);
}

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

// Positions of every case-insensitive occurrence of needle, in order.
std::vector<qsizetype> tagPositions(QStringView text, QStringView needle)
{
    std::vector<qsizetype> positions;
    for (qsizetype i = findTag(text, needle, 0); i >= 0; i = findTag(text, needle, i + 1))
        positions.push_back(i);
    return positions;
}

// The link pass searches on inside every link it inserts, from the character after the
// link's first one. So it runs on a text that changes under it: the part ahead of the
// search position is kept as a list of views into the input and into the two fixed
// texts that a link adds, rather than rebuilt for every link.
//
// Why this stays linear: a piece runs from an opener to the first closer after it, so
// a link's target and text never hold a closer, and neither do the fixed texts. The
// list ahead of the input therefore never holds a closer, and the closer of every
// piece is the next one in the input. No opener or closer can span two views either:
// the fixed texts hold no "[", and every "[" in the needles is followed by "U" or "/",
// never by the '"' or '<' that begins a fixed text.
class LinkPass
{
public:
    LinkPass(QStringView text, QString& buffer)
        : m_text(text), m_out(text, buffer), m_openers(tagPositions(text, Opener)),
          m_closers(tagPositions(text, Closer)), m_size(text.size()),
          m_limit(LinkPassLimit(text.size()))
    {
    }

    bool run()
    {
        if (m_openers.empty() || m_closers.empty())
            return false;
        while (findOpener()) {
            while (m_nextCloser < m_closers.size() && m_closers[m_nextCloser] < m_tail)
                ++m_nextCloser;
            if (m_nextCloser == m_closers.size())
                break; // no closer: the rest stays as it is
            convertPiece(m_closers[m_nextCloser]);
        }
        flushAhead();
        return m_out.finish();
    }

private:
    static constexpr QStringView Opener = u"[URL";
    static constexpr QStringView Closer = u"[/URL]";
    static constexpr QStringView LinkStart = u"<a href=\"";
    static constexpr QStringView TargetEnd = u"\">";
    static constexpr QStringView LinkEnd = u"</a>";

    bool fromInput(QStringView view) const
    {
        return view.data() >= m_text.data() && view.data() < m_text.data() + m_text.size();
    }

    // The offset of the first opener wholly inside view, or -1.
    qsizetype openerIn(QStringView view) const
    {
        if (!fromInput(view))
            return -1;
        const qsizetype from = view.data() - m_text.data();
        const auto it = std::lower_bound(m_openers.begin(), m_openers.end(), from);
        return it != m_openers.end() && *it + Opener.size() <= from + view.size() ? *it - from : -1;
    }

    void pushBack(QStringView view)
    {
        if (!view.isEmpty()) {
            m_ahead.push_back(view);
            m_aheadSize += view.size();
        }
    }

    // Moves the search to the next opener: the text before it is final. False when
    // there is none.
    bool findOpener()
    {
        while (!m_ahead.empty()) {
            QStringView& front = m_ahead.front();
            const qsizetype offset = openerIn(front);
            if (offset >= 0) {
                m_out.append(front.first(offset));
                m_aheadSize -= offset;
                front = front.sliced(offset);
                return true;
            }
            m_out.append(front);
            m_aheadSize -= front.size();
            m_ahead.pop_front();
        }
        while (m_nextOpener < m_openers.size() && m_openers[m_nextOpener] < m_tail)
            ++m_nextOpener;
        if (m_nextOpener == m_openers.size())
            return false;
        // Untouched input is copied lazily, when something else must follow it.
        m_tail = m_openers[m_nextOpener];
        return true;
    }

    void flushAhead()
    {
        if (m_ahead.empty())
            return;
        m_out.copyTo(m_tail);
        for (QStringView view : m_ahead)
            m_out.append(view);
        m_ahead.clear();
        m_aheadSize = 0;
    }

    QChar charAt(qsizetype index) const
    {
        for (QStringView view : m_ahead) {
            if (index < view.size())
                return view[index];
            index -= view.size();
        }
        return {};
    }

    // Removes the first count characters of the views ahead, handing each to take.
    template <typename Take> void popFront(qsizetype count, Take take)
    {
        m_aheadSize -= count;
        while (count > 0) {
            QStringView& front = m_ahead.front();
            if (front.size() > count) {
                take(front.first(count));
                front = front.sliced(count);
                return;
            }
            take(front);
            count -= front.size();
            m_ahead.pop_front();
        }
    }

    // The offset of the first "]" ahead at or after from, or -1.
    qsizetype bracketAhead(qsizetype from) const
    {
        qsizetype base = 0;
        for (QStringView view : m_ahead) {
            if (from < base + view.size()) {
                const qsizetype i = view.indexOf(u']', std::max<qsizetype>(0, from - base));
                if (i >= 0)
                    return base + i;
            }
            base += view.size();
        }
        return -1;
    }

    // The piece from the opener (at the front of the views ahead, or at m_tail in the
    // input) to the closer at closer in the input.
    void convertPiece(qsizetype closer)
    {
        const qsizetype pieceStart = m_tail; // in the input, after the views ahead
        m_out.copyTo(pieceStart);
        pushBack(m_text.mid(pieceStart, closer - pieceStart));
        m_tail = closer + Closer.size();
        const qsizetype inner = m_aheadSize; // the piece without its closer
        const qsizetype pieceSize = inner + Closer.size();
        bool wellFormed = pieceSize >= 11; // at least "[URL][/URL]"
        const bool named = wellFormed && charAt(4) == u'=';
        qsizetype bracket = -1;
        if (named) {
            bracket = bracketAhead(5);
            wellFormed = bracket >= 0; // not only the closer's own "]"
        }
        if (!wellFormed) { // left as it is; the search goes on after it
            for (QStringView view : m_ahead)
                m_out.append(view);
            m_ahead.clear();
            m_aheadSize = 0;
            m_out.append(m_text.mid(closer, Closer.size()));
            m_out.skipTo(m_tail);
            return;
        }
        m_out.append(LinkStart);
        m_out.skipTo(m_tail);
        std::vector<QStringView> target;
        qsizetype grown;
        if (named) {
            // target between "=" and "]", link text between "]" and the closer
            popFront(5, [](QStringView) {});
            popFront(bracket + 1 - 5, [&](QStringView view) { target.push_back(view); });
            target.back().chop(1); // the "]"
            if (target.back().isEmpty())
                target.pop_back();
            m_ahead.push_front(TargetEnd);
            for (auto it = target.rbegin(); it != target.rend(); ++it)
                m_ahead.push_front(*it);
            m_aheadSize += bracket - 5 + TargetEnd.size();
            grown =
                LinkStart.size() + TargetEnd.size() + LinkEnd.size() - 12; // "[URL=", "]", closer
        } else {
            // "[URL]": the text between the opener's five characters and the closer is
            // both the target and the link text
            popFront(5, [](QStringView) {});
            const size_t count = m_ahead.size();
            const qsizetype size = m_aheadSize;
            m_ahead.push_back(TargetEnd);
            for (size_t i = 0; i < count; ++i)
                m_ahead.push_back(m_ahead[i]);
            m_aheadSize += TargetEnd.size() + size;
            grown = LinkStart.size() + TargetEnd.size() + LinkEnd.size() + size - 11;
        }
        m_ahead.push_back(LinkEnd);
        m_aheadSize += LinkEnd.size();
        // The link's first character is final; everything after it is searched again.
        m_size += grown;
        if (m_size > m_limit)
            raiseError(ErrOverflow, QStringLiteral("modConverter"),
                       QStringLiteral("The post's links would make it longer than %1 "
                                      "characters; it holds link tags nested too deeply to "
                                      "be converted.")
                           .arg(m_limit));
    }

    QStringView m_text;
    Output m_out;
    const std::vector<qsizetype> m_openers;
    const std::vector<qsizetype> m_closers;
    size_t m_nextOpener = 0;
    size_t m_nextCloser = 0;
    std::deque<QStringView> m_ahead; // what lies between the search and m_tail
    qsizetype m_aheadSize = 0;
    qsizetype m_tail = 0; // the input from here on is untouched
    qsizetype m_size;     // the length of the text as it now stands
    const qsizetype m_limit;
};

bool urlTags(QStringView text, QString& buffer)
{
    return LinkPass(text, buffer).run();
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

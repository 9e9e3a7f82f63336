#include "poster/convert/modConverter.h"

#include "platform/com/RuntimeError.h"
#include "poster/convert/LinkPass.h"
#include "poster/convert/TextScan.h"

#include <QStringList>
#include <new>
#include <utility>
#include <vector>

using namespace convert;

const QString DiaryAddress = QStringLiteral("http://diary.example");
const QString DiaryImageAddress = QStringLiteral("http://static.diary.example");

qsizetype LinkPassLimit(qsizetype textSize)
{
    return 16 * textSize + (qsizetype(1) << 20);
}

qsizetype ConvertedTextLimit(qsizetype bodySize)
{
    return 4 * bodySize + (qsizetype(4) << 20);
}

qint64 ConverterWork()
{
    return workDone;
}

// Every pass scans its text once, left to right, and writes the result into a buffer
// that the caller provides; it answers false, writing nothing, when the text stays as
// it is. ConvertPostBody passes two buffers back and forth, so that a long body costs
// two allocations rather than one per pass, and runs several passes in one scan where
// their rules allow it.
namespace {
struct Replacement
{
    QStringView needle;
    QStringView replacement;
};

// Every needle (each beginning with "[") replaced in one scan. This equals replacing
// them one after another: no needle can overlap another, and no replacement holds a
// "[" that could start a new one.
bool replaceTags(QStringView text, const Replacement* table, size_t count, QString& buffer,
                 qsizetype limit)
{
    // The needles that may start at a "[", by the letter after it (or after "[/"): a
    // small table, as a dense text has a bracket every few characters.
    constexpr int Keys = 128;
    unsigned char first[2][Keys] = {}; // 1 + the index of the first candidate, or 0
    unsigned char second[2][Keys] = {};
    bool everyNeedle = true; // else each "[" is compared with every needle
    for (size_t k = 0; k < count; ++k) {
        const QStringView needle = table[k].needle;
        const bool closing = needle.size() > 2 && needle[1] == u'/';
        const char16_t key =
            needle.size() > 2 ? lowerAscii(needle[closing ? 2 : 1].unicode()) : Keys;
        unsigned char* slot = key >= Keys                 ? nullptr
                              : first[closing][key] == 0  ? &first[closing][key]
                              : second[closing][key] == 0 ? &second[closing][key]
                                                          : nullptr;
        if (slot == nullptr || count > 250)
            everyNeedle = false;
        else
            *slot = static_cast<unsigned char>(k + 1);
    }
    if (!everyNeedle) {
        Output out(text, buffer, limit);
        for (qsizetype i = findChar(text, u'[', 0); i >= 0; i = findChar(text, u'[', i + 1))
            for (size_t k = 0; k < count; ++k)
                if (matchesAt(text, i, table[k].needle)) {
                    out.replace(i, table[k].needle.size(), table[k].replacement);
                    i += table[k].needle.size() - 1;
                    break;
                }
        return out.finish();
    }
    // Tags grow the text a little; room for a quarter more, as growing copies nothing.
    Output out(text, buffer, limit, text.size() + text.size() / 4 + 64);
    const qsizetype n = text.size();
    for (qsizetype i = findChar(text, u'[', 0); i >= 0; i = findChar(text, u'[', i + 1)) {
        if (i + 2 >= n)
            break;
        const bool closing = text[i + 1] == u'/';
        const char16_t key = lowerAscii(text[i + 1 + closing].unicode());
        if (key >= Keys || first[closing][key] == 0)
            continue;
        for (const unsigned char candidate : {first[closing][key], second[closing][key]}) {
            if (candidate == 0)
                break;
            const Replacement& r = table[candidate - 1];
            if (!matchesAt(text, i, r.needle))
                continue;
            out.replace(i, r.needle.size(), r.replacement);
            i += r.needle.size() - 1;
            break;
        }
    }
    return out.finish();
}

// Every exact (case-sensitive) occurrence of needle.
bool replaceExact(QStringView text, QStringView needle, QStringView replacement, QString& buffer,
                  qsizetype limit)
{
    Output out(text, buffer, limit);
    for (qsizetype i = findExact(text, needle, 0); i >= 0;
         i = findExact(text, needle, i + needle.size()))
        out.replace(i, needle.size(), replacement);
    return out.finish();
}

constexpr QStringView MoreTag = u"[MORE]";
constexpr QStringView MoreExpanded = u"[MORE=Читать дальше]";
constexpr QStringView CodeOpen = u"[CODE]";
constexpr QStringView CodeClose = u"[/CODE]";
constexpr QStringView PreOpen =
    u"<pre style=\"border:1px solid #c0c0c0;margin:0px;padding:8px 10px;overflow-x:scroll;\">";
constexpr QStringView PreClose = u"</pre>";

// Hands the escaped text to put, piece by piece. "&" first, then the quote and the
// brackets, then CR LF: one scan gives the same, as no replacement holds a character
// that a later one replaces.
template <typename Put> void escapeCode(QStringView text, Put put)
{
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
        if (i > done)
            put(text.mid(done, i - done));
        put(replacement);
        done = i + (text[i] == u'\r' ? 2 : 1);
        i = done - 1;
    }
    if (n > done)
        put(text.mid(done));
    tally(n);
}

bool codeBlocks(QStringView text, QString& buffer, qsizetype limit)
{
    qsizetype marker = findTag(text, CodeOpen, 0);
    if (marker < 0)
        return false;
    Output out(text, buffer, limit);
    out.copyTo(marker);
    // The first closer ahead is kept between pieces, so that many markers before one
    // far closer do not search the same text again and again.
    qsizetype nextCloser = findTag(text, CodeClose, marker);
    while (marker >= 0) {
        const qsizetype pieceStart = marker + CodeOpen.size();
        const qsizetype next = findTag(text, CodeOpen, pieceStart);
        const qsizetype pieceEnd = next < 0 ? text.size() : next;
        if (nextCloser >= 0 && nextCloser < pieceStart)
            nextCloser = findTag(text, CodeClose, pieceStart);
        // It belongs to this piece only when it ends before the next marker (the two
        // cannot overlap: both begin with "[").
        const bool closed = nextCloser >= 0 && nextCloser + CodeClose.size() <= pieceEnd;
        // The marker itself disappears.
        out.replace(marker, CodeOpen.size(), {});
        if (closed) {
            out.append(PreOpen);
            escapeCode(text.mid(pieceStart, nextCloser - pieceStart),
                       [&](QStringView piece) { out.append(piece); });
            out.append(PreClose);
            out.skipTo(nextCloser + CodeClose.size());
        }
        out.copyTo(pieceEnd);
        marker = next;
    }
    return out.finish();
}

bool strayAngleBrackets(QStringView text, QString& buffer, qsizetype limit)
{
    // The two scans in one: the first only turns ">" into "&gt;", and neither ">" nor
    // the "&" and ";" it leaves are tag characters, so each bracket's neighbour decides
    // the same in the original text as in the text the first scan leaves.
    const qsizetype n = text.size();
    const QChar* data = text.data();
    Output out(text, buffer, limit);
    for (qsizetype i = findAngleBracket(text, 0); i >= 0; i = findAngleBracket(text, i + 1)) {
        const char16_t c = data[i].unicode();
        const bool stray = c == u'>' ? i == 0 || !isTagCharacter(data[i - 1])
                                     : i == n - 1 || !isTagCharacter(data[i + 1]);
        if (stray)
            out.replace(i, 1, c == u'>' ? u"&gt;" : u"&lt;");
    }
    return out.finish();
}

// The first stray bracket before end, judged in text as it stands, or -1.
qsizetype firstStrayBracket(QStringView text, qsizetype end)
{
    const QChar* data = text.data();
    for (qsizetype i = findAngleBracket(text, 0); i >= 0 && i < end;
         i = findAngleBracket(text, i + 1)) {
        const bool stray = data[i] == u'>' ? i == 0 || !isTagCharacter(data[i - 1])
                                           : i == text.size() - 1 || !isTagCharacter(data[i + 1]);
        if (stray)
            return i;
    }
    return -1;
}

// The positions of the cut markers, code markers and code closers, found in one scan.
struct CodeTags
{
    std::vector<qsizetype> more, open, close;
    size_t nextMore = 0;

    explicit CodeTags(QStringView text)
    {
        for (qsizetype i = findChar(text, u'[', 0); i >= 0; i = findChar(text, u'[', i + 1)) {
            if (matchesAt(text, i, CodeOpen))
                open.push_back(i);
            else if (matchesAt(text, i, CodeClose))
                close.push_back(i);
            else if (text.sliced(i).startsWith(MoreTag))
                more.push_back(i);
        }
    }
    // The first cut marker at or after from and before end, or -1.
    qsizetype moreBefore(qsizetype from, qsizetype end)
    {
        while (nextMore < more.size() && more[nextMore] < from)
            ++nextMore;
        return nextMore < more.size() && more[nextMore] < end ? more[nextMore] : -1;
    }
};

void writeExpandingMore(BracketWriter& out, QStringView text, qsizetype from, qsizetype end,
                        CodeTags& tags)
{
    for (qsizetype i = tags.moreBefore(from, end); i >= 0; i = tags.moreBefore(from, end)) {
        out.write(text.mid(from, i - from));
        out.writeSafe(MoreExpanded);
        from = i + MoreTag.size();
    }
    out.write(text.mid(from, end - from));
}

void writeCode(BracketWriter& out, QStringView text, qsizetype from, qsizetype end, CodeTags& tags)
{
    // The expanded cut marker holds nothing that escaping changes, and escaped code holds
    // no bracket but those of "<br />", which stay.
    const auto put = [&](QStringView piece) { out.writeSafe(piece); };
    for (qsizetype i = tags.moreBefore(from, end); i >= 0; i = tags.moreBefore(from, end)) {
        escapeCode(text.mid(from, i - from), put);
        out.writeSafe(MoreExpanded);
        from = i + MoreTag.size();
    }
    escapeCode(text.mid(from, end - from), put);
}

// The cut marker, code blocks and stray brackets in one scan. The marker's expansion
// holds no code marker, nothing that escaping changes and no bracket, and neither a
// marker nor a closer can overlap "[MORE]"; so the code blocks are found in the text as
// it stands, and the brackets are judged as the text is written.
bool moreCodeAndBrackets(QStringView text, QString& buffer, qsizetype limit)
{
    const qsizetype n = text.size();
    CodeTags tags(text);
    qsizetype first = n;
    if (!tags.more.empty())
        first = tags.more.front();
    if (!tags.open.empty())
        first = std::min(first, tags.open.front());
    const qsizetype stray = firstStrayBracket(text, first);
    if (stray >= 0)
        first = stray;
    if (first == n)
        return false;
    // Before the character ahead of the first change, every bracket stays as it is.
    const qsizetype resume = std::max<qsizetype>(0, first - 1);
    Writer writer(buffer, limit);
    writer.begin(n + n / 2 + 64);
    BracketWriter out(writer);
    out.resumeAfter(text.first(resume));
    writeExpandingMore(out, text, resume, tags.open.empty() ? n : tags.open.front(), tags);
    size_t nextCloser = 0;
    for (size_t k = 0; k < tags.open.size(); ++k) {
        const qsizetype pieceStart = tags.open[k] + CodeOpen.size();
        const qsizetype pieceEnd = k + 1 < tags.open.size() ? tags.open[k + 1] : n;
        while (nextCloser < tags.close.size() && tags.close[nextCloser] < pieceStart)
            ++nextCloser;
        // The first closer after the marker belongs to it when it ends before the next
        // marker (the two cannot overlap: both begin with "[").
        const qsizetype closer = nextCloser < tags.close.size() ? tags.close[nextCloser] : -1;
        if (closer >= 0 && closer + CodeClose.size() <= pieceEnd) {
            out.writeSafe(PreOpen);
            writeCode(out, text, pieceStart, closer, tags);
            out.writeSafe(PreClose);
            writeExpandingMore(out, text, closer + CodeClose.size(), pieceEnd, tags);
        } else {
            writeExpandingMore(out, text, pieceStart, pieceEnd, tags);
        }
    }
    out.finish();
    writer.end();
    return true;
}

// A user tag: "\[J\](.*?)\[/J\]" or "\[L\](.*?)\[/L\]" (case-insensitive, "." stopping at
// a line feed), replaced by the pieces of its template with the captured name between.
struct UserTag
{
    QStringView opener;
    QStringView closer;
    const QStringList& pieces;
};

// The lazy pattern's matches, one after another. Positions found earlier stay valid
// while they lie ahead; searching again for every opener would make many openers before
// one far closer quadratic.
class UserTagMatches
{
public:
    UserTagMatches(QStringView text, const UserTag& tag) : m_text(text), m_tag(tag) {}
    // The next match at or after from: its start, the name's start and the closer's.
    bool next(qsizetype from, qsizetype* start, qsizetype* nameStart, qsizetype* closer)
    {
        while (!m_done) {
            const qsizetype opener = findTag(m_text, m_tag.opener, from);
            if (opener < 0)
                break;
            const qsizetype name = opener + m_tag.opener.size();
            if (m_lineEnd < name) {
                m_lineEnd = findChar(m_text, u'\n', name);
                if (m_lineEnd < 0)
                    m_lineEnd = m_text.size();
            }
            if (m_closer < name)
                m_closer = findTag(m_text, m_tag.closer, name);
            if (m_closer < 0)
                break; // no closer anywhere later: no later opener can match either
            if (m_closer + m_tag.closer.size() > m_lineEnd) {
                from = m_lineEnd; // no closer on this line, for any opener on it
                continue;
            }
            *start = opener;
            *nameStart = name;
            *closer = m_closer;
            return true;
        }
        m_done = true;
        return false;
    }
    // Where the search for the closer of an opener at name's start ends without a match
    // for it: the line's end. Valid after next() has looked at that opener.
    qsizetype lineEnd() const { return m_lineEnd; }

private:
    QStringView m_text;
    const UserTag& m_tag;
    qsizetype m_closer = -1;  // the first closer at or after the last search position
    qsizetype m_lineEnd = -1; // likewise the first line feed
    bool m_done = false;
};

void writeUserTag(Output& out, const UserTag& tag, QStringView name, qsizetype start, qsizetype end)
{
    out.copyTo(start);
    for (qsizetype i = 0; i < tag.pieces.size(); ++i) {
        if (i > 0)
            out.append(name);
        out.append(tag.pieces[i]);
    }
    out.skipTo(end);
}

bool userTags(QStringView text, const UserTag& tag, QString& buffer, qsizetype limit)
{
    Output out(text, buffer, limit);
    UserTagMatches matches(text, tag);
    qsizetype start, name, closer;
    for (qsizetype from = 0; matches.next(from, &start, &name, &closer);) {
        from = closer + tag.closer.size();
        writeUserTag(out, tag, text.mid(name, closer - name), start, from);
    }
    return out.finish();
}

const QString JournalTitle = QStringLiteral("\" title=\"Ссылка на дневник пользователя ");

const UserTag& journalTag()
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
    static const UserTag tag{u"[J]", u"[/J]", pieces};
    return tag;
}

const UserTag& linkTag()
{
    static const QStringList pieces = {QStringLiteral("<a href=\"") + DiaryAddress +
                                           QStringLiteral("/journal.php?login="),
                                       JournalTitle, QStringLiteral("\">"), QStringLiteral("</a>")};
    static const UserTag tag{u"[L]", u"[/L]", pieces};
    return tag;
}

enum class Outcome { Unchanged, Changed, Tangled };

// A journal tag's name with the link tags converted, for a name whose every link opener
// has a closer after it within the name: each copy of it in the journal template then
// converts alike, and the link tags see nothing beyond it. False for any other name.
bool linkTagsWithin(QStringView name, QString& buffer, qsizetype limit, QStringView* converted)
{
    const UserTag& link = linkTag();
    Output out(name, buffer, limit);
    for (qsizetype from = 0;;) {
        const qsizetype opener = findTag(name, link.opener, from);
        if (opener < 0)
            break;
        const qsizetype user = opener + link.opener.size();
        const qsizetype closer = findTag(name, link.closer, user);
        if (closer < 0)
            return false;
        from = closer + link.closer.size();
        writeUserTag(out, link, name.mid(user, closer - user), opener, from);
    }
    if (out.finish())
        *converted = buffer;
    return true;
}

// A line longer than this that needs the passes one after the other gets them on the
// whole text, which holds less memory at once than a copy of the line would.
constexpr qsizetype LongLine = qsizetype(1) << 16;

// The journal tags, the link tags and the line breaks in one scan. Where every link
// tag's match lies between two journal tags' matches, the link tags see the same text
// with or without the journal tags converted: the templates hold no "[" and no line
// break, and a line break never follows a name. A line where that fails (a journal
// tag's name holds a link opener, or a link opener's search runs into a journal tag's
// match) gets the passes one after the other on its own, as neither kind of tag spans
// lines. Tangled when such a line is longer than LongLine: the caller then runs the
// passes one after the other on the whole text.
Outcome journalLinksAndBreaks(QStringView text, QString& buffer, qsizetype limit, bool lineBreaks,
                              bool journal)
{
    const qsizetype n = text.size();
    // Journal tags make a text far longer.
    Output out(text, buffer, limit, 3 * n + 64);
    UserTagMatches journals(text, journalTag());
    const UserTag& link = linkTag();
    qsizetype linkOpener = -1, linkCloser = -1, linkLineEnd = -1, lineFeed = -1;
    bool linksDone = false;
    qsizetype lineStart = 0; // the start of the line being converted, and its output
    Output::Mark lineMark = out.mark();
    // The text from..end holds no journal tag: its link tags and line breaks. False
    // when a link opener's search runs into the journal tag at end.
    const auto segment = [&](qsizetype from, qsizetype end, bool beforeJournal) {
        qsizetype plain = from; // line breaks are converted up to here
        const auto breaksTo = [&](qsizetype to) {
            while (true) {
                if (lineFeed < plain) {
                    lineFeed = findChar(text, u'\n', plain);
                    if (lineFeed < 0)
                        lineFeed = n;
                }
                if (lineFeed >= to)
                    break;
                if (lineBreaks && lineFeed > plain && text[lineFeed - 1] == u'\r')
                    out.replace(lineFeed - 1, 0, u"<br />");
                plain = lineStart = lineFeed + 1;
                lineMark = out.mark();
            }
            plain = to;
        };
        while (!linksDone) {
            if (linkOpener < from)
                linkOpener = findTag(text, link.opener, from);
            if (linkOpener < 0) {
                linksDone = true;
                break;
            }
            if (linkOpener >= end)
                break;
            const qsizetype name = linkOpener + link.opener.size();
            if (linkLineEnd < name) {
                linkLineEnd = findChar(text, u'\n', name);
                if (linkLineEnd < 0)
                    linkLineEnd = n;
            }
            if (linkCloser < name)
                linkCloser = findTag(text, link.closer, name);
            if (linkCloser < 0) {
                linksDone = true; // no closer anywhere later
                break;
            }
            const qsizetype closerEnd = linkCloser + link.closer.size();
            if (closerEnd <= linkLineEnd && closerEnd <= end) {
                breaksTo(linkOpener);
                writeUserTag(out, link, text.mid(name, linkCloser - name), linkOpener, closerEnd);
                from = plain = closerEnd;
            } else if (linkLineEnd < end) {
                from = linkLineEnd; // no closer on this line, for any opener on it
            } else if (beforeJournal) {
                breaksTo(linkOpener);
                return false;
            } else {
                break;
            }
        }
        breaksTo(end);
        return true;
    };
    // The line that holds position at, converted on its own; false when it is too long
    // for that. Its end goes into after.
    const auto lineAlone = [&](qsizetype at, qsizetype* after) {
        qsizetype end = findChar(text, u'\n', at);
        end = end < 0 ? n : end + 1;
        if (end - lineStart > LongLine)
            return false;
        out.rewind(lineMark);
        out.copyTo(lineStart);
        const QStringView line = text.mid(lineStart, end - lineStart);
        // The whole text cannot be shorter than what is written and this line's part.
        const qsizetype room = limit - out.size();
        QString journalled, converted;
        const QStringView joined =
            userTags(line, journalTag(), journalled, room) ? QStringView(journalled) : line;
        out.append(journalLinksAndBreaks(joined, converted, room, lineBreaks, false) ==
                           Outcome::Changed
                       ? QStringView(converted)
                       : joined);
        out.skipTo(end);
        *after = lineStart = end;
        lineMark = out.mark();
        return true;
    };
    qsizetype from = 0;
    qsizetype start, name, closer;
    QString linkedUser;
    while (journal && journals.next(from, &start, &name, &closer)) {
        QStringView user = text.mid(name, closer - name);
        if (!segment(from, start, true) ||
            (!linksDone && findTag(user, link.opener, 0) >= 0 &&
             !linkTagsWithin(user, linkedUser, limit - out.size(), &user))) {
            if (!lineAlone(start, &from))
                return Outcome::Tangled;
            continue;
        }
        from = closer + journalTag().closer.size();
        writeUserTag(out, journalTag(), user, start, from);
    }
    segment(from, n, false);
    return out.finish() ? Outcome::Changed : Outcome::Unchanged;
}

template <typename Pass> QString runAlone(const QString& text, Pass pass)
{
    QString out;
    return pass(QStringView(text), out, ConvertedTextLimit(text.size())) ? out : text;
}
} // namespace

QString ConvertSimpleTag(const QString& text, const QString& name)
{
    const QString open = QLatin1Char('[') + name + QLatin1Char(']');
    const QString close = QStringLiteral("[/") + name + QLatin1Char(']');
    const QString htmlOpen = QLatin1Char('<') + name.toLower() + QLatin1Char('>');
    const QString htmlClose = QStringLiteral("</") + name.toLower() + QLatin1Char('>');
    const Replacement table[] = {{open, htmlOpen}, {close, htmlClose}};
    return runAlone(text, [&](QStringView in, QString& out, qsizetype limit) {
        return replaceTags(in, table, 2, out, limit);
    });
}

QString ConvertTagPair(const QString& text, const QString& tag, const QString& opening,
                       const QString& closing)
{
    const QString open = QLatin1Char('[') + tag + QLatin1Char(']');
    const QString close = QStringLiteral("[/") + tag + QLatin1Char(']');
    const Replacement table[] = {{open, opening}, {close, closing}};
    return runAlone(text, [&](QStringView in, QString& out, qsizetype limit) {
        return replaceTags(in, table, 2, out, limit);
    });
}

QString ConvertUrlTags(const QString& text)
{
    return runAlone(text, [](QStringView in, QString& out, qsizetype limit) {
        return convertLinks(in, out, std::min(limit, LinkPassLimit(in.size())));
    });
}

QString ExpandMoreTag(const QString& text)
{
    return runAlone(text, [](QStringView in, QString& out, qsizetype limit) {
        return replaceExact(in, MoreTag, MoreExpanded, out, limit);
    });
}

QString EscapeCodeText(const QString& text)
{
    QString out;
    Writer writer(out, ConvertedTextLimit(text.size()));
    writer.begin(text.size() + text.size() / 8);
    escapeCode(text, [&](QStringView piece) { writer.put(piece); });
    writer.end();
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
    return runAlone(text, [](QStringView in, QString& out, qsizetype limit) {
        return userTags(in, journalTag(), out, limit);
    });
}

QString ConvertLinkTags(const QString& text)
{
    return runAlone(text, [](QStringView in, QString& out, qsizetype limit) {
        return userTags(in, linkTag(), out, limit);
    });
}

QString ConvertLineBreaksToHtml(const QString& text)
{
    return runAlone(text, [](QStringView in, QString& out, qsizetype limit) {
        return replaceExact(in, u"\r\n", u"<br />\r\n", out, limit);
    });
}

namespace {
// The buffer that a conversion writes its passes into but does not return is kept for
// the next one, up to this many characters: an upload run converts post after post, and
// writing into pages already there is far faster than into fresh ones.
constexpr qsizetype KeptScratch = qsizetype(32) << 20;
thread_local QString keptScratch;

QString convertBody(const QString& body, bool lineBreaks)
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
    const qsizetype limit = ConvertedTextLimit(body.size());
    QString buffers[2] = {std::exchange(keptScratch, QString()), QString()};
    const qsizetype keptCapacity = buffers[0].capacity();
    QStringView current = body;
    int next = 0;
    const auto changed = [&](bool done) {
        if (done) {
            current = buffers[next];
            next ^= 1;
        }
    };
    changed(replaceTags(current, tags, std::size(tags), buffers[next], limit));
    changed(convertLinks(current, buffers[next], std::min(limit, LinkPassLimit(current.size()))));
    changed(moreCodeAndBrackets(current, buffers[next], limit));
    const Outcome outcome = journalLinksAndBreaks(current, buffers[next], limit, lineBreaks, true);
    if (outcome == Outcome::Tangled) {
        const bool ownText = current.data() != body.data();
        changed(userTags(current, journalTag(), buffers[next], limit));
        // The text before the journal tags is no longer needed.
        if (ownText)
            buffers[next] = QString();
        changed(journalLinksAndBreaks(current, buffers[next], limit, lineBreaks, false) ==
                Outcome::Changed);
    } else {
        changed(outcome == Outcome::Changed);
    }
    const bool changedAtAll = current.data() != body.data();
    QString result = changedAtAll ? std::move(buffers[next ^ 1]) : body;
    if (changedAtAll && next == 1 && result.size() < keptCapacity / 2) {
        // A short text in the big buffer of an earlier post: the caller gets a copy, the
        // buffer stays for the next post.
        QString copy(result.constData(), result.size());
        buffers[next] = std::move(result);
        result = std::move(copy);
    }
    QString& scratch = buffers[next];
    if (scratch.capacity() <= KeptScratch) {
        scratch.truncate(0);
        keptScratch = std::move(scratch);
    }
    return result;
}
} // namespace

QString ConvertPostBody(const QString& body, bool ConvertLineBreaks)
{
    try {
        return convertBody(body, ConvertLineBreaks);
    } catch (const std::bad_alloc&) {
        raiseError(ErrOutOfMemory, QStringLiteral("modConverter"),
                   QStringLiteral("Out of memory while converting the post (%1 characters).")
                       .arg(body.size()));
    }
}

#pragma once
// What the converter's passes share: searches for tags and characters, the buffer a pass
// writes into, the bound on the converted text, and a count of the work done.
#include <QString>
#include <QStringView>
#include <algorithm>

namespace convert {
// Characters looked at, compared or written by this thread's conversions.
extern thread_local qint64 workDone;
inline void tally(qsizetype count)
{
    workDone += count;
}

// Raises the converter's error 6 for a text that would grow past limit characters.
[[noreturn]] void raiseTooLong(qsizetype limit);

constexpr char16_t lowerAscii(char16_t c)
{
    return c >= u'A' && c <= u'Z' ? c + 32 : c;
}

inline bool isTagCharacter(QChar c)
{
    const char16_t u = c.unicode();
    return (u >= u'A' && u <= u'Z') || (u >= u'a' && u <= u'z') || (u >= u'0' && u <= u'9') ||
           u == u'"' || u == u'/' || u == u'\\' || u == u'\'';
}

// Does text hold needle at position, comparing ASCII letters without regard to case?
inline bool matchesAt(QStringView text, qsizetype position, QStringView needle)
{
    if (position < 0 || position + needle.size() > text.size())
        return false;
    tally(needle.size());
    const QChar* p = text.data() + position;
    for (qsizetype i = 0; i < needle.size(); ++i)
        if (lowerAscii(p[i].unicode()) != lowerAscii(needle[i].unicode()))
            return false;
    return true;
}

// The next c at or after from, or -1. Markup is dense with brackets, so the next few
// characters are looked at directly before the vectorised search is called.
inline qsizetype findChar(QStringView text, char16_t c, qsizetype from)
{
    const qsizetype n = text.size();
    const QChar* data = text.data();
    const qsizetype near = std::min(n, from + 32);
    for (qsizetype i = from; i < near; ++i)
        if (data[i].unicode() == c) {
            tally(i - from + 1);
            return i;
        }
    const qsizetype found = near < n ? text.indexOf(QChar(c), near) : -1;
    tally((found < 0 ? n : found + 1) - from);
    return found;
}

// Case-insensitive search for a needle that begins with "[".
inline qsizetype findTag(QStringView text, QStringView needle, qsizetype from)
{
    const char16_t first = needle.front().unicode();
    for (qsizetype i = findChar(text, first, from); i >= 0; i = findChar(text, first, i + 1))
        if (matchesAt(text, i, needle))
            return i;
    return -1;
}

// Exact search.
inline qsizetype findExact(QStringView text, QStringView needle, qsizetype from)
{
    const char16_t first = needle.front().unicode();
    for (qsizetype i = findChar(text, first, from); i >= 0; i = findChar(text, first, i + 1)) {
        tally(needle.size());
        if (text.sliced(i).first(std::min(needle.size(), text.size() - i)) == needle)
            return i;
    }
    return -1;
}

// The first "<" or ">" at or after from, or -1.
qsizetype findAngleBracket(QStringView text, qsizetype from);

// Collects the output of one pass: untouched stretches of the input and replacements.
// Nothing is written until the first replacement, so a pass that changes nothing costs
// no copy; past limit characters the pass fails with error 6.
class Output
{
public:
    Output(QStringView input, QString& buffer, qsizetype limit)
        : m_input(input), m_buffer(buffer), m_limit(limit)
    {
    }
    // Copies the input up to position, then appends the replacement, and goes on after
    // the replaced length.
    void replace(qsizetype position, qsizetype length, QStringView replacement)
    {
        copyTo(position);
        append(replacement);
        m_done = position + length;
    }
    void copyTo(qsizetype position)
    {
        start();
        put(m_input.mid(m_done, position - m_done));
        m_done = position;
    }
    void append(QStringView text)
    {
        start();
        put(text);
    }
    // Leaves out the input up to position (after copyTo and appends that replace it).
    void skipTo(qsizetype position) { m_done = position; }
    // Copies the rest; false when nothing was replaced (the buffer is then untouched).
    bool finish()
    {
        if (!m_started)
            return false;
        put(m_input.mid(m_done));
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
        m_buffer.reserve(std::min(2 * m_input.size() + 64, m_limit + 1));
    }
    void put(QStringView text)
    {
        m_buffer.append(text);
        tally(text.size());
        if (m_buffer.size() > m_limit)
            raiseTooLong(m_limit);
    }
    QStringView m_input;
    QString& m_buffer;
    qsizetype m_limit;
    qsizetype m_done = 0;
    bool m_started = false;
};

// Writes text as the stray-bracket pass leaves it. Each bracket is judged by its
// neighbours in the text as written, which may lie in the piece before or after.
class BracketWriter
{
public:
    BracketWriter(QString& buffer, qsizetype limit) : m_buffer(buffer), m_limit(limit) {}
    // Carries on after a start that holds no stray bracket (before its last character).
    void resumeAfter(QStringView start);
    void write(QStringView text);
    // For text whose own brackets all stay, which neither begins with ">" nor ends with
    // "<": markup of our own and escaped code.
    void writeSafe(QStringView text)
    {
        if (text.isEmpty())
            return;
        settlePending(text.front());
        put(text);
        m_last = text.back();
    }
    // A "<" that ends the text is stray.
    void finish()
    {
        if (m_pendingLess)
            put(u"&lt;");
        m_pendingLess = false;
    }

private:
    void settlePending(QChar next)
    {
        if (m_pendingLess)
            put(isTagCharacter(next) ? QStringView(u"<") : QStringView(u"&lt;"));
        m_pendingLess = false;
    }
    void put(QStringView text)
    {
        m_buffer.append(text);
        tally(text.size());
        if (m_buffer.size() > m_limit)
            raiseTooLong(m_limit);
    }
    QString& m_buffer;
    qsizetype m_limit;
    QChar m_last; // the last character written, as it was before escaping (none at first)
    bool m_pendingLess = false; // a "<" whose next character is still to come
};
} // namespace convert

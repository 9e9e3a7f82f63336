#pragma once
// What the converter's passes share: searches for tags and characters, the buffer a pass
// writes into, the bound on the converted text, and a count of the work done.
#include <QString>
#include <QStringView>
#include <algorithm>
#include <cstring>
#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace convert {
// Characters looked at, compared or written by this thread's conversions. Constant
// initialised, so that no call guards each use; the converter lives in programs only.
extern thread_local constinit qint64 workDone __attribute__((tls_model("initial-exec")));
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

// The next c at or after from, or -1. Markup is dense with brackets, so the search is
// inline: a call into the library's search for every tag costs more than it saves.
inline qsizetype findChar(QStringView text, char16_t c, qsizetype from)
{
    const auto* data = reinterpret_cast<const char16_t*>(text.data());
    const qsizetype n = text.size();
    qsizetype i = from;
#ifdef __SSE2__
    const __m128i needle = _mm_set1_epi16(static_cast<short>(c));
    for (; i + 8 <= n; i += 8) {
        const __m128i units = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i));
        const int mask = _mm_movemask_epi8(_mm_cmpeq_epi16(units, needle));
        if (mask != 0) {
            const qsizetype found = i + (__builtin_ctz(static_cast<unsigned>(mask)) >> 1);
            tally(found + 1 - from);
            return found;
        }
    }
#endif
    for (; i < n; ++i)
        if (data[i] == c) {
            tally(i + 1 - from);
            return i;
        }
    tally(n - from);
    return -1;
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

// Appends to a QString through a pointer of its own: a pass writes many short pieces,
// and a call of QString::append for each costs more than copying them. The string's
// unused capacity is never touched, so it costs no memory pages. Past limit
// characters the pass fails with error 6.
class Writer
{
public:
    Writer(QString& buffer, qsizetype limit) : m_buffer(buffer), m_limit(limit) {}
    Writer(const Writer&) = delete;
    Writer& operator=(const Writer&) = delete;
    // Starts writing, from the buffer's beginning; a reused buffer keeps its capacity.
    void begin(qsizetype expected)
    {
        m_capacity = std::min(expected, m_limit);
        m_buffer.resize(m_capacity);
        m_data = reinterpret_cast<char16_t*>(m_buffer.data());
        m_size = 0;
    }
    void put(const QChar* text, qsizetype count)
    {
        if (count == 0)
            return;
        if (count > m_capacity - m_size)
            grow(count);
        std::memcpy(m_data + m_size, text, static_cast<size_t>(count) * sizeof(char16_t));
        m_size += count;
        tally(count);
    }
    void put(QStringView text) { put(text.data(), text.size()); }
    void put(char16_t c)
    {
        if (m_size == m_capacity)
            grow(1);
        m_data[m_size++] = c;
    }
    qsizetype size() const { return m_size; }
    void truncate(qsizetype size) { m_size = size; }
    // Ends writing: the buffer holds what was written.
    void end() { m_buffer.resize(m_size); }

private:
    void grow(qsizetype count);
    QString& m_buffer;
    qsizetype m_limit;
    char16_t* m_data = nullptr;
    qsizetype m_size = 0;
    qsizetype m_capacity = 0;
};

// Collects the output of one pass: untouched stretches of the input and replacements.
// Nothing is written until the first replacement, so a pass that changes nothing costs
// no copy.
class Output
{
public:
    // expected: the length to make room for at first (twice the input if not given).
    Output(QStringView input, QString& buffer, qsizetype limit, qsizetype expected = -1)
        : m_input(input), m_writer(buffer, limit),
          m_expected(expected >= 0 ? expected : 2 * input.size() + 64)
    {
    }
    // Copies the input up to position, then appends the replacement, and goes on after
    // the replaced length.
    void replace(qsizetype position, qsizetype length, QStringView replacement)
    {
        copyTo(position);
        m_writer.put(replacement);
        m_done = position + length;
    }
    void copyTo(qsizetype position)
    {
        start();
        m_writer.put(m_input.data() + m_done, position - m_done);
        m_done = position;
    }
    void append(QStringView text)
    {
        start();
        m_writer.put(text);
    }
    // Leaves out the input up to position (after copyTo and appends that replace it).
    void skipTo(qsizetype position) { m_done = position; }
    qsizetype size() const { return m_started ? m_writer.size() : 0; }
    // A point to come back to, forgetting what was written after it.
    struct Mark
    {
        qsizetype done;
        qsizetype written;
    };
    Mark mark() const { return {m_done, size()}; }
    void rewind(const Mark& mark)
    {
        if (m_started)
            m_writer.truncate(mark.written);
        m_done = mark.done;
    }
    // Copies the rest; false when nothing was replaced (the buffer is then untouched).
    bool finish()
    {
        if (!m_started)
            return false;
        m_writer.put(m_input.data() + m_done, m_input.size() - m_done);
        m_writer.end();
        return true;
    }

private:
    void start()
    {
        if (m_started)
            return;
        m_started = true;
        m_writer.begin(m_expected);
    }
    QStringView m_input;
    Writer m_writer;
    qsizetype m_expected;
    qsizetype m_done = 0;
    bool m_started = false;
};

// Writes text as the stray-bracket pass leaves it. Each bracket is judged by its
// neighbours in the text as written, which may lie in the piece before or after.
class BracketWriter
{
public:
    explicit BracketWriter(Writer& out) : m_out(out) {}
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
        m_out.put(text);
        m_last = text.back();
    }
    // A "<" that ends the text is stray.
    void finish()
    {
        if (m_pendingLess)
            m_out.put(u"&lt;");
        m_pendingLess = false;
    }

private:
    void settlePending(QChar next)
    {
        if (m_pendingLess)
            m_out.put(isTagCharacter(next) ? QStringView(u"<") : QStringView(u"&lt;"));
        m_pendingLess = false;
    }
    Writer& m_out;
    QChar m_last; // the last character written, as it was before escaping (none at first)
    bool m_pendingLess = false; // a "<" whose next character is still to come
};
} // namespace convert

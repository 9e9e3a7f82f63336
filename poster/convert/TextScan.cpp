#include "poster/convert/TextScan.h"

#include "platform/com/RuntimeError.h"

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace convert {
thread_local constinit qint64 workDone __attribute__((tls_model("initial-exec"))) = 0;

void raiseTooLong(qsizetype limit)
{
    raiseError(ErrOverflow, QStringLiteral("modConverter"),
               QStringLiteral("The converted post would be longer than %1 characters; it holds "
                              "too much markup that grows when converted (such as [J] and [L] "
                              "tags) to be converted.")
                   .arg(limit));
}

qsizetype findAngleBracket(QStringView text, qsizetype from)
{
    const auto* data = reinterpret_cast<const char16_t*>(text.data());
    const qsizetype n = text.size();
    qsizetype i = from;
#ifdef __SSE2__
    const __m128i less = _mm_set1_epi16(u'<');
    const __m128i greater = _mm_set1_epi16(u'>');
    for (; i + 8 <= n; i += 8) {
        const __m128i units = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i));
        const int mask = _mm_movemask_epi8(
            _mm_or_si128(_mm_cmpeq_epi16(units, less), _mm_cmpeq_epi16(units, greater)));
        if (mask != 0) {
            const qsizetype found = i + (__builtin_ctz(static_cast<unsigned>(mask)) >> 1);
            tally(found + 1 - from);
            return found;
        }
    }
#endif
    for (; i < n; ++i)
        if (data[i] == u'<' || data[i] == u'>') {
            tally(i + 1 - from);
            return i;
        }
    tally(n - from);
    return -1;
}

void Writer::grow(qsizetype count)
{
    const qsizetype needed = m_size + count;
    if (needed > m_limit)
        raiseTooLong(m_limit);
    m_capacity = std::min(std::max(needed, 2 * m_capacity), m_limit);
    m_buffer.resize(m_capacity);
    m_data = reinterpret_cast<char16_t*>(m_buffer.data());
}

void BracketWriter::resumeAfter(QStringView start)
{
    m_out.put(start);
    if (!start.isEmpty())
        m_last = start.back();
}

void BracketWriter::write(QStringView text)
{
    const qsizetype n = text.size();
    if (n == 0)
        return;
    settlePending(text.front());
    qsizetype done = 0;
    for (qsizetype i = findAngleBracket(text, 0); i >= 0; i = findAngleBracket(text, i + 1)) {
        if (text[i] == u'>') {
            if (isTagCharacter(i == 0 ? m_last : text[i - 1]))
                continue;
            m_out.put(text.mid(done, i - done));
            m_out.put(u"&gt;");
        } else if (i == n - 1) {
            // Judged by what comes next.
            m_out.put(text.mid(done, i - done));
            m_pendingLess = true;
        } else {
            if (isTagCharacter(text[i + 1]))
                continue;
            m_out.put(text.mid(done, i - done));
            m_out.put(u"&lt;");
        }
        done = i + 1;
    }
    m_out.put(text.mid(done));
    m_last = text.back();
}
} // namespace convert

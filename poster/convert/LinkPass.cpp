#include "poster/convert/LinkPass.h"

#include "platform/com/RuntimeError.h"
#include "poster/convert/TextScan.h"

#include <cstdint>
#include <deque>
#include <limits>
#include <vector>

namespace convert {
namespace {
constexpr QStringView Opener = u"[URL";
constexpr QStringView Closer = u"[/URL]";
constexpr QStringView LinkStart = u"<a href=\"";
constexpr QStringView TargetEnd = u"\">";
constexpr QStringView LinkEnd = u"</a>";

// The search goes on inside every link it inserts, from the character after the link's
// first one. So the pass runs on a text that changes under it: the part between the
// search and the untouched input is kept as a list of pieces of the input and of the
// two fixed texts that a link adds, rather than rebuilt for every link.
//
// Why this stays linear: a piece runs from an opener to the first closer after it, so a
// link's target and text never hold a closer, and neither do the fixed texts. The list
// therefore never holds a closer, and the closer of every piece is the next one in the
// input. No opener or closer can span two list entries either: the fixed texts hold no
// "[", and every "[" in the needles is followed by "U" or "/", never by the '"' or '<'
// that begins a fixed text. A named link only cuts the opener off the front, puts the
// fixed text in place of its first "]" and adds one at the end; the entries that may
// hold a "]" are queued in order, and each is searched once. Only "[URL]" copies the
// whole list, and then the text grows by at least as many characters as it has entries.
class LinkPass
{
public:
    LinkPass(QStringView text, QString& buffer, qsizetype limit)
        : m_text(text), m_out(text, buffer, limit, text.size() + text.size() / 4 + 64),
          m_size(text.size()), m_limit(limit)
    {
        // Positions are kept in 32 bits; no post comes near.
        if (text.size() >= std::numeric_limits<int32_t>::max())
            raiseTooLong(std::numeric_limits<int32_t>::max());
        findTags();
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
    enum Kind : uint8_t { FromInput, FromTargetEnd, FromLinkEnd };
    struct Entry
    {
        uint32_t start;
        uint32_t length;
        int32_t next;
        Kind kind;
        bool noBracket; // known to hold no "]"
    };

    // Every opener and closer, in one scan.
    void findTags()
    {
        for (qsizetype i = findChar(m_text, u'[', 0); i >= 0; i = findChar(m_text, u'[', i + 1)) {
            if (matchesAt(m_text, i, Opener))
                m_openers.push_back(static_cast<uint32_t>(i));
            else if (matchesAt(m_text, i, Closer))
                m_closers.push_back(static_cast<uint32_t>(i));
        }
    }

    QStringView view(const Entry& entry) const
    {
        const QChar* base = entry.kind == FromInput       ? m_text.data()
                            : entry.kind == FromTargetEnd ? TargetEnd.data()
                                                          : LinkEnd.data();
        return QStringView(base + entry.start, entry.length);
    }

    int32_t newEntry(Kind kind, uint32_t start, uint32_t length, bool noBracket)
    {
        tally(1);
        const Entry entry{start, length, -1, kind, noBracket};
        if (m_free >= 0) {
            const int32_t id = m_free;
            m_free = m_entries[static_cast<size_t>(id)].next;
            m_entries[static_cast<size_t>(id)] = entry;
            return id;
        }
        if (m_entries.size() >= static_cast<size_t>(std::numeric_limits<int32_t>::max()))
            raiseTooLong(m_limit);
        m_entries.push_back(entry);
        return static_cast<int32_t>(m_entries.size() - 1);
    }
    Entry& at(int32_t id) { return m_entries[static_cast<size_t>(id)]; }

    void pushBack(Kind kind, qsizetype start, qsizetype length, bool noBracket)
    {
        if (length == 0)
            return;
        const int32_t id =
            newEntry(kind, static_cast<uint32_t>(start), static_cast<uint32_t>(length), noBracket);
        if (m_last >= 0)
            at(m_last).next = id;
        else
            m_head = id;
        m_last = id;
        m_aheadSize += length;
        if (kind == FromInput && !noBracket)
            m_bracketEntries.push_back(id);
    }

    void popFront()
    {
        const int32_t id = m_head;
        Entry& entry = at(id);
        m_head = entry.next;
        if (m_head < 0)
            m_last = -1;
        if (!m_bracketEntries.empty() && m_bracketEntries.front() == id)
            m_bracketEntries.pop_front();
        m_aheadSize -= entry.length;
        entry.next = m_free;
        m_free = id;
    }

    // The offset of the first opener wholly inside an entry, or -1.
    qsizetype openerIn(const Entry& entry) const
    {
        if (entry.kind != FromInput)
            return -1;
        tally(1);
        const auto it = std::lower_bound(m_openers.begin(), m_openers.end(), entry.start);
        if (it == m_openers.end() || *it + Opener.size() > entry.start + entry.length)
            return -1;
        return qsizetype(*it) - entry.start;
    }

    // Moves the search to the next opener: the text before it is final. False when
    // there is none.
    bool findOpener()
    {
        while (m_head >= 0) {
            Entry& front = at(m_head);
            const qsizetype offset = openerIn(front);
            if (offset >= 0) {
                m_out.append(view(front).first(offset));
                front.start += static_cast<uint32_t>(offset);
                front.length -= static_cast<uint32_t>(offset);
                m_aheadSize -= offset;
                return true;
            }
            m_out.append(view(front));
            popFront();
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
        if (m_head < 0)
            return;
        m_out.copyTo(m_tail);
        flushList();
    }

    QChar charAt(qsizetype index)
    {
        for (int32_t id = m_head; id >= 0; id = at(id).next) {
            const Entry& entry = at(id);
            if (index < entry.length)
                return view(entry)[index];
            index -= entry.length;
        }
        return {};
    }

    // Removes the first count characters.
    void dropFront(qsizetype count)
    {
        while (count > 0) {
            Entry& front = at(m_head);
            if (front.length > count) {
                front.start += static_cast<uint32_t>(count);
                front.length -= static_cast<uint32_t>(count);
                m_aheadSize -= count;
                return;
            }
            count -= front.length;
            popFront();
        }
    }

    // The entry holding the first "]" of the list and the bracket's offset in it, or -1.
    std::pair<int32_t, qsizetype> firstBracket()
    {
        while (!m_bracketEntries.empty()) {
            const int32_t id = m_bracketEntries.front();
            const QStringView text = view(at(id));
            const qsizetype offset = text.indexOf(u']');
            tally(offset < 0 ? text.size() : offset + 1);
            if (offset >= 0)
                return {id, offset};
            at(id).noBracket = true;
            m_bracketEntries.pop_front();
        }
        return {-1, -1};
    }

    // Puts the fixed text that ends a target in place of the "]" at offset in entry id.
    void replaceBracket(int32_t id, qsizetype offset)
    {
        const Entry entry = at(id);
        const qsizetype restLength = entry.length - offset - 1;
        const int32_t targetEnd = newEntry(FromTargetEnd, 0, TargetEnd.size(), true);
        int32_t after = entry.next;
        if (restLength > 0) {
            after = newEntry(FromInput, static_cast<uint32_t>(entry.start + offset + 1),
                             static_cast<uint32_t>(restLength), false);
            at(after).next = entry.next;
        }
        at(targetEnd).next = after;
        Entry& before = at(id);
        before.length = static_cast<uint32_t>(offset);
        before.noBracket = true;
        before.next = targetEnd;
        if (m_last == id)
            m_last = restLength > 0 ? after : targetEnd;
        // The entry was the first that may hold a "]"; now its rest is.
        if (restLength > 0)
            m_bracketEntries.front() = after;
        else
            m_bracketEntries.pop_front();
        m_aheadSize += TargetEnd.size() - 1;
    }

    void growBy(qsizetype grown)
    {
        m_size += grown;
        if (m_size > m_limit)
            raiseError(ErrOverflow, QStringLiteral("modConverter"),
                       QStringLiteral("The post's links would make it longer than %1 "
                                      "characters; it holds link tags nested too deeply to "
                                      "be converted.")
                           .arg(m_limit));
    }

    // The piece from the opener (at the front of the list, or at m_tail in the input) to
    // the closer at closer in the input.
    void convertPiece(qsizetype closer)
    {
        const qsizetype pieceStart = m_tail; // in the input, after the list
        m_out.copyTo(pieceStart);
        pushBack(FromInput, pieceStart, closer - pieceStart, false);
        m_tail = closer + Closer.size();
        const qsizetype pieceSize = m_aheadSize + Closer.size();
        bool wellFormed = pieceSize >= 11; // at least "[URL][/URL]"
        const bool named = wellFormed && charAt(4) == u'=';
        // The opener's five characters hold no "]", so the list's first is the target's end.
        if (named)
            wellFormed = firstBracket().first >= 0; // not only the closer's own "]"
        if (!wellFormed) {                          // left as it is; the search goes on after it
            flushList();
            m_out.append(m_text.mid(closer, Closer.size()));
            m_out.skipTo(m_tail);
            return;
        }
        m_out.append(LinkStart);
        m_out.skipTo(m_tail);
        if (named) {
            // "[URL=" target "]" text: target "\">" text
            growBy(LinkStart.size() + TargetEnd.size() + LinkEnd.size() - 12);
            dropFront(5);
            const auto [id, offset] = firstBracket();
            replaceBracket(id, offset);
        } else {
            // "[URL]" text: text "\">" text, the whole list once more
            dropFront(5);
            growBy(LinkStart.size() + TargetEnd.size() + LinkEnd.size() + m_aheadSize - 11);
            const int32_t last = m_last;
            pushBack(FromTargetEnd, 0, TargetEnd.size(), true);
            for (int32_t id = m_head; id >= 0 && last >= 0;) {
                const Entry entry = at(id);
                pushBack(entry.kind, entry.start, entry.length, entry.noBracket);
                if (id == last)
                    break;
                id = entry.next;
            }
        }
        pushBack(FromLinkEnd, 0, LinkEnd.size(), true);
    }

    void flushList()
    {
        while (m_head >= 0) {
            m_out.append(view(at(m_head)));
            popFront();
        }
    }

    QStringView m_text;
    Output m_out;
    std::vector<uint32_t> m_openers;
    std::vector<uint32_t> m_closers;
    size_t m_nextOpener = 0;
    size_t m_nextCloser = 0;
    // What lies between the search and m_tail: a list of entries, each one in use or free.
    std::vector<Entry> m_entries;
    int32_t m_head = -1;
    int32_t m_last = -1;
    int32_t m_free = -1;
    std::deque<int32_t> m_bracketEntries; // entries that may hold a "]", in list order
    qsizetype m_aheadSize = 0;
    qsizetype m_tail = 0; // the input from here on is untouched
    qsizetype m_size;     // the length of the text as it now stands
    const qsizetype m_limit;
};
} // namespace

bool convertLinks(QStringView text, QString& buffer, qsizetype limit)
{
    return LinkPass(text, buffer, limit).run();
}
} // namespace convert

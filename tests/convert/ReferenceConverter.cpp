#include "tests/convert/ReferenceConverter.h"

#include "platform/com/RuntimeError.h"
#include "poster/convert/modConverter.h"

#include <QRegularExpression>
#include <deque>
#include <string>

namespace {
QString replaceAll(QString text, const QString& from, const QString& to)
{
    return text.replace(from, to, Qt::CaseInsensitive);
}

QString simpleTag(const QString& text, const QString& name)
{
    return replaceAll(
        replaceAll(text, QStringLiteral("[%1]").arg(name), QStringLiteral("<%1>").arg(name)),
        QStringLiteral("[/%1]").arg(name), QStringLiteral("</%1>").arg(name));
}

QString tagPair(const QString& text, const QString& tag, const QString& open, const QString& close)
{
    return replaceAll(replaceAll(text, QStringLiteral("[%1]").arg(tag), open),
                      QStringLiteral("[/%1]").arg(tag), close);
}

// Case-insensitive for ASCII letters, as the tags are written.
bool tagAt(const std::deque<char16_t>& text, size_t at, QStringView tag)
{
    if (at + static_cast<size_t>(tag.size()) > text.size())
        return false;
    for (qsizetype i = 0; i < tag.size(); ++i)
        if (QChar(text[at + static_cast<size_t>(i)]).toLower() != tag[i].toLower())
            return false;
    return true;
}

// Follows the pass step by step on the changing text. What lies before the search
// position is final and moves to done; the rest is a double-ended queue, so that
// replacing a piece at its front costs the piece and the link, not the whole text.
QString urlTags(const QString& input)
{
    const qsizetype limit = LinkPassLimit(input.size());
    QString done;
    std::deque<char16_t> rest(input.utf16(), input.utf16() + input.size());
    qsizetype size = input.size();
    while (true) {
        size_t start = 0;
        while (start < rest.size() && !tagAt(rest, start, u"[URL"))
            ++start;
        if (start == rest.size())
            break;
        size_t closer = start;
        while (closer < rest.size() && !tagAt(rest, closer, u"[/URL]"))
            ++closer;
        if (closer == rest.size())
            break;
        for (size_t i = 0; i < start; ++i)
            done += QChar(rest[i]);
        rest.erase(rest.begin(), rest.begin() + static_cast<qsizetype>(start));
        const size_t pieceSize = closer - start + 6;
        const QString piece = QString::fromUtf16(
            std::u16string(rest.begin(), rest.begin() + static_cast<qsizetype>(pieceSize)).c_str(),
            static_cast<qsizetype>(pieceSize));
        QString target, linkText;
        bool ok = piece.size() >= 11;
        if (ok && piece.left(5).toUpper() == QStringLiteral("[URL=")) {
            const qsizetype bracket = piece.indexOf(QLatin1Char(']'));
            ok = bracket < piece.size() - 1;
            target = piece.mid(5, bracket - 5);
            linkText = piece.mid(bracket + 1, piece.size() - 6 - bracket - 1);
        } else if (ok) {
            target = linkText = piece.mid(5, piece.size() - 11);
        }
        if (!ok) { // left as it is; the search goes on after it
            done += piece;
            rest.erase(rest.begin(), rest.begin() + static_cast<qsizetype>(pieceSize));
            continue;
        }
        const QString link = QStringLiteral("<a href=\"") + target + QStringLiteral("\">") +
                             linkText + QStringLiteral("</a>");
        rest.erase(rest.begin(), rest.begin() + static_cast<qsizetype>(pieceSize));
        rest.insert(rest.begin(), link.utf16(), link.utf16() + link.size());
        size += link.size() - piece.size();
        if (size > limit)
            raiseError(ErrOverflow, QStringLiteral("modConverter"));
        // The search goes on at the character after the link's first one.
        done += QChar(rest.front());
        rest.pop_front();
    }
    for (char16_t c : rest)
        done += QChar(c);
    return done;
}

QString escapeCode(const QString& text)
{
    return QString(text)
        .replace(QStringLiteral("&"), QStringLiteral("&amp;"))
        .replace(QStringLiteral("\""), QStringLiteral("&quot;"))
        .replace(QStringLiteral("<"), QStringLiteral("&lt;"))
        .replace(QStringLiteral(">"), QStringLiteral("&gt;"))
        .replace(QStringLiteral("\r\n"), QStringLiteral("<br />"));
}

QString codeBlocks(const QString& text)
{
    if (text.isEmpty())
        return text;
    const QStringList pieces =
        text.split(QStringLiteral("[CODE]"), Qt::KeepEmptyParts, Qt::CaseInsensitive);
    QString result = pieces.first();
    for (qsizetype i = 1; i < pieces.size(); ++i) {
        const qsizetype closer =
            pieces[i].indexOf(QStringLiteral("[/CODE]"), 0, Qt::CaseInsensitive);
        if (closer < 0) {
            result += pieces[i];
            continue;
        }
        result +=
            QStringLiteral("<pre style=\"border:1px solid #c0c0c0;margin:0px;padding:8px 10px;"
                           "overflow-x:scroll;\">") +
            escapeCode(pieces[i].left(closer)) + QStringLiteral("</pre>") +
            pieces[i].mid(closer + 7);
    }
    return result;
}

bool member(QChar c)
{
    return QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz\"/\\'1234567890")
        .contains(c);
}

// The two scans, the second over what the first made, each writing a new text (a
// replacement in place would make a long text with many brackets quadratic).
QString strayBrackets(const QString& text)
{
    QString closed;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text.at(i) == QLatin1Char('>') && (i == 0 || !member(text.at(i - 1))))
            closed += QStringLiteral("&gt;");
        else
            closed += text.at(i);
    }
    QString opened;
    for (qsizetype i = 0; i < closed.size(); ++i) {
        if (closed.at(i) == QLatin1Char('<') &&
            (i == closed.size() - 1 || !member(closed.at(i + 1))))
            opened += QStringLiteral("&lt;");
        else
            opened += closed.at(i);
    }
    return opened;
}

QString regexReplace(const QString& text, const QString& pattern, const QString& replacement)
{
    const QRegularExpression expression(pattern, QRegularExpression::CaseInsensitiveOption);
    QString result;
    qsizetype done = 0;
    auto it = expression.globalMatch(text);
    while (it.hasNext()) {
        const auto match = it.next();
        result += text.mid(done, match.capturedStart() - done);
        result += QString(replacement).replace(QStringLiteral("$1"), match.captured(1));
        done = match.capturedEnd();
    }
    return result + text.mid(done);
}
} // namespace

QString ReferenceConvertPostBody(const QString& body, bool convertLineBreaks)
{
    // The converted text is bounded after the tags, the links, the code blocks with the
    // stray brackets, and the user tags with the line breaks.
    const qsizetype limit = ConvertedTextLimit(body.size());
    const auto bounded = [limit](const QString& text) {
        if (text.size() > limit)
            raiseError(ErrOverflow, QStringLiteral("modConverter"));
    };
    QString text = body;
    for (const char* name : {"b", "i", "u", "s"})
        text = simpleTag(text, QString::fromLatin1(name));
    text = tagPair(text, QStringLiteral("OT"), QStringLiteral("<span class=\"offtop\">"),
                   QStringLiteral("</span>"));
    text = tagPair(text, QStringLiteral("IMG"),
                   QStringLiteral("<img style=\"border:none;\" src=\""), QStringLiteral("\" />"));
    text = tagPair(text, QStringLiteral("RIGHT"), QStringLiteral("<div align=\"right\">"),
                   QStringLiteral("</div>"));
    text = tagPair(text, QStringLiteral("CENTER"), QStringLiteral("<div align=\"center\">"),
                   QStringLiteral("</div>"));
    bounded(text);
    text = urlTags(text);
    bounded(text);
    text.replace(QStringLiteral("[MORE]"), QStringLiteral("[MORE=Читать дальше]"));
    text = codeBlocks(text);
    text = strayBrackets(text);
    bounded(text);
    const QString title = QStringLiteral("\" title=\"Ссылка на дневник пользователя $1\">");
    text = regexReplace(
        text, QStringLiteral("\\[J\\](.*?)\\[/J\\]"),
        QStringLiteral("<a href=\"") + DiaryAddress + QStringLiteral("/member/?un=$1") + title +
            QStringLiteral("<img src=\"") + DiaryImageAddress +
            QStringLiteral(
                "/images/j.gif\" border=\"0\" width=\"17\" height=\"14\"></a>&nbsp;<a href=\"") +
            DiaryAddress + QStringLiteral("/journal.php?login=$1") + title +
            QStringLiteral("$1</a>"));
    text = regexReplace(text, QStringLiteral("\\[L\\](.*?)\\[/L\\]"),
                        QStringLiteral("<a href=\"") + DiaryAddress +
                            QStringLiteral("/journal.php?login=$1") + title +
                            QStringLiteral("$1</a>"));
    if (convertLineBreaks)
        text.replace(QStringLiteral("\r\n"), QStringLiteral("<br />\r\n"));
    bounded(text);
    return text;
}

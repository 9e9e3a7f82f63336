#include "tests/poster/GeneratedDiary.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

namespace {
// Body lines, taken in turn; several per post.
const char* const Lines[] = {
    "[b]bold[/b] [I]italic[/i] [U]under[/u] [s]struck[/S]",
    "[OT]off topic[/OT] [RIGHT]right[/RIGHT] [center]centre[/center]",
    "[IMG]http://img.example/pic.png?a=1&b=2[/IMG]",
    "[URL=http://example.com/?q=\"a\"&x=1]a link[/URL] and [url]http://example.org/[/url]",
    "[URL=http://broken.example/]no closer here",
    "[MORE] and [MORE=details]hidden part[/MORE]",
    "[CODE]if (a < b && c > d) { puts(\"[b]x[/b]\"); }\r\nnext line[/CODE] after code",
    "[code]unclosed code block",
    "a < b, b > a, -> arrow, <!-- not a comment -->, x>y, <i>kept html</i>",
    "[J]someone[/J] and [L]другой_автор[/L] and [J][/J]",
    "Привет, мир! Ёлка «ёлочка» — тире, №5, 😀",
    "\ttab-indented, a \\ backslash, C:\\path\\file, \"quotes\" and 'apostrophes'",
    "[quote]unknown tag[/quote] [size=3]sized[/size] [/b] stray closer",
    ".a line that begins with a dot",
    ".",
    "<a href=\"http://example.net/\" title='t'>html link</a> &amp; &lt;entity&gt;",
    "%POST_TITLE% %PROFILE_ID% {\"json\": [1, 2]}",
};

QString title(int n)
{
    switch (n % 8) {
    case 0:
        return QString(); // no title
    case 1:
        return QStringLiteral("Post %1").arg(n);
    case 2:
        return QStringLiteral("Quoted \"title\" %1").arg(n);
    case 3:
        return QStringLiteral("Tab\there\t%1").arg(n);
    case 4:
        return QStringLiteral("Запись №%1 — «кавычки»").arg(n);
    case 5:
        return QStringLiteral("Back\\slash 'single' & <b>%1</b>").arg(n);
    case 6:
        return QStringLiteral("[b]Bracket[/b] title %1").arg(n);
    default:
        return QStringLiteral("  spaces around %1  ").arg(n);
    }
}
} // namespace

QByteArray GeneratedDiary(int count)
{
    const QDateTime first(QDate(2012, 1, 1), QTime(0, 0, 0), Qt::UTC);
    constexpr int lineCount = int(std::size(Lines));
    QString text = QStringLiteral("DIARY-EXPORT 1\n# generated\n\n");
    for (int n = 1; n <= count; ++n) {
        text += QStringLiteral("POST ") +
                first.addSecs(qint64(n) * 61).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) +
                QLatin1Char('\n');
        const QString t = title(n);
        if (!t.isEmpty())
            text += QStringLiteral("TITLE ") + t + QLatin1Char('\n');
        if (n % 3 == 0)
            text += QStringLiteral("ADULT\n");
        text += QStringLiteral("BODY\nEntry %1.\n").arg(n);
        const int lines = 1 + n % 5;
        for (int i = 0; i < lines; ++i) {
            QString line = QString::fromUtf8(Lines[(n * 3 + i) % lineCount]);
            // Body lines that begin with a dot are written with one more.
            if (line.startsWith(QLatin1Char('.')))
                line.prepend(QLatin1Char('.'));
            // A code block spans lines in the file.
            line.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
            text += line + QLatin1Char('\n');
        }
        if (n % 10 == 0)
            text += QLatin1Char('\n'); // a final line break
        text += QStringLiteral(".\n");
    }
    return text.toUtf8();
}

#include "platform/com/RuntimeError.h"
#include "poster/convert/modConverter.h"
#include "tests/convert/ReferenceConverter.h"

#include <QRandomGenerator>
#include <QStringList>
#include <gtest/gtest.h>

namespace {
const QString Pre = QStringLiteral(
    "<pre style=\"border:1px solid #c0c0c0;margin:0px;padding:8px 10px;overflow-x:scroll;\">");

QString journal(const QString& nick)
{
    const QString title = QStringLiteral("\" title=\"Ссылка на дневник пользователя ") + nick;
    return QStringLiteral("<a href=\"http://diary.example/member/?un=") + nick + title +
           QStringLiteral("\"><img src=\"http://static.diary.example/images/j.gif\" border=\"0\" "
                          "width=\"17\" height=\"14\"></a>&nbsp;<a href=\"http://diary.example/"
                          "journal.php?login=") +
           nick + title + QStringLiteral("\">") + nick + QStringLiteral("</a>");
}

QString link(const QString& nick)
{
    return QStringLiteral("<a href=\"http://diary.example/journal.php?login=") + nick +
           QStringLiteral("\" title=\"Ссылка на дневник пользователя ") + nick +
           QStringLiteral("\">") + nick + QStringLiteral("</a>");
}

// The converted text, or the number of the error that the conversion raised.
template <typename Convert> QString outcome(Convert convert, const QString& body, bool lineBreaks)
{
    try {
        return convert(body, lineBreaks);
    } catch (const RuntimeError& error) {
        return QStringLiteral("\x01error %1").arg(error.number());
    }
}

struct Case
{
    QString body;
    QString html;
    bool lineBreaks = true;
};
} // namespace

TEST(ConvertPostBody, EdgeCasesHoldCharacterForCharacter)
{
    const Case cases[] = {
        {QString(), QString()},
        {QStringLiteral("[B]bold[/b]"), QStringLiteral("<b>bold</b>")},
        {QStringLiteral("[b]open"), QStringLiteral("<b>open")},
        {QStringLiteral("[I]a[/I] [u]b[/U] [S]c[/s]"),
         QStringLiteral("<i>a</i> <u>b</u> <s>c</s>")},
        {QStringLiteral("[ot]x[/OT][IMG]http://a/p.png[/img]"),
         QStringLiteral("<span class=\"offtop\">x</span><img style=\"border:none;\" "
                        "src=\"http://a/p.png\" />")},
        {QStringLiteral("[right]r[/right][Center]c[/CENTER]"),
         QStringLiteral("<div align=\"right\">r</div><div align=\"center\">c</div>")},
        {QStringLiteral("[URL]http://a/b[/URL]"),
         QStringLiteral("<a href=\"http://a/b\">http://a/b</a>")},
        {QStringLiteral("[url=http://a/b]text[/url]"),
         QStringLiteral("<a href=\"http://a/b\">text</a>")},
        {QStringLiteral("[URL=x]a[URL=y]b[/URL]"), QStringLiteral("<a href=\"x\">a[URL=y]b</a>")},
        // The search goes on inside each inserted link, from its second character.
        {QStringLiteral("[URL=x]a[URL=y]b[/URL]c[/URL]"),
         QStringLiteral("<a href=\"x\">a<a href=\"y\">b</a>c</a>")},
        {QStringLiteral("[URL][URL]x[/URL][/URL]"),
         QStringLiteral("<a href=\"<a href=\"x\">[URL]x</a>\">x\">[URL]x</a></a>")},
        {QStringLiteral("[URL]x and [URL]y"), QStringLiteral("[URL]x and [URL]y")},
        {QStringLiteral("[URL]a[/URL] [URL]x"), QStringLiteral("<a href=\"a\">a</a> [URL]x")},
        // Malformed pieces stay, and the search goes on after them.
        {QStringLiteral("[URL=abc[/URL] [URL]z[/URL]"),
         QStringLiteral("[URL=abc[/URL] <a href=\"z\">z</a>")},
        {QStringLiteral("[URL[/URL][URL]z[/URL]"), QStringLiteral("[URL[/URL]<a href=\"z\">z</a>")},
        {QStringLiteral("[MORE]"), QStringLiteral("[MORE=Читать дальше]")},
        {QStringLiteral("[more] [MORE=x] [/MORE]"), QStringLiteral("[more] [MORE=x] [/MORE]")},
        {QStringLiteral("[CODE]a<b & \"c\"\r\nd[/CODE]e"),
         Pre + QStringLiteral("a&lt;b &amp; &quot;c&quot;<br />d</pre>e")},
        {QStringLiteral("[CODE][b]x[/b][/CODE]"),
         Pre + QStringLiteral("&lt;b&gt;x&lt;/b&gt;</pre>")},
        {QStringLiteral("[CODE]a[CODE]b[/CODE]"),
         QStringLiteral("a") + Pre + QStringLiteral("b</pre>")},
        {QStringLiteral("x[code]y[/CODE]z[/code]"),
         QStringLiteral("x") + Pre + QStringLiteral("y</pre>z[/code]")},
        {QStringLiteral("[CODE][MORE][/CODE]"), Pre + QStringLiteral("[MORE=Читать дальше]</pre>")},
        {QStringLiteral("a > b"), QStringLiteral("a &gt; b")},
        {QStringLiteral("a < b"), QStringLiteral("a &lt; b")},
        {QStringLiteral("x>y"), QStringLiteral("x>y")},
        {QStringLiteral("5<6"), QStringLiteral("5<6")},
        {QStringLiteral(">start"), QStringLiteral("&gt;start")},
        {QStringLiteral("end<"), QStringLiteral("end&lt;")},
        {QStringLiteral("<!-- x -->"), QStringLiteral("&lt;!-- x --&gt;")},
        {QStringLiteral("я>я<я"), QStringLiteral("я&gt;я&lt;я")},
        {QStringLiteral(">>"), QStringLiteral("&gt;&gt;")},
        {QStringLiteral("<a href=\"x\">t</a>"), QStringLiteral("<a href=\"x\">t</a>")},
        {QStringLiteral("[J]nick[/J]"), journal(QStringLiteral("nick"))},
        {QStringLiteral("[j]nick[/j]"), journal(QStringLiteral("nick"))},
        {QStringLiteral("[J][/J]"), journal(QString())},
        {QStringLiteral("[J]a\r\nb[/J]"), QStringLiteral("[J]a<br />\r\nb[/J]")},
        {QStringLiteral("[J]a\r\n[J]b[/J]"),
         QStringLiteral("[J]a<br />\r\n") + journal(QStringLiteral("b"))},
        {QStringLiteral("[J]a[J]b[/J]"), journal(QStringLiteral("a[J]b"))},
        {QStringLiteral("[L]who[/L] and [l]me[/l]"),
         link(QStringLiteral("who")) + QStringLiteral(" and ") + link(QStringLiteral("me"))},
        {QStringLiteral("a\r\nb"), QStringLiteral("a<br />\r\nb")},
        {QStringLiteral("a\r\nb"), QStringLiteral("a\r\nb"), false},
        {QStringLiteral("a\rb\nc"), QStringLiteral("a\rb\nc")},
        {QStringLiteral("[CODE]x\r\ny[/CODE]\r\n"),
         Pre + QStringLiteral("x<br />y</pre><br />\r\n")},
        {QStringLiteral("[b]Hi[/b] -> [URL=http://a/b]site[/URL]\r\nbye"),
         QStringLiteral("<b>Hi</b> -&gt; <a href=\"http://a/b\">site</a><br />\r\nbye")},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ConvertPostBody(c.body, c.lineBreaks), c.html) << c.body.toStdString();
        EXPECT_EQ(ReferenceConvertPostBody(c.body, c.lineBreaks), c.html) << c.body.toStdString();
    }
}

TEST(ConvertPostBody, PassesAlsoWorkOnTheirOwn)
{
    EXPECT_EQ(ConvertSimpleTag(QStringLiteral("[B]x[/b][i]"), QStringLiteral("b")),
              QStringLiteral("<b>x</b>[i]"));
    EXPECT_EQ(ConvertTagPair(QStringLiteral("[ot]x[/Ot]"), QStringLiteral("OT"),
                             QStringLiteral("<o>"), QStringLiteral("</o>")),
              QStringLiteral("<o>x</o>"));
    EXPECT_EQ(EscapeCodeText(QStringLiteral("&\"<>\r\n\r")),
              QStringLiteral("&amp;&quot;&lt;&gt;<br />\r"));
    EXPECT_EQ(ConvertCodeBlocks(QString()), QString());
    EXPECT_EQ(ConvertUrlTags(QStringLiteral("[URLx[/URL]")), QStringLiteral("<a href=\"\"></a>"));
}

TEST(ConvertPostBody, CyrillicLettersAreNotTagCharacters)
{
    EXPECT_EQ(ConvertPostBody(QStringLiteral("Ж>"), false), QStringLiteral("Ж&gt;"));
    EXPECT_EQ(ConvertPostBody(QStringLiteral("<Ж"), false), QStringLiteral("&lt;Ж"));
    EXPECT_EQ(ConvertPostBody(QStringLiteral("'>\\>\">/>"), false), QStringLiteral("'>\\>\">/>"));
}

TEST(ConvertPostBody, UnpairedSurrogatesPassThroughUntouched)
{
    const QChar high(char16_t(0xD83D)), low(char16_t(0xDE00));
    const QString body =
        QStringLiteral("[b]") + high + QStringLiteral("[/b] a") + low + QStringLiteral(">") + high;
    const QString expected = QStringLiteral("<b>") + high + QStringLiteral("</b> a") + low +
                             QStringLiteral("&gt;") + high;
    EXPECT_EQ(ConvertPostBody(body, true), expected);
}

TEST(ConvertPostBody, NestedLinksThatWouldMultiplyTheTextFailTheConversion)
{
    // Every nested "[URL]" doubles the text: 40 of them would need terabytes.
    const auto nested = [](int levels) {
        return QString(QStringLiteral("[URL]")).repeated(levels) + QStringLiteral("x") +
               QString(QStringLiteral("[/URL]")).repeated(levels);
    };
    const QString bomb = nested(40);
    try {
        ConvertPostBody(bomb, true);
        ADD_FAILURE() << "converted";
    } catch (const RuntimeError& error) {
        EXPECT_EQ(error.number(), ErrOverflow);
        EXPECT_EQ(error.source(), QStringLiteral("modConverter"));
        EXPECT_TRUE(error.description().contains(QStringLiteral("nested too deeply")))
            << error.description().toStdString();
    }
    EXPECT_THROW(ConvertUrlTags(bomb), RuntimeError);
    EXPECT_EQ(outcome(ReferenceConvertPostBody, bomb, true), QStringLiteral("\x01error 6"));
    // Below the limit (16 times the text and 1 MB) the text grows as the rule says.
    const QString deep = nested(12);
    const QString html = ConvertPostBody(deep, false);
    EXPECT_GT(html.size(), 4000);
    EXPECT_LE(html.size(), LinkPassLimit(deep.size()));
    EXPECT_EQ(html, ReferenceConvertPostBody(deep, false));
    // Many links, each nested once, stay linear: the limit is never near.
    const QString many = QStringLiteral("[URL=a]b[URL]c[/URL]d[/URL] ").repeated(20000);
    EXPECT_EQ(ConvertPostBody(many, false), ReferenceConvertPostBody(many, false));
}

QString repeated(const char* piece, int count)
{
    return QString::fromUtf8(piece).repeated(count);
}

// Hostile bodies, each at two sizes: doubling the body at most 2.3 times the work (the
// characters the converter looks at, compares and writes), whether it converts or ends
// in the converter's error; and the converted text never past its bound.
TEST(ConvertPostBody, WorkGrowsLinearlyOnHostileBodies)
{
    struct Shape
    {
        const char* name;
        QString (*make)(int);
    };
    const Shape shapes[] = {
        {"named links nested, a target end after each closer",
         [](int n) { return repeated("[URL=", n) + repeated("x][/URL]", n); }},
        {"named links nested, openers then closers",
         [](int n) {
             return repeated("[URL=http://x.example/a/b]text ", n) + repeated("[/URL]", n);
         }},
        {"named openers, one target end",
         [](int n) { return repeated("[URL=", n) + QStringLiteral("x]") + repeated("[/URL]", n); }},
        {"named openers without a target end",
         [](int n) { return repeated("[URL=", n) + repeated("[/URL]", n); }},
        {"links nested, each doubling",
         [](int n) { return repeated("[URL]", n) + repeated("[/URL]", n); }},
        {"link openers, no closer", [](int n) { return repeated("[URL]", n); }},
        {"link openers, one closer",
         [](int n) { return repeated("[URL", n) + QStringLiteral("[/URL]"); }},
        {"many links", [](int n) { return repeated("[URL=x]a[/URL][URL]y[/URL]", n); }},
        {"code markers, one closer",
         [](int n) { return repeated("[CODE]", n) + QStringLiteral("[/CODE]"); }},
        {"code markers then closers",
         [](int n) { return repeated("[CODE]", n) + repeated("[/CODE]", n); }},
        {"code full of quotes",
         [](int n) {
             return QStringLiteral("[CODE]") + repeated("\"&<>\r\n", n) + QStringLiteral("[/CODE]");
         }},
        {"journal openers, one closer",
         [](int n) { return repeated("[J]", n) + QStringLiteral("[/J]"); }},
        {"journal openers, closer on the next line",
         [](int n) { return repeated("[J]", n) + QStringLiteral("\n[/J]"); }},
        {"journal openers, a line each",
         [](int n) { return repeated("[J]a\r\n", n) + QStringLiteral("[/J]"); }},
        {"journal and link openers then closers",
         [](int n) { return repeated("[J][L]", n) + repeated("[/L][/J]", n); }},
        {"journal tags holding link tags", [](int n) { return repeated("[J][L]x[/L][/J]", n); }},
        {"journal tags", [](int n) { return repeated("[J]x[/J]", n); }},
        {"link tags spanning journal tags", [](int n) { return repeated("[L][J]x[/J][/L]", n); }},
        {"user openers, closers on later lines",
         [](int n) { return repeated("[L][J]\r\n", n) + repeated("[/J][/L]", n); }},
        {"stray brackets", [](int n) { return repeated("<>", n); }},
        {"line breaks", [](int n) { return repeated("\r\n", n); }},
        {"cut markers", [](int n) { return repeated("[MORE]", n); }},
        {"image tags", [](int n) { return repeated("[IMG]", n); }},
        {"brackets", [](int n) { return repeated("[", n); }},
    };
    for (const Shape& shape : shapes) {
        qint64 work[2];
        for (int k = 0; k < 2; ++k) {
            const QString body = shape.make(20000 << k);
            const qint64 before = ConverterWork();
            try {
                EXPECT_LE(ConvertPostBody(body, true).size(), ConvertedTextLimit(body.size()))
                    << shape.name;
            } catch (const RuntimeError& error) {
                EXPECT_EQ(error.number(), ErrOverflow) << shape.name;
            }
            work[k] = ConverterWork() - before;
        }
        EXPECT_LE(static_cast<double>(work[1]) / static_cast<double>(work[0]), 2.3)
            << shape.name << ": " << work[0] << " then " << work[1];
    }
}

TEST(ConvertPostBody, AConvertedTextPastItsBoundFailsTheConversion)
{
    // Each journal tag becomes a text 35 times its length.
    const QString fits = repeated("[J]x[/J]", 10000);
    EXPECT_EQ(ConvertPostBody(fits, true), ReferenceConvertPostBody(fits, true));
    const QString tooMany = repeated("[J]x[/J]", 20000);
    try {
        ConvertPostBody(tooMany, true);
        ADD_FAILURE() << "converted";
    } catch (const RuntimeError& error) {
        EXPECT_EQ(error.number(), ErrOverflow);
        EXPECT_EQ(error.source(), QStringLiteral("modConverter"));
        EXPECT_TRUE(error.description().contains(QStringLiteral("[J] and [L] tags")))
            << error.description().toStdString();
    }
    EXPECT_EQ(outcome(ReferenceConvertPostBody, tooMany, true), QStringLiteral("\x01error 6"));
}

// Random bodies built from the pieces that matter to the passes: every tag in both
// letter cases, malformed tags, brackets, quotes, line breaks and Cyrillic text.
QString randomBody(QRandomGenerator& random)
{
    static const QStringList pieces = {
        QStringLiteral("[b]"),       QStringLiteral("[/B]"),     QStringLiteral("[i]"),
        QStringLiteral("[/i]"),      QStringLiteral("[U]"),      QStringLiteral("[/u]"),
        QStringLiteral("[s]"),       QStringLiteral("[/S]"),     QStringLiteral("[OT]"),
        QStringLiteral("[/ot]"),     QStringLiteral("[IMG]"),    QStringLiteral("[/img]"),
        QStringLiteral("[RIGHT]"),   QStringLiteral("[/right]"), QStringLiteral("[center]"),
        QStringLiteral("[/CENTER]"), QStringLiteral("[URL]"),    QStringLiteral("[url="),
        QStringLiteral("[/URL]"),    QStringLiteral("[URL"),     QStringLiteral("[MORE]"),
        QStringLiteral("[more]"),    QStringLiteral("[CODE]"),   QStringLiteral("[/code]"),
        QStringLiteral("[J]"),       QStringLiteral("[/j]"),     QStringLiteral("[L]"),
        QStringLiteral("[/L]"),      QStringLiteral("["),        QStringLiteral("]"),
        QStringLiteral("<"),         QStringLiteral(">"),        QStringLiteral("&"),
        QStringLiteral("\""),        QStringLiteral("'"),        QStringLiteral("/"),
        QStringLiteral("\\"),        QStringLiteral("\r\n"),     QStringLiteral("\r"),
        QStringLiteral("\n"),        QStringLiteral(" "),        QStringLiteral("a"),
        QStringLiteral("Z9"),        QStringLiteral("я"),        QStringLiteral("-"),
        QStringLiteral("http://x/"), QStringLiteral("$1")};
    QString body;
    const int length = random.bounded(60);
    for (int i = 0; i < length; ++i)
        body += pieces.at(random.bounded(static_cast<int>(pieces.size())));
    return body;
}

TEST(ConvertPostBody, FastAndPlainVersionsAgreeOnManyBodies)
{
    QRandomGenerator random(20261209);
    for (int i = 0; i < 30000; ++i) {
        const QString body = randomBody(random);
        const bool lineBreaks = i % 2 == 0;
        ASSERT_EQ(outcome(ConvertPostBody, body, lineBreaks),
                  outcome(ReferenceConvertPostBody, body, lineBreaks))
            << "body: " << body.toStdString();
    }
}

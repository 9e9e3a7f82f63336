#include "tests/TestSupport.h"

#include <QProcess>
#include <gtest/gtest.h>
#include <sys/resource.h>

namespace {
struct Outcome
{
    int exitCode;
    QByteArray out, err;
};

// addressSpace: a limit on the child's address space in bytes, or 0.
Outcome diary2html(const QStringList& arguments, const QByteArray& input = {},
                   rlim_t addressSpace = 0)
{
    QProcess process;
    if (addressSpace > 0)
        process.setChildProcessModifier([addressSpace] {
            const rlimit limit{addressSpace, addressSpace};
            setrlimit(RLIMIT_AS, &limit);
        });
    process.start(QStringLiteral(DIARY2HTML), arguments);
    process.write(input);
    process.closeWriteChannel();
    process.waitForFinished(60000);
    // A crash counts as no exit code at all.
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            process.readAllStandardOutput(), process.readAllStandardError()};
}
} // namespace

TEST(Diary2Html, ConvertsOneBodyFromStandardInput)
{
    const QByteArray body = "[b]Hi[/b] -> [URL=http://a/b]site[/URL]\nbye\r\nЖ";
    Outcome run = diary2html({QStringLiteral("--body")}, body);
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(
        run.out,
        QByteArray("<b>Hi</b> -&gt; <a href=\"http://a/b\">site</a><br />\r\nbye<br />\r\nЖ"));
    run = diary2html({QStringLiteral("--body"), QStringLiteral("--no-line-breaks")}, "a\nb");
    EXPECT_EQ(run.out, QByteArray("a\r\nb"));
}

TEST(Diary2Html, ListsEveryPostOfAFileOrSaysWhyNot)
{
    Outcome run = diary2html({sourceFolder() + QStringLiteral("/examples/sample-diary.txt")});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_TRUE(run.out.startsWith("05.03.2010  07:07:03 PM * Spring\n<b>Spring</b> came"));
    EXPECT_EQ(run.out.count("\n\n"), 12);

    run = diary2html({testFolder() + QStringLiteral("/missing.txt")});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_TRUE(run.err.contains("The file does not exist."));
    EXPECT_TRUE(run.out.isEmpty());
}

TEST(Diary2Html, MessagesShowTheFilesControlCharactersEscaped)
{
    const QString broken = writeTestFile(
        QStringLiteral("broken.txt"),
        "DIARY-EXPORT 1\nPOST 2010-03-05 19:07:03\nTI\x1b]0;pwned\x07TLE\rOne\nBODY\nx\n.\n");
    const Outcome run = diary2html({broken});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_TRUE(run.err.contains("TI\\x1B]0;pwned\\x07TLE\\rOne")) << run.err.constData();
    for (const char c : run.err)
        EXPECT_TRUE(c == '\n' || static_cast<unsigned char>(c) >= 0x20) << int(c);
    // The HTML itself is data: a control character in a body comes out as it went in.
    const Outcome body = diary2html({QStringLiteral("--body")}, "a\x1b[2Jb");
    EXPECT_EQ(body.out, QByteArray("a\x1b[2Jb"));
}

TEST(Diary2Html, APostTheConverterRefusesOrRunsOutOfMemoryForEndsWithTwo)
{
    const QByteArray bomb = QByteArray("[URL]").repeated(40) + QByteArray("[/URL]").repeated(40);
    Outcome run = diary2html({QStringLiteral("--body")}, bomb);
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_TRUE(run.err.contains("nested too deeply")) << run.err.toStdString();

    const QString diary =
        writeTestFile(QStringLiteral("bomb.txt"),
                      "DIARY-EXPORT 1\nPOST 2010-03-05 10:00:01\nTITLE Fine\nBODY\nfine\n.\n"
                      "POST 2010-03-05 10:00:02\nTITLE Bomb\nBODY\n" +
                          bomb + "\n.\n");
    run = diary2html({diary});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_TRUE(run.err.contains("post 2 (") && run.err.contains("Bomb")) << run.err.toStdString();

    // 16 MB of line breaks become 128 MB of text: more than 300 MB of address space hold.
    run = diary2html({QStringLiteral("--body")}, QByteArray("\r\n").repeated(8 << 20),
                     rlim_t(300) << 20);
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_TRUE(run.err.contains("ut of memory")) << run.err.toStdString();
}

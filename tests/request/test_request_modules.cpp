// The component's text and file modules, linked directly.
#include "platform/process/CommandLine.h"
#include "platform/process/SystemVersion.h"
#include "request/http/csFileGarbageCollector.h"
#include "request/http/csUnique.h"
#include "request/http/modCommon.h"
#include "request/http/modCookies.h"
#include "request/http/modFileIO.h"
#include "request/http/modFormatVersion.h"
#include "request/http/modOutputLogSupport.h"
#include "request/http/modWgetSecrets.h"
#include "request/http/mvarWGetCache.h"
#include "support/olvsupportfbe0100/olvsupportfbe0100.h"
#include "tests/TestSupport.h"

#include <QFile>
#include <QRandomGenerator>
#include <gtest/gtest.h>

TEST(EscapeArgument, QuotesSoThatEveryValueArrivesExactly)
{
    const std::pair<QString, QString> cases[] = {
        {QStringLiteral("say \"hi\""), QStringLiteral("say \\\"hi\\\"")},
        {QStringLiteral("a\\\"b"), QStringLiteral("a\\\\\\\"b")},
        {QStringLiteral("C:\\dir\\file"), QStringLiteral("C:\\dir\\file")},
        {QStringLiteral("two\\\\\"q"), QStringLiteral("two\\\\\\\\\\\"q")},
        {QStringLiteral("ends\\"), QStringLiteral("ends\\\\")},
        {QStringLiteral("a") + QChar(0) + QStringLiteral("b"), QStringLiteral("ab")},
        {QString(), QString()},
    };
    for (const auto& [value, escaped] : cases)
        EXPECT_EQ(EscapeArgument(value), escaped) << value.toStdString();

    // Round trip: for many values, the quoted value splits back into itself.
    QRandomGenerator random(4242);
    const QString alphabet = QStringLiteral("\\\"\\ a\t=-Ж'");
    for (int i = 0; i < 20000; ++i) {
        QString value;
        const int length = random.bounded(12);
        for (int k = 0; k < length; ++k)
            value += alphabet.at(random.bounded(static_cast<int>(alphabet.size())));
        const QString line = QStringLiteral("\"/usr/bin/wget\" --user-agent=\"") +
                             EscapeArgument(value) + QStringLiteral("\" \"x\"");
        const QStringList argv = splitCommandLine(line);
        ASSERT_EQ(argv.size(), 3) << line.toStdString();
        ASSERT_EQ(argv.at(1), QStringLiteral("--user-agent=") + value) << line.toStdString();
        EXPECT_EQ(argv.at(2), QStringLiteral("x"));
    }
}

TEST(SplitCommandLine, FollowsTheRuntimeRules)
{
    EXPECT_EQ(splitCommandLine(QStringLiteral("\"C:\\a b\\wget.exe\" x")),
              (QStringList{QStringLiteral("C:\\a b\\wget.exe"), QStringLiteral("x")}));
    EXPECT_EQ(splitCommandLine(QStringLiteral("p a\\\\b \"c d\"  e\\\\\\\"f \"\"")),
              (QStringList{QStringLiteral("p"), QStringLiteral("a\\\\b"), QStringLiteral("c d"),
                           QStringLiteral("e\\\"f"), QString()}));
    EXPECT_EQ(splitCommandLine(QStringLiteral("p \"a\"\"b\"")),
              (QStringList{QStringLiteral("p"), QStringLiteral("a\"b")}));
    EXPECT_TRUE(splitCommandLine(QStringLiteral("   ")).isEmpty());
}

TEST(Cookies, HeaderAndCookieLines)
{
    EXPECT_EQ(CookieFileHeader(), QStringLiteral("# Netscape HTTP Cookie File\r\n\r\n"));
    const QString file = QStringLiteral(
        "# Netscape HTTP Cookie File\r\n\r\nc1\tTRUE\n  \tc2\tx \n \t \n#HttpOnly_x\r");
    EXPECT_EQ(CookiesFromCookieFile(file), QStringLiteral("c1\tTRUE\r\nc2\tx\r\n"));
    EXPECT_EQ(CookiesFromCookieFile(QString()), QString());
    EXPECT_EQ(CookiesFromCookieFile(CookieFileHeader()), QString());
    EXPECT_EQ(NormalizeLineBreaks(QStringLiteral("a\r\nb\nc\rd\n\re")),
              QStringLiteral("a\r\nb\r\nc\r\nd\r\n\r\ne"));
}

TEST(CleanOutputLog, ReplacesProgressBlocks)
{
    const QString crlf = QStringLiteral("\r\n");
    const std::pair<QString, QString> cases[] = {
        {QStringLiteral("A\r\nB\r\n\r\n"), QStringLiteral("A\r\nB")},
        {QStringLiteral("A\r\n\r\nP1\r\nP2\r\n\r\nB"),
         QStringLiteral("A\r\n*** PROGRESS WAS REMOVED ***\r\nB")},
        {QStringLiteral("A\r\n\r\nP"), QStringLiteral("A\r\n")},
        {QStringLiteral("A\nB\n\nC"), QStringLiteral("A\nB\n\nC")},
        {QStringLiteral("A\r\n\r\nP\r\n\r\nB\r\n\r\nQ\r\n\r\nC\r\n"),
         QStringLiteral(
             "A\r\n*** PROGRESS WAS REMOVED ***\r\nB\r\n*** PROGRESS WAS REMOVED ***\r\nC")},
    };
    for (const auto& [log, clean] : cases)
        EXPECT_EQ(CleanOutputLog(log), clean) << log.toStdString();
}

TEST(FormatUserAgent, NamesTheSystemAndTheComponent)
{
    setSystemVersion({10, 0});
    EXPECT_EQ(FormatUserAgent(false),
              QStringLiteral("Mozilla/4.0 (compatible; Windows NT 10.0) Olvane - KWQT/1.0.9"));
    EXPECT_EQ(FormatUserAgent(true),
              QStringLiteral("Mozilla/4.0 (compatible) Olvane - KWQT/1.0.9"));
    setSystemVersion({});
}

TEST(SystemVersion, NoKernelLooksLikeAnOldWindows)
{
    const struct
    {
        const char* release;
        int major, minor;
    } cases[] = {{"6.1.0-18-amd64", 6, 1},
                 {"5.10.0-28-amd64", 5, 10},
                 {"5.0.21", 5, 1},
                 {"4.18.0-513.el8.x86_64", 5, 1},
                 {"4.19.0-26-amd64", 5, 1},
                 {"3.10.0", 5, 1},
                 {"", 5, 1}};
    for (const auto& c : cases) {
        const SystemVersion version = systemVersionForKernel(c.release);
        EXPECT_EQ(version.major, c.major) << c.release;
        EXPECT_EQ(version.minor, c.minor) << c.release;
        // Whatever the kernel: the current wget, and password protection available.
        setSystemVersion(version);
        EXPECT_FALSE(InitWGetCache(true).LegacyWGet) << c.release;
        bool win2000 = false;
        sxIsHostWin2000_OrHigher(&win2000);
        EXPECT_TRUE(win2000) << c.release;
    }
    // The seam still reaches the old path.
    setSystemVersion({5, 0});
    EXPECT_TRUE(InitWGetCache(true).LegacyWGet);
    setSystemVersion({});
    EXPECT_FALSE(InitWGetCache(true).LegacyWGet);
}

TEST(WgetSecrets, CredentialLinesAndTheProxyPassword)
{
    EXPECT_TRUE(IsCredentialHeader(QStringLiteral("authorization: Bearer x")));
    EXPECT_TRUE(IsCredentialHeader(QStringLiteral(" Proxy-Authorization :Basic x")));
    EXPECT_TRUE(IsCredentialHeader(QStringLiteral("COOKIE: a=b")));
    EXPECT_FALSE(IsCredentialHeader(QStringLiteral("X-Authorization: x")));
    EXPECT_FALSE(IsCredentialHeader(QStringLiteral("Set-Cookie2: x")));
    EXPECT_EQ(CredentialHeaderCount(
                  {QStringLiteral("A: 1"), QStringLiteral("Cookie: c"), QStringLiteral("B: 2")}),
              2);
    EXPECT_EQ(CredentialHeaderCount({QStringLiteral("A: 1")}), 0);

    const QString withPassword =
        QStringLiteral("--execute=\"http_proxy=p:1\" --execute=\"no_proxy=\" "
                       "--execute=\"use_proxy=yes\" --proxy-user=\"u\" "
                       "--proxy-password=\"a \\\"b\\\" c\\\\\" ");
    QString password;
    EXPECT_EQ(TakeProxyPassword(withPassword, &password),
              QStringLiteral("--execute=\"http_proxy=p:1\" --execute=\"no_proxy=\" "
                             "--execute=\"use_proxy=yes\" --proxy-user=\"u\" "));
    EXPECT_EQ(password, QStringLiteral("a \"b\" c\\"));
    const QString direct = QStringLiteral("--execute=\"use_proxy=no\" --no-proxy");
    EXPECT_EQ(TakeProxyPassword(direct, &password), direct);
    EXPECT_TRUE(password.isEmpty());
}

TEST(FileIO, ReadersAndWriters)
{
    const QString empty = writeTestFile(QStringLiteral("empty.bin"), QByteArray());
    QByteArray bytes("x");
    EXPECT_TRUE(ReadBinaryFile(empty, &bytes));
    EXPECT_TRUE(bytes.isEmpty());
    bytes = "x";
    EXPECT_FALSE(ReadBinaryFile(testFolder() + QStringLiteral("/missing.bin"), &bytes));
    EXPECT_TRUE(bytes.isEmpty());

    const QString file = writeTestFile(QStringLiteral("long.bin"), QByteArray(100, 'z'));
    EXPECT_TRUE(WriteBinaryFile(file, QByteArray("\x00\x01\xFF", 3)));
    ReadBinaryFile(file, &bytes);
    EXPECT_EQ(bytes, QByteArray("\x00\x01\xFF", 3));
    EXPECT_TRUE(WriteBinaryFile(file, QByteArray()));
    EXPECT_EQ(QFile(file).size(), 0);

    QString text = QStringLiteral("x");
    EXPECT_TRUE(WriteTextFile(file, QStringLiteral("cookie é\r\n")));
    EXPECT_TRUE(ReadTextFile(file, &text));
    EXPECT_EQ(text, QStringLiteral("cookie é\r\n"));
    EXPECT_FALSE(WriteTextFile(testFolder() + QStringLiteral("/no/such/folder/f"), text));
    EXPECT_FALSE(ReadTextFile(testFolder() + QStringLiteral("/missing.txt"), &text));
    EXPECT_TRUE(text.isEmpty());
}

TEST(FileGarbageCollector, DeletesWhatItHoldsAndRetriesWhatItCannot)
{
    const QString a = writeTestFile(QStringLiteral("gc-a"), "a");
    const QString b = testFolder() + QStringLiteral("/gc-dir");
    const QString c = writeTestFile(QStringLiteral("gc-c"), "c");
    QDir().mkpath(b + QStringLiteral("/inside")); // a folder that QFile::remove cannot delete
    {
        csFileGarbageCollector collector;
        EXPECT_EQ(collector.LastFileName(), QString());
        collector.AddFiles({a, b, c, a});
        EXPECT_EQ(collector.LastFileName(), c);
        collector.FlushIt();
        EXPECT_FALSE(QFile::exists(a));
        EXPECT_FALSE(QFile::exists(c));
        EXPECT_EQ(collector.LastFileName(), b); // kept for a later try
    }
    EXPECT_TRUE(QFile::exists(b));
}

TEST(Unique, FirstOfferOnlyWithoutRegardToCase)
{
    csUnique unique;
    EXPECT_TRUE(unique.IsUnique(QStringLiteral("Host.lan")));
    EXPECT_FALSE(unique.IsUnique(QStringLiteral("host.LAN")));
    EXPECT_TRUE(unique.IsUnique(QStringLiteral("other")));
}

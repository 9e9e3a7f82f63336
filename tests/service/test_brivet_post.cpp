// brivet-post as a user runs it: a diary file, the sandbox service, exit codes and
// what it prints.
#include "platform/com/ClassRegistry.h"
#include "poster/service/modPasswordCryptor.h"
#include "poster/workflow/modApp.h"
#include "support/settings/SettingsStore.h"
#include "tests/TestSupport.h"
#include "tests/sandbox/SandboxServer.h"

#include <QFileInfo>
#include <QJsonObject>
#include <QProcess>
#include <QProcessEnvironment>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
QString u(const char* utf8)
{
    return QString::fromUtf8(utf8);
}

const QByteArray Diary = "DIARY-EXPORT 1\n"
                         "POST 2010-03-05 19:07:03\nTITLE One\nBODY\n[b]first[/b]\n.\n"
                         "POST 2010-03-06 10:00:00\nTITLE Two\nADULT\nBODY\nsecond\n.\n"
                         "POST 2010-03-07 11:00:00\nTITLE Three\nBODY\nthird\n.\n";

struct ToolRun
{
    int exitCode = -1;
    QString out, err;
};

ToolRun brivetPost(const QStringList& arguments, const QString& password = u("demo"),
                   const QString& configHome = QString())
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    if (password.isNull())
        environment.remove(u("BRIVET_PASSWORD"));
    else
        environment.insert(u("BRIVET_PASSWORD"), password);
    if (!configHome.isEmpty())
        environment.insert(u("XDG_CONFIG_HOME"), configHome);

    process.setProcessEnvironment(environment);
    // No terminal to ask on, even when the tests run from one: a missing password is
    // an error, not a prompt. The usual umask, under which folders come out 0755.
    process.setStandardInputFile(QProcess::nullDevice());
    process.setChildProcessModifier([] {
        ::setsid();
        ::umask(022);
    });
    // Each test has a publish journal of its own, as a user on a machine of their own.
    QStringList withJournal = arguments;
    if (!arguments.contains(u("--journal")) && !arguments.isEmpty())
        withJournal.prepend(testFolder() + u("/journal-") +
                            u(::testing::UnitTest::GetInstance()->current_test_info()->name()) +
                            u(".sqlite"));
    if (withJournal.size() > arguments.size())
        withJournal.prepend(u("--journal"));
    process.start(u(BRIVET_POST), withJournal);
    process.waitForFinished(120000);
    return {process.exitCode(), QString::fromUtf8(process.readAllStandardOutput()),
            QString::fromUtf8(process.readAllStandardError())};
}

QStringList titles(const SandboxServer& sandbox)
{
    QStringList found;
    for (const QJsonValue& entry : sandbox.entries())
        found << entry.toObject()[u("title")].toString();
    return found;
}
} // namespace

TEST(BrivetPost, PublishesEveryPostOverHttps)
{
    SandboxServer sandbox;
    ASSERT_TRUE(sandbox.start({u("--tls")}));
    const QString diary = writeTestFile(u("diary.txt"), Diary);
    const ToolRun run =
        brivetPost({u("--service-address"), sandbox.baseAddress(), u("--ca-certificate"),
                    sandbox.caCertificate(), u("--user"), u("demo@brivet.example"), diary});
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_TRUE(run.out.contains(u("Uploading post 1 of 3\nUploading post 2 of 3\n"
                                   "Uploading post 3 of 3\nPublished 3 of 3 posts.")))
        << run.out.toStdString();
    EXPECT_EQ(titles(sandbox), (QStringList{u("One"), u("Two"), u("Three")}));
    EXPECT_TRUE(sandbox.entries()[1].toObject()[u("adult")].toBool());
}

TEST(BrivetPost, UntrustedCertificateStopsTheRun)
{
    SandboxServer sandbox;
    ASSERT_TRUE(sandbox.start({u("--tls")}));
    const ToolRun run =
        brivetPost({u("--service-address"), sandbox.baseAddress(), u("--user"),
                    u("demo@brivet.example"), writeTestFile(u("diary.txt"), Diary)});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.err.contains(u("Can't log on Brivet.")));
    EXPECT_TRUE(run.err.contains(u("certificate could not be verified"))) << run.err.toStdString();
    EXPECT_TRUE(run.out.contains(u("Post 1 of 3 was not published; 0 published in this run. Run "
                                   "the same command again to go on.")))
        << run.out.toStdString();
    EXPECT_TRUE(sandbox.entries().isEmpty());
}

TEST(BrivetPost, StopsAtTheFirstFailureAndResumesWithTheJournal)
{
    SandboxServer sandbox;
    // Logon and post 1 pass; post 2 fails twice, more than the one retry allows.
    ASSERT_TRUE(sandbox.start({u("--faults"), u("none,none,before-store,before-store")}));
    const QString diary = writeTestFile(u("diary.txt"), Diary);
    const QString password = writeTestFile(u("password"), "demo\n");
    const QStringList common = {u("--service-address"),
                                sandbox.baseAddress(),
                                u("--user"),
                                u("demo@brivet.example"),
                                u("--password-file"),
                                password,
                                u("--retries"),
                                u("1")};
    ToolRun run = brivetPost(common + QStringList{diary}, QString());
    EXPECT_EQ(run.exitCode, 1) << run.err.toStdString();
    EXPECT_TRUE(run.err.contains(u("Can't send post.\n\nThe server answered: HTTP 500")))
        << run.err.toStdString();
    EXPECT_TRUE(run.err.contains(u("Retrying (1 of 1).")));
    EXPECT_TRUE(run.out.contains(u("Post 2 of 3 was not published; 1 published in this run. Run "
                                   "the same command again to go on; add --resend-unconfirmed "
                                   "to send post 2 again with the same request.")))
        << run.out.toStdString();
    EXPECT_EQ(titles(sandbox), QStringList{u("One")});

    run = brivetPost(common + QStringList{u("--resend-unconfirmed"), diary}, QString());
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_TRUE(run.out.startsWith(u("Left out 1 posts published before (the last of them on ")))
        << run.out.toStdString();
    EXPECT_TRUE(run.out.contains(u("\nUploading post 2 of 3\nUploading post 3 of 3\n")));
    EXPECT_EQ(titles(sandbox), (QStringList{u("One"), u("Two"), u("Three")}));
}

TEST(BrivetPost, RememberedCredentialsAreThoseTheLogonWindowStored)
{
    SandboxServer sandbox;
    ASSERT_TRUE(sandbox.start());
    const auto store = createObject<ISettingsStore>(CLSID_SettingsStore);
    ASSERT_EQ(
        store->SaveValue(QString(), u("Username"), skText, u("demo@brivet.example"), App(), true),
        S_OK);
    ASSERT_EQ(store->SaveValue(QString(), u("Password"), skText, EncodePassword(u("demo"), 2),
                               App(), true),
              S_OK);
    const QString diary = writeTestFile(u("diary.txt"), Diary);
    ToolRun run = brivetPost({u("--service-address"), sandbox.baseAddress(), u("--remembered"),
                              u("--skip"), u("2"), diary},
                             QString());
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(titles(sandbox), QStringList{u("Three")});

    // A user given on the command line wins; the remembered password still serves.
    run = brivetPost({u("--service-address"), sandbox.baseAddress(), u("--remembered"), u("--user"),
                      u("nobody@brivet.example"), u("--skip"), u("2"), diary},
                     QString());
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.err.contains(u("HTTP 401"))) << run.err.toStdString();
    store->SaveValue(QString(), u("Password"), skText, QString(), App(), true);
}

TEST(BrivetPost, WgetInheritsNoSecretAndTheSettingsFolderIsPrivate)
{
    const QString reply =
        writeTestFile(u("session.json"), R"({"data":{"attributes":{"access-token":"tok-1",)"
                                         R"("profile":7}}})");
    const QString clients = testFolder() + u("/clients.txt");
    QProcess server;
    server.start(u("python3"),
                 {sourceFolder() + u("/tests/service/reply_server.py"), reply, u("201"), clients});
    ASSERT_TRUE(server.waitForReadyRead(10000));
    const QString port = QString::fromLatin1(server.readLine()).trimmed().mid(5);
    const QString config = testFolder() + u("/fresh-config");
    brivetPost({u("--service-address"), u("http://127.0.0.1:") + port, u("--user"),
                u("demo@brivet.example"), u("--skip"), u("2"),
                writeTestFile(u("diary.txt"), Diary)},
               u("uniq-Secret-4711"), config);
    server.kill();
    server.waitForFinished();

    QFile file(clients);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray seen = file.readAll();
    EXPECT_EQ(seen.count("cmdline: "), 2) << seen.constData(); // the logon and the entry
    EXPECT_TRUE(seen.contains("/wget\n")) << seen.constData();
    EXPECT_FALSE(seen.contains("uniq-Secret-4711"));
    EXPECT_FALSE(seen.contains("BRIVET_PASSWORD"));
    struct stat folder = {};
    ASSERT_EQ(::stat(QFile::encodeName(config + u("/Olvane")).constData(), &folder), 0);
    EXPECT_TRUE(S_ISDIR(folder.st_mode));
    EXPECT_EQ(folder.st_mode & 0777, 0700u);
}

TEST(BrivetPost, ControlCharactersFromTheServerAreShownEscaped)
{
    // An error whose title would set the terminal's title and whose detail would forge
    // the last line of a successful run.
    const QString reply =
        writeTestFile(u("error.json"), R"({"errors":[{"title":"Bad\u001b]0;pwned\u0007\u009b2J",)"
                                       R"("detail":"\rPublished 1 of 1 posts.\nAll done."}]})");
    QProcess server;
    server.start(u("python3"),
                 {sourceFolder() + u("/tests/service/reply_server.py"), reply, u("422")});
    ASSERT_TRUE(server.waitForReadyRead(10000));
    const QString port = QString::fromLatin1(server.readLine()).trimmed().mid(5);
    const ToolRun run =
        brivetPost({u("--service-address"), u("http://127.0.0.1:") + port, u("--user"),
                    u("demo@brivet.example"), writeTestFile(u("diary.txt"), Diary)});
    server.kill();
    server.waitForFinished();
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.err.contains(u("Bad\\x1B]0;pwned\\x07\\x9B2J: \\rPublished 1 of 1 "
                                   "posts.\\nAll done.")))
        << run.err.toStdString();
    for (const QString& text : {run.out, run.err}) {
        for (const QChar c : text)
            EXPECT_TRUE(c == u'\n' || (c >= u' ' && c != QChar(0x7F) && c != QChar(0x9B)))
                << int(c.unicode());
        EXPECT_FALSE(text.split(u'\n').contains(u("Published 1 of 1 posts.")));
    }
}

TEST(BrivetPost, DryRunPrintsBodiesAndSendsNothing)
{
    const ToolRun run = brivetPost({u("--dry-run"), u("--skip"), u("2"), u("--service-address"),
                                    u("http://127.0.0.1:9"), writeTestFile(u("diary.txt"), Diary)});
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_TRUE(run.out.startsWith(u("Uploading post 3 of 3\n{\"data\":{\"type\":\"entries\","
                                     "\"attributes\":{\"content\":\"third\",\"title\":\"Three\"")))
        << run.out.toStdString();
    EXPECT_FALSE(run.out.contains(u("Uploading post 2")));
}

TEST(BrivetPost, ABodyTheConverterRefusesStopsTheRunAtThatPost)
{
    // Nested links whose text would double with every level, then an ordinary post.
    const QByteArray diary = "DIARY-EXPORT 1\nPOST 2010-03-05 10:00:01\nTITLE Bomb\nBODY\n" +
                             QByteArray("[URL]").repeated(40) + QByteArray("[/URL]").repeated(40) +
                             "\n.\nPOST 2010-03-05 10:00:02\nTITLE Fine\nBODY\nfine\n.\n";
    const ToolRun run = brivetPost({u("--dry-run"), u("--service-address"), u("http://127.0.0.1:9"),
                                    writeTestFile(u("bomb.txt"), diary)});
    EXPECT_EQ(run.exitCode, 1) << run.err.toStdString();
    EXPECT_TRUE(run.err.contains(u("nested too deeply"))) << run.err.toStdString();
    EXPECT_TRUE(run.out.contains(u("Post 1 of 2 was not published"))) << run.out.toStdString();
    EXPECT_FALSE(run.out.contains(u("\"title\":\"Fine\"")));
}

TEST(BrivetPost, BadArgumentsAndFilesExitWithTwo)
{
    const QString diary = writeTestFile(u("diary.txt"), Diary);
    const QString broken = writeTestFile(u("broken.txt"), "DIARY-EXPORT 1\nPOST nonsense\n");
    const QList<QStringList> cases = {
        {},
        {u("--password"), u("secret"), diary},
        {u("--service-address"), u("http://127.0.0.1:1/"), u("--user"), u("a@b"), diary},
        {u("--retries"), u("-1"), u("--user"), u("a@b"), diary},
        {u("--skip"), u("4"), u("--user"), u("a@b"), diary},
        {u("--user"), u("a@b"), broken},
        {u("--user"), u("a@b"), testFolder() + u("/missing.txt")},
        {diary}, // no user
    };
    for (const QStringList& arguments : cases) {
        const ToolRun run = brivetPost(arguments);
        EXPECT_EQ(run.exitCode, 2) << arguments.join(u(" ")).toStdString();
        EXPECT_FALSE(run.err.isEmpty());
    }
    // No password anywhere and no terminal to ask on.
    const ToolRun run = brivetPost({u("--user"), u("a@b"), diary}, QString());
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_TRUE(run.err.contains(u("BRIVET_PASSWORD")));
}

TEST(BrivetPost, UnconfirmedPostsStopTheRunUnlessResentOrLeftOut)
{
    SandboxServer sandbox;
    // Logon and post 1 pass; post 2 is stored but its answer is an error.
    ASSERT_TRUE(sandbox.start({u("--faults"), u("none,none,after-store")}));
    const QString diary = writeTestFile(u("diary.txt"), Diary);
    const QString report = testFolder() + u("/report.csv");
    const QStringList common = {u("--service-address"), sandbox.baseAddress(), u("--user"),
                                u("demo@brivet.example")};
    ToolRun run = brivetPost(common + QStringList{diary});
    EXPECT_EQ(run.exitCode, 1) << run.err.toStdString();
    EXPECT_EQ(titles(sandbox), (QStringList{u("One"), u("Two")}));

    // The same command again: post 1 is left out, post 2 stops the run before it.
    run = brivetPost(common + QStringList{diary});
    EXPECT_EQ(run.exitCode, 1) << run.err.toStdString();
    EXPECT_TRUE(run.out.contains(u("Post 2 of 3 (2010-03-06 10:00:00, \"Two\") is unconfirmed")))
        << run.out.toStdString();
    EXPECT_FALSE(run.out.contains(u("Uploading")));

    // Left out, post 2 stays unconfirmed; the report says what became of every post.
    run = brivetPost(common + QStringList{u("--skip-unconfirmed"), u("--report"), report, diary});
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_TRUE(run.out.contains(u("Left out 1 unconfirmed posts (--skip-unconfirmed).")));
    EXPECT_EQ(titles(sandbox), (QStringList{u("One"), u("Two"), u("Three")}));
    QFile file(report);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(file.readAll()).split(u("\r\n"));
    ASSERT_EQ(lines.size(), 5) << lines.join(u("|")).toStdString();
    EXPECT_EQ(lines[0], u("date,title,state,entry id,time,error"));
    EXPECT_TRUE(lines[1].startsWith(u("2010-03-05 19:07:03,One,published before,1,20")));
    EXPECT_TRUE(lines[2].startsWith(u("2010-03-06 10:00:00,Two,unconfirmed,,,not confirmed")));
    EXPECT_TRUE(lines[3].startsWith(u("2010-03-07 11:00:00,Three,published,3,20")))
        << lines[3].toStdString();
    EXPECT_EQ(lines[4], QString());

    // Sent again with its nonce, post 2 is the entry the service already stored.
    run = brivetPost(common + QStringList{u("--resend-unconfirmed"), diary});
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_TRUE(run.out.contains(u("Left out 2 posts published before")));
    EXPECT_TRUE(run.out.contains(u("Uploading post 2 of 3\nPublished 1 of 3 posts.")));
    EXPECT_EQ(titles(sandbox), (QStringList{u("One"), u("Two"), u("Three")}));
}

TEST(BrivetPost, TheJournalIsReadByADryRunAndMustBeWritableForARun)
{
    SandboxServer sandbox;
    ASSERT_TRUE(sandbox.start());
    const QString diary = writeTestFile(u("diary.txt"), Diary);
    const QString journal = testFolder() + u("/own-journal.sqlite");
    const QStringList common = {u("--service-address"),   sandbox.baseAddress(), u("--user"),
                                u("demo@brivet.example"), u("--journal"),        journal};
    ToolRun run = brivetPost(common + QStringList{u("--dry-run"), diary});
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_FALSE(QFileInfo::exists(journal)); // a dry run writes nothing

    ASSERT_EQ(brivetPost(common + QStringList{u("--skip"), u("2"), diary}).exitCode, 0);
    run = brivetPost(common + QStringList{u("--dry-run"), diary});
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_TRUE(run.out.contains(u("Left out 1 posts published before")));
    EXPECT_TRUE(run.out.contains(u("Dry run: 2 of 3 posts shown, nothing sent.")));
    EXPECT_FALSE(run.out.contains(u("Uploading post 3")));

    // A journal that cannot be written: no request at all, and the file is named.
    const QString blocker = writeTestFile(u("journal-blocker"), "x");
    const QStringList sessions = sandbox.log().split(u("\n")).filter(u("/v2/sessions"));
    run = brivetPost({u("--service-address"), sandbox.baseAddress(), u("--user"),
                      u("demo@brivet.example"), u("--journal"), blocker + u("/journal.sqlite"),
                      diary});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.err.contains(blocker + u("/journal.sqlite"))) << run.err.toStdString();
    EXPECT_TRUE(run.err.contains(u("Nothing was sent.")));
    EXPECT_EQ(sandbox.log().split(u("\n")).filter(u("/v2/sessions")), sessions);
    EXPECT_EQ(titles(sandbox), QStringList{u("Three")});
}

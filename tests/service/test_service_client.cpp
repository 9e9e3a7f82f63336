// The service client against the sandbox Brivet service on 127.0.0.1, through the
// request component and real wget, over http and https.
#include "platform/ui/MsgBox.h"
#include "poster/convert/modConverter.h"
#include "poster/service/modCommon.h"
#include "poster/service/modPostSender.h"
#include "poster/service/modPublishJournal.h"
#include "poster/service/modServiceAddress.h"
#include "tests/TestSupport.h"
#include "tests/sandbox/SandboxServer.h"

#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QTcpServer>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {
QString u(const char* utf8)
{
    return QString::fromUtf8(utf8);
}

ComPtr<IDiaryPost> post(const QString& title, const QString& body, bool adult = false)
{
    DiaryPostData data;
    data.postDate = QDateTime(QDate(2010, 3, 5), QTime(19, 7, 3), Qt::UTC);
    data.title = title;
    data.body = body;
    data.adultOnly = adult;
    return newDiaryPost(data);
}

// The requests of one path in the sandbox's log, in order.
QStringList requestsTo(const SandboxServer& sandbox, const QString& path)
{
    static const QRegularExpression line(u("\"POST (/v2/\\w+\\?nonce=\\d+) HTTP"));
    QStringList found;
    auto matches = line.globalMatch(sandbox.log());
    while (matches.hasNext()) {
        const QString request = matches.next().captured(1);
        if (request.startsWith(path))
            found << request;
    }
    return found;
}

// Answers boxes from a script, then Cancel, so that a request failing beyond what a
// test expects ends instead of retrying for ever.
class Boxes
{
public:
    Boxes()
    {
        setMsgBoxHook([this](const QString& prompt, int style, const QString& title) {
            m_shown.append({prompt, style, title});
            return m_answers.isEmpty() ? vbCancel : m_answers.takeFirst();
        });
    }
    ~Boxes() { setMsgBoxHook({}); }
    void answer(QList<int> answers) { m_answers = std::move(answers); }
    const QList<ShownBox>& shown() const { return m_shown; }
    void clear() { m_shown.clear(); }

private:
    QList<int> m_answers;
    QList<ShownBox> m_shown;
};

void resetSession()
{
    AccessToken.clear();
    ProfileId.clear();
    LogonUserName = u("demo@brivet.example");
    LogonPassword = u("demo");
}
} // namespace

class ServiceClient : public ::testing::TestWithParam<bool>
{
protected:
    // Starts a sandbox of its own for the test, over https when the parameter says so.
    void startSandbox(QStringList arguments = {})
    {
        if (GetParam())
            arguments << u("--tls");
        QString error;
        SetJournalPath(journalFolder.filePath(u("journal.sqlite")));
        ASSERT_TRUE(sandbox.start(arguments, &error)) << error.toStdString();
        ASSERT_TRUE(SetServiceBaseAddress(sandbox.baseAddress(), &error)) << error.toStdString();
        if (GetParam())
            ASSERT_TRUE(SetExtraCACertificate(sandbox.caCertificate(), &error))
                << error.toStdString();
        resetSession();
    }

    QTemporaryDir journalFolder;
    SandboxServer sandbox;
    Boxes boxes;
};

TEST_P(ServiceClient, OneLogonPublishesManyPostsWithTheirPermissions)
{
    startSandbox();
    ASSERT_TRUE(SendPost(post(u("Adult"), u("[b]one[/b]"), true), true, false));
    const QString token = AccessToken;
    EXPECT_FALSE(token.isEmpty());
    EXPECT_EQ(ProfileId, u("100001"));
    ASSERT_TRUE(SendPost(post(u("Open"), u("two")), true, false));
    ASSERT_TRUE(SendPost(post(QString(), u("three")), false, true));
    EXPECT_EQ(AccessToken, token);
    EXPECT_TRUE(boxes.shown().isEmpty());

    EXPECT_EQ(requestsTo(sandbox, u("/v2/sessions")).size(), 1);
    const QJsonArray entries = sandbox.entries();
    ASSERT_EQ(entries.size(), 3);
    EXPECT_EQ(entries[0].toObject()[u("title")].toString(), u("Adult"));
    EXPECT_EQ(entries[0].toObject()[u("content")].toString(), u("<b>one</b>"));
    EXPECT_TRUE(entries[0].toObject()[u("adult")].toBool());
    EXPECT_FALSE(entries[0].toObject()[u("feed")].toBool());
    for (int i : {1, 2}) {
        EXPECT_FALSE(entries[i].toObject()[u("adult")].toBool());
        EXPECT_TRUE(entries[i].toObject()[u("feed")].toBool());
    }
    EXPECT_EQ(entries[2].toObject()[u("title")].toString(), QString());
}

TEST_P(ServiceClient, TextArrivesExactly)
{
    startSandbox();
    const QString title = u("Tab\there, \"quoted\", back\\slash,\r\nnext line \x0c/");
    const QString body =
        u("Привет, мир!\r\n[i]Ёлка[/i] \"в лесу\" \\ C:\\path\r\n\ttab 😀 </script>");
    ASSERT_TRUE(SendPost(post(title, body), true, false));
    const QJsonObject entry = sandbox.entries().last().toObject();
    EXPECT_EQ(entry[u("title")].toString(), LineBreaksToLF(title));
    EXPECT_EQ(entry[u("content")].toString(), LineBreaksToLF(ConvertPostBody(body, true)));
    EXPECT_TRUE(entry[u("content")].toString().startsWith(u("Привет, мир!<br />\n<i>Ёлка</i>")));
}

TEST_P(ServiceClient, LoneSurrogatesTravelAsReplacementCharacters)
{
    startSandbox();
    const QString lone = QString(QChar(0xD83D)) + u("x") + QString(QChar(0xDE00));
    ASSERT_TRUE(SendPost(post(lone, lone + u("😀")), true, false));
    const QJsonObject entry = sandbox.entries().last().toObject();
    EXPECT_EQ(entry[u("title")].toString(), u("\uFFFDx\uFFFD"));
    EXPECT_EQ(entry[u("content")].toString(), u("\uFFFDx\uFFFD😀"));
}

TEST_P(ServiceClient, WrongPasswordRetriesTheSameRequestThenCancels)
{
    startSandbox();
    LogonPassword = u("wrong");
    boxes.answer({vbRetry, vbRetry, vbRetry, vbCancel});
    EXPECT_FALSE(SendPost(post(u("t"), u("b")), true, false));
    ASSERT_EQ(boxes.shown().size(), 4);
    for (const ShownBox& box : boxes.shown()) {
        EXPECT_EQ(box.style, vbRetryCancel | vbCritical);
        EXPECT_EQ(box.title, u("Olvane - Brivet poster"));
        EXPECT_TRUE(box.prompt.startsWith(u("Can't log on Brivet.\n\n")));
        EXPECT_TRUE(box.prompt.contains(u("HTTP 401"))) << box.prompt.toStdString();
        EXPECT_TRUE(box.prompt.contains(u("wget exit code: 6."))) << box.prompt.toStdString();
    }
    const QStringList sessions = requestsTo(sandbox, u("/v2/sessions"));
    ASSERT_EQ(sessions.size(), 4);
    EXPECT_EQ(sessions.count(sessions.first()), 4); // one nonce for all four
    EXPECT_TRUE(requestsTo(sandbox, u("/v2/entries")).isEmpty());
    EXPECT_TRUE(AccessToken.isEmpty());
    EXPECT_TRUE(sandbox.entries().isEmpty());
}

// Installs a handler for refused credentials for one test; each call takes the next
// scripted password, or gives up when none is left.
class RefusedLogonScript
{
public:
    explicit RefusedLogonScript(QStringList passwords) : m_passwords(std::move(passwords))
    {
        SetRefusedLogonHandler([this] {
            ++calls;
            if (m_passwords.isEmpty())
                return false;
            LogonPassword = m_passwords.takeFirst();
            return true;
        });
    }
    ~RefusedLogonScript() { SetRefusedLogonHandler({}); }
    int calls = 0;

private:
    QStringList m_passwords;
};

TEST_P(ServiceClient, RefusedCredentialsAreTypedAgainAndSentInANewLogon)
{
    startSandbox();
    LogonPassword = u("wrong");
    RefusedLogonScript retype({u("still wrong"), u("demo")});
    boxes.answer({vbRetry, vbRetry});
    ASSERT_TRUE(SendPost(post(u("t"), u("b")), true, false));
    EXPECT_EQ(retype.calls, 2);
    ASSERT_EQ(boxes.shown().size(), 2);
    EXPECT_TRUE(boxes.shown()[1].prompt.contains(u("HTTP 401")));
    const QStringList sessions = requestsTo(sandbox, u("/v2/sessions"));
    ASSERT_EQ(sessions.size(), 3);
    EXPECT_EQ(QSet<QString>(sessions.begin(), sessions.end()).size(), 3); // a new nonce each
    EXPECT_EQ(sandbox.entries().size(), 1);

    // Giving up in the window is Cancel: nothing more is sent.
    resetSession();
    LogonPassword = u("wrong");
    RefusedLogonScript giveUp({});
    boxes.answer({vbRetry});
    EXPECT_FALSE(SendPost(post(u("t2"), u("b2")), true, false));
    EXPECT_EQ(giveUp.calls, 1);
    EXPECT_EQ(requestsTo(sandbox, u("/v2/sessions")).size(), 4);
    EXPECT_EQ(sandbox.entries().size(), 1);
}

TEST_P(ServiceClient, OtherLogonFailuresRetryTheSameRequest)
{
    startSandbox({u("--faults"), u("before-store,before-store")});
    RefusedLogonScript retype({u("never asked")});
    boxes.answer({vbRetry, vbRetry});
    ASSERT_TRUE(SendPost(post(u("t"), u("b")), true, false));
    EXPECT_EQ(retype.calls, 0);
    const QStringList sessions = requestsTo(sandbox, u("/v2/sessions"));
    ASSERT_EQ(sessions.size(), 3);
    EXPECT_EQ(sessions.count(sessions.first()), 3);
    EXPECT_EQ(LogonPassword, u("demo"));
}

TEST_P(ServiceClient, RetryAfterAnAnswerLostAfterStoringPublishesOnce)
{
    startSandbox({u("--faults"), u("none,after-store")});
    boxes.answer({vbRetry});
    ASSERT_TRUE(SendPost(post(u("Once"), u("only once")), true, false));
    ASSERT_EQ(boxes.shown().size(), 1);
    EXPECT_TRUE(boxes.shown()[0].prompt.startsWith(u("Can't send post.\n\n")));
    EXPECT_TRUE(boxes.shown()[0].prompt.contains(u("HTTP 500")));
    const QStringList entries = requestsTo(sandbox, u("/v2/entries"));
    ASSERT_EQ(entries.size(), 2);
    EXPECT_EQ(entries[0], entries[1]);
    EXPECT_EQ(sandbox.entries().size(), 1);
}

TEST_P(ServiceClient, SendingAgainAfterCancelPublishesOnce)
{
    // The service stored the entry but answered with an error and the user gave up; the
    // next Send of the same post must not publish it a second time.
    startSandbox({u("--faults"), u("none,after-store")});
    boxes.answer({vbCancel});
    const auto queued = post(u("Stored"), u("but not confirmed"));
    EXPECT_FALSE(SendPost(queued, true, false));
    EXPECT_TRUE(SendPost(queued, true, false));
    const QStringList entries = requestsTo(sandbox, u("/v2/entries"));
    ASSERT_EQ(entries.size(), 2);
    EXPECT_EQ(entries[0], entries[1]);
    EXPECT_EQ(sandbox.entries().size(), 1);
    // Once confirmed, the same text sent again is a new entry.
    EXPECT_TRUE(SendPost(post(u("Stored"), u("but not confirmed")), true, false));
    EXPECT_EQ(sandbox.entries().size(), 2);
}

TEST_P(ServiceClient, RejectedTokenFailsUploadsWithoutNewLogons)
{
    startSandbox({u("--reject-token")});
    boxes.answer({vbCancel, vbRetry, vbCancel});
    EXPECT_FALSE(SendPost(post(u("a"), u("a")), true, false));
    EXPECT_FALSE(SendPost(post(u("b"), u("b")), true, false));
    EXPECT_EQ(boxes.shown().size(), 3);
    EXPECT_EQ(requestsTo(sandbox, u("/v2/sessions")).size(), 1);
    EXPECT_EQ(requestsTo(sandbox, u("/v2/entries")).size(), 3);
    EXPECT_FALSE(AccessToken.isEmpty());
    EXPECT_TRUE(sandbox.entries().isEmpty());
}

INSTANTIATE_TEST_SUITE_P(HttpAndHttps, ServiceClient, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "https" : "http"; });

// A server that answers every logon with a reply the sandbox never gives.
class OddReply : public ::testing::Test
{
protected:
    void serve(const QByteArray& reply, const QString& status = u("201"))
    {
        const QString file = writeTestFile(u("reply.json"), reply);
        server.start(u("python3"),
                     {sourceFolder() + u("/tests/service/reply_server.py"), file, status});
        ASSERT_TRUE(server.waitForReadyRead(10000));
        const QString port = QString::fromLatin1(server.readLine()).trimmed().mid(5);
        QString error;
        ASSERT_TRUE(SetServiceBaseAddress(u("http://127.0.0.1:") + port, &error));
        resetSession();
    }
    void TearDown() override
    {
        server.kill();
        server.waitForFinished();
    }
    QProcess server;
    Boxes boxes;
};

TEST_F(OddReply, UnusableSessionRepliesSendNoEntry)
{
    for (const QByteArray& reply : {QByteArray(R"({"data":{"attributes":{"profile":123}}})"),
                                    QByteArray(R"({"access-token":"abc","profile":"123"})"),
                                    QByteArray(R"({"access-token":"","profile":123})"),
                                    QByteArray("{\"access-token\":\"\xff\xfe\",\"profile\":5}")}) {
        serve(reply);
        boxes.clear();
        EXPECT_FALSE(SendPost(post(u("t"), u("b")), true, false));
        ASSERT_EQ(boxes.shown().size(), 1);
        EXPECT_TRUE(boxes.shown()[0].prompt.startsWith(
            u("Can't log on Brivet: error parsing server response.")));
        EXPECT_TRUE(AccessToken.isEmpty());
        TearDown();
    }
}

TEST_F(OddReply, OnlyRefusedCredentialsAskForNewOnes)
{
    const struct
    {
        const char* status;
        bool refused;
    } cases[] = {{"401", true}, {"403", true}, {"404", false}, {"500", false}};
    for (const auto& c : cases) {
        serve(R"({"errors":[{"title":"no"}]})", QString::fromLatin1(c.status));
        RefusedLogonScript retype({});
        boxes.clear();
        boxes.answer({vbRetry, vbCancel});
        EXPECT_FALSE(LogOn()) << c.status;
        EXPECT_EQ(retype.calls, c.refused ? 1 : 0) << c.status;
        // Refused: the window's answer ends it; otherwise the same request went again.
        EXPECT_EQ(boxes.shown().size(), c.refused ? 1 : 2) << c.status;
        TearDown();
    }
}

TEST(ServiceClientFailures, RefusedConnectionIsNamed)
{
    QTcpServer probe;
    ASSERT_TRUE(probe.listen(QHostAddress(u("127.0.0.1"))));
    const quint16 port = probe.serverPort();
    probe.close();
    QString error;
    ASSERT_TRUE(SetServiceBaseAddress(u("http://127.0.0.1:%1").arg(port), &error));
    resetSession();
    Boxes boxes;
    boxes.answer({vbCancel});
    EXPECT_FALSE(LogOn());
    ASSERT_EQ(boxes.shown().size(), 1);
    EXPECT_TRUE(boxes.shown()[0].prompt.contains(u("refused the connection")))
        << boxes.shown()[0].prompt.toStdString();
    EXPECT_TRUE(boxes.shown()[0].prompt.contains(u("wget exit code: 4.")));
}

// A service whose entry replies confirm nothing (or, "entry", confirm as Brivet does),
// and a publish journal of the test's own.
class EntryReply : public ::testing::Test
{
protected:
    void serve(const QString& kind)
    {
        SetJournalPath(folder.filePath(u("journal.sqlite")));
        server.start(u("python3"),
                     {sourceFolder() + u("/tests/service/entry_reply_server.py"), kind});
        ASSERT_TRUE(server.waitForReadyRead(10000));
        const QString port = QString::fromLatin1(server.readLine()).trimmed().mid(5);
        QString error;
        ASSERT_TRUE(SetServiceBaseAddress(u("http://127.0.0.1:") + port, &error));
        resetSession();
    }
    // The request lines the server has seen so far.
    QStringList requests()
    {
        while (server.waitForReadyRead(300)) {
        }
        while (server.canReadLine())
            if (const QString line = QString::fromLatin1(server.readLine()).trimmed();
                !line.isEmpty())
                seen << line;
        return seen;
    }
    QStringList entryRequests()
    {
        return requests().filter(QRegularExpression(u("^POST /v2/entries\\?")));
    }
    JournalRecord recorded(const ComPtr<IDiaryPost>& queued)
    {
        JournalRecord record;
        QString error;
        EXPECT_TRUE(OpenJournal(&error)) << error.toStdString();
        EXPECT_TRUE(Journal().lookup(ServiceJournalScope(), PublishJournal::identity(queued.get()),
                                     &record, &error))
            << error.toStdString();
        return record;
    }
    void TearDown() override
    {
        server.kill();
        server.waitForFinished();
        seen.clear();
        SetJournalPath({});
    }
    QTemporaryDir folder;
    QProcess server;
    QStringList seen;
    Boxes boxes;
};

TEST_F(EntryReply, RepliesThatConfirmNoEntryNeverCountAsPublished)
{
    const struct
    {
        const char* kind;
        const char* status; // nullptr: the request may also fail outright
    } cases[] = {{"html", "200"}, {"202", "202"}, {"204", "204"}, {"redirect", nullptr}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.kind);
        serve(u(c.kind));
        boxes.clear();
        boxes.answer({vbRetry, vbCancel});
        const auto queued = post(u("Kind ") + u(c.kind), u("body"));
        EXPECT_FALSE(SendPost(queued, true, false));
        ASSERT_EQ(boxes.shown().size(), 2);
        for (const ShownBox& box : boxes.shown()) {
            EXPECT_EQ(box.style, vbRetryCancel | vbCritical);
            EXPECT_TRUE(box.prompt.startsWith(u("Can't send post.\n\n")))
                << box.prompt.toStdString();
            if (c.status)
                EXPECT_TRUE(box.prompt.contains(
                    u("The service did not confirm the entry (HTTP %1").arg(u(c.status))))
                    << box.prompt.toStdString();
        }
        // Retry sent the same request; the post stays unconfirmed under that nonce, and
        // the next send of it goes with the nonce again.
        QStringList entries = entryRequests();
        ASSERT_EQ(entries.size(), 2);
        EXPECT_EQ(entries[0], entries[1]);
        const JournalRecord record = recorded(queued);
        EXPECT_EQ(record.state, PublishState::Sending);
        EXPECT_TRUE(entries[0].endsWith(u("nonce=") + record.nonce));
        boxes.answer({vbCancel});
        EXPECT_FALSE(SendPost(queued, true, false));
        entries = entryRequests();
        ASSERT_EQ(entries.size(), 3);
        EXPECT_EQ(entries[2], entries[0]);
        TearDown();
    }
}

TEST_F(EntryReply, AConfirmedEntryIsRecordedWithItsIdAndTime)
{
    serve(u("entry"));
    const auto queued = post(u("Confirmed"), u("body"));
    const QDateTime before = QDateTime::currentDateTimeUtc().addSecs(-1);
    ASSERT_TRUE(SendPost(queued, true, false));
    EXPECT_TRUE(boxes.shown().isEmpty());
    const JournalRecord record = recorded(queued);
    EXPECT_EQ(record.state, PublishState::Published);
    EXPECT_EQ(record.entryId, u("77"));
    EXPECT_GE(record.publishedAt, before);
    EXPECT_LE(record.publishedAt, QDateTime::currentDateTimeUtc());
    // Published once, the same post sent again on purpose is a new request.
    ASSERT_TRUE(SendPost(queued, true, false));
    const QStringList entries = entryRequests();
    ASSERT_EQ(entries.size(), 2);
    EXPECT_NE(entries[0], entries[1]);
}

TEST_F(EntryReply, AJournalThatCannotBeWrittenSendsNothing)
{
    serve(u("entry"));
    // A folder that is a file, and a file that is no database; either holds for root too.
    const QString blocker = writeTestFile(u("not-a-folder"), "x");
    const QString garbage = writeTestFile(u("not-a-journal.sqlite"), QByteArray(4096, 'x'));
    for (const QString& path : {blocker + u("/journal.sqlite"), garbage}) {
        SCOPED_TRACE(path.toStdString());
        SetJournalPath(path);
        boxes.clear();
        EXPECT_FALSE(SendPost(post(u("Never"), u("sent")), true, false));
        ASSERT_EQ(boxes.shown().size(), 1);
        EXPECT_EQ(boxes.shown()[0].style, vbCritical);
        EXPECT_TRUE(boxes.shown()[0].prompt.contains(path))
            << boxes.shown()[0].prompt.toStdString();
        EXPECT_TRUE(boxes.shown()[0].prompt.contains(u("Nothing was sent.")));
        EXPECT_TRUE(requests().isEmpty()) << requests().join(u(", ")).toStdString();
    }
}

// The publisher killed with SIGKILL at seeded random moments and resumed as a user
// would, against the sandbox service: the main window (through upload_run_driver) and
// brivet-post. With a service that recognises the nonce per account, every post ends up
// published exactly once, in the diary's order; with one that ignores it, no post is lost
// and every extra copy is of a post that the journal held as unconfirmed.
#include "platform/com/ClassRegistry.h"
#include "poster/service/modPublishJournal.h"
#include "poster/workflow/modApp.h"
#include "support/diary/DiaryFileReader.h"
#include "tests/TestSupport.h"
#include "tests/poster/GeneratedDiary.h"
#include "tests/sandbox/SandboxServer.h"

#include <QElapsedTimer>
#include <QJsonObject>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QThread>
#include <csignal>
#include <cstdio>
#include <gtest/gtest.h>

namespace {
constexpr int Posts = 40;
const QString Account = QStringLiteral("crash@brivet.example");
const QString Password = QStringLiteral("crash test");

enum class Publisher { Window, CommandLine };

struct Trials
{
    int count;
    int killed = 0;      // runs that the kill found still running
    int unconfirmed = 0; // posts the journal held as sending after a kill
    int extraCopies = 0; // entries beyond one per post
};

class CrashResume : public ::testing::Test
{
protected:
    void SetUp() override
    {
        diary = writeTestFile(QStringLiteral("crash-diary.txt"), GeneratedDiary(Posts));
        const auto reader = createObject<IDiaryFileReader>(CLSID_DiaryFileReader);
        ASSERT_TRUE(reader->LoadFile(diary));
        const auto posts = reader->Posts();
        ASSERT_EQ(posts->Count(), Posts);
        for (int i = 0; i < Posts; ++i)
            numberOf.insert(PublishJournal::identity(posts->Item(i).get()), i + 1);
    }

    QProcess* start(Publisher publisher, const QString& journal, const QString& address,
                    bool resume)
    {
        auto* process = new QProcess;
        process->setProgram(publisher == Publisher::Window ? QStringLiteral(UPLOAD_RUN_DRIVER)
                                                           : QStringLiteral(BRIVET_POST));
        QStringList arguments = {
            QStringLiteral("--service-address"), address, QStringLiteral("--user"), Account,
            QStringLiteral("--journal"),         journal};
        if (publisher == Publisher::Window)
            arguments << QStringLiteral("--progress");
        else if (resume)
            arguments << QStringLiteral("--resend-unconfirmed");
        process->setArguments(arguments << diary);
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        if (publisher == Publisher::CommandLine)
            environment.insert(QStringLiteral("BRIVET_PASSWORD"), Password);
        process->setProcessEnvironment(environment);
        process->start();
        if (publisher == Publisher::Window) {
            process->write((Password + QLatin1Char('\n')).toUtf8());
            process->closeWriteChannel();
        }
        return process;
    }

    // Lines that announce a post going out: "sending N" or "Uploading post N of 40".
    static bool announcesPost(const QByteArray& line)
    {
        return line.startsWith("sending ") || line.startsWith("Uploading post ");
    }

    // Posts that the journal holds as sent but not confirmed.
    QSet<int> unconfirmedIn(const QString& journal, const QString& address)
    {
        PublishJournal reader;
        QString error;
        EXPECT_TRUE(reader.open(journal, &error, true)) << error.toStdString();
        QHash<QByteArray, JournalRecord> records;
        EXPECT_TRUE(reader.records({address, Account}, &records, &error)) << error.toStdString();
        QSet<int> found;
        for (auto it = records.cbegin(); it != records.cend(); ++it)
            if (it->state == PublishState::Sending)
                found.insert(numberOf.value(it.key()));
        return found;
    }

    // One trial: a fresh service and journal, a run killed after a random number of posts
    // and a random moment into the next, then one run to the end.
    void trial(Publisher publisher, const QString& mode, quint32 seed, Trials* totals)
    {
        SCOPED_TRACE(QStringLiteral("seed %1").arg(seed).toStdString());
        QRandomGenerator random(seed);
        SandboxServer sandbox;
        QString error;
        ASSERT_TRUE(
            sandbox.start({QStringLiteral("--account"), Account + QLatin1Char(':') + Password,
                           QStringLiteral("--idempotency"), mode},
                          &error))
            << error.toStdString();
        QTemporaryDir folder;
        const QString journal = folder.filePath(QStringLiteral("journal.sqlite"));

        const int announced = 1 + random.bounded(Posts);
        const int delayMs = random.bounded(60);
        std::unique_ptr<QProcess> run(start(publisher, journal, sandbox.baseAddress(), false));
        ASSERT_TRUE(run->waitForStarted(30000));
        int seen = 0;
        QElapsedTimer limit;
        limit.start();
        while (seen < announced && run->state() == QProcess::Running && limit.elapsed() < 60000) {
            if (!run->canReadLine())
                run->waitForReadyRead(50);
            while (run->canReadLine())
                seen += announcesPost(run->readLine()) ? 1 : 0;
        }
        QThread::msleep(static_cast<unsigned long>(delayMs));
        if (run->state() == QProcess::Running) {
            ::kill(static_cast<pid_t>(run->processId()), SIGKILL);
            ++totals->killed;
        }
        ASSERT_TRUE(run->waitForFinished(30000));

        const QSet<int> unconfirmed = unconfirmedIn(journal, sandbox.baseAddress());
        EXPECT_LE(unconfirmed.size(), 1); // only the post in flight
        totals->unconfirmed += static_cast<int>(unconfirmed.size());

        std::unique_ptr<QProcess> resume(start(publisher, journal, sandbox.baseAddress(), true));
        ASSERT_TRUE(resume->waitForFinished(120000));
        const QString out = QString::fromUtf8(resume->readAllStandardOutput());
        ASSERT_EQ(resume->exitCode(), 0)
            << out.toStdString() << resume->readAllStandardError().toStdString();

        // The entries by post number, in the order the service stored them.
        static const QRegularExpression entry(QStringLiteral("^Entry (\\d+)\\."));
        QList<int> stored;
        for (const QJsonValue& value : sandbox.entries()) {
            const auto match =
                entry.match(value.toObject().value(QLatin1String("content")).toString());
            ASSERT_TRUE(match.hasMatch());
            stored << match.captured(1).toInt();
        }
        QList<int> firsts;
        QHash<int, int> copies;
        for (int number : stored)
            if (copies[number]++ == 0)
                firsts << number;
        QList<int> diaryOrder;
        for (int n = 1; n <= Posts; ++n)
            diaryOrder << n;
        EXPECT_EQ(firsts, diaryOrder) << "a post was lost or published out of order";
        for (auto it = copies.cbegin(); it != copies.cend(); ++it)
            if (it.value() > 1)
                EXPECT_TRUE(unconfirmed.contains(it.key()))
                    << "post " << it.key() << " was published twice but never unconfirmed";
        if (mode == QLatin1String("account"))
            EXPECT_EQ(stored, diaryOrder);
        totals->extraCopies += static_cast<int>(stored.size()) - Posts;
    }

    void runTrials(Publisher publisher, const QString& mode, int count, quint32 seed)
    {
        Trials totals{count};
        for (int i = 0; i < count && !HasFatalFailure(); ++i)
            trial(publisher, mode, seed + static_cast<quint32>(i), &totals);
        std::printf("%s, %s mode: %d trials, %d killed mid-run, %d posts unconfirmed after the "
                    "kill, %d extra copies\n",
                    publisher == Publisher::Window ? "main window" : "brivet-post",
                    qPrintable(mode), totals.count, totals.killed, totals.unconfirmed,
                    totals.extraCopies);
        std::fflush(stdout);
        if (mode == QLatin1String("account"))
            EXPECT_EQ(totals.extraCopies, 0);
    }

    QString diary;
    QHash<QByteArray, int> numberOf;
};
} // namespace

TEST_F(CrashResume, MainWindowAccountMode)
{
    runTrials(Publisher::Window, QStringLiteral("account"), 10, 1600);
}

TEST_F(CrashResume, MainWindowNoneMode)
{
    runTrials(Publisher::Window, QStringLiteral("none"), 5, 1700);
}

TEST_F(CrashResume, BrivetPostAccountMode)
{
    runTrials(Publisher::CommandLine, QStringLiteral("account"), 10, 1800);
}

TEST_F(CrashResume, BrivetPostNoneMode)
{
    runTrials(Publisher::CommandLine, QStringLiteral("none"), 5, 1900);
}

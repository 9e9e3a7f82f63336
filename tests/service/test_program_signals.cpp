// The programs as real processes, caught in the middle of a request by a service that
// never finishes its answer: signals end the request and leave no file behind, a kill
// takes wget with it, and the next start removes what a killed run left.
#include "tests/TestSupport.h"

#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QThread>
#include <csignal>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
QString u(const char* text)
{
    return QString::fromUtf8(text);
}

const QByteArray Password = "pw-SECRET-5a4b";
const QByteArray Token = "tok-SECRET-7c41e9"; // the one hold_server.py hands out

// hold_server.py: holds the logon or the entry request for ever.
class HoldServer
{
public:
    explicit HoldServer(const char* held)
    {
        m_process.start(u("python3"),
                        {sourceFolder() + u("/tests/service/hold_server.py"), u(held)});
        if (m_process.waitForReadyRead(20000))
            m_port = m_process.readLine().trimmed().mid(5).toInt();
        EXPECT_GT(m_port, 0) << m_process.readAllStandardError().constData();
    }
    ~HoldServer()
    {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
    QString address() const { return u("http://127.0.0.1:%1").arg(m_port); }

private:
    QProcess m_process;
    int m_port = 0;
};

// A user's session of its own: runtime and temporary folder, password in the
// environment.
class Session
{
public:
    explicit Session(const QString& name)
        : m_runtime(testFolder() + u("/") + name + u("-run")),
          m_temporary(testFolder() + u("/") + name + u("-tmp"))
    {
        for (const QString& folder : {m_runtime, m_temporary}) {
            QDir(folder).removeRecursively();
            QDir().mkpath(folder);
            ::chmod(QFile::encodeName(folder).constData(), 0700);
        }
        m_environment = QProcessEnvironment::systemEnvironment();
        m_environment.insert(u("XDG_RUNTIME_DIR"), m_runtime);
        m_environment.insert(u("TMPDIR"), m_temporary);
        // A journal and settings of its own, as another user would have.
        m_environment.insert(u("XDG_DATA_HOME"), m_temporary + u("/data"));
        m_environment.insert(u("XDG_CONFIG_HOME"), m_temporary + u("/config"));
        m_environment.insert(u("BRIVET_PASSWORD"), QString::fromLatin1(Password));
    }

    // input: what the program reads from its standard input (none: no input at all).
    void start(QProcess& process, const QString& program, const QStringList& arguments,
               const QByteArray& input = {}) const
    {
        process.setProcessEnvironment(m_environment);
        if (input.isEmpty())
            process.setStandardInputFile(QProcess::nullDevice());
        process.start(program, arguments);
        EXPECT_TRUE(process.waitForStarted(10000));
        if (!input.isEmpty()) {
            process.write(input);
            // Written only by waiting: the test runs no event loop.
            process.waitForBytesWritten(10000);
            process.closeWriteChannel();
        }
    }

    // The files in the temporary folders (the journal and the settings are no such).
    QStringList files() const
    {
        QStringList found;
        for (const QString& folder : {m_runtime, m_temporary}) {
            QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::System,
                            QDirIterator::Subdirectories);
            while (it.hasNext()) {
                const QString name = it.next();
                if (!name.startsWith(m_temporary + u("/data/")) &&
                    !name.startsWith(m_temporary + u("/config/")))
                    found << name;
            }
        }
        return found;
    }

    QStringList filesHolding(const QByteArray& secret) const
    {
        QStringList found;
        for (const QString& name : files()) {
            QFile file(name);
            if (file.open(QIODevice::ReadOnly) && file.readAll().contains(secret))
                found << name;
        }
        return found;
    }

private:
    QString m_runtime, m_temporary;
    QProcessEnvironment m_environment;
};

// The wget child of the process, or 0.
qint64 wgetChildOf(qint64 parent)
{
    for (const QString& entry : QDir(u("/proc")).entryList(QDir::Dirs)) {
        QFile stat(u("/proc/") + entry + u("/stat"));
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        const QByteArray text = stat.readAll();
        const qsizetype open = text.indexOf('('), close = text.lastIndexOf(')');
        const QList<QByteArray> rest = text.mid(close + 2).split(' ');
        if (text.mid(open + 1, close - open - 1) == "wget" &&
            rest.value(1).toLongLong() == parent && rest.value(0) != "Z")
            return entry.toLongLong();
    }
    return 0;
}

bool running(qint64 pid)
{
    QFile stat(u("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return false;
    const QByteArray text = stat.readAll();
    return text.mid(text.lastIndexOf(')') + 2, 1) != "Z";
}

// Waits until the program runs wget and a temporary file holds the secret; returns
// wget's process id (0 when that never happened).
qint64 caughtInRequest(const QProcess& program, const Session& session, const QByteArray& secret)
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < 20000) {
        const qint64 wget = wgetChildOf(program.processId());
        if (wget != 0 && !session.filesHolding(secret).isEmpty())
            return wget;
        QThread::msleep(50);
    }
    return 0;
}

bool endsWithin(qint64 pid, int milliseconds)
{
    QElapsedTimer timer;
    timer.start();
    while (running(pid) && timer.elapsed() < milliseconds)
        QThread::msleep(20);
    return !running(pid);
}

QString diaryFile()
{
    return writeTestFile(u("signals-diary.txt"),
                         "DIARY-EXPORT 1\nPOST 2010-03-05 19:07:03\nTITLE One\nBODY\nfirst\n.\n");
}

QStringList brivetPostArguments(const HoldServer& server)
{
    return {u("--service-address"), server.address(), u("--user"), u("demo@brivet.example"),
            diaryFile()};
}
} // namespace

TEST(ProgramSignals, BrivetPostEndsTheRequestInFlightAndRemovesItsFiles)
{
    HoldServer server("entry");
    for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
        Session session(u("brivet-post-%1").arg(signal));
        QProcess program;
        session.start(program, u(BRIVET_POST), brivetPostArguments(server));
        const qint64 wget = caughtInRequest(program, session, Token);
        ASSERT_NE(wget, 0) << program.readAllStandardError().constData();
        ::kill(static_cast<pid_t>(program.processId()), signal);
        ASSERT_TRUE(program.waitForFinished(10000)) << signal;
        EXPECT_EQ(program.exitStatus(), QProcess::NormalExit) << signal;
        EXPECT_EQ(program.exitCode(), 128 + signal);
        const QString err = QString::fromUtf8(program.readAllStandardError());
        EXPECT_TRUE(err.contains(u("brivet-post: stopped by signal %1.").arg(signal)))
            << err.toStdString();
        EXPECT_FALSE(err.contains(u("Can't send post."))) << err.toStdString();
        // The journal keeps the post as sent but unconfirmed.
        EXPECT_TRUE(program.readAllStandardOutput().contains("add --resend-unconfirmed"));
        EXPECT_TRUE(endsWithin(wget, 2000));
        EXPECT_EQ(session.files(), QStringList()) << signal;
    }
}

TEST(ProgramSignals, AKilledRunTakesWgetWithItAndTheNextStartRemovesItsSecrets)
{
    struct Case
    {
        const char* held;
        QByteArray secret; // what a file holds while that request runs
    };
    for (const Case& c : {Case{"logon", Password}, Case{"entry", Token}}) {
        HoldServer server(c.held);
        Session session(u("killed-%1").arg(u(c.held)));
        QProcess first;
        session.start(first, u(BRIVET_POST), brivetPostArguments(server));
        const qint64 wget = caughtInRequest(first, session, c.secret);
        ASSERT_NE(wget, 0) << c.held << first.readAllStandardError().constData();
        first.kill();
        first.waitForFinished(10000);
        EXPECT_TRUE(endsWithin(wget, 3000)) << "wget outlived its parent: " << c.held;
        // What no program can remove after a kill: until the next start.
        EXPECT_FALSE(session.filesHolding(c.secret).isEmpty()) << c.held;

        QProcess second;
        session.start(second, u(BRIVET_POST), {u("--dry-run"), diaryFile()});
        ASSERT_TRUE(second.waitForFinished(30000));
        EXPECT_EQ(second.exitCode(), 0) << second.readAllStandardError().constData();
        EXPECT_EQ(session.filesHolding(Password), QStringList()) << c.held;
        EXPECT_EQ(session.filesHolding(Token), QStringList()) << c.held;
    }
}

TEST(ProgramSignals, TheWindowProgramEndsTheRequestInFlightAndKeepsThePostQueued)
{
    HoldServer server("entry");
    for (const int signal : {SIGTERM, SIGHUP}) {
        Session session(u("window-%1").arg(signal));
        QProcess program;
        session.start(program, u(WINDOW_SIGNAL_DRIVER), brivetPostArguments(server),
                      Password + "\n");
        const qint64 wget = caughtInRequest(program, session, Token);
        ASSERT_NE(wget, 0) << program.readAllStandardError().constData();
        ::kill(static_cast<pid_t>(program.processId()), signal);
        ASSERT_TRUE(program.waitForFinished(10000));
        EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(program.exitCode(), 128 + signal);
        // The post was not confirmed, so it stays queued; no box asked anything.
        EXPECT_EQ(program.readAllStandardOutput(), QByteArray("left=1 boxes=0\n"))
            << program.readAllStandardError().constData();
        EXPECT_TRUE(endsWithin(wget, 2000));
        EXPECT_EQ(session.files(), QStringList());
        // The journal holds the post as it stood: sent, not confirmed.
        QProcess reader;
        session.start(reader, u(BRIVET_POST),
                      QStringList{u("--dry-run")} + brivetPostArguments(server));
        ASSERT_TRUE(reader.waitForFinished(30000));
        EXPECT_TRUE(reader.readAllStandardOutput().contains("is unconfirmed"));
    }
}

TEST(ProgramSignals, BrivetPostGivesUpOnAServiceThatNeverFinishesItsAnswer)
{
    HoldServer server("logon");
    Session session(u("max-time"));
    QProcess program;
    session.start(program, u(BRIVET_POST),
                  QStringList{u("--max-time"), u("1")} + brivetPostArguments(server));
    QElapsedTimer timer;
    timer.start();
    ASSERT_TRUE(program.waitForFinished(30000));
    EXPECT_LT(timer.elapsed(), 15000);
    EXPECT_EQ(program.exitCode(), 1);
    const QString err = QString::fromUtf8(program.readAllStandardError());
    EXPECT_TRUE(err.contains(u("Can't log on Brivet.\n\nThe service did not finish its answer "
                               "within 1 second")))
        << err.toStdString();
    EXPECT_EQ(session.files(), QStringList());
}

TEST(ProgramSignals, KwqtRequestStopsItsRequestAndRemovesItsFiles)
{
    HoldServer server("entry");
    Session session(u("kwqt-request"));
    const QString body = writeTestFile(u("held-body"), "{\"password\":\"" + Password + "\"}");
    QProcess program;
    session.start(program, u(KWQT_REQUEST),
                  {u("--data"), body, server.address() + u("/v2/entries?nonce=1")});
    const qint64 wget = caughtInRequest(program, session, Password);
    ASSERT_NE(wget, 0) << program.readAllStandardError().constData();
    ::kill(static_cast<pid_t>(program.processId()), SIGINT);
    ASSERT_TRUE(program.waitForFinished(10000));
    EXPECT_EQ(program.exitCode(), 98); // reeCancelled
    EXPECT_TRUE(endsWithin(wget, 2000));
    EXPECT_EQ(session.files(), QStringList());
}

// Start-up of the real program: one copy per user, the command line, window titles.
#include "poster/workflow/frmMain.h"
#include "poster/workflow/modMain.h"
#include "tests/TestSupport.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QGuiApplication>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QWindow>
#include <gtest/gtest.h>

namespace {
// A user of their own: home, configuration, data and runtime folders.
class ProgramUser
{
public:
    ProgramUser()
    {
        for (const char* folder : {"home", "config", "data", "run"})
            QDir(m_root.path()).mkpath(QString::fromLatin1(folder));
        QFile::setPermissions(path("run"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    QString path(const char* folder) const
    {
        return m_root.path() + QLatin1Char('/') + QString::fromLatin1(folder);
    }

    void start(QProcess& program, const QStringList& arguments = {}) const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("HOME"), path("home"));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), path("config"));
        env.insert(QStringLiteral("XDG_DATA_HOME"), path("data"));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), path("run"));
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("brivet.startup.info=true"));
        env.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
        program.setProcessEnvironment(env);
        program.start(QStringLiteral(BRIVET_POSTER), arguments);
        ASSERT_TRUE(program.waitForStarted(30000));
    }

    // Waits until the running copy listens for later ones.
    bool waitForListener() const
    {
        const QDeadlineTimer deadline(60000);
        while (!deadline.hasExpired()) {
            if (!QDir(path("run"))
                     .entryList({QStringLiteral("instance-*.socket")}, QDir::System)
                     .isEmpty())
                return true;
            QThread::msleep(20);
        }
        return false;
    }

private:
    QTemporaryDir m_root;
};

// Reads a process's error output until it holds text or the process ends.
bool waitForOutput(QProcess& program, QByteArray* collected, const QByteArray& text)
{
    const QDeadlineTimer deadline(60000);
    while (!collected->contains(text) && !deadline.hasExpired()) {
        if (program.state() == QProcess::NotRunning)
            break;
        program.waitForReadyRead(100);
        *collected += program.readAllStandardError();
    }
    *collected += program.readAllStandardError();
    return collected->contains(text);
}

struct Finished
{
    int exitCode;
    QByteArray out, err;
};

Finished runToEnd(const ProgramUser& user, const QStringList& arguments)
{
    QProcess program;
    user.start(program, arguments);
    EXPECT_TRUE(program.waitForFinished(60000)) << arguments.join(QLatin1Char(' ')).toStdString();
    return {program.exitCode(), program.readAllStandardOutput(), program.readAllStandardError()};
}

void stop(QProcess& program)
{
    program.terminate();
    if (!program.waitForFinished(30000)) {
        program.kill();
        program.waitForFinished(30000);
    }
}
} // namespace

TEST(StartUp, ASecondCopyOpensNoWindowAndBringsTheFirstToTheFront)
{
    ProgramUser user;
    QProcess first;
    user.start(first);
    ASSERT_TRUE(user.waitForListener());

    const Finished second = runToEnd(user, {});
    EXPECT_EQ(second.exitCode, 0);
    EXPECT_TRUE(second.err.contains("another copy runs")) << second.err.constData();

    QByteArray firstOutput;
    EXPECT_TRUE(waitForOutput(first, &firstOutput,
                              "asked to show the window \"Brivet poster :: Starting\""))
        << firstOutput.constData();
    EXPECT_EQ(first.state(), QProcess::Running);

    // Another user's copy is not ours.
    ProgramUser other;
    QProcess theirs;
    other.start(theirs);
    EXPECT_TRUE(other.waitForListener());
    EXPECT_EQ(theirs.state(), QProcess::Running);
    stop(theirs);

    // A copy that died leaves its lock behind; the next start takes it over.
    first.kill();
    first.waitForFinished(30000);
    QProcess next;
    user.start(next);
    QThread::msleep(500);
    EXPECT_EQ(next.state(), QProcess::Running);
    const Finished another = runToEnd(user, {});
    EXPECT_TRUE(another.err.contains("another copy runs")) << another.err.constData();
    stop(next);
}

TEST(StartUp, CommandLine)
{
    ProgramUser user;
    const Finished help = runToEnd(user, {QStringLiteral("--help")});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_TRUE(help.out.contains("--service-address <url>")) << help.out.constData();
    EXPECT_TRUE(help.out.contains("--extra-ca-certificate <file>")) << help.out.constData();

    const struct
    {
        QStringList arguments;
        const char* message;
    } refused[] = {
        {{QStringLiteral("--service-address"), QStringLiteral("ftp://example.com")},
         "--service-address"},
        {{QStringLiteral("--service-address"), QStringLiteral("https://example.com/path")},
         "--service-address"},
        {{QStringLiteral("--service-address")}, "service-address"},
        {{QStringLiteral("--extra-ca-certificate"),
          user.path("home") + QStringLiteral("/none.pem")},
         "--extra-ca-certificate"},
        {{QStringLiteral("--no-such-option")}, "no-such-option"},
        {{QStringLiteral("stray")}, "stray"},
    };
    for (const auto& c : refused) {
        const Finished run = runToEnd(user, c.arguments);
        EXPECT_EQ(run.exitCode, 2) << c.arguments.join(QLatin1Char(' ')).toStdString();
        EXPECT_TRUE(run.err.contains(c.message)) << run.err.constData();
        EXPECT_FALSE(run.err.contains("another copy")) << run.err.constData();
    }

    // An accepted address starts the program as usual.
    QProcess program;
    user.start(program,
               {QStringLiteral("--service-address"), QStringLiteral("http://127.0.0.1:1")});
    EXPECT_TRUE(user.waitForListener());
    EXPECT_EQ(program.state(), QProcess::Running);
    stop(program);
}

TEST(StartUp, WindowTitlesAreExactlyTheProgramsOwn)
{
    const QString testName = QCoreApplication::applicationName();
    SetApplicationIdentity();
    // The window system adds an explicitly set display name to every title; none is set,
    // so the display name follows the application name.
    EXPECT_EQ(QGuiApplication::applicationDisplayName(), QCoreApplication::applicationName());
    QCoreApplication::setApplicationName(QStringLiteral("Renamed"));
    EXPECT_EQ(QGuiApplication::applicationDisplayName(), QStringLiteral("Renamed"));
    EXPECT_FALSE(QGuiApplication::applicationDisplayName().contains(QStringLiteral("Olvane")));
    QCoreApplication::setApplicationName(testName);

    MsgBoxScript boxes;
    frmMain window;
    window.show();
    EXPECT_EQ(window.windowTitle(), QStringLiteral("Brivet poster :: 0"));
    EXPECT_EQ(window.windowHandle()->title(), QStringLiteral("Brivet poster :: 0"));
}

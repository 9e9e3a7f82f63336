#include "platform/com/RuntimeError.h"
#include "request/http/modEnvVariables.h"
#include "request/http/modLaunchProcess.h"
#include "tests/TestSupport.h"

#include <QElapsedTimer>
#include <QFile>
#include <cstdlib>
#include <gtest/gtest.h>

namespace {
const QString Helper = QStringLiteral(LAUNCH_HELPER);

struct Launch
{
    bool created = false;
    std::int32_t exitCode = -1, threadExitCode = -1, error = -1;
};

Launch launch(const QString& commandLine, int waitMode, int timeout = -1)
{
    Launch l;
    l.created = LaunchProcess(commandLine, 0, 32, QString(), waitMode, timeout, false, false, 0,
                              QString(), &l.exitCode, &l.threadExitCode, &l.error, false, 0, 0, 0,
                              false, nullptr, nullptr);
    return l;
}

QString quotedHelper()
{
    return QLatin1Char('"') + Helper + QLatin1Char('"');
}
} // namespace

TEST(LaunchProcess, WaitModes)
{
    Launch waited = launch(quotedHelper() + QStringLiteral(" 7"), 1);
    EXPECT_TRUE(waited.created);
    EXPECT_EQ(waited.exitCode, 7);
    EXPECT_EQ(waited.threadExitCode, 7);
    EXPECT_EQ(waited.error, 0);

    QElapsedTimer timer;
    timer.start();
    Launch none = launch(quotedHelper() + QStringLiteral(" 3 2000"), 0);
    EXPECT_TRUE(none.created);
    EXPECT_EQ(none.exitCode, 0);
    EXPECT_EQ(none.threadExitCode, 0);

    Launch timedOut = launch(quotedHelper() + QStringLiteral(" 3 2000"), 1, 50);
    EXPECT_EQ(timedOut.exitCode, StillActive); // still running; not stopped
    EXPECT_LT(timer.elapsed(), 1500);

    Launch polled = launch(quotedHelper() + QStringLiteral(" 5 10"), 2);
    EXPECT_EQ(polled.exitCode, 5);

    EXPECT_THROW(launch(quotedHelper(), 3), RuntimeError);
    EXPECT_THROW(launch(quotedHelper(), -1), RuntimeError);
}

TEST(LaunchProcess, AMissingProgramGivesErrorCodeTwo)
{
    Launch missing = launch(QStringLiteral("\"/no/such/program\" x"), 1);
    EXPECT_FALSE(missing.created);
    EXPECT_EQ(missing.error, 2);
}

TEST(LaunchProcess, ArgumentsArriveExactlyAndHomeIsWgetsDataFolder)
{
    const QString out = testFolder() + QStringLiteral("/launch.txt");
    const char* before = std::getenv("HOME");
    const QByteArray saved = before ? QByteArray(before) : QByteArray();

    SetWGetHome(QStringLiteral("/opt/data folder"));
    launch(quotedHelper() + QStringLiteral(" 0 0 \"") + out +
               QStringLiteral("\" \"a \\\"b\\\" c\\\\\""),
           1);
    RestoreHome();
    QFile file(out);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = file.readAll().split('\n');
    EXPECT_EQ(lines.value(0), QByteArray("HOME=/opt/data folder"));
    EXPECT_EQ(lines.value(5), QByteArray("a \"b\" c\\"));
    EXPECT_EQ(QByteArray(std::getenv("HOME")), saved);

    unsetenv("HOME");
    SetWGetHome(QStringLiteral("/data"));
    EXPECT_EQ(QByteArray(std::getenv("HOME")), QByteArray("/data"));
    RestoreHome();
    EXPECT_EQ(std::getenv("HOME"), nullptr);
    if (!saved.isEmpty())
        setenv("HOME", saved.constData(), 1);
}

TEST(LaunchProcess, TheChildInheritsNoneOfOurPasswordVariables)
{
    const QString out = testFolder() + QStringLiteral("/secrets.txt");
    for (const char* name : {"BRIVET_PASSWORD", "KWQT_PASSWORD", "KWQT_PROXY_PASSWORD"})
        setenv(name, "secret", 1);
    launch(quotedHelper() + QStringLiteral(" 0 0 \"") + out + QLatin1Char('"'), 1);
    for (const char* name : {"BRIVET_PASSWORD", "KWQT_PASSWORD", "KWQT_PROXY_PASSWORD"}) {
        EXPECT_STREQ(std::getenv(name), "secret"); // the program's own stay as they were
        unsetenv(name);
    }
    QFile file(out);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray written = file.readAll();
    EXPECT_TRUE(written.startsWith("HOME=")) << written.constData();
    EXPECT_FALSE(written.contains(" is set")) << written.constData();
}

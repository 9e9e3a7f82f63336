// What the programs map: the request core and the command-line tools run with Qt Core
// alone, and the program starts without the keychain or the network library. Each
// process is run for real with the dynamic loader reporting every library it loads,
// the ones loaded on demand included.
#include "tests/TestSupport.h"
#include "tests/request/RequestFixtures.h"
#include "tests/sandbox/SandboxServer.h"

#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {
QString u(const char* text)
{
    return QString::fromUtf8(text);
}

// Runs program with arguments until it ends or until its error output holds waitFor
// (then it is stopped); returns the names of every library that it and its children
// loaded.
QStringList loadedLibraries(const QString& program, const QStringList& arguments,
                            const QByteArray& waitFor = {},
                            const QMap<QString, QString>& extraEnvironment = {})
{
    QTemporaryDir folder;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(u("LD_DEBUG"), u("files"));
    environment.insert(u("LD_DEBUG_OUTPUT"), folder.filePath(u("loader")));
    for (auto it = extraEnvironment.cbegin(); it != extraEnvironment.cend(); ++it)
        environment.insert(it.key(), it.value());
    QProcess process;
    process.setProcessEnvironment(environment);
    process.setStandardInputFile(QProcess::nullDevice());
    process.start(program, arguments);
    EXPECT_TRUE(process.waitForStarted(30000));
    if (waitFor.isEmpty()) {
        EXPECT_TRUE(process.waitForFinished(120000));
        EXPECT_EQ(process.exitCode(), 0) << process.readAllStandardError().constData();
    } else {
        QByteArray said;
        while (!said.contains(waitFor) && process.state() == QProcess::Running) {
            process.waitForReadyRead(200);
            said += process.readAllStandardError();
        }
        EXPECT_TRUE(said.contains(waitFor)) << said.constData();
        process.terminate();
        process.waitForFinished(30000);
    }
    QStringList names;
    static const QRegularExpression loaded(u("\\bfile=(\\S+)"));
    for (const QString& log : QDir(folder.path()).entryList({u("loader*")}, QDir::Files)) {
        QFile file(folder.filePath(log));
        if (!file.open(QIODevice::ReadOnly))
            continue;
        const QString text = QString::fromLocal8Bit(file.readAll());
        for (auto match = loaded.globalMatch(text); match.hasNext();)
            names << QFileInfo(match.next().captured(1)).fileName();
    }
    names.removeDuplicates();
    return names;
}

QStringList matching(const QStringList& names, const QString& pattern)
{
    return names.filter(QRegularExpression(pattern));
}

const QString GuiLibraries = u("^lib(Qt6Gui|Qt6Widgets|KWQT0100UI|olvplatformui|olvsupportui|"
                               "olvcomponentsui)\\.so");
const QString KeychainLibraries =
    u("^lib(olvkeychain|qt6keychain|secret-1|krb5|gssapi_krb5|Qt6Network)\\.so");
} // namespace

TEST(LoadedLibraries, KwqtRequestRunsARequestWithQtCoreAlone)
{
    TestServer server;
    const QStringList names =
        loadedLibraries(u(KWQT_REQUEST), {u("--proxy"), u("direct"), server.url(u("/echo"))});
    ASSERT_FALSE(matching(names, u("^libKWQT0100\\.so")).isEmpty())
        << names.join(QLatin1Char(' ')).toStdString();
    EXPECT_TRUE(matching(names, u("^libQt6Core\\.so")).size() == 1);
    EXPECT_EQ(matching(names, GuiLibraries), QStringList());
    EXPECT_EQ(matching(names, KeychainLibraries), QStringList());
}

TEST(LoadedLibraries, BrivetPostPublishesWithQtCoreAlone)
{
    SandboxServer sandbox;
    ASSERT_TRUE(sandbox.start());
    const QString diary = writeTestFile(
        u("lean-diary.txt"),
        "DIARY-EXPORT 1\nPOST 2010-03-05 09:00:00\nTITLE One\nBODY\n[b]first[/b]\n.\n");
    const QStringList names = loadedLibraries(u(BRIVET_POST),
                                              {u("--service-address"), sandbox.baseAddress(),
                                               u("--user"), u("demo@brivet.example"), diary},
                                              {}, {{u("BRIVET_PASSWORD"), u("demo")}});
    ASSERT_FALSE(matching(names, u("^libKWQT0100\\.so")).isEmpty());
    EXPECT_EQ(matching(names, GuiLibraries), QStringList());
    EXPECT_EQ(matching(names, KeychainLibraries), QStringList());
    EXPECT_EQ(sandbox.entries().size(), 1);
}

TEST(LoadedLibraries, ProgramStartsWithoutTheKeychainOrTheNetworkLibrary)
{
    QTemporaryDir user;
    for (const char* folder : {"home", "config", "data", "run"})
        QDir(user.path()).mkpath(QString::fromLatin1(folder));
    QFile::setPermissions(user.filePath(u("run")),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const QStringList names =
        loadedLibraries(u(BRIVET_POSTER), {}, "logon window shown",
                        {{u("HOME"), user.filePath(u("home"))},
                         {u("XDG_CONFIG_HOME"), user.filePath(u("config"))},
                         {u("XDG_DATA_HOME"), user.filePath(u("data"))},
                         {u("XDG_RUNTIME_DIR"), user.filePath(u("run"))},
                         {u("QT_QPA_PLATFORM"), u("offscreen")},
                         {u("QT_LOGGING_RULES"), u("brivet.startup.info=true")}});
    ASSERT_FALSE(matching(names, u("^libQt6Widgets\\.so")).isEmpty());
    EXPECT_EQ(matching(names, KeychainLibraries), QStringList());
}

// The private folders for temporary files: where they are, what is refused, and which
// folders a start removes.
#include "platform/process/ProcessTempFolder.h"
#include "tests/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
QString u(const char* text)
{
    return QString::fromUtf8(text);
}

qint64 startTimeOf(qint64 pid)
{
    QFile stat(u("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray text = stat.readAll();
    return text.mid(text.lastIndexOf(')') + 2).split(' ').value(19).toLongLong();
}

mode_t modeOf(const QString& path)
{
    struct stat info = {};
    ::lstat(QFile::encodeName(path).constData(), &info);
    return info.st_mode & 07777;
}

void makeFolder(const QString& path, mode_t mode)
{
    QDir().mkpath(path);
    ::chmod(QFile::encodeName(path).constData(), mode);
}

// The environment of one test: the runtime and temporary folders as given, restored
// afterwards, with nothing of this process's left in either.
class Folders : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_runtime = qgetenv("XDG_RUNTIME_DIR");
        m_temporary = qgetenv("TMPDIR");
        m_root =
            testFolder() + u("/") +
            QString::fromLatin1(::testing::UnitTest::GetInstance()->current_test_info()->name());
        makeFolder(m_root + u("/run"), 0700);
        makeFolder(m_root + u("/tmp"), 0777);
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(m_root + u("/run")));
        qputenv("TMPDIR", QFile::encodeName(m_root + u("/tmp")));
    }
    void TearDown() override
    {
        RemoveProcessTempFolder();
        qputenv("XDG_RUNTIME_DIR", m_runtime);
        qputenv("TMPDIR", m_temporary);
    }
    QString runtimeBase() const { return m_root + u("/run/kwqt0100"); }
    QString temporaryBase() const { return m_root + u("/tmp/kwqt0100-%1").arg(::getuid()); }

    QString m_root;
    QByteArray m_runtime, m_temporary;
};
} // namespace

TEST_F(Folders, EachProcessHasAPrivateFolderThatNamesIt)
{
    QString error;
    const QString folder = ProcessTempFolder(&error);
    EXPECT_EQ(folder, runtimeBase() + u("/kwqt-%1-%2").arg(::getpid()).arg(startTimeOf(::getpid())))
        << error.toStdString();
    EXPECT_EQ(modeOf(runtimeBase()), 0700u);
    EXPECT_EQ(modeOf(folder), 0700u);
    EXPECT_EQ(ProcessTempFolder(), folder);
    EXPECT_EQ(UserTempFolder(), runtimeBase());
    writeTestFile(u("unused"), {});
    QFile::copy(testFolder() + u("/unused"), folder + u("/TMPfile"));
    RemoveProcessTempFolder();
    EXPECT_FALSE(QFileInfo::exists(folder));
    EXPECT_EQ(ProcessTempFolder(), folder); // made again on the next use

    // Without a usable runtime folder, the temporary folder holds the user's folder.
    for (const bool unset : {true, false}) {
        if (unset)
            qunsetenv("XDG_RUNTIME_DIR");
        else
            ::chmod(QFile::encodeName(m_root + u("/run")).constData(), 0755);
        EXPECT_TRUE(ProcessTempFolder().startsWith(temporaryBase() + u("/kwqt-"))) << unset;
        EXPECT_EQ(modeOf(temporaryBase()), 0700u);
    }
}

TEST_F(Folders, AFolderThatIsNotTheUsersOwnIsRefused)
{
    qunsetenv("XDG_RUNTIME_DIR");
    struct Case
    {
        const char* what;
        std::function<void(const QString&)> plant;
        const char* said;
    };
    QList<Case> cases = {
        {"open to others", [](const QString& path) { makeFolder(path, 0755); },
         "is open to other users (mode 755)"},
        {"a link",
         [this](const QString& path) {
             makeFolder(m_root + u("/elsewhere"), 0700);
             QFile::link(m_root + u("/elsewhere"), path);
         },
         "is not a folder"},
        {"a file",
         [](const QString& path) {
             QFile file(path);
             file.open(QIODevice::WriteOnly);
         },
         "is not a folder"},
    };
    // Only root can give a folder away.
    if (::getuid() == 0)
        cases.append({"another user's",
                      [](const QString& path) {
                          makeFolder(path, 0700);
                          ASSERT_EQ(::chown(QFile::encodeName(path).constData(), 65534, 65534), 0);
                      },
                      "belongs to another user"});
    for (const Case& c : cases) {
        const QString base = temporaryBase();
        QFile::remove(base);
        QDir(base).removeRecursively();
        c.plant(base);
        QString error;
        EXPECT_TRUE(ProcessTempFolder(&error).isEmpty()) << c.what;
        EXPECT_TRUE(error.contains(base) && error.contains(u(c.said))) << error.toStdString();
        EXPECT_TRUE(UserTempFolder().isEmpty()) << c.what;
        QFile::remove(base);
        QDir(base).removeRecursively();
    }
}

TEST_F(Folders, AStartRemovesTheFoldersOfProcessesThatNoLongerRun)
{
    QProcess ended;
    ended.start(u("true"), {});
    ended.waitForFinished(10000);
    const qint64 gone = ended.processId();
    const QString base = runtimeBase();
    makeFolder(base, 0700);
    const QStringList stale = {
        u("kwqt-%1-%2").arg(gone).arg(12345),
        // This process's id with another start time: a process that once had our id.
        u("kwqt-%1-%2").arg(::getpid()).arg(startTimeOf(::getpid()) + 1),
    };
    const QStringList kept = {
        u("kwqt-%1-%2").arg(::getppid()).arg(startTimeOf(::getppid())), // it runs
        u("someone-else"),
    };
    for (const QString& name : stale + kept) {
        makeFolder(base + u("/") + name + u("/inner"), 0700);
        QFile file(base + u("/") + name + u("/TMPsecret"));
        file.open(QIODevice::WriteOnly);
        file.write("secret");
    }
    // The old place of a session without a runtime folder is cleaned too.
    makeFolder(temporaryBase(), 0700);
    makeFolder(temporaryBase() + u("/") + stale.first(), 0700);

    EXPECT_EQ(RemoveStaleTempFolders(), 3);
    for (const QString& name : stale)
        EXPECT_FALSE(QFileInfo::exists(base + u("/") + name)) << name.toStdString();
    for (const QString& name : kept)
        EXPECT_TRUE(QFileInfo::exists(base + u("/") + name + u("/TMPsecret")))
            << name.toStdString();
    EXPECT_FALSE(QFileInfo::exists(temporaryBase() + u("/") + stale.first()));
}

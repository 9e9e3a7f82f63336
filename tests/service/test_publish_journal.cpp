// The publish journal on a real SQLite file: what it keeps, where, and how it refuses.
#include "poster/service/modPublishJournal.h"
#include "tests/TestSupport.h"

#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {
QString u(const char* utf8)
{
    return QString::fromUtf8(utf8);
}

ComPtr<IDiaryPost> post(const QString& title, const QString& body = u("body"), bool adult = false,
                        QDateTime when = QDateTime(QDate(2010, 3, 5), QTime(19, 7, 3), Qt::UTC))
{
    DiaryPostData data;
    data.postDate = when;
    data.title = title;
    data.body = body;
    data.adultOnly = adult;
    return newDiaryPost(data);
}

int mode(const QString& path)
{
    struct stat status
    {
    };
    return ::stat(QFile::encodeName(path).constData(), &status) == 0 ? status.st_mode & 0777 : -1;
}

const JournalScope Scope{u("https://brivet.example"), u("Writer@Brivet.example")};
} // namespace

TEST(PublishJournal, IdentityIsTheFourFieldsToTheSecond)
{
    const QByteArray base = PublishJournal::identity(post(u("Title")).get());
    EXPECT_EQ(base.size(), 64);
    EXPECT_EQ(PublishJournal::identity(post(u("Title")).get()), base);
    // Milliseconds are not part of a post's time.
    EXPECT_EQ(
        PublishJournal::identity(post(u("Title"), u("body"), false,
                                      QDateTime(QDate(2010, 3, 5), QTime(19, 7, 3, 500), Qt::UTC))
                                     .get()),
        base);
    const ComPtr<IDiaryPost> others[] = {
        post(u("Title ")),
        post(u("Title"), u("body ")),
        post(u("Title"), u("body"), true),
        post(u("Title"), u("body"), false, QDateTime(QDate(2010, 3, 5), QTime(19, 7, 4), Qt::UTC)),
        // The fields are kept apart: moving text from the title to the body is another post.
        post(u("Titleb"), u("ody")),
    };
    for (const auto& other : others)
        EXPECT_NE(PublishJournal::identity(other.get()), base);
}

TEST(PublishJournal, KeepsStatesPerServiceAndAccountAcrossReopening)
{
    QTemporaryDir home;
    const QString path = home.filePath(u("new/folder/journal.sqlite"));
    const auto first = post(u("First"));
    const QByteArray id = PublishJournal::identity(first.get());
    const QDateTime when(QDate(2024, 5, 6), QTime(7, 8, 9), Qt::UTC);
    QString error;
    {
        PublishJournal journal;
        ASSERT_TRUE(journal.open(path, &error)) << error.toStdString();
        JournalRecord record;
        ASSERT_TRUE(journal.lookup(Scope, id, &record, &error));
        EXPECT_EQ(record.state, PublishState::Unknown);
        ASSERT_TRUE(journal.markSending(Scope, id, first.get(), u("1234567890123"), &error));
        // Only the request that was recorded can be confirmed.
        EXPECT_FALSE(journal.markPublished(Scope, id, u("9999999999999"), u("5"), when, &error));
        ASSERT_TRUE(journal.markPublished(Scope, id, u("1234567890123"), u("5"), when, &error));
        ASSERT_TRUE(journal.markSending(Scope, PublishJournal::identity(post(u("Second")).get()),
                                        post(u("Second")).get(), u("2234567890123"), &error));
    }
    EXPECT_EQ(mode(QFileInfo(path).absolutePath()), 0700);
    for (const char* suffix : {"", "-wal", "-shm"})
        if (QFileInfo::exists(path + u(suffix)))
            EXPECT_EQ(mode(path + u(suffix)), 0600) << suffix;

    PublishJournal journal;
    ASSERT_TRUE(journal.open(path, &error)) << error.toStdString();
    JournalRecord record;
    ASSERT_TRUE(journal.lookup({Scope.service, u("writer@brivet.EXAMPLE")}, id, &record, &error));
    EXPECT_EQ(record.state, PublishState::Published);
    EXPECT_EQ(record.entryId, u("5"));
    EXPECT_EQ(record.publishedAt, when);
    EXPECT_EQ(record.nonce, u("1234567890123"));
    ASSERT_TRUE(
        journal.lookup(Scope, PublishJournal::identity(post(u("Second")).get()), &record, &error));
    EXPECT_EQ(record.state, PublishState::Sending);
    EXPECT_EQ(record.nonce, u("2234567890123"));
    for (const JournalScope& other : {JournalScope{u("https://other.example"), Scope.account},
                                      JournalScope{Scope.service, u("someone@brivet.example")}}) {
        ASSERT_TRUE(journal.lookup(other, id, &record, &error));
        EXPECT_EQ(record.state, PublishState::Unknown);
    }
    // Sent again on purpose, a published post is sending again with the new nonce.
    ASSERT_TRUE(journal.markSending(Scope, id, first.get(), u("3234567890123"), &error));
    ASSERT_TRUE(journal.lookup(Scope, id, &record, &error));
    EXPECT_EQ(record.state, PublishState::Sending);
    EXPECT_TRUE(record.entryId.isEmpty());
}

TEST(PublishJournal, ReadOnlyCreatesNothingAndWritesNothing)
{
    QTemporaryDir home;
    const QString path = home.filePath(u("journal.sqlite"));
    PublishJournal journal;
    QString error;
    ASSERT_TRUE(journal.open(path, &error, true)) << error.toStdString();
    JournalRecord record;
    EXPECT_TRUE(journal.lookup(Scope, "x", &record, &error));
    EXPECT_EQ(record.state, PublishState::Unknown);
    EXPECT_FALSE(journal.markSending(Scope, "x", post(u("t")).get(), u("1234567890123"), &error));
    EXPECT_FALSE(QFileInfo::exists(path));
}

TEST(PublishJournal, RefusesWhatCannotHoldARecord)
{
    const QString blocker = writeTestFile(u("journal-blocker"), "a file, not a folder");
    const QString garbage = writeTestFile(u("garbage.sqlite"), QByteArray(8192, 'g'));
    for (const QString& path : {blocker + u("/journal.sqlite"), garbage}) {
        PublishJournal journal;
        QString error;
        EXPECT_FALSE(journal.open(path, &error)) << path.toStdString();
        EXPECT_FALSE(error.isEmpty());
        EXPECT_FALSE(journal.isOpen());
    }
    PublishJournal memory;
    QString error;
    EXPECT_TRUE(memory.open(u(":memory:"), &error)) << error.toStdString();
}

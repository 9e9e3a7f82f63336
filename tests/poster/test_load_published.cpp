// Loading a diary file whose posts the publish journal knows: the main window asks
// whether to leave out what was published before and whether to queue again what was
// left unconfirmed.
#include "platform/com/ClassRegistry.h"
#include "platform/ui/MsgBox.h"
#include "poster/service/modPostSender.h"
#include "poster/service/modPublishJournal.h"
#include "poster/service/modServiceAddress.h"
#include "poster/workflow/frmMain.h"
#include "poster/workflow/modApp.h"
#include "poster/workflow/modDateFormat.h"
#include "support/diary/DiaryFileReader.h"
#include "tests/TestSupport.h"

#include <QListWidget>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {
QString u(const char* utf8)
{
    return QString::fromUtf8(utf8);
}

// A diary of count posts, one a minute from 10:00 on 2010-03-05, titled "Post n".
QString diary(const QString& name, int count)
{
    QByteArray text = "DIARY-EXPORT 1\n";
    for (int n = 1; n <= count; ++n)
        text += QStringLiteral("POST 2010-03-05 %1:%2:00\nTITLE Post %3\nBODY\nbody %3\n.\n")
                    .arg(10 + (n - 1) / 60, 2, 10, QLatin1Char('0'))
                    .arg((n - 1) % 60, 2, 10, QLatin1Char('0'))
                    .arg(n)
                    .toLatin1();
    return writeTestFile(name, text);
}

ComPtr<IDiaryPostList> read(const QString& path)
{
    const auto reader = createObject<IDiaryFileReader>(CLSID_DiaryFileReader);
    EXPECT_TRUE(reader->LoadFile(path));
    return reader->Posts();
}

class LoadPublished : public ::testing::Test
{
protected:
    void SetUp() override
    {
        SetJournalPath(folder.filePath(u("journal.sqlite")));
        LogonUserName = u("writer@brivet.example");
        QString error;
        ASSERT_TRUE(OpenJournal(&error)) << error.toStdString();
    }
    void TearDown() override { SetJournalPath({}); }

    // Records the posts (1-based numbers) of the file as published or as sending.
    void record(const QString& path, const QList<int>& numbers, bool published,
                const JournalScope& scope = ServiceJournalScope())
    {
        const auto posts = read(path);
        QString error;
        for (int n : numbers) {
            const auto post = posts->Item(n - 1);
            const QByteArray id = PublishJournal::identity(post.get());
            const QString nonce = QString::number(1000000000000LL + n);
            ASSERT_TRUE(Journal().markSending(scope, id, post.get(), nonce, &error));
            if (published)
                ASSERT_TRUE(Journal().markPublished(scope, id, nonce, QString::number(n),
                                                    lastPublished.addSecs(-n), &error));
        }
    }
    QStringList titles() const
    {
        QStringList found;
        for (const auto& post : form.LoadedPosts)
            found << post->Title();
        return found;
    }

    QTemporaryDir folder;
    MsgBoxScript boxes;
    frmMain form;
    const QDateTime lastPublished = QDateTime(QDate(2024, 1, 2), QTime(3, 4, 5), Qt::UTC);
};
} // namespace

TEST_F(LoadPublished, AFileTheJournalDoesNotKnowLoadsAsEver)
{
    const QString file = diary(u("plain.txt"), 3);
    // Posts of another account and of another service are not this file's history.
    record(file, {1, 2}, true, {u("https://other.example"), LogonUserName});
    record(file, {3}, false, {ServiceBaseAddress(), u("someone@brivet.example")});
    form.LoadDiaryFile(file);
    EXPECT_TRUE(boxes.shown().isEmpty());
    EXPECT_EQ(form.LoadedPosts.size(), 3);
    EXPECT_EQ(form.StatusText(), u("\tLoaded posts: 3 (3 total)"));
}

TEST_F(LoadPublished, PublishedBeforeAreLeftOutOnOkAndAllQueuedOnCancel)
{
    const QString file = diary(u("five.txt"), 5);
    record(file, {2, 4}, true);
    boxes.answer({vbOK});
    form.LoadDiaryFile(file);
    ASSERT_EQ(boxes.shown().size(), 1);
    const ShownBox& box = boxes.shown()[0];
    EXPECT_EQ(box.style, vbOKCancel | vbExclamation);
    EXPECT_EQ(box.title, App().Title);
    const QString crlf = u("\r\n");
    const auto date = [](int minute) {
        return GeneralDateText(QDateTime(QDate(2010, 3, 5), QTime(10, minute), Qt::UTC));
    };
    // The last of them: post 2 was recorded one second later than post 4.
    EXPECT_EQ(box.prompt, u("2 of the 5 posts in this file were published on Brivet before, the "
                            "last of them on ") +
                              GeneralDateText(lastPublished.addSecs(-2).toLocalTime()) + u(".") +
                              crlf + crlf + u("Published before: ") + crlf + crlf +
                              u("\u2022 #2 - ") + date(1) + crlf + u("\u2022 #4 - ") + date(3) +
                              crlf + crlf +
                              u("Leave them out of the queue? (Cancel queues them all.)"));
    EXPECT_EQ(titles(), QStringList({u("Post 1"), u("Post 3"), u("Post 5")}));
    EXPECT_EQ(form.StatusText(), u("\tLoaded posts: 3 (3 total), 2 left out"));

    boxes.clear();
    boxes.answer({vbCancel});
    form.LoadDiaryFile(file);
    EXPECT_EQ(boxes.shown().size(), 1);
    EXPECT_EQ(form.LoadedPosts.size(), 8);
}

TEST_F(LoadPublished, UnconfirmedPostsAreQueuedOnOkAndLeftOutOnCancel)
{
    const QString file = diary(u("four.txt"), 4);
    record(file, {1}, true);
    record(file, {2}, false);
    boxes.answer({vbOK, vbOK});
    form.LoadDiaryFile(file);
    ASSERT_EQ(boxes.shown().size(), 2);
    const ShownBox& box = boxes.shown()[1];
    EXPECT_EQ(box.style, vbOKCancel | vbExclamation);
    EXPECT_EQ(box.title, App().Title);
    EXPECT_TRUE(box.prompt.startsWith(u("The program stopped, or lost the service's answer, "
                                        "while sending 1 of the posts in this file")));
    EXPECT_TRUE(box.prompt.contains(u("\u2022 #2 - ")));
    EXPECT_TRUE(box.prompt.contains(u("the same request")));
    EXPECT_TRUE(box.prompt.contains(u("Check them on Brivet afterwards.")));
    EXPECT_EQ(titles(), QStringList({u("Post 2"), u("Post 3"), u("Post 4")}));

    form.cmdClear_Click();
    boxes.clear();
    boxes.answer({vbOK, vbCancel});
    form.LoadDiaryFile(file);
    EXPECT_EQ(titles(), QStringList({u("Post 3"), u("Post 4")}));
    // Left out, the post stays unconfirmed for the next load.
    JournalRecord record;
    QString error;
    ASSERT_TRUE(Journal().lookup(ServiceJournalScope(),
                                 PublishJournal::identity(read(file)->Item(1).get()), &record,
                                 &error));
    EXPECT_EQ(record.state, PublishState::Sending);
}

TEST_F(LoadPublished, TheListingIsBoundedForAnyNumber)
{
    const QString file = diary(u("many.txt"), 300);
    QList<int> all;
    for (int n = 1; n <= 300; ++n)
        all << n;
    record(file, all, true);
    boxes.answer({vbOK});
    form.LoadDiaryFile(file);
    ASSERT_EQ(boxes.shown().size(), 1);
    const QString prompt = boxes.shown()[0].prompt;
    EXPECT_TRUE(prompt.startsWith(u("300 of the 300 posts")));
    EXPECT_EQ(prompt.count(u("\u2022 #")), 20);
    EXPECT_TRUE(prompt.contains(u("\u2022 \u2026and 280 more")));
    EXPECT_TRUE(form.LoadedPosts.isEmpty());
}

TEST_F(LoadPublished, AJournalThatCannotBeOpenedIsNamedAndTheFileLoads)
{
    const QString blocker = writeTestFile(u("journal-is-a-file"), "x");
    SetJournalPath(blocker + u("/journal.sqlite"));
    form.LoadDiaryFile(diary(u("two.txt"), 2));
    ASSERT_EQ(boxes.shown().size(), 1);
    EXPECT_EQ(boxes.shown()[0].style, vbExclamation);
    EXPECT_TRUE(boxes.shown()[0].prompt.contains(blocker + u("/journal.sqlite")));
    EXPECT_EQ(form.LoadedPosts.size(), 2);
}

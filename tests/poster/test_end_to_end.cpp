// The real main window, offscreen, publishing a generated diary on the sandbox service
// through the service client, KWQT0100 and real wget, with failures injected.
#include "platform/ui/MsgBox.h"
#include "poster/convert/modConverter.h"
#include "poster/service/modPostSender.h"
#include "poster/service/modPublishJournal.h"
#include "poster/service/modServiceAddress.h"
#include "poster/workflow/frmMain.h"
#include "poster/workflow/frmWait.h"
#include "tests/TestSupport.h"
#include "tests/poster/GeneratedDiary.h"
#include "tests/poster/WaitWindowDriver.h"
#include "tests/poster/WindowSystemInput.h"
#include "tests/sandbox/SandboxServer.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QJsonObject>
#include <QListWidget>
#include <QPushButton>
#include <QRandomGenerator>
#include <QTest>
#include <atomic>
#include <chrono>
#include <gtest/gtest.h>
#include <thread>

namespace {
constexpr int Posts = 200;
const QString Account = QStringLiteral("poster@brivet.example");
const QString Password = QStringLiteral("Пароль \"7\" & co");

struct Expected
{
    QString title;
    QString content;
    bool adult;
};

// The faults of the sandbox's first requests: about one in five fails, before or after
// the entry is stored or by a dropped connection. (Requests past the list never fail.)
QStringList someFaults(int requests, quint32 seed)
{
    QRandomGenerator random(seed);
    const QString kinds[] = {QStringLiteral("before-store"), QStringLiteral("after-store"),
                             QStringLiteral("drop")};
    QStringList faults;
    for (int i = 0; i < requests; ++i)
        faults << (random.bounded(100) < 20 ? kinds[random.bounded(3)] : QStringLiteral("none"));
    return faults;
}

class EndToEnd : public ::testing::Test
{
protected:
    void TearDown() override
    {
        setMsgBoxHook({});
        if (form)
            form->IsSending = false;
    }

    // Starts the sandbox with the given faults and opens the main window on the diary.
    void start(const QStringList& faults, bool tls)
    {
        QStringList arguments = {QStringLiteral("--account"), Account + QLatin1Char(':') + Password,
                                 QStringLiteral("--faults"), faults.join(QLatin1Char(','))};
        if (tls)
            arguments << QStringLiteral("--tls");
        QString error;
        ASSERT_TRUE(sandbox.start(arguments, &error)) << error.toStdString();
        ASSERT_TRUE(SetServiceBaseAddress(sandbox.baseAddress(), &error)) << error.toStdString();
        if (tls)
            ASSERT_TRUE(SetExtraCACertificate(sandbox.caCertificate(), &error))
                << error.toStdString();
        SetJournalPath(journalFolder.filePath(QStringLiteral("journal.sqlite")));
        LogonUserName = Account;
        LogonPassword = Password;
        AccessToken.clear();
        ProfileId.clear();

        setMsgBoxHook([this](const QString& prompt, int style, const QString&) {
            boxes << prompt;
            if (style == (vbRetryCancel | vbCritical)) {
                ++failures;
                return answerFailure ? answerFailure() : vbRetry;
            }
            return vbOK;
        });

        form = std::make_unique<frmMain>();
        form->show();
        form->chkSendAsBackdated->setChecked(false);
        form->cboWaitTime->setCurrentIndex(0);
        form->LoadDiaryFile(writeTestFile(QStringLiteral("generated.txt"), GeneratedDiary(Posts)));
        form->UpdateControls();
        ASSERT_EQ(form->LoadedPosts.size(), Posts);
        for (const ComPtr<IDiaryPost>& post : form->LoadedPosts) {
            // The entry's JSON carries every line break as \n.
            QString html = ConvertPostBody(post->Body(), true);
            html.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
            expected.append({post->Title(), html, post->AdultOnly()});
        }
    }

    // The sandbox holds exactly the first count posts of the diary, in order, each once.
    void expectPublished(int count)
    {
        const QJsonArray entries = sandbox.entries();
        ASSERT_EQ(entries.size(), count);
        for (int i = 0; i < count; ++i) {
            const QJsonObject entry = entries.at(i).toObject();
            const Expected& post = expected.at(i);
            ASSERT_EQ(entry.value(QLatin1String("title")).toString(), post.title) << i;
            ASSERT_EQ(entry.value(QLatin1String("content")).toString(), post.content) << i;
            ASSERT_EQ(entry.value(QLatin1String("adult")).toBool(), post.adult) << i;
        }
    }

    // What is left in the window is the rest of the diary, in order.
    void expectQueued(int published)
    {
        ASSERT_EQ(form->LoadedPosts.size(), Posts - published);
        ASSERT_EQ(form->lstPosts->count(), Posts - published);
        if (published < Posts)
            EXPECT_TRUE(form->LoadedPosts.first()->Body().startsWith(
                QStringLiteral("Entry %1.").arg(published + 1)));
    }

    QTemporaryDir journalFolder;
    SandboxServer sandbox;
    std::unique_ptr<frmMain> form;
    QList<Expected> expected;
    QStringList boxes;
    int failures = 0;
    std::function<int()> answerFailure;
};
} // namespace

TEST_F(EndToEnd, EveryPostIsPublishedOnceThroughFailuresAnsweredRetry)
{
    start(someFaults(400, 1), true);
    form->cmdSendPosts->click();

    expectPublished(Posts);
    expectQueued(Posts);
    EXPECT_GT(failures, 20);
    EXPECT_EQ(boxes.size(), failures + 1);
    EXPECT_EQ(boxes.last(), QStringLiteral("All done! ^_^v"));
    EXPECT_EQ(form->StatusText(), QStringLiteral("\t"));
    EXPECT_FALSE(form->IsSending);
}

TEST_F(EndToEnd, CancelStopsTheRunAndSendGoesOnWithThePostThatFailed)
{
    // The logon and 100 entries pass; the 101st entry fails first (before it is
    // stored), and that failure is answered Cancel.
    QStringList faults(101, QStringLiteral("none"));
    faults << QStringLiteral("before-store") << someFaults(300, 2);
    start(faults, false);
    answerFailure = [this] { return failures == 1 ? vbCancel : vbRetry; };

    form->cmdSendPosts->click();
    EXPECT_EQ(form->StatusText(), QStringLiteral("\tStopped..."));
    EXPECT_FALSE(form->IsSending);
    EXPECT_TRUE(form->cmdSendPosts->isEnabled());
    expectPublished(100);
    expectQueued(100);
    EXPECT_FALSE(boxes.contains(QStringLiteral("All done! ^_^v")));

    form->cmdSendPosts->click();
    expectPublished(Posts);
    expectQueued(Posts);
    EXPECT_GT(failures, 10);
    EXPECT_EQ(boxes.last(), QStringLiteral("All done! ^_^v"));
}

TEST_F(EndToEnd, StopInTheWaitWindowAndSendAgain)
{
    start(someFaults(300, 3), false);
    form->cboWaitTime->setCurrentIndex(1); // "3 sec."
    QString caption;
    WaitWindowDriver waits([&](frmWait& wait) {
        if (waits.waits() == 50) {
            caption = wait.fraTimeRemaining->title();
            wait.cmdStop->click();
        } else {
            waits.clock().advance(4000);
        }
    });

    form->cmdSendPosts->click();
    EXPECT_EQ(caption, QStringLiteral(" Post will be sent in 3 sec "));
    EXPECT_EQ(form->StatusText(), QStringLiteral("\tStopped..."));
    expectPublished(50);
    expectQueued(50);

    form->cmdSendPosts->click();
    expectPublished(Posts);
    expectQueued(Posts);
    EXPECT_EQ(waits.waits(), Posts - 1); // none after the last post of either run
    EXPECT_EQ(boxes.last(), QStringLiteral("All done! ^_^v"));
}

TEST_F(EndToEnd, AStopClickedDuringASlowUploadEndsTheRunWithoutAWait)
{
    // The first entry's answer comes 2.5 s late; Stop is clicked while wget waits for it.
    start({QStringLiteral("none"), QStringLiteral("slow")}, false);
    form->cboWaitTime->setCurrentIndex(2); // "30 sec."
    form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    std::atomic<bool> uploading = false;
    bool clickedDuringUpload = false;
    int uploads = 0;
    form->SendPostFunction = [&](const ComPtr<IDiaryPost>& post, bool original, bool backdated) {
        std::thread user;
        if (++uploads == 1) {
            const QueuedInput click = QueuedInput::click(form->cmdStop);
            user = std::thread([&, click] {
                std::this_thread::sleep_for(std::chrono::milliseconds(300));
                clickedDuringUpload = uploading;
                click.send();
            });
        }
        uploading = true;
        const bool published = SendPost(post, original, backdated);
        uploading = false;
        if (user.joinable())
            user.join();
        return published;
    };
    WaitWindowDriver waits([&](frmWait&) {
        QCoreApplication::processEvents(); // what the user clicked meanwhile
        waits.clock().advance(31000);
    });

    form->cmdSendPosts->click();
    EXPECT_TRUE(clickedDuringUpload);
    EXPECT_EQ(uploads, 1);
    EXPECT_EQ(waits.waits(), 0);
    EXPECT_EQ(form->StatusText(), QStringLiteral("\tStopped..."));
    EXPECT_FALSE(form->IsSending);
    expectPublished(1);
    expectQueued(1);
    EXPECT_TRUE(boxes.isEmpty());
}

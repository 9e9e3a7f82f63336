#include "platform/com/RuntimeError.h"
#include "platform/ui/MsgBox.h"
#include "poster/convert/modConverter.h"
#include "poster/workflow/UploadRun.h"
#include "poster/workflow/frmMain.h"
#include "poster/workflow/frmWait.h"
#include "poster/workflow/modApp.h"
#include "poster/workflow/modWaitTimeSupport.h"
#include "tests/TestSupport.h"
#include "tests/poster/WaitWindowDriver.h"
#include "tests/poster/WindowSystemInput.h"

#include <QCheckBox>
#include <QComboBox>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>
#include <thread>

using namespace Qt::StringLiterals;

namespace {
// A queue of numbered posts and a log of every step the run takes.
class ScriptedSteps : public UploadRunSteps
{
public:
    explicit ScriptedSteps(QList<int> queue) : queue(std::move(queue)) {}

    int PostsLeft() const override { return queue.size(); }
    int RunTotal() const override { return runTotal < 0 ? PostsLeft() : runTotal; }
    void SelectFirstPost() override { log << QStringLiteral("select"); }
    void ShowStatus(const QString& text) override { log << text; }
    void ProcessInput() override
    {
        log << QStringLiteral("yield");
        if (stopAtYield-- == 0)
            stop = true;
    }
    bool StopRequested() const override { return stop; }
    bool SendFirstPost() override
    {
        log << QStringLiteral("send %1").arg(queue.first());
        if (queue.first() == raiseOn)
            raiseError(ErrCantCreateObject, QStringLiteral("test"));
        return queue.first() != failOn;
    }
    void RemoveFirstPost() override
    {
        log << QStringLiteral("remove %1").arg(queue.first());
        queue.removeFirst();
    }
    bool WaitBeforeNextPost() override
    {
        log << QStringLiteral("wait");
        return waitsToProceed-- > 0;
    }

    QList<int> queue;
    QStringList log;
    int runTotal = -1;
    int failOn = 0;
    int raiseOn = 0;
    int stopAtYield = -1;
    int waitsToProceed = 1000;
    bool stop = false;
};

QStringList pass(int n, int total, int post)
{
    return {u"select"_s, UploadingStatus(n, total), u"yield"_s, QStringLiteral("send %1").arg(post),
            QStringLiteral("remove %1").arg(post)};
}
} // namespace

TEST(UploadRunLoop, PublishesTheQueueInOrderAndWaitsOnlyBetweenPosts)
{
    ScriptedSteps noWait({7, 8, 9});
    UploadRunResult result = RunUpload(noWait, 1);
    EXPECT_EQ(noWait.log, pass(1, 3, 7) + pass(2, 3, 8) + pass(3, 3, 9));
    EXPECT_EQ(result.end, UploadRunEnd::AllDone);
    EXPECT_EQ(result.published, 3);
    EXPECT_EQ(result.total, 3);

    ScriptedSteps waiting({7, 8, 9});
    result = RunUpload(waiting, 2);
    const QStringList wait = {u"yield"_s, WaitingStatus, u"wait"_s};
    EXPECT_EQ(waiting.log, pass(1, 3, 7) + wait + pass(2, 3, 8) + wait + pass(3, 3, 9));
    EXPECT_EQ(result.end, UploadRunEnd::AllDone);

    ScriptedSteps single({5});
    RunUpload(single, 8);
    EXPECT_EQ(single.log, pass(1, 1, 5)); // no wait after the last post
}

TEST(UploadRunLoop, AFailedPostStaysFirstAndTheNextRunCountsAgainFromIt)
{
    ScriptedSteps steps({1, 2, 3});
    steps.failOn = 2;
    UploadRunResult result = RunUpload(steps, 1);
    EXPECT_EQ(result.end, UploadRunEnd::UploadFailed);
    EXPECT_EQ(result.published, 1);
    EXPECT_EQ(steps.queue, QList<int>({2, 3}));
    EXPECT_EQ(steps.log.mid(5), QStringList({u"select"_s, UploadingStatus(2, 3), u"yield"_s,
                                             u"send 2"_s, StoppedStatus}));

    steps.failOn = 0;
    steps.log.clear();
    result = RunUpload(steps, 1);
    EXPECT_EQ(steps.log, pass(1, 2, 2) + pass(2, 2, 3));
    EXPECT_EQ(result.end, UploadRunEnd::AllDone);
    EXPECT_EQ(result.total, 2);
}

TEST(UploadRunLoop, AHolderThatCountsEarlierPostsNumbersFromThem)
{
    ScriptedSteps steps({3, 4});
    steps.runTotal = 4; // two posts of the file were published by an earlier run
    RunUpload(steps, 1);
    EXPECT_EQ(steps.log, pass(3, 4, 3) + pass(4, 4, 4));
}

TEST(UploadRunLoop, AStopIsSeenAtTheYieldBeforeTheNextUpload)
{
    ScriptedSteps steps({1, 2, 3});
    steps.stopAtYield = 1; // asked during the first upload, seen at the second yield
    const UploadRunResult result = RunUpload(steps, 1);
    EXPECT_EQ(result.end, UploadRunEnd::Stopped);
    EXPECT_EQ(steps.log, pass(1, 3, 1) + QStringList({u"select"_s, UploadingStatus(2, 3),
                                                      u"yield"_s, StoppedStatus}));
    EXPECT_EQ(steps.queue, QList<int>({2, 3}));
}

TEST(UploadRunLoop, AStopAskedDuringAnUploadIsSeenBeforeTheWait)
{
    ScriptedSteps steps({1, 2, 3});
    steps.stopAtYield = 1; // the yield right after the first upload
    const UploadRunResult result = RunUpload(steps, 3);
    EXPECT_EQ(result.end, UploadRunEnd::Stopped);
    EXPECT_EQ(steps.log, pass(1, 3, 1) + QStringList({u"yield"_s, StoppedStatus}));
    EXPECT_EQ(steps.queue, QList<int>({2, 3}));
}

TEST(UploadRunLoop, StopInTheWaitKeepsTheRestAfterThePublishedPost)
{
    ScriptedSteps steps({1, 2, 3});
    steps.waitsToProceed = 1;
    const UploadRunResult result = RunUpload(steps, 3);
    EXPECT_EQ(result.end, UploadRunEnd::Stopped);
    EXPECT_EQ(result.published, 2);
    EXPECT_EQ(steps.queue, QList<int>({3}));
    EXPECT_EQ(steps.log.last(2), QStringList({u"wait"_s, StoppedStatus}));
}

TEST(UploadRunLoop, AnErrorPassesToTheCallerWithTheQueueUntouched)
{
    ScriptedSteps steps({1, 2});
    steps.raiseOn = 2;
    EXPECT_THROW(RunUpload(steps, 1), RuntimeError);
    EXPECT_EQ(steps.queue, QList<int>({2}));
}

namespace {
// What the main window showed while a post was being sent.
struct SendMoment
{
    QString title;
    QString status;
    QString caption;
    bool sending;
    bool stopEnabled;
    bool sendEnabled;
    bool listEnabled;
    int selectedRow;
    bool withOriginalTime;
    bool asBackdated;
};

class RunWindow : public ::testing::Test
{
protected:
    void SetUp() override
    {
        QByteArray text = "DIARY-EXPORT 1\n";
        for (int n = 1; n <= 3; ++n)
            text += "POST 2010-03-05 10:00:0" + QByteArray::number(n) + "\nTITLE Post " +
                    QByteArray::number(n) + "\nBODY\nbody\n.\n";
        form.show();
        form.chkSendAsBackdated->setChecked(false);
        form.chkSendWithOriginalTime->setChecked(true);
        form.cboWaitTime->setCurrentIndex(0);
        form.LoadDiaryFile(writeTestFile(QStringLiteral("three.txt"), text));
        form.UpdateControls();
        form.SendPostFunction = [this](const ComPtr<IDiaryPost>& post, bool original,
                                       bool backdated) {
            sent.append({post->Title(), form.StatusText().mid(1), form.windowTitle(),
                         form.IsSending, form.cmdStop->isEnabled(), form.cmdSendPosts->isEnabled(),
                         form.lstPosts->isEnabled(), form.lstPosts->currentRow(), original,
                         backdated});
            if (onSend)
                return onSend(post->Title());
            return true;
        };
    }
    void TearDown() override { form.IsSending = false; }

    QStringList sentTitles() const
    {
        QStringList titles;
        for (const SendMoment& moment : sent)
            titles << moment.title;
        return titles;
    }
    QStringList queuedTitles() const
    {
        QStringList titles;
        for (const auto& post : form.LoadedPosts)
            titles << post->Title();
        return titles;
    }
    void expectIdle(int queued)
    {
        EXPECT_FALSE(form.IsSending);
        EXPECT_FALSE(form.StopRequested);
        EXPECT_FALSE(form.cmdStop->isEnabled());
        EXPECT_EQ(form.cmdSendPosts->isEnabled(), queued > 0);
        EXPECT_TRUE(form.cmdLoadFile->isEnabled());
        EXPECT_TRUE(form.lstPosts->isEnabled());
        EXPECT_EQ(form.lstPosts->count(), queued);
        EXPECT_EQ(form.LoadedPosts.size(), queued);
        EXPECT_EQ(form.windowTitle(), QStringLiteral("Brivet poster :: %1").arg(queued));
    }

    MsgBoxScript boxes;
    frmMain form;
    QList<SendMoment> sent;
    std::function<bool(const QString& title)> onSend;
};

const QString AllDone = QStringLiteral("All done! ^_^v");
} // namespace

TEST_F(RunWindow, NoWaitPublishesEveryPostAndSaysAllDone)
{
    WaitWindowDriver waits;
    form.cmdSendPosts->click();

    ASSERT_EQ(sent.size(), 3);
    for (int i = 0; i < 3; ++i) {
        const SendMoment& m = sent.at(i);
        EXPECT_EQ(m.title, QStringLiteral("Post %1").arg(i + 1));
        EXPECT_EQ(m.status, QStringLiteral("Uploading post %1 of 3").arg(i + 1));
        EXPECT_EQ(m.caption, QStringLiteral("Brivet poster :: %1").arg(3 - i));
        EXPECT_TRUE(m.sending && m.stopEnabled);
        EXPECT_FALSE(m.sendEnabled || m.listEnabled);
        EXPECT_EQ(m.selectedRow, 0);
        EXPECT_TRUE(m.withOriginalTime);
        EXPECT_FALSE(m.asBackdated);
    }
    EXPECT_EQ(waits.waits(), 0);
    expectIdle(0);
    EXPECT_EQ(form.StatusText(), QStringLiteral("\t"));
    ASSERT_EQ(boxes.shown().size(), 1);
    EXPECT_EQ(boxes.shown().at(0).prompt, AllDone);
    EXPECT_EQ(boxes.shown().at(0).style, 64);
    EXPECT_EQ(boxes.shown().at(0).title, App().Title);
}

TEST_F(RunWindow, WaitsBetweenPostsButNotAfterTheLast)
{
    form.cboWaitTime->setCurrentIndex(1); // "3 sec."
    QStringList seen;
    WaitWindowDriver waits;
    waits.setAction([&](frmWait& wait) {
        seen << form.StatusText().mid(1) << wait.windowTitle()
             << QString::number(form.LoadedPosts.size());
        if (waits.waits() == 1)
            waits.clock().advance(4000); // the time runs out
        else
            wait.cmdDontWait->click();
    });
    form.cmdSendPosts->click();

    EXPECT_EQ(waits.waits(), 2);
    EXPECT_EQ(seen, QStringList({u"Waiting before next post..."_s, u"Brivet poster :: Waiting"_s,
                                 u"2"_s, u"Waiting before next post..."_s,
                                 u"Brivet poster :: Waiting"_s, u"1"_s}));
    EXPECT_EQ(sentTitles(), QStringList({u"Post 1"_s, u"Post 2"_s, u"Post 3"_s}));
    expectIdle(0);
    EXPECT_EQ(boxes.shown().size(), 1);
}

TEST_F(RunWindow, StopInTheWaitWindowKeepsTheRestAndSendGoesOnFromThere)
{
    form.cboWaitTime->setCurrentIndex(1);
    WaitWindowDriver waits([](frmWait& wait) { wait.cmdStop->click(); });
    form.cmdSendPosts->click();
    EXPECT_EQ(sentTitles(), QStringList({u"Post 1"_s}));
    EXPECT_EQ(queuedTitles(), QStringList({u"Post 2"_s, u"Post 3"_s}));
    EXPECT_EQ(form.StatusText(), QStringLiteral("\tStopped..."));
    expectIdle(2);
    EXPECT_TRUE(boxes.shown().isEmpty());

    form.cboWaitTime->setCurrentIndex(0);
    form.cmdSendPosts->click();
    EXPECT_EQ(sentTitles(), QStringList({u"Post 1"_s, u"Post 2"_s, u"Post 3"_s}));
    EXPECT_EQ(sent.at(1).status, QStringLiteral("Uploading post 1 of 2"));
    EXPECT_EQ(sent.at(2).status, QStringLiteral("Uploading post 2 of 2"));
    expectIdle(0);
}

TEST_F(RunWindow, AFailedUploadStopsTheRunAndKeepsThePostFirst)
{
    onSend = [](const QString& title) { return title != QLatin1String("Post 2"); };
    form.cmdSendPosts->click();
    EXPECT_EQ(sentTitles(), QStringList({u"Post 1"_s, u"Post 2"_s}));
    EXPECT_EQ(queuedTitles(), QStringList({u"Post 2"_s, u"Post 3"_s}));
    EXPECT_EQ(form.StatusText(), QStringLiteral("\tStopped..."));
    EXPECT_EQ(form.lstPosts->item(0)->text().right(6), QStringLiteral("Post 2"));
    expectIdle(2);
    EXPECT_TRUE(boxes.shown().isEmpty());

    onSend = {};
    form.cmdSendPosts->click();
    EXPECT_EQ(sentTitles(), QStringList({u"Post 1"_s, u"Post 2"_s, u"Post 2"_s, u"Post 3"_s}));
    EXPECT_EQ(sent.at(2).status, QStringLiteral("Uploading post 1 of 2"));
    expectIdle(0);
    EXPECT_EQ(boxes.shown().size(), 1);
}

TEST_F(RunWindow, StopEscapeOrCloseDuringAnUploadLetItFinishThenStop)
{
    const struct
    {
        const char* name;
        std::function<void(frmMain&)> ask;
    } ways[] = {
        {"Stop", [](frmMain& f) { f.cmdStop->click(); }},
        {"Escape", [](frmMain& f) { QTest::keyClick(f.cmdStop, Qt::Key_Escape); }},
        {"close", [](frmMain& f) { EXPECT_FALSE(f.close()); }},
    };
    for (const auto& way : ways) {
        SetUp(); // three more posts
        const int before = form.LoadedPosts.size();
        sent.clear();
        onSend = [&](const QString&) {
            way.ask(form);
            return true;
        };
        form.cmdSendPosts->click();
        EXPECT_EQ(sent.size(), 1) << way.name;
        EXPECT_EQ(form.LoadedPosts.size(), before - 1) << way.name;
        EXPECT_EQ(form.StatusText(), QStringLiteral("\tStopped...")) << way.name;
        EXPECT_TRUE(form.isVisible()) << way.name;
        expectIdle(before - 1);
    }
    EXPECT_TRUE(boxes.shown().isEmpty());
}

TEST_F(RunWindow, InputQueuedDuringAnUploadStopsTheRunBeforeTheWaitWindow)
{
    // The ways to stop as the window system delivers them: they arrive while the
    // upload holds the thread and are read only after it.
    const struct
    {
        const char* name;
        std::function<QueuedInput(frmMain&)> make;
    } ways[] = {
        {"Stop", [](frmMain& f) { return QueuedInput::click(f.cmdStop); }},
        {"Escape", [](frmMain& f) { return QueuedInput::key(f.cmdStop, Qt::Key_Escape); }},
        {"close", [](frmMain& f) { return QueuedInput::close(&f); }},
    };
    for (const auto& way : ways) {
        SetUp();                              // three more posts
        form.cboWaitTime->setCurrentIndex(2); // "30 sec."
        form.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
        const int before = form.LoadedPosts.size();
        sent.clear();
        onSend = [&](const QString&) {
            const QueuedInput input = way.make(form);
            std::thread arrives([&] { input.send(); });
            arrives.join();
            return true;
        };
        WaitWindowDriver waits([](frmWait& wait) { wait.cmdDontWait->click(); });
        form.cmdSendPosts->click();
        EXPECT_EQ(waits.waits(), 0) << way.name;
        EXPECT_EQ(sent.size(), 1) << way.name;
        EXPECT_EQ(form.StatusText(), QStringLiteral("\tStopped...")) << way.name;
        EXPECT_TRUE(form.isVisible()) << way.name;
        expectIdle(before - 1);
    }
    EXPECT_TRUE(boxes.shown().isEmpty());
}

TEST_F(RunWindow, TheBackdatedWarningCanCancelTheRunBeforeAnythingChanges)
{
    const QString warning = QStringLiteral(
        "\"Send as backdated\" is enabled. Your friends will not be notified about your new "
        "posts. Use this option only if you really need it.\r\n\r\nContinue with this option?");
    form.chkSendAsBackdated->setChecked(true);
    const QString status = form.StatusText();
    boxes.answer({vbCancel});
    form.cmdSendPosts->click();
    ASSERT_EQ(boxes.shown().size(), 1);
    EXPECT_EQ(boxes.shown().at(0).prompt, warning);
    EXPECT_EQ(boxes.shown().at(0).style, 49);
    EXPECT_EQ(boxes.shown().at(0).title, App().Title);
    EXPECT_TRUE(sent.isEmpty());
    EXPECT_EQ(form.StatusText(), status);
    expectIdle(3);

    boxes.clear();
    boxes.answer({vbOK});
    form.chkSendWithOriginalTime->setChecked(false);
    form.cmdSendPosts->click();
    ASSERT_EQ(sent.size(), 3);
    EXPECT_TRUE(sent.at(0).asBackdated);
    EXPECT_FALSE(sent.at(0).withOriginalTime);
    ASSERT_EQ(boxes.shown().size(), 2);
    EXPECT_EQ(boxes.shown().at(1).prompt, AllDone);
}

TEST_F(RunWindow, ABodyTheConverterRefusesNamesThePostAndLeavesItQueued)
{
    // Nested links whose text would double with every level.
    const QString body =
        QStringLiteral("[URL]").repeated(40) + QStringLiteral("[/URL]").repeated(40);
    onSend = [&](const QString& title) -> bool {
        if (title == QLatin1String("Post 2"))
            ConvertPostBody(body, true);
        return true;
    };
    form.cmdSendPosts->click();
    ASSERT_EQ(boxes.shown().size(), 1);
    EXPECT_EQ(boxes.shown().at(0).style, vbCritical);
    const QString& prompt = boxes.shown().at(0).prompt;
    EXPECT_TRUE(prompt.contains(QLatin1String("Post 2"))) << prompt.toStdString();
    EXPECT_TRUE(prompt.contains(QLatin1String("nested too deeply"))) << prompt.toStdString();
    EXPECT_EQ(queuedTitles(), QStringList({u"Post 2"_s, u"Post 3"_s}));
    expectIdle(2);
}

TEST_F(RunWindow, AnErrorInsideARunIsShownAndLeavesTheWindowUsable)
{
    onSend = [](const QString& title) -> bool {
        if (title == QLatin1String("Post 2"))
            raiseError(ErrCantCreateObject, QStringLiteral("KWQT0100.olvHTTPRequestHT"));
        return true;
    };
    form.cmdSendPosts->click();
    ASSERT_EQ(boxes.shown().size(), 1);
    EXPECT_EQ(boxes.shown().at(0).style, 16);
    EXPECT_TRUE(boxes.shown().at(0).prompt.contains(QLatin1String("KWQT0100.olvHTTPRequestHT")))
        << boxes.shown().at(0).prompt.toStdString();
    EXPECT_EQ(queuedTitles(), QStringList({u"Post 2"_s, u"Post 3"_s}));
    expectIdle(2);
    EXPECT_TRUE(form.close());
}

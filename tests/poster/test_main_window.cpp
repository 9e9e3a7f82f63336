#include "platform/ui/MsgBox.h"
#include "poster/workflow/frmMain.h"
#include "poster/workflow/modApp.h"
#include "poster/workflow/modAppWindowTitle.h"
#include "poster/workflow/modCheckDiaryPostTimes.h"
#include "poster/workflow/modDateFormat.h"
#include "poster/workflow/modMain.h"
#include "poster/workflow/modPostListLine.h"
#include "support/dialogs/OpenFileDialog.h"
#include "support/settings/SettingsStore.h"
#include "tests/TestSupport.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

namespace {
ComPtr<IDiaryPost> post(QDateTime when, const QString& title, const QString& body,
                        bool adult = false)
{
    DiaryPostData data;
    data.postDate = when;
    data.title = title;
    data.body = body;
    data.adultOnly = adult;
    return newDiaryPost(std::move(data));
}

QDateTime at(int h, int m, int s, QDate date = QDate(2010, 3, 5))
{
    return QDateTime(date, QTime(h, m, s), Qt::UTC);
}

// A diary file whose posts have the given times ("hh:mm:ss" on 2010-03-05).
QString diaryWithTimes(const QString& name, const QStringList& times)
{
    QByteArray text = "DIARY-EXPORT 1\n";
    int n = 0;
    for (const QString& time : times)
        text += "POST 2010-03-05 " + time.toLatin1() + "\nTITLE Post " + QByteArray::number(++n) +
                "\nBODY\nbody\n.\n";
    return writeTestFile(name, text);
}

QStringList lines(const frmMain& form)
{
    QStringList result;
    for (int i = 0; i < form.lstPosts->count(); ++i)
        result << form.lstPosts->item(i)->text();
    return result;
}

class MainWindow : public ::testing::Test
{
protected:
    MsgBoxScript boxes;
};
} // namespace

TEST(PostListLine, FormatsDateAdultMarkAndTitleOrBody)
{
    const QString longBody = QString(60, QLatin1Char('x'));
    const struct
    {
        ComPtr<IDiaryPost> post;
        const char* line;
    } cases[] = {
        {post(at(19, 7, 3), QStringLiteral("Spring"), QString(), true),
         "05.03.2010  07:07:03 PM * Spring"},
        {post(at(0, 0, 0), QStringLiteral("t"), QString()), "05.03.2010  12:00:00 AM   t"},
        {post(at(12, 0, 0), QStringLiteral("t"), QString()), "05.03.2010  12:00:00 PM   t"},
        {post(at(13, 5, 9), QStringLiteral("t"), QString()), "05.03.2010  01:05:09 PM   t"},
        {post(at(11, 59, 59), QStringLiteral("t"), QString()), "05.03.2010  11:59:59 AM   t"},
        {post(at(1, 2, 3), QString(), longBody), "05.03.2010  01:02:03 AM   "},
        {post(at(1, 2, 3), QString(), QStringLiteral("short")), "05.03.2010  01:02:03 AM   short"},
    };
    for (const auto& c : cases) {
        QString expected = QString::fromUtf8(c.line);
        if (c.post->Body() == longBody)
            expected += longBody.left(50);
        EXPECT_EQ(PostListLine(c.post.get()), expected);
    }
}

TEST(DateTexts, KeysTitlesAndGeneralDates)
{
    EXPECT_EQ(TimeKeyText(at(13, 5, 9)), QStringLiteral("2010-03-05 13-05-09"));
    EXPECT_EQ(WindowTitle(), QStringLiteral("Brivet poster"));
    EXPECT_EQ(WindowTitle(QString(), QStringLiteral("Starting")),
              QStringLiteral("Brivet poster :: Starting"));
    EXPECT_EQ(WindowTitle(QStringLiteral("Base"), QStringLiteral("0")),
              QStringLiteral("Base :: 0"));
    const QLocale us(QLocale::English, QLocale::UnitedStates);
    EXPECT_EQ(GeneralDateText(at(0, 0, 0), us), QStringLiteral("3/5/10"));
    EXPECT_EQ(GeneralDateText(at(19, 7, 3), us), QStringLiteral("3/5/10 7:07:03 PM"));
    const QLocale ru(QLocale::Russian, QLocale::Russia);
    EXPECT_EQ(GeneralDateText(at(19, 7, 3), ru), QStringLiteral("05.03.2010 19:07:03"));
}

TEST_F(MainWindow, StartsEmptyWithTheIdleControls)
{
    frmMain form;
    EXPECT_EQ(form.windowTitle(), QStringLiteral("Brivet poster :: 0"));
    EXPECT_EQ(form.StatusText(), QStringLiteral("\t"));
    EXPECT_EQ(form.lstPosts->count(), 0);
    EXPECT_FALSE(form.cmdSendPosts->isEnabled());
    EXPECT_FALSE(form.cmdClear->isEnabled());
    EXPECT_FALSE(form.cmdStop->isEnabled());
    EXPECT_TRUE(form.cmdLoadFile->isEnabled());
    EXPECT_TRUE(form.cmdProxy->isEnabled());
    EXPECT_EQ(form.cboWaitTime->count(), 8);
    EXPECT_EQ(form.cboWaitTime->itemText(0), QStringLiteral("No wait"));
    EXPECT_EQ(form.cboWaitTime->itemText(7), QStringLiteral("1 hr."));
    // The hidden Userpics button leaves its place to Proxy, and the column closes up.
    EXPECT_TRUE(form.cmdUserpics->isHidden());
    EXPECT_EQ(form.cmdProxy->geometry(), QRect(400, 80, 81, 29));
    EXPECT_EQ(form.cboWaitTime->y(), 224 - 32);
    EXPECT_TRUE(form.chkSendWithOriginalTime->isHidden());
    EXPECT_EQ(form.stStatus->y(), 248);
    EXPECT_EQ(form.lstPosts->geometry(), QRect(8, 8, 385, 229));
    EXPECT_EQ(form.cmdClear->text(), QStringLiteral("Clear"));
    EXPECT_EQ(form.chkSendAsBackdated->toolTip(),
              QStringLiteral(" See ReadMe.TXT file for info on this checkbox "));
    EXPECT_TRUE(boxes.shown().isEmpty());
}

TEST_F(MainWindow, LoadsFilesOneAfterAnother)
{
    frmMain form;
    const QString file = diaryWithTimes(
        QStringLiteral("three.txt"),
        {QStringLiteral("10:00:00"), QStringLiteral("11:00:00"), QStringLiteral("12:00:00")});
    form.LoadDiaryFile(file);
    EXPECT_EQ(form.StatusText(), QStringLiteral("\tLoaded posts: 3 (3 total)"));
    form.lstPosts->setCurrentRow(2);
    form.LoadDiaryFile(file);
    form.UpdateControls();
    EXPECT_EQ(form.StatusText(), QStringLiteral("\tLoaded posts: 3 (6 total)"));
    EXPECT_EQ(form.LoadedPosts.size(), 6);
    EXPECT_EQ(lines(form).at(3), QStringLiteral("05.03.2010  10:00:00 AM   Post 1"));
    EXPECT_EQ(form.lstPosts->currentRow(), 0); // the first line of the whole list
    EXPECT_EQ(form.windowTitle(), QStringLiteral("Brivet poster :: 6"));
    EXPECT_TRUE(form.cmdSendPosts->isEnabled());

    const QString empty = writeTestFile(QStringLiteral("none.txt"), "DIARY-EXPORT 1\n");
    form.LoadDiaryFile(empty);
    EXPECT_EQ(form.StatusText(), QStringLiteral("\tLoaded posts: 0 (6 total)"));
}

TEST_F(MainWindow, ABadFileShowsWhyAndChangesNothing)
{
    frmMain form;
    form.LoadDiaryFile(diaryWithTimes(QStringLiteral("one.txt"), {QStringLiteral("10:00:00")}));
    const QString bad = writeTestFile(QStringLiteral("bad.txt"),
                                      "DIARY-EXPORT 1\nPOST 2010-01-01 10:00:00\nBODY\ncut short");
    form.LoadDiaryFile(bad);
    ASSERT_EQ(boxes.shown().size(), 1);
    EXPECT_EQ(boxes.shown()[0].style, vbCritical);
    EXPECT_EQ(boxes.shown()[0].title, QStringLiteral("Olvane - Brivet poster"));
    EXPECT_TRUE(boxes.shown()[0].prompt.startsWith(
        bad + QStringLiteral("\r\n\r\nCan't open diary file.\r\n\r\nline 4: ")));
    EXPECT_EQ(form.LoadedPosts.size(), 1);
    EXPECT_EQ(form.StatusText(), QStringLiteral("\tLoaded posts: 1 (1 total)"));
}

TEST_F(MainWindow, DuplicateTimesWarnAndCancelKeepsTheList)
{
    frmMain form;
    form.LoadDiaryFile(diaryWithTimes(QStringLiteral("first.txt"), {QStringLiteral("09:00:00")}));
    const QString dupes = diaryWithTimes(QStringLiteral("dupes.txt"),
                                         {QStringLiteral("09:00:00"), QStringLiteral("10:00:00"),
                                          QStringLiteral("10:00:00"), QStringLiteral("10:00:01"),
                                          QStringLiteral("10:00:00")});
    boxes.answer({vbCancel});
    form.LoadDiaryFile(dupes);
    ASSERT_EQ(boxes.shown().size(), 1);
    const ShownBox& box = boxes.shown()[0];
    EXPECT_EQ(box.style, 49);
    const QString crlf = QStringLiteral("\r\n");
    const QString expected =
        QStringLiteral(
            "В файле дневника найдены посты с одинакомым временем. При выгрузке таких постов "
            "возможны коллизии, и в конечном итоге из всех постов с одинаковым временем в "
            "журнале окажется только один.") +
        crlf + crlf + QStringLiteral("Посты-дубли: ") + crlf + crlf +
        QStringLiteral("\u2022 #3 - ") + GeneralDateText(at(10, 0, 0)) + crlf +
        QStringLiteral("\u2022 #5 - ") + GeneralDateText(at(10, 0, 0)) + crlf + crlf +
        QStringLiteral(
            "Рекомендуется отменить загрузку, открыть файл дневника и вручную поправить даты.") +
        crlf + crlf + QStringLiteral("Продолжить загрузку?");
    EXPECT_EQ(box.prompt, expected);
    EXPECT_EQ(form.LoadedPosts.size(), 1); // the earlier post at 09:00:00 is not compared
    EXPECT_EQ(form.StatusText(), QStringLiteral("\tLoaded posts: 1 (1 total)"));

    boxes.answer({vbOK});
    form.LoadDiaryFile(dupes);
    EXPECT_EQ(form.LoadedPosts.size(), 6);
}

TEST(CheckDiaryPostTimes, SinglePostsAndDistinctSecondsNeedNoQuestion)
{
    MsgBoxScript boxes;
    EXPECT_TRUE(CheckDiaryPostTimes(newDiaryPostList({}).get()));
    EXPECT_TRUE(CheckDiaryPostTimes(newDiaryPostList({post(at(1, 0, 0), {}, {})}).get()));
    EXPECT_TRUE(CheckDiaryPostTimes(
        newDiaryPostList({post(at(1, 0, 0), {}, {}), post(at(1, 0, 1), {}, {})}).get()));
    EXPECT_TRUE(CheckDiaryPostTimes(
        newDiaryPostList({post(at(1, 0, 0), {}, {}), post(at(1, 0, 0, QDate(2010, 3, 6)), {}, {})})
            .get()));
    EXPECT_TRUE(boxes.shown().isEmpty());
}

TEST_F(MainWindow, TheSampleDiarysWarningShowsWholeAndWrappedInTheRealBox)
{
    setMsgBoxHook({}); // the real box
    frmMain form;
    form.show();
    QString shown, title;
    bool wrapped = false, details = true, onScreen = false;
    QTimer timer;
    timer.setInterval(1);
    QObject::connect(&timer, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box || !box->isVisible())
            return;
        timer.stop();
        const auto* label = box->findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
        shown = label->text();
        wrapped = label->wordWrap();
        title = box->windowTitle();
        details = box->findChild<QPlainTextEdit*>() != nullptr;
        onScreen = box->screen()->availableGeometry().contains(box->frameGeometry());
        box->button(QMessageBox::Ok)->click();
    });
    timer.start();
    form.LoadDiaryFile(sourceFolder() + QStringLiteral("/examples/sample-diary.txt"));

    EXPECT_TRUE(shown.startsWith(QStringLiteral("В файле дневника найдены посты с одинакомым "
                                                "временем. При выгрузке таких постов возможны "
                                                "коллизии, и в конечном итоге из всех постов с "
                                                "одинаковым временем в журнале окажется только "
                                                "один.\n\nПосты-дубли: \n")))
        << shown.toStdString();
    EXPECT_TRUE(shown.endsWith(QStringLiteral("Продолжить загрузку?")));
    EXPECT_TRUE(wrapped);
    EXPECT_FALSE(details);
    EXPECT_TRUE(onScreen);
    EXPECT_EQ(title, QStringLiteral("Olvane - Brivet poster"));
    EXPECT_GT(form.LoadedPosts.size(), 0); // OK went on loading
}

TEST_F(MainWindow, ButtonsAndTheWaitListFitTheirTexts)
{
    frmMain form;
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    EXPECT_EQ(captionsThatDoNotFit(&form).join(u'\n').toStdString(), "");
}

TEST_F(MainWindow, DeleteRemovesTheSelectedPostAndSelectsTheNext)
{
    frmMain form;
    form.LoadDiaryFile(diaryWithTimes(QStringLiteral("four.txt"),
                                      {QStringLiteral("01:00:00"), QStringLiteral("02:00:00"),
                                       QStringLiteral("03:00:00"), QStringLiteral("04:00:00")}));
    form.lstPosts->setCurrentRow(2);
    QTest::keyClick(form.lstPosts, Qt::Key_Delete);
    EXPECT_EQ(form.StatusText(), QStringLiteral("\tPost #3 was removed"));
    EXPECT_EQ(form.LoadedPosts.size(), 3);
    EXPECT_EQ(form.LoadedPosts.at(2)->Title(), QStringLiteral("Post 4"));
    EXPECT_EQ(form.lstPosts->currentRow(), 2); // the post that followed
    EXPECT_EQ(form.windowTitle(), QStringLiteral("Brivet poster :: 3"));

    QTest::keyClick(form.lstPosts, Qt::Key_Delete); // the last line
    EXPECT_EQ(form.lstPosts->currentRow(), 1);      // the new last line
    EXPECT_TRUE(form.lstPosts->currentItem()->isSelected());
    EXPECT_EQ(lines(form).size(), 2);

    QTest::keyClick(form.lstPosts, Qt::Key_Delete, Qt::ShiftModifier); // not a plain Delete
    EXPECT_EQ(form.LoadedPosts.size(), 2);

    QTest::keyClick(form.lstPosts, Qt::Key_Delete);
    QTest::keyClick(form.lstPosts, Qt::Key_Delete);
    EXPECT_EQ(form.LoadedPosts.size(), 0);
    EXPECT_TRUE(form.lstPosts->selectedItems().isEmpty());
    EXPECT_FALSE(form.cmdSendPosts->isEnabled());
    EXPECT_FALSE(form.cmdClear->isEnabled());
    QTest::keyClick(form.lstPosts, Qt::Key_Delete); // nothing selected: nothing happens
    EXPECT_EQ(form.StatusText(), QStringLiteral("\tPost #1 was removed"));
}

TEST_F(MainWindow, PreviewShowsTheHeaderAndTheRawBody)
{
    frmMain form;
    form.LoadedPosts = {
        post(at(19, 7, 3), QStringLiteral("Spring"), QStringLiteral("[b]Hi[/b]"), true),
        post(at(8, 0, 0), QString(), QStringLiteral("plain"))};
    form.lstPosts->addItems({QStringLiteral("a"), QStringLiteral("b")});
    form.lstPosts_DblClick(); // no selection: nothing
    EXPECT_TRUE(boxes.shown().isEmpty());
    form.lstPosts->setCurrentRow(0);
    form.lstPosts_DblClick();
    form.lstPosts->setCurrentRow(1);
    form.lstPosts_DblClick();
    ASSERT_EQ(boxes.shown().size(), 2);
    EXPECT_EQ(boxes.shown()[0].prompt, QStringLiteral("===[ Spring | 18+ | ") +
                                           GeneralDateText(at(19, 7, 3)) +
                                           QStringLiteral(" ]===\r\n\r\n[b]Hi[/b]"));
    EXPECT_EQ(boxes.shown()[0].style, vbInformation);
    // Shown with no title of its own, the box carries the program's.
    EXPECT_EQ(boxes.shown()[0].title, QStringLiteral("Olvane - Brivet poster"));
    EXPECT_EQ(boxes.shown()[1].prompt, QStringLiteral("===[ ") + GeneralDateText(at(8, 0, 0)) +
                                           QStringLiteral(" ]===\r\n\r\nplain"));
}

TEST_F(MainWindow, ClearEmptiesTheQueue)
{
    frmMain form;
    form.LoadDiaryFile(diaryWithTimes(QStringLiteral("two.txt"),
                                      {QStringLiteral("01:00:00"), QStringLiteral("02:00:00")}));
    form.UpdateControls();
    QTest::mouseClick(form.cmdClear, Qt::LeftButton);
    EXPECT_EQ(form.LoadedPosts.size(), 0);
    EXPECT_EQ(form.lstPosts->count(), 0);
    EXPECT_EQ(form.StatusText(), QStringLiteral("\tList was cleared"));
    EXPECT_EQ(form.windowTitle(), QStringLiteral("Brivet poster :: 0"));
}

TEST_F(MainWindow, SettingsSurviveARestartAndEscapeClosesWhileIdle)
{
    {
        frmMain form;
        form.show();
        form.move(33, 44);
        form.cboWaitTime->setCurrentIndex(5);
        form.chkSendWithOriginalTime->setChecked(false);
        form.chkSendAsBackdated->setChecked(true);
        QTest::keyClick(form.lstPosts, Qt::Key_Escape);
        EXPECT_FALSE(form.isVisible());
    }
    frmMain later;
    EXPECT_EQ(later.cboWaitTime->currentIndex(), 5);
    EXPECT_FALSE(later.chkSendWithOriginalTime->isChecked());
    EXPECT_TRUE(later.chkSendAsBackdated->isChecked());
    EXPECT_EQ(later.pos(), QPoint(33, 44));
}

TEST_F(MainWindow, AWaitIndexOutOfRangeSelectsNoWait)
{
    {
        frmMain form;
        form.cboWaitTime->setCurrentIndex(7);
        form.SaveSettings();
    }
    frmMain form;
    EXPECT_EQ(form.cboWaitTime->currentIndex(), 7);
    form.cboWaitTime->clear();
    form.cboWaitTime->addItems({QStringLiteral("only")});
    form.LoadSettings(); // 7 is now out of range
    EXPECT_EQ(form.cboWaitTime->currentIndex(), 0);
}

TEST_F(MainWindow, DuringARunEscapeAndCloseOnlyAskTheRunToStop)
{
    frmMain form;
    form.show();
    form.IsSending = true;
    form.UpdateControls();
    EXPECT_TRUE(form.cmdStop->isEnabled());
    EXPECT_FALSE(form.lstPosts->isEnabled());
    EXPECT_FALSE(form.cmdLoadFile->isEnabled());
    QTest::keyClick(&form, Qt::Key_Escape);
    EXPECT_TRUE(form.StopRequested);
    EXPECT_TRUE(form.isVisible());
    form.StopRequested = false;
    EXPECT_FALSE(form.close());
    EXPECT_TRUE(form.StopRequested);
    EXPECT_TRUE(form.isVisible());
    form.IsSending = false;
}

TEST_F(MainWindow, LoadAsksForAFileAndRemembersItsFolder)
{
    frmMain form;
    const QString file = diaryWithTimes(QStringLiteral("chosen.txt"), {QStringLiteral("01:00:00")});
    OpenFileDialog::setNextFileName(QString()); // cancelled: nothing happens
    QTest::mouseClick(form.cmdLoadFile, Qt::LeftButton);
    EXPECT_EQ(form.LoadedPosts.size(), 0);
    OpenFileDialog::setNextFileName(file);
    QTest::mouseClick(form.cmdLoadFile, Qt::LeftButton);
    EXPECT_EQ(form.LoadedPosts.size(), 1);
    EXPECT_EQ(form.windowTitle(), QStringLiteral("Brivet poster :: 1"));
    EXPECT_EQ(OpenFileDialog::qtFilter(QStringLiteral("Text files|*.TXT;*.QNP|All files|*.*")),
              QStringLiteral("Text files (*.TXT *.txt *.QNP *.qnp);;All files (*)"));
}

TEST_F(MainWindow, ShiftF1ShowsTheAboutWindow)
{
    frmMain form;
    QTest::keyClick(form.lstPosts, Qt::Key_F1, Qt::ShiftModifier);
    ASSERT_EQ(boxes.shown().size(), 1);
    EXPECT_EQ(boxes.shown()[0].style, vbInformation);
    EXPECT_TRUE(boxes.shown()[0].title.startsWith(QStringLiteral("About ")));
    EXPECT_TRUE(boxes.shown()[0].prompt.contains(QStringLiteral("Brivet poster")));
}

TEST_F(MainWindow, ASettingsStoreThatCannotSaveDoesNotStopALoad)
{
    frmMain form;
    const QString file =
        diaryWithTimes(QStringLiteral("unsaved.txt"), {QStringLiteral("01:00:00")});
    const QString settings = settingsFileName(App());
    QFile::remove(settings);
    ASSERT_TRUE(QDir().mkpath(settings)); // a folder where the settings file should be
    OpenFileDialog::setNextFileName(file);
    QTest::mouseClick(form.cmdLoadFile, Qt::LeftButton);
    QDir(settings).removeRecursively();
    EXPECT_EQ(form.LoadedPosts.size(), 1);
    EXPECT_TRUE(boxes.shown().isEmpty());
}

TEST(PostListLine, AHugeTitleIsCutToWhatTheListCanShow)
{
    const QString title = QString(10'000'000, QLatin1Char('t'));
    const QString line = PostListLine(post(at(1, 2, 3), title, QString()).get());
    EXPECT_EQ(line, QStringLiteral("05.03.2010  01:02:03 AM   ") + QString(1000, QLatin1Char('t')) +
                        QStringLiteral("\u2026"));
    const QString ordinary = QString(300, QLatin1Char('o'));
    EXPECT_TRUE(PostListLine(post(at(1, 2, 3), ordinary, QString()).get()).endsWith(ordinary));
}

TEST_F(MainWindow, CarriesTheProgramIcon)
{
    ASSERT_TRUE(QFile::exists(QStringLiteral(":/icons/A_MAIN.xpm")));
    frmMain form;
    EXPECT_FALSE(form.windowIcon().isNull());
    EXPECT_FALSE(form.windowIcon().pixmap(32, 32).isNull());
}

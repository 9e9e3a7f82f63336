#include "platform/com/RuntimeError.h"
#include "poster/workflow/Clock.h"
#include "poster/workflow/frmWait.h"
#include "poster/workflow/modProgressBarSupport.h"
#include "poster/workflow/modWaitTimeSupport.h"
#include "tests/TestSupport.h"

#include <QComboBox>
#include <QGroupBox>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {
const QDateTime Start(QDate(2011, 2, 3), QTime(10, 0, 0), Qt::UTC);

enum Row {
    NoWait = 1,
    ThreeSeconds,
    ThirtySeconds,
    OneMinute,
    EightMinutes,
    SixteenMinutes,
    ThirtyTwoMinutes,
    OneHour
};

// A wait window on a hand-moved clock that starts msIntoSecond after a whole second.
class WaitWindow : public ::testing::Test
{
protected:
    void SetUp() override
    {
        InitWaitTimes();
        setCurrentClock(&clock);
    }
    void TearDown() override
    {
        setCurrentClock(nullptr);
        InitWaitTimes();
        WaitChoice = 1;
    }
    std::unique_ptr<frmWait> open(int row, int msIntoSecond = 0)
    {
        clock.advance(msIntoSecond);
        WaitChoice = row;
        return std::make_unique<frmWait>();
    }
    QString caption(const frmWait& wait) const { return wait.fraTimeRemaining->title(); }

    ManualClock clock{Start};
    MsgBoxScript boxes;
};
} // namespace

TEST(WaitTimeTable, ListsTheEightChoicesWithTheirLengths)
{
    QComboBox box;
    FillWaitTimeList(&box);
    FillWaitTimeList(new QComboBox(&box)); // a second window does not double the table
    const QStringList captions = {u"No wait"_s, u"3 sec."_s,  u"30 sec."_s, u"1 min."_s,
                                  u"8 min."_s,  u"16 min."_s, u"32 min."_s, u"1 hr."_s};
    ASSERT_EQ(box.count(), captions.size());
    for (int i = 0; i < box.count(); ++i)
        EXPECT_EQ(box.itemText(i), captions.at(i));
    EXPECT_EQ(WaitTimeCaptions, captions);
    EXPECT_EQ(WaitTimeIntervals,
              QStringList({u""_s, u"s"_s, u"s"_s, u"n"_s, u"n"_s, u"n"_s, u"n"_s, u"h"_s}));
    EXPECT_EQ(WaitTimeAmounts,
              QStringList({u""_s, u"3"_s, u"30"_s, u"1"_s, u"8"_s, u"16"_s, u"32"_s, u"1"_s}));

    const qint64 seconds[] = {3, 30, 60, 480, 960, 1920, 3600};
    for (int row = ThreeSeconds; row <= OneHour; ++row)
        EXPECT_EQ(Start.secsTo(WaitEndTime(Start, row)), seconds[row - ThreeSeconds]) << row;
    // "No wait" has no length, and rows outside the table are argument errors.
    for (int row : {0, 1, 9}) {
        try {
            WaitEndTime(Start, row);
            ADD_FAILURE() << row;
        } catch (const RuntimeError& error) {
            EXPECT_EQ(error.number(), ErrInvalidProcedureCall);
        }
    }
}

TEST(ProgressBarSupport, StyleBitsAreSetAndClearedAlone)
{
    QProgressBar bar;
    SetWindowStyleBits(&bar, 0x30, true);
    SetProgressBarSmooth(&bar, true);
    EXPECT_EQ(bar.property("windowStyle").toInt(), 0x31);
    EXPECT_TRUE(bar.styleSheet().isEmpty()); // one solid bar
    SetProgressBarSmooth(&bar, false);
    EXPECT_EQ(bar.property("windowStyle").toInt(), 0x30);
    EXPECT_FALSE(bar.styleSheet().isEmpty()); // separate blocks
    SetWindowStyleBits(&bar, 0x10, false);
    EXPECT_EQ(bar.property("windowStyle").toInt(), 0x20);
    SetWindowStyleBits(nullptr, 1, true); // nothing to change, no crash
}

TEST_F(WaitWindow, OpensFullWithTheWholeWaitInItsCaption)
{
    const struct
    {
        int row;
        const char* text;
    } cases[] = {
        {ThreeSeconds, " Post will be sent in 3 sec "},
        {EightMinutes, " Post will be sent in 8 min 00 sec "},
        {OneHour, " Post will be sent in 1 hr 00 min 00 sec "},
    };
    for (const auto& c : cases) {
        const auto wait = open(c.row);
        EXPECT_EQ(wait->windowTitle(), QStringLiteral("Brivet poster :: Waiting"));
        EXPECT_EQ(caption(*wait), QString::fromLatin1(c.text));
        EXPECT_EQ(wait->pbTimeRemaining->value(), 100);
        EXPECT_EQ(wait->pbTimeRemaining->minimum(), 0);
        EXPECT_EQ(wait->pbTimeRemaining->maximum(), 100);
        EXPECT_TRUE(wait->pbTimeRemaining->property("windowStyle").toInt() & PBS_SMOOTH);
        EXPECT_FALSE(wait->DoProceed);
        EXPECT_TRUE(wait->IsWaiting());
        EXPECT_EQ(wait->StartTime, clock.now());
        EXPECT_EQ(wait->cmdDontWait->text(), QStringLiteral("Don't wait"));
        EXPECT_EQ(wait->cmdStop->text(), QStringLiteral("Stop"));
    }
}

TEST_F(WaitWindow, TheLongestCountdownAndTheButtonsFit)
{
    const auto wait = open(OneHour);
    wait->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(wait.get()));
    EXPECT_EQ(captionsThatDoNotFit(wait.get()).join(u'\n').toStdString(), "");
}

TEST_F(WaitWindow, ThreeSecondsEndAtTheFirstTickPastTheEndToTheSecond)
{
    // The times are kept to the second, so where in its second the wait starts decides
    // which tick ends it: the first one at which now, to the second, is past the end.
    const struct
    {
        int startMs;
        int endsAfterMs;
    } cases[] = {{0, 4000}, {400, 4000}, {600, 3500}, {999, 3500}};
    for (const auto& c : cases) {
        const auto wait = open(ThreeSeconds, c.startMs);
        wait->show();
        clock.advance(c.endsAfterMs - 500);
        EXPECT_TRUE(wait->IsWaiting()) << c.startMs;
        EXPECT_FALSE(wait->DoProceed);
        EXPECT_EQ(caption(*wait), QStringLiteral(" Post will be sent in 0 sec "));
        EXPECT_EQ(wait->pbTimeRemaining->value(), 0);
        clock.advance(500);
        EXPECT_FALSE(wait->IsWaiting()) << c.startMs;
        EXPECT_TRUE(wait->DoProceed);
        EXPECT_TRUE(wait->isHidden());
        clock.advance(1000 - (c.startMs + c.endsAfterMs) % 1000); // back on a whole second
    }
}

TEST_F(WaitWindow, TheBarShowsTheShareStillToComeRoundedHalfToEven)
{
    const auto wait = open(EightMinutes);
    const struct
    {
        int afterSeconds;
        int bar;
        const char* text;
    } steps[] = {
        {1, 100, "7 min 59 sec"}, // 0.2 % gone
        {12, 98, "7 min 48 sec"}, // 2.5 % gone: to the even 2
        {36, 92, "7 min 24 sec"}, // 7.5 %: to the even 8
        {60, 88, "7 min 00 sec"}, // 12.5 %: 12
        {240, 50, "4 min 00 sec"}, {479, 0, "1 sec"}, {480, 0, "0 sec"},
    };
    qint64 at = 0;
    for (const auto& s : steps) {
        clock.advance((s.afterSeconds - at) * 1000);
        at = s.afterSeconds;
        EXPECT_EQ(wait->pbTimeRemaining->value(), s.bar) << s.afterSeconds;
        EXPECT_EQ(caption(*wait),
                  QStringLiteral(" Post will be sent in %1 ").arg(QString::fromLatin1(s.text)));
    }
    EXPECT_TRUE(wait->IsWaiting()); // at the end itself, not yet past it
    clock.advance(1000);
    EXPECT_TRUE(wait->DoProceed);
}

TEST_F(WaitWindow, AZeroLengthWaitShowsAFullBarAndEndsASecondLater)
{
    WaitTimeAmounts[ThreeSeconds - 1] = QStringLiteral("0");
    const auto wait = open(ThreeSeconds);
    EXPECT_EQ(wait->pbTimeRemaining->value(), 100);
    EXPECT_EQ(caption(*wait), QStringLiteral(" Post will be sent in 0 sec "));
    clock.advance(500);
    EXPECT_TRUE(wait->IsWaiting());
    clock.advance(500);
    EXPECT_FALSE(wait->IsWaiting());
    EXPECT_TRUE(wait->DoProceed);
}

TEST_F(WaitWindow, EveryWayOutButTimeAndDontWaitStops)
{
    const struct
    {
        const char* name;
        std::function<void(frmWait&)> leave;
        bool proceed;
    } ways[] = {
        {"Don't wait", [](frmWait& w) { w.cmdDontWait->click(); }, true},
        {"Stop", [](frmWait& w) { w.cmdStop->click(); }, false},
        {"close box", [](frmWait& w) { w.close(); }, false},
        {"Escape", [](frmWait& w) { QTest::keyClick(&w, Qt::Key_Escape); }, false},
        {"Enter", [](frmWait& w) { QTest::keyClick(&w, Qt::Key_Return); }, false},
    };
    for (const auto& way : ways) {
        const auto wait = open(ThirtySeconds);
        QTimer::singleShot(0, wait.get(), [&] {
            clock.advance(10'000);
            way.leave(*wait);
            // Enter ends nothing by itself; the wait goes on until Stop.
            if (wait->isVisible())
                wait->cmdStop->click();
        });
        wait->exec();
        EXPECT_EQ(wait->DoProceed, way.proceed) << way.name;
        EXPECT_FALSE(wait->IsWaiting()) << way.name;
        clock.advance(60'000); // no tick changes the answer afterwards
        EXPECT_EQ(wait->DoProceed, way.proceed) << way.name;
    }
}

TEST_F(WaitWindow, ShownModallyItReturnsWhenTheTimeIsOver)
{
    const auto wait = open(OneMinute);
    QTimer::singleShot(0, wait.get(), [&] { clock.advance(61'000); });
    wait->exec();
    EXPECT_TRUE(wait->DoProceed);
    EXPECT_EQ(wait->pbTimeRemaining->value(), 0);
    EXPECT_TRUE(boxes.shown().isEmpty());
}

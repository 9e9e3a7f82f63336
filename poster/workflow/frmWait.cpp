#include "poster/workflow/frmWait.h"

#include "poster/workflow/Clock.h"
#include "poster/workflow/modAppWindowTitle.h"
#include "poster/workflow/modProgressBarSupport.h"
#include "poster/workflow/modWaitTimeSupport.h"
#include "support/olvsupport0100/olvsupport0100.h"
#include "support/olvsupportfbe0100/olvsupportfbe0100.h"

#include <QFontDatabase>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>
#include <cmath>

namespace {
constexpr int TickMs = 500;

// Times of the wait are kept to the second, as the countdown shows them.
QDateTime toSecond(const QDateTime& time)
{
    QDateTime result = time;
    result.setTime(QTime(time.time().hour(), time.time().minute(), time.time().second()));
    return result;
}
} // namespace

frmWait::frmWait(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmWait"));
    setWindowTitle(QStringLiteral("WAIT"));
    setFont(QFontDatabase::systemFont(QFontDatabase::GeneralFont));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    fraTimeRemaining = new QGroupBox(QStringLiteral(" ... "), this);
    fraTimeRemaining->setObjectName(QStringLiteral("fraTimeRemaining"));
    pbTimeRemaining = new QProgressBar(fraTimeRemaining);
    pbTimeRemaining->setObjectName(QStringLiteral("pbTimeRemaining"));
    pbTimeRemaining->setTextVisible(false);
    cmdDontWait = new QPushButton(QStringLiteral("Don't wait"), this);
    cmdDontWait->setObjectName(QStringLiteral("cmdDontWait"));
    cmdStop = new QPushButton(QStringLiteral("Stop"), this);
    cmdStop->setObjectName(QStringLiteral("cmdStop"));
    // Enter must not end the wait by itself; only the buttons do.
    cmdDontWait->setAutoDefault(false);
    cmdStop->setAutoDefault(false);

    auto* frameLayout = new QVBoxLayout(fraTimeRemaining);
    frameLayout->addWidget(pbTimeRemaining);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cmdDontWait);
    buttons->addWidget(cmdStop);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(fraTimeRemaining);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    fraTimeRemaining->setMinimumWidth(300);

    connect(cmdDontWait, &QPushButton::clicked, this, &frmWait::cmdDontWait_Click);
    connect(cmdStop, &QPushButton::clicked, this, &frmWait::cmdStop_Click);

    Form_Load();
}

frmWait::~frmWait() = default;

void frmWait::Form_Load()
{
    adjustSize();
    sxCenterFormEx(this, 0);
    // No icon: a blank one, as an empty icon would fall back to the program's.
    QPixmap blank(16, 16);
    blank.fill(Qt::transparent);
    setWindowIcon(QIcon(blank));
    sxFixUserControlsContainerWindow();
    DoProceed = false;
    setWindowTitle(WindowTitle(QString(), QStringLiteral("Waiting")));
    StartWaiting();
}

void frmWait::StartWaiting()
{
    StartTime = toSecond(currentClock().now());
    EndTime = WaitEndTime(StartTime, WaitChoice);

    pbTimeRemaining->setMinimum(0);
    pbTimeRemaining->setMaximum(100);
    pbTimeRemaining->setValue(100);
    SetProgressBarSmooth(pbTimeRemaining, true);

    tmrCheck = currentClock().createTimer();
    tmrCheck->timeout = [this] { tmrCheck_Timer(); };
    tmrCheck->start(TickMs);
    tmrCheck_Timer();
}

bool frmWait::IsWaiting() const
{
    return tmrCheck && tmrCheck->isActive();
}

void frmWait::tmrCheck_Timer()
{
    const QDateTime now = toSecond(currentClock().now());

    const double left = std::max<qint64>(now.secsTo(EndTime), 0) * 1000.0;
    QString text;
    if (suFormatTimeInterval(left, &text) >= 0 && suTrimEx(text, &text) >= 0)
        fraTimeRemaining->setTitle(QStringLiteral(" Post will be sent in ") + text +
                                   QStringLiteral(" "));

    double gone = 0;
    const qint64 total = StartTime.secsTo(EndTime);
    if (total != 0)
        gone = std::nearbyint(static_cast<double>(StartTime.secsTo(now)) / total * 100.0);
    gone = std::clamp(gone, 0.0, 100.0);
    pbTimeRemaining->setValue(100 - static_cast<int>(gone));

    if (now > EndTime) {
        tmrCheck->stop();
        DoProceed = true;
        hide();
    }
}

void frmWait::hideEvent(QHideEvent* event)
{
    // However the window went away, its answer stands: no later tick may change it.
    if (tmrCheck)
        tmrCheck->stop();
    QDialog::hideEvent(event);
}

void frmWait::cmdDontWait_Click()
{
    DoProceed = true;
    hide();
}

void frmWait::cmdStop_Click()
{
    DoProceed = false;
    hide();
}

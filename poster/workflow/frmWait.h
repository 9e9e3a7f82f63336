#pragma once
// frmWait: the countdown between two posts of a run. It starts its wait when it is
// created, hides itself when the wait is over, and answers in DoProceed whether the
// run goes on (time over, "Don't wait") or stops ("Stop", or the window was closed).
#include <QDateTime>
#include <QDialog>
#include <memory>

class ClockTimer;
class QGroupBox;
class QProgressBar;
class QPushButton;

class frmWait : public QDialog
{
public:
    // The length of the wait comes from the row WaitChoice of the wait-time table;
    // time and ticks from currentClock().
    explicit frmWait(QWidget* parent = nullptr);
    ~frmWait() override;

    bool DoProceed = false;
    QDateTime StartTime;
    QDateTime EndTime;

    QGroupBox* fraTimeRemaining;
    QProgressBar* pbTimeRemaining;
    QPushButton* cmdDontWait;
    QPushButton* cmdStop;

    // True while the wait runs (the 500 ms tick is on).
    bool IsWaiting() const;

    void tmrCheck_Timer();
    void cmdDontWait_Click();
    void cmdStop_Click();

protected:
    void hideEvent(QHideEvent* event) override;

private:
    void Form_Load();
    void StartWaiting();

    std::unique_ptr<ClockTimer> tmrCheck;
};

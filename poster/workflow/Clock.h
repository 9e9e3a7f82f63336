#pragma once
// The time that the wait between posts runs on: the system clock in the program, a
// clock moved by hand in tests, so that a wait of minutes passes at once.
#include <QDateTime>
#include <functional>
#include <memory>
#include <vector>

// A repeating timer of a clock: calls timeout every interval until stopped.
class ClockTimer
{
public:
    virtual ~ClockTimer() = default;
    virtual void start(int intervalMs) = 0;
    virtual void stop() = 0;
    virtual bool isActive() const = 0;

    std::function<void()> timeout;
};

class Clock
{
public:
    virtual ~Clock() = default;
    // Now, in UTC, so that a wait never stretches or shrinks at a change of daylight
    // saving time.
    virtual QDateTime now() const = 0;
    virtual std::unique_ptr<ClockTimer> createTimer() = 0;
};

// The clock of the waits: the system clock unless setCurrentClock installed another.
Clock& currentClock();
// Installs clock (the caller keeps it alive); nullptr brings back the system clock.
void setCurrentClock(Clock* clock);

// A clock that stands still until advance() moves it; its timers fire during advance().
class ManualClock : public Clock
{
public:
    explicit ManualClock(const QDateTime& start);
    ~ManualClock() override;

    QDateTime now() const override { return m_now; }
    std::unique_ptr<ClockTimer> createTimer() override;

    // Moves the time forward by ms, firing on the way every timer that comes due, in
    // the order of their due times, each with the clock standing at its due time.
    void advance(qint64 ms);

private:
    class Timer;
    QDateTime m_now;
    std::vector<Timer*> m_timers;
};

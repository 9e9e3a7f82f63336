#include "poster/workflow/Clock.h"

#include <QTimer>
#include <algorithm>

namespace {
class SystemTimer : public ClockTimer
{
public:
    SystemTimer()
    {
        QObject::connect(&m_timer, &QTimer::timeout, &m_timer, [this] {
            if (timeout)
                timeout();
        });
    }
    void start(int intervalMs) override { m_timer.start(intervalMs); }
    void stop() override { m_timer.stop(); }
    bool isActive() const override { return m_timer.isActive(); }

private:
    QTimer m_timer;
};

class SystemClock : public Clock
{
public:
    QDateTime now() const override { return QDateTime::currentDateTimeUtc(); }
    std::unique_ptr<ClockTimer> createTimer() override { return std::make_unique<SystemTimer>(); }
};

SystemClock systemClock;
Clock* installedClock = nullptr;
} // namespace

Clock& currentClock()
{
    return installedClock ? *installedClock : systemClock;
}

void setCurrentClock(Clock* clock)
{
    installedClock = clock;
}

class ManualClock::Timer : public ClockTimer
{
public:
    explicit Timer(ManualClock* clock) : m_clock(clock) { clock->m_timers.push_back(this); }
    ~Timer() override
    {
        if (m_clock)
            std::erase(m_clock->m_timers, this);
    }
    void start(int intervalMs) override
    {
        m_interval = std::max(intervalMs, 1);
        m_active = m_clock != nullptr;
        if (m_clock)
            m_due = m_clock->m_now.addMSecs(m_interval);
    }
    void stop() override { m_active = false; }
    bool isActive() const override { return m_active; }

    ManualClock* m_clock;
    bool m_active = false;
    int m_interval = 0;
    QDateTime m_due;
};

ManualClock::ManualClock(const QDateTime& start) : m_now(start.toUTC()) {}

ManualClock::~ManualClock()
{
    for (Timer* timer : m_timers) {
        timer->m_clock = nullptr;
        timer->m_active = false;
    }
}

std::unique_ptr<ClockTimer> ManualClock::createTimer()
{
    return std::make_unique<Timer>(this);
}

void ManualClock::advance(qint64 ms)
{
    const QDateTime target = m_now.addMSecs(std::max<qint64>(ms, 0));
    for (;;) {
        // Timers may stop, start, create or destroy timers: look afresh every time.
        Timer* next = nullptr;
        for (Timer* timer : m_timers)
            if (timer->m_active && timer->m_due <= target && (!next || timer->m_due < next->m_due))
                next = timer;
        if (!next)
            break;
        m_now = next->m_due;
        next->m_due = m_now.addMSecs(next->m_interval);
        // A copy, as the timer may be destroyed by its own call.
        if (const std::function<void()> timeout = next->timeout)
            timeout();
    }
    m_now = target;
}

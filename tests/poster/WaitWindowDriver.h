#pragma once
// Acts on every wait window a run opens, from inside the window's modal loop, with a
// clock that the test moves by hand (installed for the driver's lifetime).
#include "poster/workflow/Clock.h"

#include <QTimer>
#include <functional>

class frmWait;

class WaitWindowDriver
{
public:
    // act is called once for each wait window, while it is shown.
    explicit WaitWindowDriver(std::function<void(frmWait&)> act = {});
    ~WaitWindowDriver();

    void setAction(std::function<void(frmWait&)> act) { m_act = std::move(act); }
    int waits() const { return m_waits; }
    ManualClock& clock() { return m_clock; }

private:
    void poll();

    ManualClock m_clock;
    std::function<void(frmWait&)> m_act;
    QTimer m_poll;
    int m_waits = 0;
};

#include "tests/poster/WaitWindowDriver.h"

#include "poster/workflow/frmWait.h"

#include <QApplication>

WaitWindowDriver::WaitWindowDriver(std::function<void(frmWait&)> act)
    : m_clock(QDateTime(QDate(2011, 2, 3), QTime(10, 0, 0), Qt::UTC)), m_act(std::move(act))
{
    setCurrentClock(&m_clock);
    m_poll.setInterval(1);
    QObject::connect(&m_poll, &QTimer::timeout, &m_poll, [this] { poll(); });
    m_poll.start();
}

WaitWindowDriver::~WaitWindowDriver()
{
    setCurrentClock(nullptr);
}

void WaitWindowDriver::poll()
{
    auto* wait = dynamic_cast<frmWait*>(QApplication::activeModalWidget());
    if (!wait || !wait->isVisible() || wait->property("driven").toBool())
        return;
    wait->setProperty("driven", true);
    ++m_waits;
    if (m_act)
        m_act(*wait);
}

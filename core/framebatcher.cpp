#include "core/framebatcher.h"

FrameBatcher::FrameBatcher(std::function<void()> update, std::chrono::milliseconds interval)
    : m_update(std::move(update))
    , m_interval(interval)
{
    m_timer.setSingleShot(true);
    // A coarse timer may fire up to 5% late; a frame is short enough to want it on time.
    m_timer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&m_timer, &QTimer::timeout, [this] { flush(); });
}

void FrameBatcher::request()
{
    m_pending = true;
    if (m_timer.isActive())
        return;
    const std::chrono::milliseconds since{m_lastRun.isValid() ? m_lastRun.elapsed()
                                                              : m_interval.count()};
    if (since >= m_interval)
        run();
    else
        m_timer.start(m_interval - since);
}

void FrameBatcher::flush()
{
    if (m_pending)
        run();
}

void FrameBatcher::run()
{
    m_pending = false;
    m_timer.stop();
    m_lastRun.start();
    m_update();
}

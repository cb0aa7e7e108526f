#include "core/framebatcher.h"

#include "platform/systeminfo.h"

#include <algorithm>

FrameBatcher::FrameBatcher(std::function<void()> update,
                           std::chrono::milliseconds interval,
                           std::optional<CpuBudget> budget)
    : m_update(std::move(update))
    , m_shortest(interval)
    , m_interval(interval)
    , m_budget(budget)
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
    adaptInterval();
    m_pending = false;
    m_timer.stop();
    m_lastRun.start();
    m_update();
}

void FrameBatcher::adaptInterval()
{
    if (!m_budget)
        return;
    const std::chrono::nanoseconds cpu = SystemInfo::processCpuTime();
    const std::chrono::nanoseconds spent = cpu - std::exchange(m_cpuAtLastRun, cpu);
    // After a quiet spell the time spent was not this stream's: start again at a frame.
    if (!m_lastRun.isValid() || m_lastRun.elapsed() > 2 * m_budget->longest.count()) {
        m_interval = m_shortest;
        return;
    }
    // What one run cost, spread over the interval that gives it its share; halfway towards
    // it each time, so that one slow frame does not jolt the pace.
    const double wantedMs = double(spent.count()) / 1e6 / m_budget->share;
    const double nextMs = (double(m_interval.count()) + wantedMs) / 2.0;
    m_interval
        = std::clamp(std::chrono::milliseconds(qint64(nextMs)), m_shortest, m_budget->longest);
}

#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QFile>
#include <QTimer>

#include <algorithm>
#include <cstring>
#include <ctime>

namespace bench {

// A field of /proc/self/status in bytes ("VmRSS", "VmHWM"); -1 where there is none.
inline qint64 statusBytes(const char *field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(field) && line.at(qsizetype(strlen(field))) == ':')
            return line.mid(qsizetype(strlen(field)) + 1).trimmed().split(' ').first().toLongLong()
                   * 1024;
    }
    return -1;
}

// CPU time the calling thread has used so far, in milliseconds.
inline double threadCpuMs()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) * 1000.0 + double(ts.tv_nsec) / 1.0e6;
}

// The longest stall of this thread's event loop since start(): the longest gap between the
// ticks of a 1 ms timer.
class StallMeter
{
public:
    StallMeter()
    {
        QObject::connect(&m_tick, &QTimer::timeout, [this] {
            m_longest = std::max(m_longest, m_sinceTick.nsecsElapsed());
            m_sinceTick.restart();
        });
    }
    void start()
    {
        m_tick.start(1);
        m_sinceTick.start();
    }
    double longestMs() const { return double(m_longest) / 1e6; }

private:
    QTimer m_tick;
    QElapsedTimer m_sinceTick;
    qint64 m_longest = 0;
};

} // namespace bench

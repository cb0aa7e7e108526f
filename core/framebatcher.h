#pragma once

#include <QElapsedTimer>
#include <QTimer>

#include <chrono>
#include <functional>

// Runs an update at most once per frame interval, however often it is asked for. The first
// request after a quiet spell runs at once, so a slow stream shows every piece as it comes;
// requests within an interval of the last run wait for its end and run together, so a fast one
// costs one update a frame rather than one a piece. flush() runs a waiting update now.
class FrameBatcher
{
public:
    // About one frame of a 60 Hz screen.
    static constexpr std::chrono::milliseconds frameInterval{16};

    explicit FrameBatcher(std::function<void()> update,
                          std::chrono::milliseconds interval = frameInterval);

    void request();
    // Runs the waiting update, if any, now.
    void flush();
    bool isPending() const { return m_pending; }

private:
    void run();

    std::function<void()> m_update;
    std::chrono::milliseconds m_interval;
    QTimer m_timer;
    QElapsedTimer m_lastRun; // invalid until the first run
    bool m_pending = false;
};

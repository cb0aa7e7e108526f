#pragma once

#include <QElapsedTimer>
#include <QTimer>

#include <chrono>
#include <functional>
#include <optional>

// Runs an update at most once per frame interval, however often it is asked for. The first
// request after a quiet spell runs at once, so a slow stream shows every piece as it comes;
// requests within an interval of the last run wait for its end and run together, so a fast one
// costs one update a frame rather than one a piece. flush() runs a waiting update now.
//
// With a CPU budget the interval also stretches, up to `longest`, so that the process's CPU
// time between two runs (the update and all it sets off: layout, drawing on the render thread,
// the pieces read meanwhile) stays within that share of one core. A window that costs little to draw updates
// every frame; on a small machine whose cores the engine needs, the text comes in fewer,
// larger steps instead of taking the engine's time.
class FrameBatcher
{
public:
    // About one frame of a 60 Hz screen.
    static constexpr std::chrono::milliseconds frameInterval{16};

    struct CpuBudget
    {
        double share;                      // of one core, e.g. 0.05
        std::chrono::milliseconds longest; // the interval never stretches beyond this
    };

    explicit FrameBatcher(std::function<void()> update,
                          std::chrono::milliseconds interval = frameInterval,
                          std::optional<CpuBudget> budget = std::nullopt);

    void request();
    // Runs the waiting update, if any, now.
    void flush();
    bool isPending() const { return m_pending; }
    // The interval in force: the frame interval, or longer under a CPU budget.
    std::chrono::milliseconds interval() const { return m_interval; }

private:
    void run();
    void adaptInterval();

    std::function<void()> m_update;
    std::chrono::milliseconds m_shortest;
    std::chrono::milliseconds m_interval;
    std::optional<CpuBudget> m_budget;
    std::chrono::nanoseconds m_cpuAtLastRun{};
    QTimer m_timer;
    QElapsedTimer m_lastRun; // invalid until the first run
    bool m_pending = false;
};

#pragma once

#include <atomic>
#include <memory>

// Ends file work on a worker thread early: the UI thread raises it when the app quits, and
// the job looks at it between chunks, so that the exit never waits for a whole file. Copies
// share the one flag; it is the only thing such a job shares with the UI thread.
class StopFlag
{
public:
    void raise() const { m_raised->store(true, std::memory_order_relaxed); }
    bool isRaised() const { return m_raised->load(std::memory_order_relaxed); }

private:
    std::shared_ptr<std::atomic<bool>> m_raised = std::make_shared<std::atomic<bool>>(false);
};

#pragma once

#include <QObject>
#include <QPointer>
#include <QTimer>

#include <chrono>
#include <coroutine>
#include <memory>
#include <utility>

// co_await SignalWait(sender, &Sender::signal, timeout): suspends until the signal is
// emitted (true), or the sender is destroyed or the timeout passes (false). A negative
// timeout waits for as long as it takes.
//
// Await it in a statement of its own (`const bool ok = co_await SignalWait(...)`), never as
// the condition of an `if`: GCC 12 builds `if (!co_await SignalWait(...))` so that a wake
// resumes a frame that is gone (an approval crashed that way).
//
// QCoro 0.8's signal awaiter is not used for this: it resumes through queued calls that
// outlive it, so a second emission in the same pass of the event loop (a process that goes
// Running and NotRunning at once), or an emission that lands just after its time-out, runs
// on the freed awaiter. And a sender destroyed first never resumes the coroutine, which
// then stays suspended for good, holding its frame. Here every wake is a queued call to a
// receiver that dies with the awaiter, and the sender's end is a wake too.
template<typename Sender, typename Signal>
class SignalWait
{
public:
    SignalWait(Sender *sender, Signal signal, std::chrono::milliseconds timeout)
        : m_wait(std::make_shared<Wait>())
    {
        m_wait->sender = sender;
        m_wait->signal = signal;
        m_wait->timeout = timeout;
    }

    bool await_ready() const noexcept { return !m_wait->sender; }

    void await_suspend(std::coroutine_handle<> waiting)
    {
        Wait *wait = m_wait.get();
        wait->waiting = waiting;
        QObject::connect(
            wait->sender.data(),
            wait->signal,
            &wait->receiver,
            [wait] { wait->wake(true); },
            Qt::QueuedConnection);
        QObject::connect(
            wait->sender.data(),
            &QObject::destroyed,
            &wait->receiver,
            [wait] { wait->wake(false); },
            Qt::QueuedConnection);
        if (wait->timeout >= std::chrono::milliseconds::zero()) {
            wait->timer.setSingleShot(true);
            QObject::connect(
                &wait->timer,
                &QTimer::timeout,
                &wait->receiver,
                [wait] { wait->wake(false); },
                Qt::QueuedConnection);
            wait->timer.start(wait->timeout);
        }
    }

    bool await_resume() const noexcept { return m_wait->emitted; }

private:
    // Shared by copies (GCC 12 copies an awaitable, even a named one): the connections point
    // here, never at a copy that may be gone.
    struct Wait
    {
        void wake(bool emitted)
        {
            // Calls queued behind the first in the same pass find the wait over.
            if (!waiting)
                return;
            this->emitted = emitted;
            timer.stop();
            std::exchange(waiting, nullptr).resume();
        }

        QPointer<Sender> sender;
        Signal signal{};
        std::chrono::milliseconds timeout{};
        std::coroutine_handle<> waiting;
        bool emitted = false;
        QTimer timer;
        QObject receiver; // first to go: the calls still queued for it go with it
    };
    std::shared_ptr<Wait> m_wait;
};

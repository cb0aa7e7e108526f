#pragma once

#include <QObject>
#include <QPointer>
#include <QTimer>

#include <chrono>
#include <coroutine>
#include <utility>

// co_await SignalWait(sender, &Sender::signal, timeout): suspends until the signal is
// emitted (true), or the sender is destroyed or the timeout passes (false). A negative
// timeout waits for as long as it takes.
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
        : m_sender(sender)
        , m_signal(signal)
        , m_timeout(timeout)
    {}
    SignalWait(const SignalWait &) = delete;
    SignalWait &operator=(const SignalWait &) = delete;

    bool await_ready() const noexcept { return !m_sender; }

    void await_suspend(std::coroutine_handle<> waiting)
    {
        m_waiting = waiting;
        QObject::connect(
            m_sender.data(), m_signal, &m_receiver, [this] { wake(true); }, Qt::QueuedConnection);
        QObject::connect(
            m_sender.data(),
            &QObject::destroyed,
            &m_receiver,
            [this] { wake(false); },
            Qt::QueuedConnection);
        if (m_timeout >= std::chrono::milliseconds::zero()) {
            m_timer.setSingleShot(true);
            QObject::connect(
                &m_timer,
                &QTimer::timeout,
                &m_receiver,
                [this] { wake(false); },
                Qt::QueuedConnection);
            m_timer.start(m_timeout);
        }
    }

    bool await_resume() const noexcept { return m_emitted; }

private:
    void wake(bool emitted)
    {
        // Calls queued behind the first in the same pass find the wait over.
        if (!m_waiting)
            return;
        m_emitted = emitted;
        m_timer.stop();
        std::exchange(m_waiting, nullptr).resume();
    }

    QPointer<Sender> m_sender;
    Signal m_signal;
    std::chrono::milliseconds m_timeout;
    std::coroutine_handle<> m_waiting;
    bool m_emitted = false;
    QTimer m_timer;
    QObject m_receiver; // first to go: the calls still queued for it go with it
};

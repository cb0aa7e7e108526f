#include "platform/processreaper.h"

#include "platform/signalwait.h"

namespace {

bool hasEnded(const QPointer<QProcess> &process)
{
    return !process || process->state() == QProcess::NotRunning;
}

} // namespace

QCoro::Task<bool> startProcess(QPointer<QProcess> process, QString program, QStringList arguments)
{
    process->start(program, arguments);
    while (process && process->state() == QProcess::Starting)
        co_await SignalWait(process.data(), &QProcess::stateChanged, std::chrono::seconds(30));
    co_return process
        && !(process->state() == QProcess::NotRunning
             && process->error() == QProcess::FailedToStart);
}

QCoro::Task<bool> awaitExit(QPointer<QProcess> process, std::chrono::milliseconds timeout)
{
    if (hasEnded(process))
        co_return true;
    const bool finished = co_await SignalWait(process.data(), &QProcess::finished, timeout);
    co_return finished || hasEnded(process);
}

QCoro::Task<> endProcess(QPointer<QProcess> process, std::chrono::milliseconds grace)
{
    if (hasEnded(process))
        co_return;
    if (grace > std::chrono::milliseconds::zero()) {
        process->terminate();
        const bool ended = co_await awaitExit(process, grace);
        if (ended)
            co_return;
    }
    if (!hasEnded(process))
        process->kill();
    const std::chrono::milliseconds reapTime = std::chrono::seconds(5);
    co_await awaitExit(process, reapTime);
}

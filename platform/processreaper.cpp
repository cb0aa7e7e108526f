#include "platform/processreaper.h"

#include "platform/signalwait.h"

#include <csignal>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif
#ifdef Q_OS_LINUX
#include <sys/prctl.h>
#endif

namespace {

bool hasEnded(const QPointer<QProcess> &process)
{
    return !process || process->state() == QProcess::NotRunning;
}

// The group of a process that was started with one of its own.
void signalGroup(const QPointer<QProcess> &process, int signal)
{
#ifdef Q_OS_UNIX
    if (!hasEnded(process) && process->processId() > 0)
        ::kill(-pid_t(process->processId()), signal);
#else
    Q_UNUSED(signal)
    if (!hasEnded(process))
        process->kill();
#endif
}

} // namespace

void endWithApp(QProcess *process, ProcessGroup group)
{
#ifdef Q_OS_UNIX
    const pid_t parentPid = ::getpid();
    const bool ownGroup = group == ProcessGroup::Own;
    process->setChildProcessModifier([parentPid, ownGroup] {
        if (ownGroup)
            ::setpgid(0, 0);
#ifdef Q_OS_LINUX
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
#endif
        // The app died between fork and prctl: nobody would end this child.
        if (::getppid() != parentPid)
            ::_exit(127);
    });
#else
    Q_UNUSED(process)
    Q_UNUSED(group)
#endif
}

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

QCoro::Task<> endProcessGroup(QPointer<QProcess> process, std::chrono::milliseconds grace)
{
    if (hasEnded(process))
        co_return;
    process->closeWriteChannel();
    const bool endedOnEof = co_await awaitExit(process, grace);
    if (endedOnEof)
        co_return;
    signalGroup(process, SIGTERM);
    const bool terminated = co_await awaitExit(process, grace);
    if (terminated)
        co_return;
    signalGroup(process, SIGKILL);
    co_await awaitExit(process, std::chrono::seconds(5));
}

void killProcessGroupNow(QProcess *process)
{
    if (!process || process->state() == QProcess::NotRunning)
        return;
    process->disconnect();
    signalGroup(process, SIGKILL);
    process->kill();
    process->waitForFinished(1000);
}

#pragma once

#include <QPointer>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <QCoroTask>

#include <chrono>

// Child processes end without blocking the main thread: every wait here suspends.
// Pass a named QPointer, not one converted from a raw pointer inside the co_await: with
// GCC 12 such a temporary's frame was freed while the call was suspended (a crash on resume).

// Whether a child gets a process group of its own: a server started through a launcher (npx,
// uvx, a shell script) runs as a grandchild, which only a signal to the whole group reaches.
enum class ProcessGroup { Shared, Own };

// Before the process starts: the kernel ends it (SIGKILL) when the app dies without ending
// it first, so that it never outlives the app (Linux; elsewhere only the group is set).
void endWithApp(QProcess *process, ProcessGroup group = ProcessGroup::Shared);

// Starts a process and waits until it runs or has failed to start. (QCoro's own start()
// only listens for success and sits out its whole time-out when the program cannot be
// executed.) True when the program was executed, even if it has already ended again.
QCoro::Task<bool> startProcess(QPointer<QProcess> process, QString program, QStringList arguments);

// Waits for a process to end; true when it has ended (or is gone). A negative timeout waits
// for as long as it takes.
QCoro::Task<bool> awaitExit(QPointer<QProcess> process, std::chrono::milliseconds timeout);

// Asks a process to terminate, waits up to `grace` for it, then kills it and waits for the
// kill to be reaped (briefly: a kill cannot be refused). A zero grace kills at once.
QCoro::Task<> endProcess(QPointer<QProcess> process, std::chrono::milliseconds grace);

// For a process started with its own group: closes its input (an orderly end for a program
// that serves its input), waits up to `grace` for it to end, then asks the whole group to
// terminate, waits `grace` again, and kills the group. Only waits that suspend.
QCoro::Task<> endProcessGroup(QPointer<QProcess> process, std::chrono::milliseconds grace);

// The last resort of a destructor, when no event loop may run again: kills the group at once
// and reaps the process (a kill cannot be refused, so the wait is short).
void killProcessGroupNow(QProcess *process);

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

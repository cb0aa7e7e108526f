#include "platform/xdgapplicationcontrol.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QProcess>
#include <QSet>
#include <QStandardPaths>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

namespace {

ServiceError applicationError(const QString &description)
{
    return ServiceError{QStringLiteral("Application"), -1, description};
}

QString resolveExecutable(const QString &program)
{
    const QString path
        = program.contains(QLatin1Char('/')) ? program : QStandardPaths::findExecutable(program);
    if (path.isEmpty())
        return {};
    const QFileInfo info(path);
    return info.isExecutable() ? info.canonicalFilePath() : QString();
}

// For a "#!" script: the interpreter's canonical path ("#!/usr/bin/env python3" resolves python3).
QString scriptInterpreter(const QString &script)
{
    QFile file(script);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray first = file.readLine(4096);
    if (!first.startsWith("#!"))
        return {};
    const QStringList words = QString::fromLocal8Bit(first.mid(2))
                                  .simplified()
                                  .split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (words.isEmpty())
        return {};
    if (QFileInfo(words.first()).fileName() == QLatin1String("env")) {
        for (qsizetype i = 1; i < words.size(); ++i) {
            if (!words.at(i).startsWith(QLatin1Char('-')) && !words.at(i).contains(QLatin1Char('=')))
                return resolveExecutable(words.at(i));
        }
        return {};
    }
    return resolveExecutable(words.first());
}

QString canonical(const QString &path)
{
    return path.isEmpty() ? QString() : QFileInfo(path).canonicalFilePath();
}

struct ProcessInfo
{
    qint64 pid = 0;
    QString executable; // canonical /proc/<pid>/exe
    QStringList arguments;
};

// This user's processes, except this one. /proc is read directly: no tool, no shell.
QList<ProcessInfo> userProcesses()
{
    QList<ProcessInfo> processes;
    const uid_t uid = ::getuid();
    const qint64 self = QCoreApplication::applicationPid();
    const QDir proc(QStringLiteral("/proc"));
    const QStringList names = proc.entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString &name : names) {
        bool isNumber = false;
        const qint64 pid = name.toLongLong(&isNumber);
        if (!isNumber || pid == self)
            continue;
        const QByteArray dir = QByteArrayLiteral("/proc/") + name.toLatin1();
        struct stat status;
        if (::stat(dir.constData(), &status) != 0 || status.st_uid != uid)
            continue;
        ProcessInfo info;
        info.pid = pid;
        char target[4096];
        const ssize_t length = ::readlink((dir + "/exe").constData(), target, sizeof target - 1);
        if (length > 0)
            info.executable = canonical(QString::fromLocal8Bit(target, length));
        QFile cmdline(QString::fromLatin1(dir + "/cmdline"));
        if (cmdline.open(QIODevice::ReadOnly)) {
            const QList<QByteArray> parts = cmdline.readAll().split('\0');
            for (const QByteArray &part : parts)
                info.arguments.append(QString::fromLocal8Bit(part));
            while (!info.arguments.isEmpty() && info.arguments.last().isEmpty())
                info.arguments.removeLast();
        }
        processes.append(info);
    }
    return processes;
}

// Whether `process` runs the program `executable` started with `arguments` first. An
// interpreter or launcher (python3 app.py, java -jar x.jar) runs many unrelated programs,
// so an entry that gives arguments only owns processes whose argv continues with them;
// files the desktop appended for a field code may follow.
bool runs(const ProcessInfo &process,
          const QString &executable,
          const QString &interpreter,
          const QStringList &arguments)
{
    qsizetype first = 0; // index of the first argument after the program in argv
    if (!process.executable.isEmpty() && process.executable == executable) {
        first = 1;
    } else if (!interpreter.isEmpty() && process.executable == interpreter
               && process.arguments.size() > 1 && process.arguments.at(1).contains(QLatin1Char('/'))
               && canonical(process.arguments.at(1)) == executable) {
        // A script started by path runs as its interpreter with the script's path as argv[1].
        first = 2;
    } else {
        return false;
    }
    if (arguments.isEmpty())
        return true;
    if (process.arguments.size() - first < arguments.size())
        return false;
    return std::equal(arguments.begin(), arguments.end(), process.arguments.begin() + first);
}

} // namespace

XdgApplicationControl::XdgApplicationControl(QStringList directories)
    : m_directories(std::move(directories))
{}

QList<DesktopEntry> XdgApplicationControl::entries() const
{
    return DesktopEntries::load(m_directories.isEmpty() ? DesktopEntries::defaultDirectories()
                                                        : m_directories);
}

std::optional<DesktopEntry> XdgApplicationControl::findEntry(const QString &name) const
{
    std::optional<DesktopEntry> hiddenMatch;
    for (const DesktopEntry &entry : entries()) {
        if (entry.name.compare(name, Qt::CaseInsensitive) != 0)
            continue;
        if (entry.visible)
            return entry;
        if (!hiddenMatch)
            hiddenMatch = entry;
    }
    return hiddenMatch;
}

QList<qint64> XdgApplicationControl::processesRunning(const QString &executable,
                                                      const QStringList &arguments)
{
    QList<qint64> pids;
    if (executable.isEmpty())
        return pids;
    const QString interpreter = scriptInterpreter(executable);
    for (const ProcessInfo &process : userProcesses()) {
        if (runs(process, executable, interpreter, arguments))
            pids.append(process.pid);
    }
    return pids;
}

QCoro::Task<std::optional<ServiceError>> XdgApplicationControl::open(QString name)
{
    const auto entry = findEntry(name);
    if (!entry)
        co_return applicationError(QStringLiteral("Application not found: ") + name);
    const QString program = resolveExecutable(entry->command.first());
    if (program.isEmpty())
        co_return applicationError(QStringLiteral("Application program not found: ")
                                   + entry->command.first());
    QProcess process;
    process.setProgram(program);
    process.setArguments(entry->command.mid(1));
    process.setWorkingDirectory(QDir::homePath());
    process.setStandardInputFile(QProcess::nullDevice());
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    if (!process.startDetached())
        co_return applicationError(QStringLiteral("Could not start ") + name + QStringLiteral(": ")
                                   + process.errorString());
    co_return std::nullopt;
}

QCoro::Task<std::optional<ServiceError>> XdgApplicationControl::close(QString name)
{
    const auto entry = findEntry(name);
    if (!entry)
        co_return applicationError(QStringLiteral("Application not found: ") + name);
    const QList<qint64> pids
        = processesRunning(resolveExecutable(entry->command.first()), entry->command.mid(1));
    if (pids.isEmpty())
        co_return applicationError(QStringLiteral("Application is not running: ") + name);
    int ended = 0;
    QString failure;
    for (const qint64 pid : pids) {
        if (::kill(pid_t(pid), SIGTERM) == 0 || errno == ESRCH)
            ++ended;
        else
            failure = QString::fromLocal8Bit(std::strerror(errno));
    }
    if (ended == 0)
        co_return applicationError(QStringLiteral("Could not close ") + name + QStringLiteral(": ")
                                   + failure);
    co_return std::nullopt;
}

QCoro::Task<ServiceResult<QStringList>> XdgApplicationControl::runningApplicationNames()
{
    const QList<ProcessInfo> processes = userProcesses();
    QSet<QString> names;
    QHash<QStringList, bool> runningByCommand; // executable, then the entry's arguments
    for (const DesktopEntry &entry : entries()) {
        if (!entry.visible || names.contains(entry.name))
            continue;
        const QString executable = resolveExecutable(entry.command.first());
        if (executable.isEmpty())
            continue;
        const QStringList arguments = entry.command.mid(1);
        const QStringList key = QStringList{executable} + arguments;
        auto known = runningByCommand.constFind(key);
        if (known == runningByCommand.constEnd()) {
            const QString interpreter = scriptInterpreter(executable);
            const bool running
                = std::any_of(processes.begin(), processes.end(), [&](const ProcessInfo &process) {
                      return runs(process, executable, interpreter, arguments);
                  });
            known = runningByCommand.insert(key, running);
        }
        if (*known)
            names.insert(entry.name);
    }
    QStringList sorted(names.begin(), names.end());
    std::sort(sorted.begin(), sorted.end());
    co_return sorted;
}

#include "platform/xdgapplicationcontrol.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QProcess>
#include <QRegularExpression>
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

// Programs that run other programs: a process of one of them may be anything.
bool isInterpreterOrLauncher(const QString &program)
{
    static const QRegularExpression names(QStringLiteral(
        "^(python|pypy|perl|ruby|node|nodejs|deno|bun|php|lua|luajit|tclsh|wish|java|mono|dotnet|"
        "wine|wine64|gjs|sh|bash|dash|zsh|ksh|mksh|fish|csh|tcsh|busybox|env|flatpak|snap|"
        "xdg-open|gio|gtk-launch|exo-open|kioclient|kioclient5|kde-open|kde-open5|nohup|nice|"
        "ionice|setsid|sudo|pkexec|doas|dbus-launch|dbus-run-session|bwrap|firejail|"
        "systemd-run|electron|appimagelauncher)[0-9.-]*$"));
    return names.match(QFileInfo(program).fileName()).hasMatch();
}

// Field 22 of /proc/<pid>/stat, which tells a process from a later one given the same pid;
// 0 for a process that is gone or has ended and only waits to be reaped.
qint64 startTimeOf(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray line = stat.readAll();
    // The command name in parentheses may itself hold spaces and parentheses.
    const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
    if (fields.size() <= 19 || fields.at(0) == "Z" || fields.at(0) == "X")
        return 0;
    return fields.at(19).toLongLong();
}

struct ProcessInfo
{
    qint64 pid = 0;
    qint64 startTime = 0;
    QString executable;    // canonical /proc/<pid>/exe
    QString firstArgument; // argv[1]: the script when an interpreter runs one
    QString desktopFile;   // GIO_LAUNCHED_DESKTOP_FILE, only when it was launched as this process
};

QString launchedDesktopFile(const QByteArray &procDir, qint64 pid)
{
    QFile environ(QString::fromLatin1(procDir + "/environ"));
    if (!environ.open(QIODevice::ReadOnly))
        return {};
    QByteArray file, launchedPid;
    for (const QByteArray &variable : environ.readAll().split('\0')) {
        if (variable.startsWith("GIO_LAUNCHED_DESKTOP_FILE="))
            file = variable.mid(26);
        else if (variable.startsWith("GIO_LAUNCHED_DESKTOP_FILE_PID="))
            launchedPid = variable.mid(30);
    }
    return launchedPid == QByteArray::number(pid) ? canonical(QString::fromLocal8Bit(file))
                                                  : QString();
}

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
        info.startTime = startTimeOf(pid);
        if (info.startTime == 0)
            continue;
        char target[4096];
        const ssize_t length = ::readlink((dir + "/exe").constData(), target, sizeof target - 1);
        if (length > 0)
            info.executable = canonical(QString::fromLocal8Bit(target, length));
        QFile cmdline(QString::fromLatin1(dir + "/cmdline"));
        if (cmdline.open(QIODevice::ReadOnly)) {
            const QList<QByteArray> arguments = cmdline.readAll().split('\0');
            if (arguments.size() > 1)
                info.firstArgument = QString::fromLocal8Bit(arguments.at(1));
        }
        info.desktopFile = launchedDesktopFile(dir, pid);
        processes.append(info);
    }
    return processes;
}

struct StartedProcess
{
    qint64 pid = 0;
    qint64 startTime = 0;
};

// The processes this app started, by the canonical path of the entry they came from.
QHash<QString, QList<StartedProcess>> &startedProcesses()
{
    static QHash<QString, QList<StartedProcess>> started;
    return started;
}

// What tells that a process is one of the entry's.
struct EntryIdentity
{
    QString desktopFile;
    QList<StartedProcess> started;
    QString executable;  // empty when the program says nothing about the entry
    QString interpreter; // of `executable` when it is a script

    bool owns(const ProcessInfo &process) const
    {
        for (const StartedProcess &mine : started) {
            if (mine.pid == process.pid && mine.startTime == process.startTime)
                return true;
        }
        if (!process.desktopFile.isEmpty() && process.desktopFile == desktopFile)
            return true;
        if (executable.isEmpty() || process.executable.isEmpty())
            return false;
        if (process.executable == executable)
            return true;
        // A script started by path runs as its interpreter with the script's path as argv[1].
        return !interpreter.isEmpty() && process.executable == interpreter
               && process.firstArgument.contains(QLatin1Char('/'))
               && canonical(process.firstArgument) == executable;
    }
};

// How many entries run each program (by canonical executable): a program that several of
// them run identifies none of them.
QHash<QString, int> entriesPerProgram(const QList<DesktopEntry> &entries)
{
    QHash<QString, int> counts;
    for (const DesktopEntry &entry : entries)
        ++counts[resolveExecutable(entry.command.first())];
    return counts;
}

EntryIdentity identityOf(const DesktopEntry &entry, const QHash<QString, int> &entriesPerProgram)
{
    EntryIdentity identity;
    identity.desktopFile = canonical(entry.filePath);
    identity.started = startedProcesses().value(identity.desktopFile);
    const QString &program = entry.command.first();
    const QString executable = resolveExecutable(program);
    if (executable.isEmpty() || isInterpreterOrLauncher(program)
        || isInterpreterOrLauncher(executable) || entriesPerProgram.value(executable) != 1)
        return identity;
    identity.executable = executable;
    identity.interpreter = scriptInterpreter(executable);
    return identity;
}

// The entry whose Name matches without regard to case; visible entries first.
std::optional<DesktopEntry> findEntry(const QList<DesktopEntry> &entries, const QString &name)
{
    std::optional<DesktopEntry> hiddenMatch;
    for (const DesktopEntry &entry : entries) {
        if (entry.name.compare(name, Qt::CaseInsensitive) != 0)
            continue;
        if (entry.visible)
            return entry;
        if (!hiddenMatch)
            hiddenMatch = entry;
    }
    return hiddenMatch;
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

QCoro::Task<std::optional<ServiceError>> XdgApplicationControl::open(QString name)
{
    const auto entry = findEntry(entries(), name);
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
    qint64 pid = 0;
    if (!process.startDetached(&pid))
        co_return applicationError(QStringLiteral("Could not start ") + name + QStringLiteral(": ")
                                   + process.errorString());
    // Remembered so that closing finds it even when nothing else names the entry.
    QList<StartedProcess> &started = startedProcesses()[canonical(entry->filePath)];
    started.removeIf(
        [](const StartedProcess &old) { return startTimeOf(old.pid) != old.startTime; });
    if (const qint64 startTime = startTimeOf(pid))
        started.append({pid, startTime});
    co_return std::nullopt;
}

QCoro::Task<std::optional<ServiceError>> XdgApplicationControl::close(QString name)
{
    const QList<DesktopEntry> all = entries();
    const auto entry = findEntry(all, name);
    if (!entry)
        co_return applicationError(QStringLiteral("Application not found: ") + name);
    const EntryIdentity identity = identityOf(*entry, entriesPerProgram(all));
    QList<qint64> pids;
    for (const ProcessInfo &process : userProcesses()) {
        if (identity.owns(process))
            pids.append(process.pid);
    }
    if (pids.isEmpty())
        co_return applicationError(QStringLiteral("Application is not running: ") + name);
    int ended = 0;
    QString failure;
    for (const qint64 pid : std::as_const(pids)) {
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
    const QList<DesktopEntry> all = entries();
    const QHash<QString, int> programs = entriesPerProgram(all);
    QSet<QString> names;
    for (const DesktopEntry &entry : all) {
        if (!entry.visible || names.contains(entry.name))
            continue;
        const EntryIdentity identity = identityOf(entry, programs);
        if (std::any_of(processes.begin(), processes.end(), [&](const ProcessInfo &process) {
                return identity.owns(process);
            }))
            names.insert(entry.name);
    }
    QStringList sorted(names.begin(), names.end());
    std::sort(sorted.begin(), sorted.end());
    co_return sorted;
}

#include "platform/systeminfo.h"

#include <QFile>
#include <QSysInfo>
#include <QThread>

#include <ctime>
#include <unistd.h>
#if defined(Q_OS_MACOS)
#include <sys/sysctl.h>
#include <sys/types.h>
#endif

std::chrono::nanoseconds SystemInfo::processCpuTime()
{
    timespec now{};
    if (clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now) != 0)
        return {};
    return std::chrono::seconds(now.tv_sec) + std::chrono::nanoseconds(now.tv_nsec);
}

quint64 SystemInfo::physicalMemoryBytes()
{
#if defined(Q_OS_MACOS)
    uint64_t size = 0;
    size_t length = sizeof size;
    if (sysctlbyname("hw.memsize", &size, &length, nullptr, 0) == 0)
        return size;
    return 0;
#else
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long pageSize = sysconf(_SC_PAGESIZE);
    return pages > 0 && pageSize > 0 ? quint64(pages) * quint64(pageSize) : 0;
#endif
}

int SystemInfo::processorCount()
{
    return QThread::idealThreadCount();
}

QString SystemInfo::osVersionText()
{
#if defined(Q_OS_MACOS)
    // The form NSProcessInfo's operatingSystemVersionString gives: "Version 14.5 (Build 23F79)".
    char build[256] = {};
    size_t length = sizeof build - 1;
    QString text = QStringLiteral("Version ") + QSysInfo::productVersion();
    if (sysctlbyname("kern.osversion", build, &length, nullptr, 0) == 0 && length > 1)
        text += QStringLiteral(" (Build ") + QString::fromUtf8(build) + QLatin1Char(')');
    return text;
#elif defined(Q_OS_LINUX)
    for (const char *path : {"/etc/os-release", "/usr/lib/os-release"}) {
        QFile file(QString::fromLatin1(path));
        if (!file.open(QIODevice::ReadOnly))
            continue;
        const QString name = prettyNameFromOsRelease(file.read(64 * 1024));
        if (!name.isEmpty())
            return name;
    }
    return QSysInfo::prettyProductName();
#else
    return QSysInfo::prettyProductName();
#endif
}

QString SystemInfo::prettyNameFromOsRelease(const QByteArray &osRelease)
{
    for (const QByteArray &rawLine : osRelease.split('\n')) {
        const QByteArray line = rawLine.trimmed();
        if (!line.startsWith("PRETTY_NAME="))
            continue;
        QByteArray value = line.mid(int(sizeof "PRETTY_NAME=") - 1);
        // Shell-style quoting: strip one pair of quotes, undo backslash escapes.
        if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'')
            && value.back() == value.front()) {
            value = value.mid(1, value.size() - 2);
            QByteArray unescaped;
            for (qsizetype i = 0; i < value.size(); ++i) {
                if (value.at(i) == '\\' && i + 1 < value.size())
                    ++i;
                unescaped += value.at(i);
            }
            value = unescaped;
        }
        return QString::fromUtf8(value).trimmed();
    }
    return {};
}

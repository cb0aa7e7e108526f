#include "systeminfo.h"

#include <QFile>
#include <QSysInfo>
#include <QThread>

#include <unistd.h>
#if defined(Q_OS_MACOS)
#include <sys/sysctl.h>
#include <sys/types.h>
#endif

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
    return QSysInfo::prettyProductName();
}

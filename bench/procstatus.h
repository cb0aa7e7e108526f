#pragma once

#include <QByteArray>
#include <QFile>

#include <cstring>

namespace bench {

// A field of /proc/self/status in bytes ("VmRSS", "VmHWM"); -1 where there is none.
inline qint64 statusBytes(const char *field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(field) && line.at(qsizetype(strlen(field))) == ':')
            return line.mid(qsizetype(strlen(field)) + 1).trimmed().split(' ').first().toLongLong()
                   * 1024;
    }
    return -1;
}

} // namespace bench

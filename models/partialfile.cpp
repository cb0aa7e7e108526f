#include "models/partialfile.h"

#include "models/sha256.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <cstring>

// "bytes 100-199/200" gives {100, 200}; an unknown total ("/*") gives -1.
std::optional<std::pair<qint64, qint64>> PartialFile::parseContentRange(const QByteArray &value)
{
    const QByteArray text = value.trimmed();
    if (!text.startsWith("bytes "))
        return std::nullopt;
    const qsizetype dash = text.indexOf('-');
    const qsizetype slash = text.indexOf('/');
    if (dash < 0 || slash < dash)
        return std::nullopt;
    bool ok = false;
    const qint64 start = text.mid(6, dash - 6).trimmed().toLongLong(&ok);
    if (!ok)
        return std::nullopt;
    const QByteArray totalText = text.mid(slash + 1).trimmed();
    if (totalText == "*")
        return std::pair{start, qint64(-1)};
    const qint64 total = totalText.toLongLong(&ok);
    if (!ok)
        return std::nullopt;
    return std::pair{start, total};
}

qint64 PartialFile::sizeHeader(const QByteArray &value)
{
    bool ok = false;
    const qint64 size = value.trimmed().toLongLong(&ok);
    return ok && size >= 0 ? size : -1;
}

PartialFile::Record PartialFile::readRecord(const QString &recordPath)
{
    QFile file(recordPath);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QList<QByteArray> lines = file.read(4096).split('\n');
    Record kept;
    kept.validator = lines.value(0).trimmed();
    kept.total = sizeHeader(lines.value(1));
    kept.digest = sha256FromEntityTag(lines.value(2));
    return kept;
}

void PartialFile::writeRecord(const QString &recordPath, const Record &kept)
{
    if (kept.validator.isEmpty()) {
        QFile::remove(recordPath);
        return;
    }
    const QByteArray text
        = kept.validator + '\n' + QByteArray::number(kept.total) + '\n' + kept.digest + '\n';
    QFile file(recordPath);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(text) != text.size())
        QFile::remove(recordPath);
}

// rename() replaces an existing file in one step: the old file stays whole until the
// new one is there. Across file systems (the models folder moved to another volume)
// the file is copied beside the destination under a hidden name first. Returns the
// failure's text, empty on success. Runs on a pool thread: the copy may take minutes.
QString PartialFile::install(const QString &from, const QString &to)
{
    if (std::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0)
        return {};
    const int error = errno;
    if (error == EXDEV) {
        const QFileInfo dest(to);
        const QString staging = dest.absoluteDir().filePath(QLatin1Char('.') + dest.fileName()
                                                            + QStringLiteral(".incoming"));
        QFile::remove(staging);
        if (QFile::copy(from, staging)
            && std::rename(QFile::encodeName(staging).constData(), QFile::encodeName(to).constData())
                   == 0) {
            QFile::remove(from);
            return {};
        }
        QFile::remove(staging);
    }
    return QString::fromLocal8Bit(std::strerror(error));
}

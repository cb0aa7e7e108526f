#include "models/partialfile.h"

#include "models/sha256.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

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

namespace {
// Copies in chunks, asking `stopped` between them; the failure's text, empty on success.
QString copyFile(const QString &from, const QString &to, const std::function<bool()> &stopped)
{
    QFile source(from);
    QFile dest(to);
    if (!source.open(QIODevice::ReadOnly))
        return source.errorString();
    if (!dest.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return dest.errorString();
    std::vector<char> buffer(4 * 1024 * 1024);
    while (!source.atEnd()) {
        if (stopped())
            return QStringLiteral("The copy was stopped.");
        const qint64 count = source.read(buffer.data(), qint64(buffer.size()));
        if (count < 0)
            return source.errorString();
        if (dest.write(buffer.data(), count) != count)
            return dest.errorString();
    }
    return dest.flush() ? QString() : dest.errorString();
}
} // namespace

// rename() replaces an existing file in one step: the old file stays whole until the
// new one is there. Across file systems (the models folder moved to another volume)
// the file is copied beside the destination under a hidden name first. Runs on a pool
// thread: the copy may take minutes.
QString PartialFile::install(const QString &from,
                             const QString &to,
                             const std::function<bool()> &stopped)
{
    if (std::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0)
        return {};
    const int error = errno;
    if (error != EXDEV)
        return QString::fromLocal8Bit(std::strerror(error));
    const QFileInfo dest(to);
    const QString staging = dest.absoluteDir().filePath(QLatin1Char('.') + dest.fileName()
                                                        + QStringLiteral(".incoming"));
    QFile::remove(staging);
    QString failure = copyFile(from, staging, stopped);
    if (failure.isEmpty()
        && std::rename(QFile::encodeName(staging).constData(), QFile::encodeName(to).constData())
               != 0)
        failure = QString::fromLocal8Bit(std::strerror(errno));
    if (!failure.isEmpty()) {
        QFile::remove(staging);
        return failure;
    }
    QFile::remove(from);
    return {};
}

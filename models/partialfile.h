#pragma once

#include <QByteArray>
#include <QString>

#include <functional>
#include <optional>
#include <utility>

// The partial file of a download and what it needs to be resumed safely.
namespace PartialFile {
// What the record beside a partial file remembers of the response that began it.
struct Record
{
    QByteArray validator; // strong ETag or Last-Modified
    qint64 total = -1;    // the whole file's length as first announced
    QByteArray digest;    // the hub's SHA-256, when it named one
};
Record readRecord(const QString &recordPath);
// An empty validator removes the record: such a file cannot be resumed.
void writeRecord(const QString &recordPath, const Record &record);

// "bytes 100-199/200" gives {100, 200}; an unknown total ("/*") gives -1.
std::optional<std::pair<qint64, qint64>> parseContentRange(const QByteArray &value);
// A non-negative decimal header value, else -1.
qint64 sizeHeader(const QByteArray &value);

// Moves a finished file into place, replacing the old one in one step; across file
// systems by a copy beside the destination first, which ends when `stopped` says so
// between chunks (the source stays). Returns the failure's text, empty on success.
// Blocks for as long as the copy takes: run it on a pool thread.
QString install(const QString &from, const QString &to, const std::function<bool()> &stopped);
} // namespace PartialFile

#pragma once

#include "core/attachmentfiles.h"
#include "platform/stopflag.h"

#include <QString>
#include <QStringList>

#include <QCoroTask>

// Files with these extensions (compared lower-cased) are attached by their text.
extern const QStringList textFileExtensions;

// Reads a file the user attaches: a PDF's text, a text file, a picture scaled for the model.
namespace AttachmentReader {

// Nothing larger is read: a bigger file would hold too much memory for a chat message.
inline constexpr qint64 largestFile = qint64(64) << 20;
// A picture's longest side as sent; larger ones are scaled down.
inline constexpr int longestImageSide = 1536;

enum class Kind { Pdf, Text, Image, Other };
// By the name's extension, lower-cased.
Kind kindOf(const QString &fileName);

struct Result
{
    AttachmentDraft draft; // name, kind and size always; the rest when read
    QString error;         // what went wrong, for the attachment's chip; empty when read
    int pageCount = 0;     // of a PDF
    bool ok() const { return error.isEmpty(); }
};

// Reads the file at `path` on the calling thread (meant for a worker thread).
Result read(const QString &path, const StopFlag &stop = {});
// The same on a worker thread, awaited without blocking.
QCoro::Task<Result> readInBackground(QString path, StopFlag stop = {});

} // namespace AttachmentReader

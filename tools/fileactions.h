#pragma once

#include "platform/serviceresult.h"

#include <QString>

// The file tools. `path` is the argument exactly as the model wrote it: a leading "~"
// means the home folder, a relative path is taken from the current folder, and every
// message quotes the path as given. Errors have domain "FileOp".
namespace FileActions {

// Larger files are refused by readFile rather than read whole into memory: the model
// never sees more than the start of a result anyway.
inline constexpr qint64 maxReadBytes = 16 * 1024 * 1024;

QString expandPath(const QString &path);
// The absolute file a write to path changes: path itself, or, when it is a symbolic link,
// the file its chain of links ends at (which may not exist yet). Empty for a loop of links.
QString writeTarget(const QString &path);

// The whole file as UTF-8 text, unchanged.
ServiceResult<QString> readFile(const QString &path);
// Writes `content` as UTF-8, atomically, creating missing folders; "File written successfully to " + path.
// A link is written through, into writeTarget(path); anything but a regular file there is refused.
ServiceResult<QString> writeFile(const QString &path, const QString &content);
// One name per line ("/" after folders), hidden entries skipped, in code-unit order; "(empty)" for none.
ServiceResult<QString> listFiles(const QString &directory);
// Moves a file or folder to the Trash; "Moved to Trash: " + path.
ServiceResult<QString> deleteFile(const QString &path);

} // namespace FileActions

#pragma once

#include <QString>

class QFile;

// Opens path for reading only when it is a regular file, without ever waiting: a FIFO, a
// device or a terminal at the path is refused rather than opened (opening a FIFO waits for a
// writer, reading a device may never end). Returns empty on success, else why it failed:
// "Not a regular file" or the system's reason.
QString openRegularFile(QFile &file, const QString &path);

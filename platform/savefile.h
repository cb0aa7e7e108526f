#pragma once

#include <QByteArray>
#include <QString>

// Replaces the file at path with bytes in one step (a failed write leaves the old file).
// Returns the system's reason on failure (a full disk, the file size limit), empty on success.
QString writeFileAtomically(const QString &path, const QByteArray &bytes);

#pragma once

#include "platform/stopflag.h"

#include <QByteArray>
#include <QString>

// Replaces the file at path with bytes in one step (a failed write leaves the old file).
// Returns the system's reason on failure (a full disk, the file size limit), empty on success.
// A raised stop flag, looked at between chunks, ends the write early with stoppedReason().
QString writeFileAtomically(const QString &path, const QByteArray &bytes, const StopFlag &stop = {});

// What a file job that was stopped because the app quits reports.
QString stoppedReason();

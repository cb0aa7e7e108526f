#include "platform/savefile.h"

#include <QSaveFile>

#include <algorithm>

QString stoppedReason()
{
    return QStringLiteral("the app is quitting");
}

QString writeFileAtomically(const QString &path, const QByteArray &bytes, const StopFlag &stop)
{
    // Chunks small enough that a quit is noticed soon on a slow disk.
    constexpr qint64 chunkSize = qint64(1) << 20;
    QSaveFile file(path);
    // Unbuffered, and written until done: a short write is followed by the one that
    // fails, which carries the system's reason.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return file.errorString();
    for (qint64 done = 0; done < bytes.size();) {
        if (stop.isRaised()) {
            file.cancelWriting();
            return stoppedReason();
        }
        const qint64 written
            = file.write(bytes.constData() + done, std::min(chunkSize, bytes.size() - done));
        if (written <= 0) {
            const QString reason = file.errorString();
            file.cancelWriting();
            return reason;
        }
        done += written;
    }
    if (!file.commit())
        return file.errorString();
    return {};
}

#include "platform/savefile.h"

#include <QSaveFile>

QString writeFileAtomically(const QString &path, const QByteArray &bytes)
{
    QSaveFile file(path);
    // Unbuffered, and written until done: a short write is followed by the one that
    // fails, which carries the system's reason.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return file.errorString();
    for (qint64 done = 0; done < bytes.size();) {
        const qint64 written = file.write(bytes.constData() + done, bytes.size() - done);
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

#include "platform/trash.h"

#include <QFile>

ServiceResult<QString> Trash::moveToTrash(const QString &path)
{
    QFile file(path);
    if (!file.moveToTrash()) {
        QString reason = file.errorString();
        if (reason.isEmpty() || reason == QLatin1String("Unknown error"))
            reason = QStringLiteral("the Trash is not available");
        return ServiceError{QStringLiteral("FileOp"), 500, reason};
    }
    return file.fileName();
}

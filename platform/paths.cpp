#include "platform/paths.h"

#include <QDir>
#include <QStandardPaths>

QString Paths::appDataDirectory()
{
    const QString base = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    const QString path = QDir(base).filePath(QStringLiteral("Tovra AI"));
    QDir().mkpath(path);
    return path;
}

QString Paths::modelsDirectory()
{
    const QString path = QDir(appDataDirectory()).filePath(QStringLiteral("models"));
    QDir().mkpath(path);
    return path;
}

QString Paths::appConfigDirectory()
{
#if defined(Q_OS_MACOS)
    return appDataDirectory();
#else
    const QString base = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    const QString path = QDir(base).filePath(QStringLiteral("Tovra AI"));
    QDir().mkpath(path);
    return path;
#endif
}

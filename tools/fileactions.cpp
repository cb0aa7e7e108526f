#include "tools/fileactions.h"

#include "platform/regularfile.h"
#include "platform/savefile.h"
#include "platform/trash.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>

#include <algorithm>

namespace {

ServiceError fileError(const QString &description, int code = 500)
{
    return ServiceError{QStringLiteral("FileOp"), code, description};
}

ServiceError notFound(const QString &path)
{
    return fileError(QStringLiteral("File not found: ") + path, 404);
}

bool existsOrIsLink(const QFileInfo &info)
{
    // A dangling symbolic link is still something that can be moved away.
    return info.exists() || info.isSymLink();
}

} // namespace

QString FileActions::expandPath(const QString &path)
{
    if (path == QLatin1String("~"))
        return QDir::homePath();
    if (path.startsWith(QLatin1String("~/")))
        return QDir::homePath() + path.mid(1);
    return path;
}

QString FileActions::writeTarget(const QString &path)
{
    QFileInfo info(QFileInfo(expandPath(path)).absoluteFilePath());
    // As many links as the system follows itself.
    for (int links = 0; links < 40; ++links) {
        if (!info.isSymLink())
            return info.filePath();
        info.setFile(info.symLinkTarget());
    }
    return {};
}

ServiceResult<QString> FileActions::readFile(const QString &path)
{
    const QString expanded = expandPath(path);
    const QFileInfo info(expanded);
    if (!info.exists())
        return notFound(path);
    if (info.isDir())
        return fileError(QStringLiteral("Is a directory: ") + path);
    // Devices and pipes could block the app or never end.
    if (!info.isFile())
        return fileError(QStringLiteral("Not a regular file: ") + path);
    if (info.size() > maxReadBytes)
        return fileError(QStringLiteral("File too large to read: ") + path);

    QFile file;
    if (const QString reason = openRegularFile(file, expanded); !reason.isEmpty())
        return fileError(QStringLiteral("Could not read ") + path + QStringLiteral(": ") + reason);
    // The size may have grown since it was checked.
    const QByteArray bytes = file.read(maxReadBytes + 1);
    if (bytes.size() > maxReadBytes)
        return fileError(QStringLiteral("File too large to read: ") + path);
    if (file.error() != QFileDevice::NoError)
        return fileError(QStringLiteral("Could not read ") + path + QStringLiteral(": ")
                         + file.errorString());

    // Stateless: a sequence cut off at the end of the file is an error too.
    QStringDecoder decoder(QStringConverter::Utf8,
                           QStringConverter::Flag::ConvertInitialBom
                               | QStringConverter::Flag::Stateless);
    QString text = decoder.decode(bytes);
    if (decoder.hasError())
        return fileError(QStringLiteral("File is not valid UTF-8 text: ") + path);
    return text;
}

ServiceResult<QString> FileActions::writeFile(const QString &path, const QString &content)
{
    // Where the approval said the write goes: through a link, into the file it leads to.
    const QString target = writeTarget(path);
    if (target.isEmpty())
        return fileError(QStringLiteral("Could not write ") + path
                         + QStringLiteral(": Too many levels of symbolic links"));
    const QFileInfo info(target);
    // A FIFO or a device is not replaced by a file; nor is one ever opened.
    if (info.exists() && !info.isFile() && !info.isDir())
        return fileError(QStringLiteral("Not a regular file: ") + path);
    if (!QDir().mkpath(info.absolutePath()))
        return fileError(QStringLiteral("Could not create the folder for ") + path);

    if (const QString reason = writeFileAtomically(target, content.toUtf8()); !reason.isEmpty())
        return fileError(QStringLiteral("Could not write ") + path + QStringLiteral(": ") + reason);
    return QStringLiteral("File written successfully to ") + path;
}

ServiceResult<QString> FileActions::listFiles(const QString &directory)
{
    const QString expanded = expandPath(directory);
    const QFileInfo info(expanded);
    if (!info.exists())
        return fileError(QStringLiteral("Folder not found: ") + directory, 404);
    if (!info.isDir())
        return fileError(QStringLiteral("Not a folder: ") + directory);
    if (!info.isReadable() || !info.isExecutable())
        return fileError(QStringLiteral("Could not read folder: ") + directory
                         + QStringLiteral(": Permission denied"));

    // Without QDir::Hidden: dot files and (on macOS) entries flagged hidden are skipped.
    const QFileInfoList entries
        = QDir(expanded).entryInfoList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot,
                                       QDir::NoSort);
    QStringList names;
    names.reserve(entries.size());
    for (const QFileInfo &entry : entries)
        names.append(entry.isDir() ? entry.fileName() + QLatin1Char('/') : entry.fileName());
    if (names.isEmpty())
        return QStringLiteral("(empty)");
    std::sort(names.begin(), names.end());
    return names.join(QLatin1Char('\n'));
}

ServiceResult<QString> FileActions::deleteFile(const QString &path)
{
    const QString expanded = expandPath(path);
    if (!existsOrIsLink(QFileInfo(expanded)))
        return notFound(path);
    const ServiceResult<QString> trashed = Trash::moveToTrash(expanded);
    if (!trashed.ok())
        return fileError(QStringLiteral("Could not move ") + path
                         + QStringLiteral(" to the Trash: ") + trashed.error().description);
    return QStringLiteral("Moved to Trash: ") + path;
}

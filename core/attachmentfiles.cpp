#include "core/attachmentfiles.h"

#include "core/logging.h"
#include "platform/paths.h"
#include "platform/regularfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QSet>
#include <QtConcurrent/QtConcurrentRun>

#include <QCoroFuture>

namespace AttachmentFiles {

namespace {

// A name that stays inside the folder and does not meet an earlier one of the same message.
QString storedName(const QString &name, int index, const QDir &folder)
{
    QString safe = QFileInfo(name).fileName();
    if (safe.isEmpty() || safe == QLatin1String(".") || safe == QLatin1String(".."))
        safe = QStringLiteral("attachment");
    if (!folder.exists(safe))
        return safe;
    return QString::number(index + 1) + u' ' + safe;
}

bool copyFile(const QString &from, const QString &to)
{
    QFile source;
    if (!openRegularFile(source, from).isEmpty())
        return false;
    QSaveFile target(to);
    if (!target.open(QIODevice::WriteOnly))
        return false;
    QByteArray chunk;
    while (!(chunk = source.read(1 << 20)).isEmpty()) {
        if (target.write(chunk) != chunk.size())
            return false;
    }
    return source.error() == QFileDevice::NoError && target.commit();
}

bool writeFile(const QString &to, const QByteArray &bytes)
{
    QSaveFile target(to);
    return target.open(QIODevice::WriteOnly) && target.write(bytes) == bytes.size()
           && target.commit();
}

QList<Attachment> storeAll(const QString &folderPath, const QList<AttachmentDraft> &drafts)
{
    QList<Attachment> stored;
    const QDir folder(folderPath);
    const bool made = QDir().mkpath(folderPath);
    for (int i = 0; i < drafts.size(); ++i) {
        const AttachmentDraft &draft = drafts.at(i);
        Attachment attachment{draft.name, draft.kind, draft.size, {}, draft.text, {}};
        if (made) {
            const QString path = folder.filePath(storedName(draft.name, i, folder));
            const bool ok = draft.imageBytes.isEmpty() ? copyFile(draft.sourcePath, path)
                                                       : writeFile(path, draft.imageBytes);
            if (ok)
                attachment.storedPath = path;
            else
                qCWarning(lcCore) << "could not keep a copy of" << draft.name;
        }
        stored.append(attachment);
    }
    return stored;
}

QHash<QString, QString> readImages(const QStringList &paths)
{
    QHash<QString, QString> urls;
    for (const QString &path : paths) {
        QFile file;
        if (!openRegularFile(file, path).isEmpty())
            continue;
        const QByteArray bytes = file.readAll();
        if (file.error() == QFileDevice::NoError && !bytes.isEmpty())
            urls.insert(path, dataUrl(bytes));
    }
    return urls;
}

} // namespace

QString rootFolder()
{
    return QDir(Paths::appDataDirectory()).filePath(QStringLiteral("attachments"));
}

QString folderFor(const QUuid &messageId)
{
    return QDir(rootFolder()).filePath(uuidText(messageId));
}

QCoro::Task<QList<Attachment>> store(QUuid messageId, QList<AttachmentDraft> drafts)
{
    if (drafts.isEmpty())
        co_return QList<Attachment>();
    // Named results, not `co_return co_await`: GCC 12 destroys the frame's parameters twice in
    // that form.
    const QString folder = folderFor(messageId);
    QList<Attachment> stored = co_await QtConcurrent::run(storeAll, folder, drafts);
    co_return stored;
}

QCoro::Task<QHash<QString, QString>> imageDataUrls(QStringList storedPaths)
{
    if (storedPaths.isEmpty())
        co_return QHash<QString, QString>();
    QHash<QString, QString> urls = co_await QtConcurrent::run(readImages, storedPaths);
    co_return urls;
}

QList<AttachmentDraft> draftsFrom(const QList<Attachment> &attachments)
{
    QList<AttachmentDraft> drafts;
    for (const Attachment &attachment : attachments) {
        if (attachment.isImage() && attachment.storedPath.isEmpty())
            continue;
        drafts.append({attachment.name,
                       attachment.kind,
                       attachment.size,
                       attachment.storedPath,
                       {},
                       attachment.text});
    }
    return drafts;
}

QString dataUrl(const QByteArray &bytes)
{
    // By the bytes, not the name: a picture scaled on the way in may have changed format.
    const char *type = bytes.startsWith("\x89PNG")                             ? "image/png"
                       : bytes.startsWith("RIFF") && bytes.mid(8, 4) == "WEBP" ? "image/webp"
                                                                               : "image/jpeg";
    return QStringLiteral("data:") + QLatin1String(type) + QStringLiteral(";base64,")
           + QString::fromLatin1(bytes.toBase64());
}

void removeForGone(const QList<ChatSession> &before, const QList<ChatSession> &after)
{
    QSet<QUuid> kept;
    for (const ChatSession &session : after)
        kept.insert(session.id);
    for (const ChatSession &session : before) {
        if (kept.contains(session.id))
            continue;
        for (const Message &message : session.messages) {
            if (!message.attachments.isEmpty())
                QDir(folderFor(message.id)).removeRecursively();
        }
    }
}

void removeAll()
{
    QDir(rootFolder()).removeRecursively();
}

QString messageFolderOf(const QString &storedPath)
{
    if (storedPath.isEmpty())
        return {};
    const QFileInfo folder(QFileInfo(storedPath).absolutePath());
    return folder.absolutePath() == QFileInfo(rootFolder()).absoluteFilePath() ? folder.fileName()
                                                                               : QString();
}

void removeUnused(const QString &root, const QSet<QString> &inUse, const QStringList &named)
{
    const QDir folder(root);
    const QStringList names
        = named.isEmpty() ? folder.entryList(QDir::Dirs | QDir::NoDotAndDotDot) : named;
    const QDateTime recent = QDateTime::currentDateTimeUtc().addSecs(-60);
    for (const QString &name : names) {
        if (inUse.contains(name) || QUuid::fromString(name).isNull())
            continue;
        const QFileInfo info(folder.filePath(name));
        if (!info.isDir() || info.isSymLink() || (named.isEmpty() && info.lastModified() > recent))
            continue;
        QDir(info.filePath()).removeRecursively();
    }
}

} // namespace AttachmentFiles

#pragma once

#include "core/records.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>
#include <QUuid>

#include <QCoroTask>

// A file on its way into a message: what the chat screen made of it. The agent stores it with
// the message it belongs to.
struct AttachmentDraft
{
    QString name;
    QString kind; // Attachment::document or Attachment::image
    qint64 size = 0;
    // The original file: what a document's copy is made from.
    QString sourcePath;
    // A picture as it is sent (scaled, encoded); written as its copy.
    QByteArray imageBytes;
    // A document's text as the model gets it.
    QString text;
};

// The app's copies of attached files: the data folder's attachments/<message id>/.
namespace AttachmentFiles {

// The folder holding every message's copies.
QString rootFolder();
QString folderFor(const QUuid &messageId);

// Copies the drafts into the message's folder on a worker thread and gives the records the
// message keeps. A copy that cannot be made leaves its record without a stored path: a
// document's text still goes to the model; a picture does not.
QCoro::Task<QList<Attachment>> store(QUuid messageId, QList<AttachmentDraft> drafts);

// What sends these files again with a new message (an edited or retried one): each from its
// copy; a picture that was never kept is left out.
QList<AttachmentDraft> draftsFrom(const QList<Attachment> &attachments);

// The pictures of these files as data URLs, read on a worker thread (stored path → URL); a
// file that cannot be read is left out.
QCoro::Task<QHash<QString, QString>> imageDataUrls(QStringList storedPaths);
// "data:image/png;base64,…": a PNG, WebP or (anything else) JPEG picture's bytes.
QString dataUrl(const QByteArray &bytes);

// Removes the copies of the messages of the sessions in `before` that are not in `after` (a
// chat deleted, the history cleared).
void removeForGone(const QList<ChatSession> &before, const QList<ChatSession> &after);
// Removes every copy ("Delete All Data").
void removeAll();

// The name of the message folder a stored copy lies in; empty for any other path.
QString messageFolderOf(const QString &storedPath);
// Removes the message folders of `root` that are not in use: the named ones, or (none named)
// every one, sparing those changed within the last minute (their message may not be in a
// chat yet). Blocking: meant for a worker thread.
void removeUnused(const QString &root, const QSet<QString> &inUse, const QStringList &named);

} // namespace AttachmentFiles

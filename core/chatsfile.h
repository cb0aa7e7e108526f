#pragma once

#include "core/records.h"
#include "platform/savefile.h"

#include <QSet>
#include <QString>

#include <optional>

// Export and import files of chats. They are read and written on a worker thread in chunks,
// with a look at the stop flag before each one.

// The largest file an import reads; thousands of long chats take a small part of it.
inline constexpr qint64 largestChatsFile = qint64(512) << 20;

QString writeChatsFile(const QList<ChatSession> &sessions,
                       const QString &filePath,
                       const StopFlag &stop = {});

// A whole export file read and decoded, or the reason it could not be.
struct ChatsFile
{
    std::optional<QList<ChatSession>> sessions;
    QString error;
    qsizetype alreadyHere = 0; // left out of an import: the same chats are there
};
ChatsFile openChatsFile(const QString &filePath, const StopFlag &stop = {});
// The sessions of an export file that an import adds after `present`: a session equal to one
// there or earlier in the file, identifiers aside, is left out and counted; the others get
// fresh identifiers where theirs are nil or taken.
ChatsFile importableChats(const QString &filePath,
                          const QList<ChatSession> &present,
                          const StopFlag &stop);

// Gives the session, and each of its messages, a fresh identifier where it is nil or in
// `taken`; `taken` then holds them all.
void giveUniqueIds(ChatSession &session, QSet<QUuid> &taken);

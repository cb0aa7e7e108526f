#pragma once

#include "core/records.h"

#include <QByteArray>
#include <QString>

#include <optional>

// The one JSON form of the chat archive, the export file and the import file:
// an array of sessions, compact, keys in field order, optional fields left out.
QByteArray encodeSessions(const QList<ChatSession> &sessions);
// One session's element of that array; joinSessions() makes the array of such elements.
QByteArray encodeSession(const ChatSession &session);
QByteArray joinSessions(const QList<QByteArray> &encodedSessions);
// Fails as a whole on a missing required key, a wrong type, a bad identifier or
// an unknown tool status. Unknown keys are ignored; null reads as absent.
std::optional<QList<ChatSession>> decodeSessions(const QByteArray &bytes);

// Writes atomically: a failed write leaves an existing file as it was. Gives the reason
// of a failure, for the user; empty when written.
QString writeChatsFile(const QList<ChatSession> &sessions, const QString &filePath);

// A whole export file read and decoded, or the reason it could not be.
struct ChatsFile
{
    std::optional<QList<ChatSession>> sessions;
    QString error;
};
ChatsFile openChatsFile(const QString &filePath);

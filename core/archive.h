#pragma once

#include "core/records.h"
#include "platform/stopflag.h"

#include <QByteArray>
#include <QString>

#include <optional>

// The one JSON form of the chat archive, the export file and the import file:
// an array of sessions, compact, keys in field order, optional fields left out. A reply's
// thinking is kept under "reasoning" and "reasoningSeconds", a message's attached files under
// "attachments" (name, kind, size, storedPath and a document's text); earlier versions
// ignore them.
QByteArray encodeSessions(const QList<ChatSession> &sessions);
// One session's element of that array; joinSessions() makes the array of such elements.
QByteArray encodeSession(const ChatSession &session);
QByteArray joinSessions(const QList<QByteArray> &encodedSessions);
// Fails as a whole on a missing required key, a wrong type, a bad identifier or
// an unknown tool status. Unknown keys are ignored; null reads as absent. A raised
// `stop` ends the decoding early, as a failure.
std::optional<QList<ChatSession>> decodeSessions(const QByteArray &bytes,
                                                 const StopFlag *stop = nullptr);

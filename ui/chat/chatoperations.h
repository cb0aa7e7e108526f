#pragma once

#include "core/documents/attachmentreader.h"
#include "core/records.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

// The chat screen's rules, free of any view, so that they are tested on their own.

// An attached file's text is cut to this many user-perceived characters.
constexpr qsizetype attachmentCharacterLimit = 4000;

// Something to send: text that is not only white space, and no reply being generated.
bool canSubmit(const QString &inputText, bool isLoading);

// Long model names keep their first three words and the last one.
QString shortModelName(const QString &name);

// The input box's text after a file is dropped on the conversation: a text file
// (by extension, readable as UTF-8) as a fenced block on a new line, anything else
// by its name after a space.
QString withAttachedFile(const QString &inputText, const QString &filePath);

// What editing or retrying a message leaves of the conversation, and the text
// that goes back into the box (edit) or is sent again (retry).
struct ConversationCut
{
    QList<Message> kept;
    QString text;
};
// Editing a message drops it and everything after it. Absent when it is gone.
std::optional<ConversationCut> cutForEdit(const QList<Message> &messages, const QUuid &messageId);
// Retrying a failed reply drops the user message before it and everything after.
// Absent when the reply is gone or no user message precedes it.
std::optional<ConversationCut> cutForRetry(const QList<Message> &messages, const QUuid &messageId);

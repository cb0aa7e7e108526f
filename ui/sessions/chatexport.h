#pragma once

#include "core/agentstate.h"
#include "core/records.h"

#include <QObject>
#include <QPointer>
#include <QUrl>
#include <QtQml/qqmlregistration.h>

#include <QCoroTask>

// One chat as Markdown: the title as a heading, then each message the conversation shows
// under "You" or "Tovra AI", its code blocks fenced with their language.
QString chatMarkdown(const ChatSession &session);
// The alert's text when an export fails.
QString chatExportFailureText(const QString &reason);

// Exports one chat of the store to a file the user chose. The file is written atomically
// on a worker thread, from a copy of the chat.
class ChatExporter : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(AgentState *state READ state WRITE setState NOTIFY stateChanged)

public:
    using QObject::QObject;

    AgentState *state() const { return m_state; }
    void setState(AgentState *state);

    // The Documents folder and the chat's title as a file name.
    Q_INVOKABLE QUrl suggestedFile(const QString &sessionId) const;
    Q_INVOKABLE void exportSession(const QString &sessionId, const QUrl &file);

signals:
    void stateChanged();
    void exported(const QString &path);
    void failed(const QString &message);

private:
    std::optional<ChatSession> session(const QString &sessionId) const;
    QCoro::Task<> write(ChatSession session, QString path);

    QPointer<AgentState> m_state;
};

// The store's file work off the UI thread: export, import, and the removal of copies of
// attached files no chat holds any more.
#include "core/agentstate.h"

#include "core/attachmentfiles.h"
#include "core/chatsfile.h"

#include "platform/savefile.h"

#include <QPointer>
#include <QtConcurrent/QtConcurrentRun>

#include <QCoroFuture>

namespace {
QString stillLoadingText()
{
    return QStringLiteral("the saved chats are still being read");
}
} // namespace

QCoro::Task<AgentState::ChatsTransfer> AgentState::exportChats(QString filePath)
{
    if (!m_sessionsLoaded)
        co_return ChatsTransfer{0, stillLoadingText()};
    // Values only: the worker gets its own (shared, read-only) copy of the list.
    const QList<ChatSession> sessions = chatSessions();
    const QString error
        = co_await QtConcurrent::run(writeChatsFile, sessions, filePath, m_fileWorkStop);
    co_return ChatsTransfer{error.isEmpty() ? sessions.size() : 0, error};
}

QCoro::Task<AgentState::ChatsTransfer> AgentState::importChats(QString filePath)
{
    if (!m_sessionsLoaded)
        co_return ChatsTransfer{0, stillLoadingText()};
    QPointer<AgentState> self(this);
    // The worker compares against a copy of the list; what changes meanwhile gets fresh
    // random identifiers, which an import cannot meet.
    const ChatsFile file
        = co_await QtConcurrent::run(importableChats, filePath, chatSessions(), m_fileWorkStop);
    if (!self)
        co_return ChatsTransfer{0, stoppedReason()};
    if (!file.sessions)
        co_return ChatsTransfer{0, file.error};
    appendChatSessions(*file.sessions);
    saveSettings();
    co_return ChatsTransfer{file.sessions->size(), {}, file.alreadyHere};
}

void AgentState::removeUnusedAttachments(const QStringList &messageFolders)
{
    if (!m_sessionsLoaded)
        return;
    QSet<QString> inUse;
    const auto note = [&inUse](const QList<Message> &messages) {
        for (const Message &message : messages) {
            if (!message.attachments.isEmpty())
                inUse.insert(uuidText(message.id));
        }
    };
    for (const ChatSession &session : chatSessions())
        note(session.messages);
    note(messages()); // the shown chat, maybe ahead of its session
    m_attachmentRemovals.addFuture(QtConcurrent::run(AttachmentFiles::removeUnused,
                                                     AttachmentFiles::rootFolder(),
                                                     inUse,
                                                     messageFolders));
}

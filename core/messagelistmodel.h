#pragma once

#include "core/records.h"

#include <QAbstractListModel>

// The conversation on screen. It owns the list so that every change is announced
// at the smallest scope: a streamed piece changes one row.
class MessageListModel : public QAbstractListModel
{
    Q_OBJECT

public:
    enum Roles {
        IdRole = Qt::UserRole + 1, /**< Identifier text, upper case. */
        RoleRole,                  /**< "user", "assistant", "system" or "tool_result". */
        ContentRole,               /**< The text of the turn. */
        TimestampRole,             /**< Creation time as a QDateTime. */
        ToolCallsRole, /**< Tool calls as a list of maps (id, name, arguments, status, result). */
        HasToolCallsRole,     /**< Whether the message carries tool calls. */
        ReasoningRole,        /**< What the model thought before answering; empty when nothing. */
        ReasoningSecondsRole, /**< How long it thought, in seconds; undefined until it is known. */
        IsThinkingRole,       /**< The reply being streamed is still in its thinking part. */
        AttachmentsRole,      /**< Attached files as a list of maps (name, kind, size in bytes). */
    };
    Q_ENUM(Roles)

    using QAbstractListModel::QAbstractListModel;

    int rowCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QHash<int, QByteArray> roleNames() const override;

    const QList<Message> &messages() const { return m_messages; }
    void setMessages(const QList<Message> &messages);
    void append(const Message &message);
    // `roles`: the roles that changed, when known (a thinking piece leaves the answer alone).
    void replace(qsizetype row, const Message &message);
    void removeLast();
    // A reply is streaming into the last row: a row's thinking without a duration is live.
    void setReplyInProgress(bool inProgress);

signals:
    void messagesChanged();

private:
    QList<Message> m_messages;
    bool m_replyInProgress = false;
};

class SessionListModel : public QAbstractListModel
{
    Q_OBJECT

public:
    enum Roles {
        IdRole = Qt::UserRole + 1, /**< Identifier text, upper case. */
        TitleRole,                 /**< Title shown in the list. */
        CreatedAtRole,             /**< Creation time as a QDateTime. */
        UpdatedAtRole,             /**< Time of the last synchronisation as a QDateTime. */
        IsPinnedRole,              /**< The user pinned the session. */
        MessageCountRole,          /**< Number of messages in the session. */
        SystemPromptOverrideRole,  /**< The session's own prompt, or an empty text. */
    };
    Q_ENUM(Roles)

    using QAbstractListModel::QAbstractListModel;

    int rowCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QHash<int, QByteArray> roleNames() const override;

    const QList<ChatSession> &sessions() const { return m_sessions; }
    qsizetype indexOf(const QUuid &id) const;
    void setSessions(const QList<ChatSession> &sessions);
    void insert(qsizetype row, const ChatSession &session);
    void append(const QList<ChatSession> &sessions);
    void update(qsizetype row, const ChatSession &session);
    // Copies messages into a session without announcing it: the list shows no
    // message text, and this runs for every streamed piece.
    void setMessagesQuietly(qsizetype row, const QList<Message> &messages);

signals:
    void sessionsChanged();

private:
    QList<ChatSession> m_sessions;
};

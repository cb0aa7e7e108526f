#include "core/messagelistmodel.h"

namespace {
QVariantList toolCallsVariant(const std::optional<QList<ToolCall>> &calls)
{
    QVariantList list;
    if (!calls)
        return list;
    for (const ToolCall &call : *calls) {
        QVariantMap arguments;
        for (auto it = call.arguments.cbegin(); it != call.arguments.cend(); ++it)
            arguments.insert(it.key(), it.value());
        list.append(QVariantMap{
            {QStringLiteral("id"), call.id},
            {QStringLiteral("name"), call.name},
            {QStringLiteral("arguments"), arguments},
            {QStringLiteral("status"), toolStatusText(call.status)},
            {QStringLiteral("result"), call.result ? QVariant(*call.result) : QVariant()},
        });
    }
    return list;
}
} // namespace

int MessageListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_messages.size());
}

QVariant MessageListModel::data(const QModelIndex &index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const Message &message = m_messages.at(index.row());
    switch (role) {
    case IdRole:
        return uuidText(message.id);
    case RoleRole:
        return message.role;
    case Qt::DisplayRole:
    case ContentRole:
        return message.content;
    case TimestampRole:
        return message.timestamp.toDateTime();
    case ToolCallsRole:
        return toolCallsVariant(message.toolCalls);
    case HasToolCallsRole:
        return message.toolCalls.has_value() && !message.toolCalls->isEmpty();
    case ReasoningRole:
        return message.reasoning;
    case ReasoningSecondsRole:
        return message.reasoningSeconds ? QVariant(*message.reasoningSeconds) : QVariant();
    case AttachmentsRole: {
        QVariantList list;
        for (const Attachment &attachment : message.attachments)
            list.append(QVariantMap{{QStringLiteral("name"), attachment.name},
                                    {QStringLiteral("kind"), attachment.kind},
                                    {QStringLiteral("size"), double(attachment.size)}});
        return list;
    }
    case IsThinkingRole:
        return m_replyInProgress && index.row() == m_messages.size() - 1
               && !message.reasoning.isEmpty() && !message.reasoningSeconds;
    default:
        return {};
    }
}

QHash<int, QByteArray> MessageListModel::roleNames() const
{
    return {
        {IdRole, "messageId"},
        {RoleRole, "role"},
        {ContentRole, "content"},
        {TimestampRole, "timestamp"},
        {ToolCallsRole, "toolCalls"},
        {HasToolCallsRole, "hasToolCalls"},
        {ReasoningRole, "reasoning"},
        {ReasoningSecondsRole, "reasoningSeconds"},
        {IsThinkingRole, "isThinking"},
        {AttachmentsRole, "attachments"},
    };
}

void MessageListModel::setMessages(const QList<Message> &messages)
{
    beginResetModel();
    m_messages = messages;
    endResetModel();
    emit messagesChanged();
}

void MessageListModel::append(const Message &message)
{
    const int row = int(m_messages.size());
    beginInsertRows({}, row, row);
    m_messages.append(message);
    endInsertRows();
    emit messagesChanged();
}

void MessageListModel::replace(qsizetype row, const Message &message)
{
    if (row < 0 || row >= m_messages.size())
        return;
    // Views and proxies re-read only the roles named: a streamed reply changes its text or its
    // thinking (and, being a new message, its identifier and time), never its role or tool calls.
    const Message &old = m_messages.at(row);
    QList<int> roles;
    if (old.id != message.id)
        roles << IdRole;
    if (old.role != message.role)
        roles << RoleRole;
    if (old.content != message.content)
        roles << Qt::DisplayRole << ContentRole << IsThinkingRole;
    if (old.reasoning != message.reasoning)
        roles << ReasoningRole << IsThinkingRole;
    if (old.reasoningSeconds != message.reasoningSeconds)
        roles << ReasoningSecondsRole << IsThinkingRole;
    if (old.timestamp != message.timestamp)
        roles << TimestampRole;
    if (old.toolCalls != message.toolCalls)
        roles << ToolCallsRole << HasToolCallsRole;
    if (old.attachments != message.attachments)
        roles << AttachmentsRole;
    if (roles.isEmpty())
        return;
    m_messages[row] = message;
    const QModelIndex changed = index(int(row));
    emit dataChanged(changed, changed, roles);
    emit messagesChanged();
}

void MessageListModel::setReplyInProgress(bool inProgress)
{
    if (std::exchange(m_replyInProgress, inProgress) == inProgress || m_messages.isEmpty())
        return;
    if (m_messages.last().reasoning.isEmpty() || m_messages.last().reasoningSeconds)
        return; // its answer does not change
    const QModelIndex last = index(int(m_messages.size() - 1));
    emit dataChanged(last, last, {IsThinkingRole});
}

void MessageListModel::removeLast()
{
    if (m_messages.isEmpty())
        return;
    const int row = int(m_messages.size() - 1);
    beginRemoveRows({}, row, row);
    m_messages.removeLast();
    endRemoveRows();
    emit messagesChanged();
}

int SessionListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_sessions.size());
}

QVariant SessionListModel::data(const QModelIndex &index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const ChatSession &session = m_sessions.at(index.row());
    switch (role) {
    case IdRole:
        return uuidText(session.id);
    case Qt::DisplayRole:
    case TitleRole:
        return session.title;
    case CreatedAtRole:
        return session.createdAt.toDateTime();
    case UpdatedAtRole:
        return session.updatedAt.toDateTime();
    case IsPinnedRole:
        return session.isPinned;
    case MessageCountRole:
        return int(session.messages.size());
    case SystemPromptOverrideRole:
        return session.systemPromptOverride.value_or(QString());
    default:
        return {};
    }
}

QHash<int, QByteArray> SessionListModel::roleNames() const
{
    return {
        {IdRole, "sessionId"},
        {TitleRole, "title"},
        {CreatedAtRole, "createdAt"},
        {UpdatedAtRole, "updatedAt"},
        {IsPinnedRole, "isPinned"},
        {MessageCountRole, "messageCount"},
        {SystemPromptOverrideRole, "systemPromptOverride"},
    };
}

qsizetype SessionListModel::indexOf(const QUuid &id) const
{
    for (qsizetype i = 0; i < m_sessions.size(); ++i) {
        if (m_sessions.at(i).id == id)
            return i;
    }
    return -1;
}

void SessionListModel::setSessions(const QList<ChatSession> &sessions)
{
    beginResetModel();
    m_sessions = sessions;
    endResetModel();
    emit sessionsChanged();
}

void SessionListModel::insert(qsizetype row, const ChatSession &session)
{
    row = std::clamp<qsizetype>(row, 0, m_sessions.size());
    beginInsertRows({}, int(row), int(row));
    m_sessions.insert(row, session);
    endInsertRows();
    emit sessionsChanged();
}

void SessionListModel::append(const QList<ChatSession> &sessions)
{
    if (sessions.isEmpty())
        return;
    const int first = int(m_sessions.size());
    beginInsertRows({}, first, first + int(sessions.size()) - 1);
    m_sessions.append(sessions);
    endInsertRows();
    emit sessionsChanged();
}

void SessionListModel::update(qsizetype row, const ChatSession &session)
{
    if (row < 0 || row >= m_sessions.size())
        return;
    m_sessions[row] = session;
    const QModelIndex changed = index(int(row));
    emit dataChanged(changed, changed);
    emit sessionsChanged();
}

void SessionListModel::setMessagesQuietly(qsizetype row, const QList<Message> &messages)
{
    if (row >= 0 && row < m_sessions.size())
        m_sessions[row].messages = messages;
}

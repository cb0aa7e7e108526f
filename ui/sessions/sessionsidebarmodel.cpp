#include "ui/sessions/sessionsidebarmodel.h"

#include "core/agentstate.h"
#include "ui/sessions/sessiondatelabel.h"

#include <QTimer>

SessionSidebarModel::SessionSidebarModel(QObject *parent)
    : QSortFilterProxyModel(parent)
{
    setDynamicSortFilter(true);
    // Date labels read the clock: keep "today" and "Yesterday" true across midnight.
    auto *timer = new QTimer(this);
    timer->setInterval(60 * 1000);
    connect(timer, &QTimer::timeout, this, [this] {
        if (!m_now.isValid())
            refreshDateLabels();
    });
    timer->start();
}

void SessionSidebarModel::setState(AgentState *state)
{
    if (m_state == state)
        return;
    m_state = state;
    setSourceModel(state ? state->sessionModel() : nullptr);
    sort(0);
    emit stateChanged();
}

void SessionSidebarModel::setSearchQuery(const QString &query)
{
    if (m_searchQuery == query)
        return;
    m_searchQuery = query;
    const QString normalized = query.trimmed().toLower();
    if (normalized != m_normalizedQuery) {
        m_normalizedQuery = normalized;
        invalidateRowsFilter();
    }
    emit searchQueryChanged();
}

void SessionSidebarModel::setNow(const QDateTime &now)
{
    if (m_now == now)
        return;
    m_now = now;
    refreshDateLabels();
    emit nowChanged();
}

void SessionSidebarModel::refreshDateLabels()
{
    if (rowCount() > 0)
        emit dataChanged(index(0, 0), index(rowCount() - 1, 0), {DateLabelRole});
}

QVariant SessionSidebarModel::data(const QModelIndex &index, int role) const
{
    if (role == DateLabelRole) {
        const QDateTime updated
            = QSortFilterProxyModel::data(index, SessionListModel::UpdatedAtRole).toDateTime();
        return sessionDateLabel(updated, m_now.isValid() ? m_now : QDateTime::currentDateTime());
    }
    if (role == InitialRole) {
        const QString title
            = QSortFilterProxyModel::data(index, SessionListModel::TitleRole).toString();
        if (title.isEmpty())
            return QString();
        // A surrogate pair is one character.
        const qsizetype length = title.at(0).isHighSurrogate() && title.size() > 1 ? 2 : 1;
        return title.left(length).toUpper();
    }
    return QSortFilterProxyModel::data(index, role);
}

QHash<int, QByteArray> SessionSidebarModel::roleNames() const
{
    QHash<int, QByteArray> names = QSortFilterProxyModel::roleNames();
    names.insert(DateLabelRole, "dateLabel");
    names.insert(InitialRole, "initial");
    return names;
}

bool SessionSidebarModel::filterAcceptsRow(int sourceRow, const QModelIndex &) const
{
    if (m_normalizedQuery.isEmpty() || !m_state)
        return true;
    const QList<ChatSession> &sessions = m_state->chatSessions();
    if (sourceRow < 0 || sourceRow >= sessions.size())
        return false;
    const ChatSession &session = sessions.at(sourceRow);
    if (session.title.toLower().contains(m_normalizedQuery))
        return true;
    return std::any_of(session.messages.cbegin(),
                       session.messages.cend(),
                       [this](const Message &message) {
                           return message.content.toLower().contains(m_normalizedQuery);
                       });
}

bool SessionSidebarModel::lessThan(const QModelIndex &left, const QModelIndex &right) const
{
    const bool leftPinned = left.data(SessionListModel::IsPinnedRole).toBool();
    const bool rightPinned = right.data(SessionListModel::IsPinnedRole).toBool();
    if (leftPinned != rightPinned)
        return leftPinned;
    return left.row() < right.row();
}

QStringList SessionSidebarModel::sessionIds() const
{
    QStringList ids;
    for (int row = 0; row < rowCount(); ++row)
        ids.append(index(row, 0).data(SessionListModel::IdRole).toString());
    return ids;
}

int SessionSidebarModel::rowOf(const QString &sessionId) const
{
    for (int row = 0; row < rowCount(); ++row) {
        if (index(row, 0).data(SessionListModel::IdRole).toString() == sessionId)
            return row;
    }
    return -1;
}

bool SessionSidebarModel::selectSession(const QString &sessionId)
{
    if (!m_state || sessionId.isEmpty())
        return false;
    const QUuid id = QUuid::fromString(sessionId);
    const qsizetype index = m_state->sessionModel()->indexOf(id);
    if (id.isNull() || index < 0)
        return false;
    const ChatSession session = m_state->chatSessions().at(index);
    m_state->setActiveSessionID(session.id);
    m_state->setMessages(session.messages);
    return true;
}

void SessionSidebarModel::deleteSession(const QString &sessionId)
{
    if (!m_state)
        return;
    const QUuid id = QUuid::fromString(sessionId);
    if (id.isNull())
        return;
    // That one row: identifiers are unique, and should two ever meet, the other stays.
    QList<ChatSession> remaining = m_state->chatSessions();
    if (const qsizetype row = m_state->sessionModel()->indexOf(id); row >= 0) {
        remaining.removeAt(row);
        m_state->setChatSessions(remaining);
    }
    if (m_state->activeSessionID() != id) {
        m_state->saveSettings();
        return;
    }
    if (!remaining.isEmpty()) {
        m_state->setActiveSessionID(remaining.first().id);
        m_state->setMessages(remaining.first().messages);
    } else {
        m_state->startNewChat();
    }
    m_state->saveSettings();
}

#pragma once

#include "core/agentstate.h"

#include <QDateTime>
#include <QPointer>
#include <QSortFilterProxyModel>
#include <QtQml/qqmlregistration.h>

// The sidebar's session list over the store's sessions: pinned sessions first, each
// group in stored order, narrowed by the search text (titles, then message texts).
// Also the sidebar's two operations on the store, select and delete.
class SessionSidebarModel : public QSortFilterProxyModel
{
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(AgentState *state READ state WRITE setState NOTIFY stateChanged)
    Q_PROPERTY(QString searchQuery READ searchQuery WRITE setSearchQuery NOTIFY searchQueryChanged)
    // The reference time of the date labels; invalid means the clock.
    Q_PROPERTY(QDateTime now READ now WRITE setNow NOTIFY nowChanged)

public:
    enum Roles {
        DateLabelRole = Qt::UserRole + 100, /**< sessionDateLabel of the session's updatedAt. */
        InitialRole, /**< The title's first character in upper case, for the badge. */
    };
    Q_ENUM(Roles)

    explicit SessionSidebarModel(QObject *parent = nullptr);

    AgentState *state() const { return m_state; }
    void setState(AgentState *state);
    QString searchQuery() const { return m_searchQuery; }
    void setSearchQuery(const QString &query);
    QDateTime now() const { return m_now; }
    void setNow(const QDateTime &now);

    QVariant data(const QModelIndex &index, int role) const override;
    QHash<int, QByteArray> roleNames() const override;

    // Identifiers of the listed sessions, in list order.
    Q_INVOKABLE QStringList sessionIds() const;
    // Makes the session active and shows its messages; false (and no change) when it is gone.
    Q_INVOKABLE bool selectSession(const QString &sessionId);
    // Removes the session; when it was the active one, the first remaining session (or a
    // new one) becomes active. Saves the archive.
    Q_INVOKABLE void deleteSession(const QString &sessionId);
    Q_INVOKABLE int rowOf(const QString &sessionId) const;

signals:
    void stateChanged();
    void searchQueryChanged();
    void nowChanged();

protected:
    bool filterAcceptsRow(int sourceRow, const QModelIndex &sourceParent) const override;
    bool lessThan(const QModelIndex &left, const QModelIndex &right) const override;

private:
    void refreshDateLabels();

    QPointer<AgentState> m_state;
    QString m_searchQuery;
    QString m_normalizedQuery;
    QDateTime m_now;
};

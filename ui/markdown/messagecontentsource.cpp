#include "ui/markdown/messagecontentsource.h"

void MessageContentSource::setModel(QAbstractItemModel *model)
{
    if (m_model == model)
        return;
    for (const QMetaObject::Connection &connection : std::as_const(m_connections))
        disconnect(connection);
    m_connections.clear();
    m_model = model;
    findRole();
    if (model) {
        // A reply's thinking and its answer stream apart: a change names its roles.
        m_connections << connect(model,
                                 &QAbstractItemModel::dataChanged,
                                 this,
                                 [this](const QModelIndex &first,
                                        const QModelIndex &last,
                                        const QList<int> &roles) {
                                     if (m_row >= first.row() && m_row <= last.row()
                                         && (roles.isEmpty() || roles.contains(m_contentRole)))
                                         refresh();
                                 });
        m_connections << connect(model,
                                 &QAbstractItemModel::modelReset,
                                 this,
                                 &MessageContentSource::refresh);
        m_connections << connect(model,
                                 &QAbstractItemModel::layoutChanged,
                                 this,
                                 &MessageContentSource::refresh);
    }
    refresh();
    emit modelChanged();
}

void MessageContentSource::setRow(int row)
{
    if (m_row == row)
        return;
    m_row = row;
    refresh();
    emit rowChanged();
}

void MessageContentSource::setRoleName(const QString &roleName)
{
    if (m_roleName == roleName)
        return;
    m_roleName = roleName;
    findRole();
    refresh();
    emit roleNameChanged();
}

void MessageContentSource::findRole()
{
    m_contentRole = m_model ? m_model->roleNames().key(m_roleName.toUtf8(), -1) : -1;
}

void MessageContentSource::refresh()
{
    QString content;
    if (m_model && m_contentRole >= 0 && m_row >= 0 && m_row < m_model->rowCount())
        content = m_model->index(m_row, 0).data(m_contentRole).toString();
    if (content == m_content)
        return;
    const bool wasEmpty = isEmpty();
    m_content = content;
    emit contentChanged();
    if (wasEmpty != isEmpty())
        emit isEmptyChanged();
}

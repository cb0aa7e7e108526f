#include "ui/chat/visiblemessagesmodel.h"

#include "core/messagelistmodel.h"
#include "core/messagevisibility.h"
#include "core/records.h"

#include <QCryptographicHash>
#include <QImage>

VisibleMessagesModel::VisibleMessagesModel(QObject *parent)
    : QSortFilterProxyModel(parent)
{
    // A streamed piece can show or hide its row (an empty placeholder, a tool request).
    setDynamicSortFilter(true);
}

MessageListModel *VisibleMessagesModel::messages() const
{
    return qobject_cast<MessageListModel *>(sourceModel());
}

void VisibleMessagesModel::setMessages(MessageListModel *messages)
{
    if (sourceModel() == messages)
        return;
    setSourceModel(messages);
    emit messagesChanged();
}

void VisibleMessagesModel::setShowThinking(bool show)
{
    if (m_showThinking == show)
        return;
    m_showThinking = show;
    invalidateRowsFilter();
    emit showThinkingChanged();
}

bool VisibleMessagesModel::filterAcceptsRow(int sourceRow, const QModelIndex &sourceParent) const
{
    const QModelIndex index = sourceModel()->index(sourceRow, 0, sourceParent);
    const QString role = index.data(MessageListModel::RoleRole).toString();
    const QString content = index.data(MessageListModel::ContentRole).toString();
    if (!shouldHideMessage(role, content))
        return true;
    // Files sent without a word still make a turn.
    if (role == Role::user && !index.data(MessageListModel::AttachmentsRole).toList().isEmpty())
        return true;
    // Its answer has not begun (or never came: stopped, or tools were asked for instead).
    return m_showThinking && role == Role::assistant && content.trimmed().isEmpty()
           && !index.data(MessageListModel::ReasoningRole).toString().isEmpty();
}

VisibleMessagesModel::ImageState VisibleMessagesModel::imageState(const QString &content) const
{
    if (!content.startsWith(QLatin1String("data:image/")))
        return ImageState::None;
    const QByteArray key = QCryptographicHash::hash(content.toUtf8(), QCryptographicHash::Sha1);
    if (const ImageState *cached = m_imageStates.object(key))
        return *cached;
    ImageState state = ImageState::None;
    if (const auto bytes = inlineImageBytes(content)) {
        QImage image;
        state = image.loadFromData(*bytes) ? ImageState::Picture : ImageState::Broken;
    }
    m_imageStates.insert(key, new ImageState(state));
    return state;
}

QVariant VisibleMessagesModel::data(const QModelIndex &index, int role) const
{
    if (role == ImageStateRole)
        return int(imageState(
            QSortFilterProxyModel::data(index, MessageListModel::ContentRole).toString()));
    if (role == IsErrorRole) {
        return Message::isErrorReply(
            QSortFilterProxyModel::data(index, MessageListModel::RoleRole).toString(),
            QSortFilterProxyModel::data(index, MessageListModel::ContentRole).toString());
    }
    return QSortFilterProxyModel::data(index, role);
}

QHash<int, QByteArray> VisibleMessagesModel::roleNames() const
{
    QHash<int, QByteArray> names = QSortFilterProxyModel::roleNames();
    names.insert(ImageStateRole, "imageState");
    names.insert(IsErrorRole, "isError");
    return names;
}

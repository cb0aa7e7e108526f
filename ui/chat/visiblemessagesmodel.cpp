#include "ui/chat/visiblemessagesmodel.h"

#include "core/messagelistmodel.h"
#include "core/messagevisibility.h"

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

bool VisibleMessagesModel::filterAcceptsRow(int sourceRow, const QModelIndex &sourceParent) const
{
    const QModelIndex index = sourceModel()->index(sourceRow, 0, sourceParent);
    return !shouldHideMessage(index.data(MessageListModel::RoleRole).toString(),
                              index.data(MessageListModel::ContentRole).toString());
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

#pragma once

#include "core/messagelistmodel.h"

#include <QCache>
#include <QSortFilterProxyModel>
#include <QtQml/qqmlregistration.h>

// The conversation rows that are drawn: the store's messages without those that
// shouldHideMessage rejects, plus what the bubble needs to know about each. A reply that has
// only thought so far is drawn while the thinking is shown.
class VisibleMessagesModel : public QSortFilterProxyModel
{
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(MessageListModel *messages READ messages WRITE setMessages NOTIFY messagesChanged)
    Q_PROPERTY(bool showThinking READ showThinking WRITE setShowThinking NOTIFY showThinkingChanged)

public:
    enum Roles {
        ImageStateRole = Qt::UserRole + 100, /**< The content's ImageState. */
        IsErrorRole, /**< An assistant reply beginning with "Error:", which offers a retry. */
    };
    Q_ENUM(Roles)

    // Whether a message's content is an image data URL, and one that decodes.
    enum class ImageState {
        None,    ///< Text.
        Picture, ///< A picture to show.
        Broken,  ///< Bytes that are no picture.
    };
    Q_ENUM(ImageState)

    explicit VisibleMessagesModel(QObject *parent = nullptr);

    MessageListModel *messages() const;
    void setMessages(MessageListModel *messages);
    bool showThinking() const { return m_showThinking; }
    void setShowThinking(bool show);

    QVariant data(const QModelIndex &index, int role) const override;
    QHash<int, QByteArray> roleNames() const override;

signals:
    void messagesChanged();
    void showThinkingChanged();

protected:
    bool filterAcceptsRow(int sourceRow, const QModelIndex &sourceParent) const override;

private:
    ImageState imageState(const QString &content) const;

    mutable QCache<QByteArray, ImageState> m_imageStates{32};
    bool m_showThinking = true;
};

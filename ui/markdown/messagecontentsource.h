#pragma once

#include <QAbstractItemModel>
#include <QPointer>
#include <QtQml/qqmlregistration.h>

// The text of one row of a message model, kept on the C++ side. A streamed reply
// grows to tens of thousands of characters; held in QML properties, every piece
// would put a copy on the JavaScript heap and make the collector run all the time.
// The text is the row's "content" unless another role is named (a reply's "reasoning").
class MessageContentSource : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(QAbstractItemModel *model READ model WRITE setModel NOTIFY modelChanged)
    Q_PROPERTY(int row READ row WRITE setRow NOTIFY rowChanged)
    Q_PROPERTY(QString roleName READ roleName WRITE setRoleName NOTIFY roleNameChanged)
    Q_PROPERTY(QString content READ content NOTIFY contentChanged)
    // Whether there is no text, told without handing the text to QML.
    Q_PROPERTY(bool isEmpty READ isEmpty NOTIFY isEmptyChanged)

public:
    using QObject::QObject;

    QAbstractItemModel *model() const { return m_model; }
    void setModel(QAbstractItemModel *model);
    int row() const { return m_row; }
    void setRow(int row);
    QString roleName() const { return m_roleName; }
    void setRoleName(const QString &roleName);
    QString content() const { return m_content; }
    bool isEmpty() const { return m_content.isEmpty(); }

signals:
    void modelChanged();
    void rowChanged();
    void roleNameChanged();
    void contentChanged();
    void isEmptyChanged();

private:
    void refresh();
    void findRole();

    QPointer<QAbstractItemModel> m_model;
    int m_row = -1;
    QString m_roleName = QStringLiteral("content");
    int m_contentRole = -1;
    QString m_content;
    QList<QMetaObject::Connection> m_connections;
};

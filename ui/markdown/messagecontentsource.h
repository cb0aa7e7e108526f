#pragma once

#include <QAbstractItemModel>
#include <QPointer>
#include <QtQml/qqmlregistration.h>

// The text of one row of a message model, kept on the C++ side. A streamed reply
// grows to tens of thousands of characters; held in QML properties, every piece
// would put a copy on the JavaScript heap and make the collector run all the time.
class MessageContentSource : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(QAbstractItemModel *model READ model WRITE setModel NOTIFY modelChanged)
    Q_PROPERTY(int row READ row WRITE setRow NOTIFY rowChanged)
    Q_PROPERTY(QString content READ content NOTIFY contentChanged)

public:
    using QObject::QObject;

    QAbstractItemModel *model() const { return m_model; }
    void setModel(QAbstractItemModel *model);
    int row() const { return m_row; }
    void setRow(int row);
    QString content() const { return m_content; }

signals:
    void modelChanged();
    void rowChanged();
    void contentChanged();

private:
    void refresh();

    QPointer<QAbstractItemModel> m_model;
    int m_row = -1;
    int m_contentRole = -1;
    QString m_content;
    QList<QMetaObject::Connection> m_connections;
};

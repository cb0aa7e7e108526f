#pragma once

#include <QAbstractListModel>
#include <QVariantMap>
#include <QtQml/qqmlregistration.h>

// What an approval shows about the file a call would change, read when the call is shown:
// for write_file the current file's lines against the new content, or "New file"; for
// delete_file what is at the path. The 1 MiB cap on compared files keeps the read and the
// diff short on the UI thread.
class ApprovalFacts : public QAbstractListModel
{
    Q_OBJECT
    QML_ELEMENT
    // The call as the store publishes it: name and arguments are read.
    Q_PROPERTY(QVariantMap toolCall READ toolCall WRITE setToolCall NOTIFY changed)
    // One line about the file, or empty when the call touches none.
    Q_PROPERTY(QString note READ note NOTIFY changed)
    // The diff's count ("1 line removed, 2 lines added"), or empty without a diff.
    Q_PROPERTY(QString summary READ summary NOTIFY changed)

public:
    enum Roles {
        KindRole = Qt::UserRole + 1, /**< The row's LineKind. */
        TextRole,                    /**< The line, or how many unchanged lines are skipped. */
    };
    Q_ENUM(Roles)

    // Unchanged lines far from a change are folded into one Skipped row.
    enum class LineKind { Same, Removed, Added, Skipped };
    Q_ENUM(LineKind)

    // Files larger than this are described by their size, not compared.
    static constexpr qint64 maxComparedBytes = 1024 * 1024;

    using QAbstractListModel::QAbstractListModel;

    QVariantMap toolCall() const { return m_toolCall; }
    void setToolCall(const QVariantMap &call);
    QString note() const { return m_note; }
    QString summary() const { return m_summary; }

    int rowCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QHash<int, QByteArray> roleNames() const override;

signals:
    void changed();

private:
    struct Row
    {
        LineKind kind;
        QString text;
    };
    void describeWrite(const QString &path, const QString &content);
    void describeDelete(const QString &path);

    QVariantMap m_toolCall;
    QString m_note;
    QString m_summary;
    QList<Row> m_rows;
};

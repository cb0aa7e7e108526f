#pragma once

#include <QAbstractListModel>
#include <QCoroTask>
#include <QVariantMap>
#include <QtQml/qqmlregistration.h>

class QFileInfo;

// What an approval shows about the file a call would change, read when the call is shown:
// for write_file the current file's lines against the new content, or "New file"; for
// delete_file what is at the path. A write through a link is shown, and compared, as a write
// to the file the link leads to, where write_file puts it. Only regular files are opened,
// never waiting on one; a file over a few dozen KiB is read and compared off the UI thread,
// so the sheet opens at once. The 1 MiB cap keeps the comparison short.
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
    // Files larger than this are compared off the UI thread.
    static constexpr qint64 maxBytesComparedAtOnce = 64 * 1024;

    using QAbstractListModel::QAbstractListModel;

    QVariantMap toolCall() const { return m_toolCall; }
    void setToolCall(const QVariantMap &call);
    QString note() const { return m_note; }
    QString summary() const { return m_summary; }
    // Before the call is approved: true when a write still goes where the facts say;
    // otherwise the facts are read afresh, say that the path changed, and it is false.
    Q_INVOKABLE bool confirmTarget();

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
    // A comparison's outcome, made wherever the file is read.
    struct Comparison
    {
        QString note;
        QString summary;
        QList<Row> rows;
    };
    static Comparison compare(const QString &target, const QString &content, qint64 size);
    void describe(const QString &lead);
    void describeWrite(const QString &path, const QString &content);
    void describeDelete(const QString &path);
    void show(Comparison comparison);
    QCoro::Task<> compareElsewhere(QString target, QString content, qint64 size);

    QVariantMap m_toolCall;
    QString m_note;
    QString m_summary;
    QList<Row> m_rows;
    // What the facts were read for: the write's target and what was found there.
    QString m_target;
    enum class TargetKind { Unread, None, Folder, File, Other };
    static TargetKind kindOf(const QFileInfo &info);
    TargetKind m_targetKind = TargetKind::Unread;
    QString m_lead;           // lines before the note ("Link to TARGET"), each with its line break
    quint64 m_generation = 0; // a comparison in flight applies only to its own call
};

#include "ui/approval/approvalfacts.h"

#include "core/linediff.h"
#include "platform/regularfile.h"
#include "tools/fileactions.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QPointer>
#include <QStringDecoder>
#include <QtConcurrent/QtConcurrentRun>

#include <QCoroFuture>

namespace {
// Unchanged lines kept on each side of a change.
constexpr qsizetype contextLines = 2;
const QString notRegular = QStringLiteral("Not a regular file");

QString sizeText(qint64 bytes)
{
    return QLocale::c().formattedDataSize(bytes, 1, QLocale::DataSizeSIFormat);
}

QString countText(qsizetype count, const char *one, const char *many)
{
    return QString::number(count) + u' ' + QLatin1String(count == 1 ? one : many);
}

} // namespace

void ApprovalFacts::setToolCall(const QVariantMap &call)
{
    if (m_toolCall == call && !call.isEmpty())
        return;
    m_toolCall = call;
    describe(QString());
}

void ApprovalFacts::describe(const QString &lead)
{
    beginResetModel();
    ++m_generation;
    m_note.clear();
    m_summary.clear();
    m_rows.clear();
    m_target.clear();
    m_targetKind = TargetKind::Unread;
    m_lead = lead;
    const QString name = m_toolCall.value(QStringLiteral("name")).toString();
    const QVariantMap arguments = m_toolCall.value(QStringLiteral("arguments")).toMap();
    const QString path = arguments.value(QStringLiteral("path")).toString();
    if (name == QLatin1String("write_file") && !path.isEmpty())
        describeWrite(path, arguments.value(QStringLiteral("content")).toString());
    else if (name == QLatin1String("delete_file") && !path.isEmpty())
        describeDelete(path);
    endResetModel();
    emit changed();
}

// What is at a write's target, as far as the facts go.
ApprovalFacts::TargetKind ApprovalFacts::kindOf(const QFileInfo &info)
{
    if (!info.exists())
        return TargetKind::None;
    if (info.isDir())
        return TargetKind::Folder;
    return info.isFile() ? TargetKind::File : TargetKind::Other;
}

bool ApprovalFacts::confirmTarget()
{
    if (m_toolCall.value(QStringLiteral("name")).toString() != QLatin1String("write_file"))
        return true;
    const QString path = m_toolCall.value(QStringLiteral("arguments"))
                             .toMap()
                             .value(QStringLiteral("path"))
                             .toString();
    const QString target = FileActions::writeTarget(path);
    if (target == m_target && kindOf(QFileInfo(target)) == m_targetKind)
        return true;
    describe(QStringLiteral("The path changed since it was shown\n"));
    return false;
}

void ApprovalFacts::describeWrite(const QString &path, const QString &content)
{
    m_target = FileActions::writeTarget(path);
    if (m_target.isEmpty()) {
        m_note = m_lead + QStringLiteral("A loop of links is at this path");
        return;
    }
    if (QFileInfo(FileActions::expandPath(path)).isSymLink())
        m_lead += QStringLiteral("Link to ") + m_target + u'\n';
    const QFileInfo info(m_target);
    m_targetKind = kindOf(info);
    if (m_targetKind == TargetKind::None)
        m_note = m_lead + QStringLiteral("New file");
    else if (m_targetKind == TargetKind::Folder)
        m_note = m_lead + QStringLiteral("A folder is at this path");
    else if (m_targetKind != TargetKind::File)
        m_note = m_lead + notRegular;
    else if (info.size() > maxComparedBytes)
        m_note
            = m_lead
              + QStringLiteral("Current file: %1, too large to compare").arg(sizeText(info.size()));
    else if (info.size() <= maxBytesComparedAtOnce)
        show(compare(m_target, content, info.size()));
    else {
        m_note = m_lead + QStringLiteral("Current file: %1, comparing…").arg(sizeText(info.size()));
        compareElsewhere(m_target, content, info.size());
    }
}

QCoro::Task<> ApprovalFacts::compareElsewhere(QString target, QString content, qint64 size)
{
    const QPointer<ApprovalFacts> self(this);
    const quint64 generation = m_generation;
    Comparison comparison
        = co_await QtConcurrent::run(&ApprovalFacts::compare, target, content, size);
    if (!self || generation != m_generation)
        co_return;
    beginResetModel();
    show(std::move(comparison));
    endResetModel();
    emit changed();
}

void ApprovalFacts::show(Comparison comparison)
{
    m_note = m_lead + comparison.note;
    m_summary = std::move(comparison.summary);
    m_rows = std::move(comparison.rows);
}

// Runs on a worker thread for larger files: it touches nothing but its arguments.
ApprovalFacts::Comparison ApprovalFacts::compare(const QString &target,
                                                 const QString &content,
                                                 qint64 size)
{
    QFile file;
    if (const QString reason = openRegularFile(file, target); !reason.isEmpty())
        return {reason == notRegular
                    ? notRegular
                    : QStringLiteral("Current file: %1, unreadable: %2").arg(sizeText(size), reason),
                {},
                {}};
    // What was opened may differ from what was looked at before.
    const QByteArray bytes = file.read(maxComparedBytes + 1);
    const QString sizeNow = sizeText(file.size());
    if (bytes.size() > maxComparedBytes)
        return {QStringLiteral("Current file: %1, too large to compare").arg(sizeNow), {}, {}};
    QStringDecoder decoder(QStringConverter::Utf8);
    const QString current = decoder(bytes);
    if (decoder.hasError())
        return {QStringLiteral("Current file: %1, not UTF-8 text").arg(sizeNow), {}, {}};

    Comparison out;
    const LineDiff diff = diffLines(current.split(u'\n'), content.split(u'\n'));
    out.note = QStringLiteral("Current file: %1").arg(sizeNow);
    out.summary = diff.removed + diff.added == 0
                      ? QStringLiteral("No changes")
                      : countText(diff.removed, "line removed", "lines removed")
                            + QStringLiteral(", ")
                            + countText(diff.added, "line added", "lines added");
    // Unchanged runs keep a little context around each change; the rest folds away.
    QList<Row> &rows = out.rows;
    const QList<DiffLine> &lines = diff.lines;
    for (qsizetype i = 0; i < lines.size();) {
        if (lines.at(i).kind != DiffLine::Same) {
            rows.append({lines.at(i).kind == DiffLine::Removed ? LineKind::Removed : LineKind::Added,
                         lines.at(i).text});
            ++i;
            continue;
        }
        qsizetype end = i;
        while (end < lines.size() && lines.at(end).kind == DiffLine::Same)
            ++end;
        const qsizetype keepHead = i == 0 ? 0 : contextLines;
        const qsizetype keepTail = end == lines.size() ? 0 : contextLines;
        if (end - i <= keepHead + keepTail + 1) {
            for (; i < end; ++i)
                rows.append({LineKind::Same, lines.at(i).text});
            continue;
        }
        for (qsizetype k = 0; k < keepHead; ++k)
            rows.append({LineKind::Same, lines.at(i + k).text});
        rows.append({LineKind::Skipped,
                     countText(end - i - keepHead - keepTail, "unchanged line", "unchanged lines")});
        for (qsizetype k = end - keepTail; k < end; ++k)
            rows.append({LineKind::Same, lines.at(k).text});
        i = end;
    }
    return out;
}

void ApprovalFacts::describeDelete(const QString &path)
{
    const QFileInfo info(FileActions::expandPath(path));
    if (!info.exists() && !info.isSymLink())
        m_note = QStringLiteral("Nothing is at this path");
    else if (info.isDir())
        m_note = QStringLiteral("Folder with ")
                 + countText(QDir(info.filePath())
                                 .entryList(QDir::AllEntries | QDir::Hidden | QDir::System
                                            | QDir::NoDotAndDotDot)
                                 .size(),
                             "item",
                             "items");
    else
        m_note = QStringLiteral("File, ") + sizeText(info.size());
}

int ApprovalFacts::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

QVariant ApprovalFacts::data(const QModelIndex &index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const Row &row = m_rows.at(index.row());
    if (role == KindRole)
        return int(row.kind);
    if (role == TextRole || role == Qt::DisplayRole)
        return row.text;
    return {};
}

QHash<int, QByteArray> ApprovalFacts::roleNames() const
{
    return {{KindRole, "kind"}, {TextRole, "line"}};
}

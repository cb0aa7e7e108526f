#include "ui/approvalfacts.h"

#include "core/linediff.h"
#include "tools/fileactions.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QStringDecoder>

namespace {
// Unchanged lines kept on each side of a change.
constexpr qsizetype contextLines = 2;

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
    beginResetModel();
    m_toolCall = call;
    m_note.clear();
    m_summary.clear();
    m_rows.clear();
    const QString name = call.value(QStringLiteral("name")).toString();
    const QVariantMap arguments = call.value(QStringLiteral("arguments")).toMap();
    const QString path = arguments.value(QStringLiteral("path")).toString();
    if (name == QLatin1String("write_file") && !path.isEmpty())
        describeWrite(path, arguments.value(QStringLiteral("content")).toString());
    else if (name == QLatin1String("delete_file") && !path.isEmpty())
        describeDelete(path);
    endResetModel();
    emit changed();
}

void ApprovalFacts::describeWrite(const QString &path, const QString &content)
{
    const QFileInfo info(FileActions::expandPath(path));
    if (!info.exists()) {
        m_note = QStringLiteral("New file");
        return;
    }
    if (info.isDir()) {
        m_note = QStringLiteral("A folder is at this path");
        return;
    }
    const QString size = sizeText(info.size());
    if (info.size() > maxComparedBytes) {
        m_note = QStringLiteral("Current file: %1, too large to compare").arg(size);
        return;
    }
    QFile file(info.filePath());
    if (!file.open(QIODevice::ReadOnly)) {
        m_note = QStringLiteral("Current file: %1, unreadable: %2").arg(size, file.errorString());
        return;
    }
    QStringDecoder decoder(QStringConverter::Utf8);
    const QString current = decoder(file.read(maxComparedBytes));
    if (decoder.hasError()) {
        m_note = QStringLiteral("Current file: %1, not UTF-8 text").arg(size);
        return;
    }

    const LineDiff diff = diffLines(current.split(u'\n'), content.split(u'\n'));
    m_note = QStringLiteral("Current file: %1").arg(size);
    m_summary = diff.removed + diff.added == 0
                    ? QStringLiteral("No changes")
                    : countText(diff.removed, "line removed", "lines removed")
                          + QStringLiteral(", ")
                          + countText(diff.added, "line added", "lines added");
    // Unchanged runs keep a little context around each change; the rest folds away.
    const QList<DiffLine> &lines = diff.lines;
    for (qsizetype i = 0; i < lines.size();) {
        if (lines.at(i).kind != DiffLine::Same) {
            m_rows.append(
                {lines.at(i).kind == DiffLine::Removed ? LineKind::Removed : LineKind::Added,
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
                m_rows.append({LineKind::Same, lines.at(i).text});
            continue;
        }
        for (qsizetype k = 0; k < keepHead; ++k)
            m_rows.append({LineKind::Same, lines.at(i + k).text});
        m_rows.append(
            {LineKind::Skipped,
             countText(end - i - keepHead - keepTail, "unchanged line", "unchanged lines")});
        for (qsizetype k = end - keepTail; k < end; ++k)
            m_rows.append({LineKind::Same, lines.at(k).text});
        i = end;
    }
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

#include "ui/markdown/markdowndocument.h"

namespace {
QString cssColor(const QColor &color)
{
    if (!color.isValid())
        return {};
    return QStringLiteral("rgba(%1,%2,%3,%4)")
        .arg(color.red())
        .arg(color.green())
        .arg(color.blue())
        .arg(color.alphaF(), 0, 'f', 3);
}

MarkdownDocument::BlockKind kindOf(TextLine::Kind kind)
{
    switch (kind) {
    case TextLine::Kind::Heading:
        return MarkdownDocument::BlockKind::Heading;
    case TextLine::Kind::Bullet:
        return MarkdownDocument::BlockKind::Bullet;
    case TextLine::Kind::Paragraph:
        break;
    }
    return MarkdownDocument::BlockKind::Paragraph;
}
} // namespace

void MarkdownDocument::setText(const QString &text)
{
    if (!m_source)
        applyText(text);
}

void MarkdownDocument::setSource(MessageContentSource *source)
{
    if (m_source == source)
        return;
    disconnect(m_sourceConnection);
    m_source = source;
    if (source) {
        m_sourceConnection = connect(source, &MessageContentSource::contentChanged, this, [this] {
            applyText(m_source->content());
        });
        applyText(source->content());
    }
    emit sourceChanged();
}

void MarkdownDocument::applyText(const QString &text)
{
    if (m_text == text && m_parseCount > 0)
        return;
    QList<Row> rows = parseRows(text);
    // Rows before the stable point are the document's own, unchanged: compared from there on.
    const qsizetype kept = m_stableRows;
    m_text = text;
    ++m_parseCount;
    findStablePoint(text, rows);

    // Views pick a row's delegate by its kind when the row is made: a row that became another
    // kind (a paragraph turning into a bullet or a table as its line grows) is replaced, and so
    // is every row after it.
    qsizetype common = std::min(rows.size(), m_rows.size());
    for (qsizetype i = kept; i < common; ++i) {
        if (rows.at(i).kind != m_rows.at(i).kind) {
            common = i;
            break;
        }
    }
    qsizetype firstChanged = -1;
    qsizetype lastChanged = -1;
    for (qsizetype i = kept; i < common; ++i) {
        if (rows.at(i).sameAs(m_rows.at(i))) {
            rows[i].html = m_rows.at(i).html;
            rows[i].plain = m_rows.at(i).plain;
            rows[i].cellHtml = m_rows.at(i).cellHtml;
        } else {
            renderHtml(rows[i], &m_rows.at(i));
            if (firstChanged < 0)
                firstChanged = i;
            lastChanged = i;
        }
    }
    for (qsizetype i = common; i < rows.size(); ++i)
        renderHtml(rows[i]);

    if (m_rows.size() > common) {
        beginRemoveRows({}, int(common), int(m_rows.size() - 1));
        m_rows.resize(common);
        endRemoveRows();
    }
    for (qsizetype i = kept; i < common; ++i)
        m_rows[i] = rows.at(i);
    if (firstChanged >= 0)
        emit dataChanged(index(int(firstChanged)), index(int(lastChanged)));
    if (rows.size() > common) {
        beginInsertRows({}, int(common), int(rows.size() - 1));
        for (qsizetype i = common; i < rows.size(); ++i)
            m_rows.append(rows.at(i));
        endInsertRows();
    }
    emit textChanged();
}

QList<MarkdownDocument::Row> MarkdownDocument::parseRows(const QString &text)
{
    if (m_stableOffset == 0 || !text.startsWith(m_text)) {
        m_stableOffset = 0;
        m_stableRows = 0;
        m_parsedLength = int(text.size());
        return rowsOf(parseBlocks(text));
    }
    const QString tail = text.mid(m_stableOffset);
    m_parsedLength = int(tail.size());
    QList<Row> tailRows = rowsOf(parseBlocks(tail));
    if (!tailRows.isEmpty()) {
        // Parsed alone, the tail starts a reply; in place it continues the text before it,
        // or follows it as a new block (a code block or a table).
        const bool continuesText = tailRows.first().kind != BlockKind::Code
                                   && tailRows.first().kind != BlockKind::Table
                                   && !tail.trimmed().startsWith(QLatin1String("```"));
        tailRows.first().gap = continuesText ? m_continuedGap : (m_stableRows > 0 ? 10 : 0);
    }
    QList<Row> rows = m_rows.mid(0, m_stableRows);
    rows.append(std::move(tailRows));
    return rows;
}

void MarkdownDocument::findStablePoint(const QString &text, const QList<Row> &rows)
{
    // Only the text after the point this parse started from is searched: before it, the
    // text is known to end outside code, in prose without a table. Without a later point,
    // that one stays.
    const qsizetype from = m_stableOffset;
    const qsizetype fromRows = m_stableRows;
    const QStringView tail = QStringView(text).sliced(from);
    if (tail.count(QLatin1String("```")) % 2 != 0)
        return; // inside an unfinished code block: its fence may still close
    const qsizetype lastFence = tail.lastIndexOf(QLatin1String("```"));
    const qsizetype proseStart = lastFence < 0 ? 0 : lastFence + 3;
    const qsizetype blank = tail.lastIndexOf(QLatin1String("\n\n"));
    if (blank < proseStart || tail.sliced(proseStart, blank - proseStart).contains(u'|'))
        return;
    // The rows before the blank line are those of the text before it, parsed alone: that
    // text ends a paragraph, so its rows are final.
    const qsizetype count = fromRows + rowsOf(parseBlocks(tail.first(blank).toString())).size();
    if (count == 0 || count > rows.size())
        return;
    m_stableOffset = from + blank + 2;
    m_stableRows = count;
    // The prose since the last fence made rows of its own: the next row continues that block.
    const bool proseHasRows = (lastFence < 0 && from > 0 && m_continuedGap == 5)
                              || !tail.sliced(proseStart, blank - proseStart).trimmed().isEmpty();
    m_continuedGap = proseHasRows ? 5 : 10;
}

QList<MarkdownDocument::Row> MarkdownDocument::rowsOf(const QList<Block> &blocks) const
{
    // Reserved up front: the whole reply is turned into rows again for every streamed piece.
    qsizetype count = 0;
    for (const Block &block : blocks)
        count += block.kind == Block::Kind::Text ? block.lines.size() : 1;
    QList<Row> rows;
    rows.reserve(count);
    for (qsizetype b = 0; b < blocks.size(); ++b) {
        const Block &block = blocks.at(b);
        const int blockGap = b == 0 ? 0 : 10;
        if (block.kind == Block::Kind::Table) {
            Row row;
            row.kind = BlockKind::Table;
            row.content = block.content;
            row.cells = block.cells;
            for (const ColumnAlignment alignment : block.alignments)
                row.alignments.append(int(alignment));
            row.gap = blockGap;
            rows.append(std::move(row));
            continue;
        }
        if (block.kind == Block::Kind::Code) {
            Row row;
            row.kind = BlockKind::Code;
            row.rawCode = block.content;
            row.content = displayedCode(block.content);
            row.language = block.language.value_or(QString());
            row.gap = blockGap;
            rows.append(std::move(row));
            continue;
        }
        for (qsizetype l = 0; l < block.lines.size(); ++l) {
            const TextLine &line = block.lines.at(l);
            Row row;
            row.kind = kindOf(line.kind);
            row.level = line.level;
            row.content = line.content;
            row.gap = l == 0 ? blockGap : 5;
            rows.append(std::move(row));
        }
    }
    return rows;
}

void MarkdownDocument::renderHtml(Row &row, const Row *previous) const
{
    if (row.kind == BlockKind::Table) {
        // A streaming table grows by a row or a cell at a time: the cells before stay.
        const bool reuse = previous && previous->kind == BlockKind::Table;
        row.cellHtml.clear();
        for (qsizetype r = 0; r < row.cells.size(); ++r) {
            QStringList html;
            for (qsizetype c = 0; c < row.cells.at(r).size(); ++c) {
                const QString &cell = row.cells.at(r).at(c);
                const bool same = reuse && r < previous->cells.size()
                                  && c < previous->cells.at(r).size()
                                  && previous->cells.at(r).at(c) == cell;
                html.append(same ? previous->cellHtml.at(r).at(c)
                                 : inlineMarkdownToHtml(cell, m_style));
            }
            row.cellHtml.append(std::move(html));
        }
    } else if (row.kind == BlockKind::Bullet)
        row.html = inlineMarkdownToHtml(row.content, m_style, &row.plain);
    else if (row.kind == BlockKind::Paragraph)
        // Paragraphs get 3 points of extra space between their lines.
        row.html = QStringLiteral("<p style=\"margin:0; -qt-line-height-type:line-distance; "
                                  "line-height:3px;\">%1</p>")
                       .arg(inlineMarkdownToHtml(row.content, m_style, &row.plain));
    else
        row.html.clear();
}

void MarkdownDocument::restyle()
{
    m_style.codeBackground = cssColor(m_codeBackground);
    m_style.linkColor = cssColor(m_linkColor);
    for (Row &row : m_rows)
        renderHtml(row);
    if (!m_rows.isEmpty())
        emit dataChanged(index(0), index(int(m_rows.size() - 1)), {HtmlRole, CellsRole});
    emit styleChanged();
}

void MarkdownDocument::setCodeFontFamily(const QString &family)
{
    if (m_style.codeFontFamily == family)
        return;
    m_style.codeFontFamily = family;
    restyle();
}

void MarkdownDocument::setCodeBackground(const QColor &color)
{
    if (m_codeBackground == color)
        return;
    m_codeBackground = color;
    restyle();
}

void MarkdownDocument::setLinkColor(const QColor &color)
{
    if (m_linkColor == color)
        return;
    m_linkColor = color;
    restyle();
}

int MarkdownDocument::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

QVariant MarkdownDocument::data(const QModelIndex &index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const Row &row = m_rows.at(index.row());
    switch (role) {
    case KindRole:
        return int(row.kind);
    case LevelRole:
        return row.level;
    case Qt::DisplayRole:
    case ContentRole:
        return row.content;
    case HtmlRole:
        return row.html;
    case LanguageRole:
        return row.language;
    case RawCodeRole:
        return row.rawCode;
    case GapRole:
        return row.gap;
    case CellsRole: {
        QVariantList cells;
        for (const QStringList &cellRow : row.cellHtml)
            cells.append(cellRow);
        return cells;
    }
    case AlignmentsRole:
        return row.alignments;
    case PlainRole:
        return row.plain;
    default:
        return {};
    }
}

QHash<int, QByteArray> MarkdownDocument::roleNames() const
{
    return {
        {KindRole, "kind"},
        {LevelRole, "level"},
        {ContentRole, "content"},
        {HtmlRole, "html"},
        {LanguageRole, "language"},
        {RawCodeRole, "rawCode"},
        {GapRole, "gap"},
        {CellsRole, "cells"},
        {AlignmentsRole, "alignments"},
        {PlainRole, "plain"},
    };
}

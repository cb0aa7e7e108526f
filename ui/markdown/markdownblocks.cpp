#include "ui/markdown/markdownblocks.h"

namespace {
const QString fence = QStringLiteral("```");
constexpr qsizetype maxLanguageLength = 23;

bool isSpaceOrTab(QChar c)
{
    return c == u' ' || c == u'\t';
}

// Trims spaces and tabs only: line breaks are not white space here.
QString trimSpaces(const QString &line)
{
    qsizetype begin = 0;
    qsizetype end = line.size();
    while (begin < end && isSpaceOrTab(line.at(begin)))
        ++begin;
    while (end > begin && isSpaceOrTab(line.at(end - 1)))
        --end;
    return line.mid(begin, end - begin);
}

bool isLineBreak(QChar c)
{
    return c == u'\n' || c == u'\r' || c == QChar(0x2028) || c == QChar(0x2029) || c == QChar(0x85)
           || c == QChar(0x0B) || c == QChar(0x0C);
}

void appendText(QList<Block> &blocks, const QString &text)
{
    QList<TextLine> lines = parseTextLines(text);
    if (lines.isEmpty())
        return;
    Block block;
    block.id = QUuid::createUuid();
    block.kind = Block::Kind::Text;
    block.lines = std::move(lines);
    blocks.append(std::move(block));
}

// A table line's cells as GitHub splits them: the outer pipes are optional, every other
// unescaped pipe splits (inside code spans too), and "\|" is a pipe within the cell.
// Absent for a line without an unescaped pipe.
std::optional<QStringList> tableCells(const QString &line)
{
    QStringList cells;
    QString cell;
    bool sawPipe = false;
    bool endsWithPipe = false;
    for (qsizetype i = 0; i < line.size(); ++i) {
        const QChar c = line.at(i);
        endsWithPipe = false;
        if (c == u'\\' && i + 1 < line.size()) {
            const QChar next = line.at(++i);
            if (next != u'|')
                cell += c;
            cell += next;
        } else if (c == u'|') {
            cells.append(trimSpaces(cell));
            cell.clear();
            sawPipe = endsWithPipe = true;
        } else {
            cell += c;
        }
    }
    if (!sawPipe)
        return std::nullopt;
    if (!endsWithPipe)
        cells.append(trimSpaces(cell));
    if (line.startsWith(u'|'))
        cells.removeFirst();
    return cells;
}

// The delimiter line's alignments, or absent when the line is no delimiter line.
std::optional<QList<ColumnAlignment>> delimiterAlignments(const QString &line)
{
    const auto cells = tableCells(line);
    if (!cells || cells->isEmpty())
        return std::nullopt;
    QList<ColumnAlignment> alignments;
    for (const QString &cell : *cells) {
        const bool left = cell.startsWith(u':');
        const bool right = cell.size() > 1 && cell.endsWith(u':');
        const QStringView dashes = QStringView(cell).sliced(left, cell.size() - left - right);
        if (dashes.isEmpty() || dashes.count(u'-') != dashes.size())
            return std::nullopt;
        alignments.append(left && right ? ColumnAlignment::Center
                          : left        ? ColumnAlignment::Left
                          : right       ? ColumnAlignment::Right
                                        : ColumnAlignment::None);
    }
    return alignments;
}

// Where the prose's own structure starts again: a blank line, a heading or a bullet.
bool endsTable(const QString &line)
{
    return line.isEmpty() || line.startsWith(QLatin1String("# "))
           || line.startsWith(QLatin1String("## ")) || line.startsWith(QLatin1String("### "))
           || line.startsWith(QLatin1String("- ")) || line.startsWith(QLatin1String("* "));
}

// Prose with its tables taken out. A table needs its delimiter line: while a reply
// streams, the header line alone stays text. Lines are found by offset, so prose without
// a table is handed on whole and only lines with a pipe are copied.
void appendProse(QList<Block> &blocks, const QString &prose)
{
    if (!prose.contains(u'|')) {
        appendText(blocks, prose);
        return;
    }
    const auto lineEnd = [&prose](qsizetype start) {
        const qsizetype end = prose.indexOf(u'\n', start);
        return end < 0 ? prose.size() : end;
    };
    const auto lineAt = [&prose](qsizetype start, qsizetype end) {
        return trimSpaces(prose.mid(start, end - start));
    };
    qsizetype textStart = 0;
    for (qsizetype start = 0, end = lineEnd(0); end < prose.size();
         start = end + 1, end = lineEnd(start)) {
        if (!QStringView(prose).sliced(start, end - start).contains(u'|'))
            continue;
        const QString header = lineAt(start, end);
        if (endsTable(header))
            continue;
        const qsizetype delimiterEnd = lineEnd(end + 1);
        const QString delimiter = lineAt(end + 1, delimiterEnd);
        const auto alignments = delimiterAlignments(delimiter);
        const auto headerCells = alignments ? tableCells(header) : std::nullopt;
        if (!headerCells || headerCells->size() != alignments->size())
            continue;
        appendText(blocks, prose.mid(textStart, std::max<qsizetype>(0, start - 1 - textStart)));
        Block table;
        table.id = QUuid::createUuid();
        table.kind = Block::Kind::Table;
        table.alignments = *alignments;
        table.cells.append(*headerCells);
        QStringList source{header, delimiter};
        qsizetype next = delimiterEnd + 1;
        for (; next <= prose.size(); next = lineEnd(next) + 1) {
            const QString line = lineAt(next, lineEnd(next));
            if (endsTable(line))
                break;
            QStringList cells = tableCells(line).value_or(QStringList{line});
            cells.resize(alignments->size());
            table.cells.append(std::move(cells));
            source.append(line);
        }
        table.content = source.join(u'\n');
        blocks.append(std::move(table));
        textStart = std::min(next, prose.size());
        end = textStart - 1;
    }
    appendText(blocks, prose.mid(textStart));
}
} // namespace

Block codeBlock(const QString &piece)
{
    Block block;
    block.id = QUuid::createUuid();
    block.kind = Block::Kind::Code;
    const qsizetype newline = piece.indexOf(u'\n');
    if (newline < 0) {
        block.content = piece;
        return block;
    }
    const QString tag = piece.left(newline).trimmed();
    if (!tag.isEmpty() && tag.size() <= maxLanguageLength && !tag.contains(u' ')) {
        block.language = tag;
        block.content = piece.mid(newline + 1);
    } else {
        block.content = piece;
    }
    return block;
}

QList<Block> parseBlocks(const QString &text)
{
    QList<Block> blocks;
    // Fences are only counted: an unclosed one (a reply still streaming) makes the rest code.
    const QStringList pieces = text.split(fence);
    for (qsizetype i = 0; i < pieces.size(); ++i) {
        if (i % 2 == 0)
            appendProse(blocks, pieces.at(i));
        else
            blocks.append(codeBlock(pieces.at(i)));
    }
    return blocks;
}

QList<TextLine> parseTextLines(const QString &text)
{
    QList<TextLine> lines;
    QStringList paragraph;
    const auto append = [&lines](TextLine::Kind kind, int level, const QString &content) {
        lines.append(TextLine{QUuid::createUuid(), kind, level, content});
    };
    const auto flush = [&] {
        if (paragraph.isEmpty())
            return;
        const QString joined = paragraph.join(u'\n').trimmed();
        if (!joined.isEmpty())
            append(TextLine::Kind::Paragraph, 0, joined);
        paragraph.clear();
    };

    for (const QString &line : text.split(u'\n')) {
        const QString t = trimSpaces(line);
        if (t.isEmpty()) {
            flush();
        } else if (t.startsWith(QLatin1String("### "))) {
            flush();
            append(TextLine::Kind::Heading, 3, t.mid(4));
        } else if (t.startsWith(QLatin1String("## "))) {
            flush();
            append(TextLine::Kind::Heading, 2, t.mid(3));
        } else if (t.startsWith(QLatin1String("# "))) {
            flush();
            append(TextLine::Kind::Heading, 1, t.mid(2));
        } else if (t.startsWith(QLatin1String("- ")) || t.startsWith(QLatin1String("* "))) {
            flush();
            append(TextLine::Kind::Bullet, 0, t.mid(2));
        } else {
            paragraph.append(line);
        }
    }
    flush();
    return lines;
}

QString displayedCode(const QString &code)
{
    qsizetype begin = 0;
    qsizetype end = code.size();
    while (begin < end && isLineBreak(code.at(begin)))
        ++begin;
    while (end > begin && isLineBreak(code.at(end - 1)))
        --end;
    return code.mid(begin, end - begin);
}

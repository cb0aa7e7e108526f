#include "ui/markdownblocks.h"

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
} // namespace

QList<Block> parseBlocks(const QString &text)
{
    QList<Block> blocks;
    // Fences are only counted: an unclosed one (a reply still streaming) makes the rest code.
    const QStringList pieces = text.split(fence);
    for (qsizetype i = 0; i < pieces.size(); ++i) {
        if (i % 2 == 0) {
            QList<TextLine> lines = parseTextLines(pieces.at(i));
            if (!lines.isEmpty()) {
                Block block;
                block.id = QUuid::createUuid();
                block.kind = Block::Kind::Text;
                block.lines = std::move(lines);
                blocks.append(std::move(block));
            }
        } else {
            blocks.append(codeBlock(pieces.at(i)));
        }
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

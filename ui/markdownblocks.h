#pragma once

#include <QList>
#include <QString>
#include <QUuid>

#include <optional>

// The lightweight Markdown of assistant replies: fenced code blocks, and around
// them prose made of headings (levels 1-3), bullet items and paragraphs.
// Pure functions; any text parses.

struct TextLine
{
    enum class Kind { Heading, Bullet, Paragraph };

    QUuid id;
    Kind kind = Kind::Paragraph;
    int level = 0; // 1 to 3 for headings, 0 otherwise
    QString content;

    // Identity is for the list only: equal lines may differ in id.
    bool sameContent(const TextLine &other) const
    {
        return kind == other.kind && level == other.level && content == other.content;
    }
};

struct Block
{
    enum class Kind { Text, Code };

    QUuid id;
    Kind kind = Kind::Text;
    QList<TextLine> lines;           // Text blocks
    QString content;                 // Code blocks: the code as it came out of the fence
    std::optional<QString> language; // Code blocks: the fence's tag
};

QList<Block> parseBlocks(const QString &text);
QList<TextLine> parseTextLines(const QString &text);

// What a code block shows and copies: the code without line breaks at either end.
QString displayedCode(const QString &code);

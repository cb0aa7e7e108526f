#pragma once

#include <QList>
#include <QString>
#include <QUuid>

#include <optional>

// The lightweight Markdown of assistant replies: fenced code blocks, and around
// them prose made of headings (levels 1-3), bullet items, paragraphs and GitHub-style
// tables. Pure functions; any text parses.

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

// A table's column alignment, from the colons of its delimiter line.
enum class ColumnAlignment { None, Left, Center, Right };

struct Block
{
    enum class Kind { Text, Code, Table };

    QUuid id;
    Kind kind = Kind::Text;
    QList<TextLine> lines;           // Text blocks
    QString content;                 // Code blocks: the code as it came out of the fence;
                                     // tables: their lines as typed, trimmed
    std::optional<QString> language; // Code blocks: the fence's tag
    // Tables: the header row first, every row as wide as the header (missing cells empty,
    // extra ones dropped); cells trimmed, an escaped pipe unescaped.
    QList<QStringList> cells;
    QList<ColumnAlignment> alignments; // Tables: one per column
};

QList<Block> parseBlocks(const QString &text);
// A code block from the text between two fences: a first line that is a language tag
// (one word, at most 23 characters) becomes the language.
Block codeBlock(const QString &piece);
QList<TextLine> parseTextLines(const QString &text);

// What a code block shows and copies: the code without line breaks at either end.
QString displayedCode(const QString &code);

#pragma once

#include "ui/markdown/inlinemarkdown.h"
#include "ui/markdown/markdownblocks.h"
#include "ui/markdown/messagecontentsource.h"

#include <QAbstractListModel>
#include <QColor>
#include <QPointer>
#include <QtQml/qqmlregistration.h>

// The Markdown body of one reply as a flat list of rows (heading, bullet, paragraph,
// code block, table) for a Repeater. When the text grows at its end, as a streamed reply
// does, only the text after the last finished paragraph is parsed again, and only rows that
// differ from before are announced: a piece usually changes the last row alone, so the rows
// above keep their items and their layout, whatever the reply's length.
class MarkdownDocument : public QAbstractListModel
{
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(QString text READ text WRITE setText NOTIFY textChanged)
    // When set, the text comes from this row of a message model, on the C++ side only.
    Q_PROPERTY(MessageContentSource *source READ source WRITE setSource NOTIFY sourceChanged)
    Q_PROPERTY(QString codeFontFamily READ codeFontFamily WRITE setCodeFontFamily NOTIFY styleChanged)
    Q_PROPERTY(QColor codeBackground READ codeBackground WRITE setCodeBackground NOTIFY styleChanged)
    Q_PROPERTY(QColor linkColor READ linkColor WRITE setLinkColor NOTIFY styleChanged)
    // How many times the text was parsed: each reply parses only its own text.
    Q_PROPERTY(int parseCount READ parseCount NOTIFY textChanged)
    // How many characters the last parse read: the whole text, or only its unfinished end.
    Q_PROPERTY(int parsedLength READ parsedLength NOTIFY textChanged)

public:
    enum Roles {
        KindRole = Qt::UserRole + 1, /**< The row's BlockKind. */
        LevelRole,                   /**< Heading level 1 to 3; 0 for other rows. */
        ContentRole,  /**< The line's text without its marker; a code block's displayed code;
                           a table's Markdown. */
        HtmlRole,     /**< Bullets and paragraphs: the content's inline Markdown as rich text. */
        LanguageRole, /**< Code blocks: the fence's language tag, or an empty text. */
        RawCodeRole,  /**< Code blocks: the code as it came out of the fence. */
        GapRole,   /**< Space above the row: 0 first, 5 inside a text block, 10 between blocks. */
        CellsRole, /**< Tables: rows of cells as rich text, the header row first. */
        AlignmentsRole, /**< Tables: each column's ColumnAlignment as a number. */
        PlainRole, /**< Bullets and paragraphs: the words without their markup, as read aloud. */
    };
    Q_ENUM(Roles)

    // What a row is, and so how it is drawn.
    enum class BlockKind { Heading, Bullet, Paragraph, Code, Table };
    Q_ENUM(BlockKind)

    using QAbstractListModel::QAbstractListModel;

    QString text() const { return m_text; }
    void setText(const QString &text);
    MessageContentSource *source() const { return m_source; }
    void setSource(MessageContentSource *source);
    QString codeFontFamily() const { return m_style.codeFontFamily; }
    void setCodeFontFamily(const QString &family);
    QColor codeBackground() const { return m_codeBackground; }
    void setCodeBackground(const QColor &color);
    QColor linkColor() const { return m_linkColor; }
    void setLinkColor(const QColor &color);
    int parseCount() const { return m_parseCount; }
    int parsedLength() const { return m_parsedLength; }

    int rowCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QHash<int, QByteArray> roleNames() const override;

signals:
    void textChanged();
    void styleChanged();
    void sourceChanged();

private:
    struct Row
    {
        BlockKind kind = BlockKind::Paragraph;
        int level = 0;
        QString content;
        QString rawCode;
        QString language;
        int gap = 0;
        QString html;
        QString plain;
        QList<QStringList> cells;    // tables: the cells' Markdown
        QList<QStringList> cellHtml; // tables: the cells as rich text
        QVariantList alignments;     // tables

        bool sameAs(const Row &other) const
        {
            return kind == other.kind && level == other.level && content == other.content
                   && rawCode == other.rawCode && language == other.language && gap == other.gap;
        }
    };

    QList<Row> rowsOf(const QList<Block> &blocks) const;
    // The rows of the text: those before the stable point kept, the rest parsed again.
    QList<Row> parseRows(const QString &text);
    // Where the next parse may start: after the last blank line outside code, in prose
    // without a table, so that nothing after it can change the rows before it.
    void findStablePoint(const QString &text, const QList<Row> &rows);
    // Rich text for the row; a table reuses the cells that match the previous version of it.
    void renderHtml(Row &row, const Row *previous = nullptr) const;
    void restyle();
    void applyText(const QString &text);

    QString m_text;
    QPointer<MessageContentSource> m_source;
    QMetaObject::Connection m_sourceConnection;
    QList<Row> m_rows;
    InlineMarkdownStyle m_style;
    QColor m_codeBackground = QColor(127, 127, 127, 41);
    QColor m_linkColor;
    int m_parseCount = 0;
    int m_parsedLength = 0;
    // The stable point: its offset in m_text, the rows before it, and the gap of the first
    // row after it when that row continues the same block of text.
    qsizetype m_stableOffset = 0;
    qsizetype m_stableRows = 0;
    int m_continuedGap = 0;
};

#pragma once

#include <QColor>
#include <QQuickPaintedItem>
#include <QVariantList>
#include <QtQml/qqmlregistration.h>

#include <memory>
#include <vector>

class QTextDocument;

// The cells of a Markdown table, drawn in one item: a bold header row, every other row
// shaded, rules under the rows and between the columns, each column as wide as its widest
// cell and aligned as the delimiter line says. Cells are single lines of rich text; those
// without markup are drawn as plain words, without a rich-text document. A table is made
// with every one a reply streams, and as a grid of text items it cost a text item, a row and
// a repeater per cell.
class TableGrid : public QQuickPaintedItem
{
    Q_OBJECT
    QML_ELEMENT
    // Rows of cells as rich text, the header row first.
    Q_PROPERTY(QVariantList cells READ cells WRITE setCells NOTIFY cellsChanged)
    // Each column's MarkdownDocument alignment number (0 none, 1 left, 2 centre, 3 right).
    Q_PROPERTY(QVariantList alignments READ alignments WRITE setAlignments NOTIFY alignmentsChanged)
    Q_PROPERTY(int rows READ rows NOTIFY laidOut)
    Q_PROPERTY(int columns READ columns NOTIFY laidOut)
    // The words of every cell, a line per row, as a screen reader reads the table.
    Q_PROPERTY(QString plainText READ plainText NOTIFY laidOut)
    Q_PROPERTY(QColor textColor MEMBER m_textColor WRITE setTextColor NOTIFY colorsChanged)
    Q_PROPERTY(QColor ruleColor MEMBER m_ruleColor WRITE setRuleColor NOTIFY colorsChanged)
    Q_PROPERTY(QColor headerColor MEMBER m_headerColor WRITE setHeaderColor NOTIFY colorsChanged)
    Q_PROPERTY(QColor stripeColor MEMBER m_stripeColor WRITE setStripeColor NOTIFY colorsChanged)

public:
    explicit TableGrid(QQuickItem *parent = nullptr);
    ~TableGrid() override;

    QVariantList cells() const { return m_cellsValue; }
    void setCells(const QVariantList &cells);
    QVariantList alignments() const { return m_alignmentsValue; }
    void setAlignments(const QVariantList &alignments);
    int rows() const { return int(m_cells.size()); }
    int columns() const { return int(m_columnWidths.size()); }
    QString plainText() const;
    void setTextColor(const QColor &color);
    void setRuleColor(const QColor &color);
    void setHeaderColor(const QColor &color);
    void setStripeColor(const QColor &color);

    // The words a cell shows; empty outside the table.
    Q_INVOKABLE QString cellText(int row, int column) const;

    void paint(QPainter *painter) override;

signals:
    void cellsChanged();
    void alignmentsChanged();
    void laidOut();
    void colorsChanged();
    void linkActivated(const QString &link);

protected:
    void componentComplete() override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    struct Cell
    {
        QString words;
        std::unique_ptr<QTextDocument> rich; // only for cells with markup
        qreal width = 0;                     // of the words, without padding
    };

    void layOut();
    // Where the cell's words start: padded, aligned in its column, centred in its row.
    QPointF textOrigin(int row, int column) const;
    QString linkAt(QPointF position) const;
    void assignColor(QColor &member, const QColor &color);

    QVariantList m_cellsValue;
    QVariantList m_alignmentsValue;
    std::vector<std::vector<Cell>> m_cells;
    std::vector<int> m_alignments;
    std::vector<qreal> m_columnWidths;
    std::vector<qreal> m_columnOffsets;
    QColor m_textColor;
    QColor m_ruleColor;
    QColor m_headerColor;
    QColor m_stripeColor;
    QString m_pressedLink;
};

#include "ui/markdown/tablegrid.h"

#include "ui/markdown/inlinemarkdown.h"

#include <QAbstractTextDocumentLayout>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QPainter>
#include <QTextDocument>

#include <algorithm>
#include <cmath>

namespace {

// The body text at 13 points; the header row semibold.
struct Fonts
{
    QFont body;
    QFont header;
    QFontMetricsF bodyMetrics;
    QFontMetricsF headerMetrics;
};

const Fonts &fonts()
{
    static const Fonts fonts = [] {
        QFont body = QGuiApplication::font();
        body.setPixelSize(13);
        QFont header = body;
        header.setWeight(QFont::DemiBold);
        return Fonts{body, header, QFontMetricsF(body), QFontMetricsF(header)};
    }();
    return fonts;
}

constexpr qreal cellPadding = 10; // left and right
constexpr qreal rowPadding = 12;  // above and below, together

qreal rowHeight()
{
    return fonts().bodyMetrics.height() + rowPadding;
}

QColor withAlpha(QColor color, qreal share)
{
    color.setAlphaF(float(color.alphaF() * share));
    return color;
}

} // namespace

TableGrid::TableGrid(QQuickItem *parent)
    : QQuickPaintedItem(parent)
{
    setAcceptedMouseButtons(Qt::NoButton);
}

TableGrid::~TableGrid() = default;

void TableGrid::setCells(const QVariantList &cells)
{
    if (cells == m_cellsValue)
        return;
    m_cellsValue = cells;
    if (isComponentComplete())
        layOut();
    emit cellsChanged();
}

void TableGrid::setAlignments(const QVariantList &alignments)
{
    if (alignments == m_alignmentsValue)
        return;
    m_alignmentsValue = alignments;
    if (isComponentComplete())
        layOut();
    emit alignmentsChanged();
}

void TableGrid::componentComplete()
{
    QQuickPaintedItem::componentComplete();
    // Made with its cells bound, a table lays out once here rather than once per property.
    layOut();
}

void TableGrid::layOut()
{
    const Fonts &f = fonts();
    m_alignments.clear();
    for (const QVariant &alignment : std::as_const(m_alignmentsValue))
        m_alignments.push_back(alignment.toInt());
    const size_t columns = m_alignments.size();
    m_columnWidths.assign(columns, 0);
    m_cells.clear();
    bool links = false;
    for (qsizetype r = 0; r < m_cellsValue.size(); ++r) {
        const QStringList html = m_cellsValue.at(r).toStringList();
        const bool header = r == 0;
        std::vector<Cell> row(columns);
        for (size_t c = 0; c < columns; ++c) {
            Cell &cell = row[c];
            const QString text = qsizetype(c) < html.size() ? html.at(qsizetype(c)) : QString();
            if (isPlainRichText(text)) {
                cell.words = plainRichTextWords(text);
                cell.width
                    = (header ? f.headerMetrics : f.bodyMetrics).horizontalAdvance(cell.words);
            } else {
                cell.rich = std::make_unique<QTextDocument>();
                cell.rich->setDocumentMargin(0);
                cell.rich->setDefaultFont(header ? f.header : f.body);
                cell.rich->setHtml(text);
                cell.width = cell.rich->idealWidth();
                cell.words = cell.rich->toPlainText();
                links = links || text.contains(QLatin1String("<a "));
            }
            m_columnWidths[c]
                = std::max(m_columnWidths[c], std::ceil(cell.width) + 2 * cellPadding);
        }
        m_cells.push_back(std::move(row));
    }
    m_columnOffsets.clear();
    qreal x = 0;
    for (const qreal width : m_columnWidths) {
        m_columnOffsets.push_back(x);
        x += width;
    }
    // Only a table with links takes clicks; others leave them to what lies below.
    setAcceptedMouseButtons(links ? Qt::LeftButton : Qt::NoButton);
    setImplicitSize(x, qreal(m_cells.size()) * rowHeight());
    update();
    emit laidOut();
}

QPointF TableGrid::textOrigin(int row, int column) const
{
    const Cell &cell = m_cells[size_t(row)][size_t(column)];
    const qreal room = m_columnWidths[size_t(column)] - 2 * cellPadding;
    const int alignment = m_alignments[size_t(column)];
    const qreal shift = alignment == 3   ? room - cell.width
                        : alignment == 2 ? (room - cell.width) / 2
                                         : 0;
    const qreal height = cell.rich
                             ? cell.rich->size().height()
                             : (row == 0 ? fonts().headerMetrics : fonts().bodyMetrics).height();
    return {m_columnOffsets[size_t(column)] + cellPadding + std::max<qreal>(0, shift),
            row * rowHeight() + (rowHeight() - height) / 2};
}

void TableGrid::paint(QPainter *painter)
{
    const Fonts &f = fonts();
    const qreal step = rowHeight();
    const qreal gridWidth = implicitWidth();
    for (size_t r = 0; r < m_cells.size(); ++r) {
        const QRectF rowRect(0, qreal(r) * step, gridWidth, step);
        if (r == 0)
            painter->fillRect(rowRect, m_headerColor);
        else if (r % 2 == 0)
            painter->fillRect(rowRect, m_stripeColor);
        painter->fillRect(QRectF(0, rowRect.bottom() - 1, gridWidth, 1),
                          withAlpha(m_ruleColor, r == 0 ? 0.8 : 0.35));
    }
    for (size_t c = 1; c < m_columnOffsets.size(); ++c)
        painter->fillRect(QRectF(m_columnOffsets[c] - 1, 0, 1, implicitHeight()),
                          withAlpha(m_ruleColor, 0.35));

    painter->setPen(m_textColor);
    QAbstractTextDocumentLayout::PaintContext context;
    context.palette.setColor(QPalette::Text, m_textColor);
    for (size_t r = 0; r < m_cells.size(); ++r) {
        painter->setFont(r == 0 ? f.header : f.body);
        const QFontMetricsF &metrics = r == 0 ? f.headerMetrics : f.bodyMetrics;
        for (size_t c = 0; c < m_cells[r].size(); ++c) {
            const Cell &cell = m_cells[r][c];
            const QPointF origin = textOrigin(int(r), int(c));
            if (cell.rich) {
                painter->save();
                painter->translate(origin);
                cell.rich->documentLayout()->draw(painter, context);
                painter->restore();
            } else if (!cell.words.isEmpty()) {
                painter->drawText(origin + QPointF(0, metrics.ascent()), cell.words);
            }
        }
    }
}

QString TableGrid::cellText(int row, int column) const
{
    if (row < 0 || row >= rows() || column < 0 || column >= columns())
        return {};
    return m_cells[size_t(row)][size_t(column)].words;
}

QString TableGrid::plainText() const
{
    QStringList lines;
    for (const std::vector<Cell> &row : m_cells) {
        QStringList words;
        for (const Cell &cell : row)
            words.append(cell.words);
        lines.append(words.join(QLatin1String(", ")));
    }
    return lines.join(u'\n');
}

QString TableGrid::linkAt(QPointF position) const
{
    const qreal step = rowHeight();
    const int row = int(position.y() / step);
    if (position.y() < 0 || row >= rows())
        return {};
    const auto next
        = std::upper_bound(m_columnOffsets.begin(), m_columnOffsets.end(), position.x());
    if (next == m_columnOffsets.begin())
        return {};
    const int column = int(next - m_columnOffsets.begin()) - 1;
    const Cell &cell = m_cells[size_t(row)][size_t(column)];
    if (!cell.rich)
        return {};
    return cell.rich->documentLayout()->anchorAt(position - textOrigin(row, column));
}

void TableGrid::mousePressEvent(QMouseEvent *event)
{
    m_pressedLink = linkAt(event->position());
    if (m_pressedLink.isEmpty())
        event->ignore();
}

void TableGrid::mouseReleaseEvent(QMouseEvent *event)
{
    const QString link = std::exchange(m_pressedLink, QString());
    if (!link.isEmpty() && linkAt(event->position()) == link)
        emit linkActivated(link);
}

void TableGrid::assignColor(QColor &member, const QColor &color)
{
    if (color == member)
        return;
    member = color;
    update();
    emit colorsChanged();
}

void TableGrid::setTextColor(const QColor &color)
{
    assignColor(m_textColor, color);
}

void TableGrid::setRuleColor(const QColor &color)
{
    assignColor(m_ruleColor, color);
}

void TableGrid::setHeaderColor(const QColor &color)
{
    assignColor(m_headerColor, color);
}

void TableGrid::setStripeColor(const QColor &color)
{
    assignColor(m_stripeColor, color);
}

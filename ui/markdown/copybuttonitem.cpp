#include "ui/markdown/copybuttonitem.h"

#include "platform/clipboard.h"
#include "ui/components/icons.h"

#include <QFontMetricsF>
#include <QGuiApplication>
#include <QPainter>
#include <QVariantAnimation>

#include <algorithm>
#include <cmath>

namespace {

// The label in the system font at 11 points, medium, and the symbol at the same size.
struct Fonts
{
    QFont label;
    QFont symbol;
    QFontMetricsF labelMetrics;
    QFontMetricsF symbolMetrics;
};

const Fonts &fonts()
{
    static const Fonts fonts = [] {
        QFont label = QGuiApplication::font();
        label.setPixelSize(11);
        label.setWeight(QFont::Medium);
        QFont symbol(Icons::fontFamily());
        symbol.setPixelSize(11);
        return Fonts{label, symbol, QFontMetricsF(label), QFontMetricsF(symbol)};
    }();
    return fonts;
}

constexpr qreal sidePadding = 8;
constexpr qreal verticalPadding = 3;
constexpr qreal symbolSpacing = 4;
constexpr qreal cornerRadius = 5;

} // namespace

CopyButtonItem::CopyButtonItem(QQuickItem *parent)
    : QQuickPaintedItem(parent)
{
    setActiveFocusOnTab(true);
    setAcceptedMouseButtons(Qt::LeftButton);
    setAntialiasing(true);
    m_flag.setInterval(2000);
    connect(&m_flag, &CopyFlag::copiedChanged, this, [this] {
        fadeToRestingColor();
        updateImplicitSize();
        emit copiedChanged();
        emit textChanged();
    });
    updateImplicitSize();
}

void CopyButtonItem::setLabel(const QString &label)
{
    if (label == m_label)
        return;
    m_label = label;
    updateImplicitSize();
    emit textChanged();
}

QString CopyButtonItem::text() const
{
    return copied() ? QStringLiteral("Copied!") : m_label;
}

void CopyButtonItem::setColor(const QColor &color)
{
    assignColor(m_color, color);
}

void CopyButtonItem::setCopiedColor(const QColor &color)
{
    assignColor(m_copiedColor, color);
}

void CopyButtonItem::setBackgroundColor(const QColor &color)
{
    assignColor(m_backgroundColor, color);
}

void CopyButtonItem::setFocusColor(const QColor &color)
{
    assignColor(m_focusColor, color);
}

void CopyButtonItem::assignColor(QColor &member, const QColor &color)
{
    if (color == member)
        return;
    member = color;
    update();
    emit colorsChanged();
}

void CopyButtonItem::copy()
{
    Clipboard::setText(m_textToCopy);
    m_flag.set();
}

QString CopyButtonItem::symbol() const
{
    return Icons::glyph(copied() ? QStringLiteral("checkmark") : QStringLiteral("doc.on.doc"));
}

QColor CopyButtonItem::shownColor() const
{
    if (m_fade && m_fade->state() == QAbstractAnimation::Running)
        return m_fade->currentValue().value<QColor>();
    return copied() ? m_copiedColor : m_color;
}

void CopyButtonItem::fadeToRestingColor()
{
    // The flag has already changed: the colour it left is the other one, unless a fade was
    // still on its way.
    const QColor from = m_fade && m_fade->state() == QAbstractAnimation::Running
                            ? m_fade->currentValue().value<QColor>()
                            : (copied() ? m_color : m_copiedColor);
    if (!m_fade) {
        m_fade = new QVariantAnimation(this);
        m_fade->setDuration(200);
        connect(m_fade, &QVariantAnimation::valueChanged, this, [this] { update(); });
    }
    m_fade->stop();
    m_fade->setStartValue(from);
    m_fade->setEndValue(copied() ? m_copiedColor : m_color);
    m_fade->start();
    update();
}

void CopyButtonItem::updateImplicitSize()
{
    const Fonts &f = fonts();
    const QString symbol = this->symbol();
    const qreal width = sidePadding + f.symbolMetrics.horizontalAdvance(symbol) + symbolSpacing
                        + f.labelMetrics.horizontalAdvance(text()) + sidePadding;
    const qreal height
        = std::max(f.symbolMetrics.height(), f.labelMetrics.height()) + 2 * verticalPadding;
    setImplicitSize(std::ceil(width), std::ceil(height));
    update();
}

void CopyButtonItem::paint(QPainter *painter)
{
    const Fonts &f = fonts();
    painter->setRenderHint(QPainter::Antialiasing);
    // The focus ring lies inside the button, as a border does.
    const bool ring = hasActiveFocus();
    painter->setPen(ring ? QPen(m_focusColor, 1) : QPen(Qt::NoPen));
    painter->setBrush(m_backgroundColor);
    painter->drawRoundedRect(ring ? boundingRect().adjusted(0.5, 0.5, -0.5, -0.5) : boundingRect(),
                             cornerRadius,
                             cornerRadius);

    const QString symbol = this->symbol();
    const qreal symbolWidth = f.symbolMetrics.horizontalAdvance(symbol);
    painter->setPen(shownColor());
    painter->setFont(f.symbol);
    painter->drawText(QRectF(sidePadding, 0, symbolWidth, height()), Qt::AlignCenter, symbol);
    painter->setFont(f.label);
    const qreal x = sidePadding + symbolWidth + symbolSpacing;
    painter->drawText(QRectF(x, 0, width() - x, height()), Qt::AlignLeft | Qt::AlignVCenter, text());
}

void CopyButtonItem::itemChange(ItemChange change, const ItemChangeData &value)
{
    if (change == ItemActiveFocusHasChanged)
        update();
    QQuickPaintedItem::itemChange(change, value);
}

void CopyButtonItem::keyPressEvent(QKeyEvent *event)
{
    switch (event->key()) {
    case Qt::Key_Space:
    case Qt::Key_Return:
    case Qt::Key_Enter:
        copy();
        event->accept();
        return;
    default:
        QQuickPaintedItem::keyPressEvent(event);
    }
}

void CopyButtonItem::mousePressEvent(QMouseEvent *event)
{
    event->accept();
}

void CopyButtonItem::mouseReleaseEvent(QMouseEvent *event)
{
    if (contains(event->position()))
        copy();
}

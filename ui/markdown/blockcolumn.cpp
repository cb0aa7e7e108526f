#include "ui/markdown/blockcolumn.h"

#include <QQuickWindow>

#include <algorithm>

BlockColumn::BlockColumn(QQuickItem *parent)
    : QQuickItem(parent)
{}

// The children outlive this part of the column while the item base takes them down.
BlockColumn::~BlockColumn()
{
    for (const QMetaObject::Connection &watch : std::as_const(m_heightWatches))
        disconnect(watch);
    disconnect(m_frames);
}

void BlockColumn::componentComplete()
{
    QQuickItem::componentComplete();
    // Sized as soon as it is made, as a Column is.
    place();
}

void BlockColumn::itemChange(ItemChange change, const ItemChangeData &value)
{
    QQuickItem::itemChange(change, value);
    switch (change) {
    case ItemChildAddedChange:
        m_heightWatches.insert(value.item,
                               connect(value.item, &QQuickItem::heightChanged, this, [this] {
                                   polish();
                               }));
        polish();
        break;
    case ItemChildRemovedChange:
        disconnect(m_heightWatches.take(value.item));
        polish();
        break;
    case ItemSceneChange:
        disconnect(m_frames);
        // After the frame's layout and before its drawing, on this thread whatever the render
        // loop: where the column then lies decides what the frame draws.
        if (value.window)
            m_frames
                = connect(value.window, &QQuickWindow::afterAnimating, this, &BlockColumn::cull);
        break;
    default:
        break;
    }
}

void BlockColumn::updatePolish()
{
    place();
}

void BlockColumn::place()
{
    const QList<QQuickItem *> children = childItems();
    // A child new to its place is shown or hidden at the next culling, whatever it was.
    std::vector<Drawn> drawn(size_t(children.size()), Drawn::Unknown);
    for (qsizetype i = 0; i < children.size() && i < m_blocks.size(); ++i)
        if (children[i] == m_blocks[i])
            drawn[size_t(i)] = m_drawn[size_t(i)];
    m_blocks = children;
    m_drawn = std::move(drawn);
    m_bottoms.resize(size_t(children.size()));
    qreal y = 0;
    qreal width = 0;
    for (qsizetype i = 0; i < children.size(); ++i) {
        QQuickItem *child = children[i];
        child->setY(y);
        y += child->height();
        m_bottoms[size_t(i)] = y;
        width = std::max(width, child->width());
    }
    setImplicitSize(width, y);
    m_placedSinceCull = true;
}

void BlockColumn::cull()
{
    QQuickWindow *window = this->window();
    // Hidden whole, it draws nothing either way.
    if (!window || !isVisible())
        return;
    const QRectF area = mapRectFromScene(QRectF(0, 0, window->width(), window->height()));
    const QQuickItem *focused = window->activeFocusItem();
    if (!m_placedSinceCull && area == m_cullArea && focused == m_cullFocus)
        return;
    m_placedSinceCull = false;
    m_cullArea = area;
    m_cullFocus = focused;

    const QQuickItem *focusedChild = focused;
    while (focusedChild && focusedChild->parentItem() != this)
        focusedChild = focusedChild->parentItem();
    // Drawn: the children from the first that reaches into the window to the last that starts
    // in it, and the one with the focus.
    const auto first = size_t(std::lower_bound(m_bottoms.begin(), m_bottoms.end(), area.top())
                              - m_bottoms.begin());
    for (size_t i = 0; i < m_drawn.size(); ++i) {
        QQuickItem *child = m_blocks[qsizetype(i)];
        const qreal top = i == 0 ? 0 : m_bottoms[i - 1];
        const bool drawn = (i >= first && top <= area.bottom()) || child == focusedChild;
        const Drawn state = drawn ? Drawn::Yes : Drawn::No;
        if (state != m_drawn[i]) {
            child->setVisible(drawn);
            m_drawn[i] = state;
        }
    }
}

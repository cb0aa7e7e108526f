#include "ui/markdown/blockcolumn.h"

#include <QQuickWindow>

#include <algorithm>

BlockColumn::BlockColumn(QQuickItem *parent)
    : QQuickItem(parent)
{}

// The item base takes the children down after this destructor: their signals must not reach it.
BlockColumn::~BlockColumn()
{
    const QList<QQuickItem *> children = childItems();
    for (QQuickItem *child : children)
        disconnect(child, &QQuickItem::heightChanged, this, &QQuickItem::polish);
    disconnect(m_frames);
    disconnect(m_focus);
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
        connect(value.item, &QQuickItem::heightChanged, this, &QQuickItem::polish);
        polish();
        break;
    case ItemChildRemovedChange:
        disconnect(value.item, &QQuickItem::heightChanged, this, &QQuickItem::polish);
        polish();
        break;
    case ItemSceneChange:
        disconnect(m_frames);
        disconnect(m_focus);
        // After the frame's layout and before its drawing, on this thread whatever the render
        // loop: where the column then lies decides what the frame draws.
        if (value.window) {
            m_frames
                = connect(value.window, &QQuickWindow::afterAnimating, this, &BlockColumn::cull);
            // At once as well: the next key may come before the next frame.
            m_focus = connect(value.window,
                              &QQuickWindow::activeFocusItemChanged,
                              this,
                              &BlockColumn::cull);
        }
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
    qreal y = 0;
    qreal width = 0;
    const QList<QQuickItem *> children = childItems();
    for (QQuickItem *child : children) {
        child->setY(y);
        y += child->height();
        width = std::max(width, child->width());
    }
    setImplicitSize(width, y);
    m_placedSinceCull = true;
}

void BlockColumn::cull()
{
    QQuickWindow *window = this->window();
    // Hidden whole, it draws nothing either way; shown, a child's visibility is its own.
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
    const QList<QQuickItem *> children = childItems();
    const qsizetype focusAt = children.indexOf(focusedChild);
    // Tab skips hidden items. So the blocks whose controls Tab reaches next stay drawn too:
    // those before and after the focus, and the first and the last, where it enters the reply.
    const auto tabStopFrom = [&children](qsizetype at, qsizetype step) {
        for (; at >= 0 && at < children.size(); at += step) {
            if (holdsTabStop(children.at(at)))
                return at;
        }
        return qsizetype(-1);
    };
    const qsizetype tabStops[] = {tabStopFrom(0, 1),
                                  tabStopFrom(children.size() - 1, -1),
                                  focusAt < 0 ? -1 : tabStopFrom(focusAt - 1, -1),
                                  focusAt < 0 ? -1 : tabStopFrom(focusAt + 1, 1)};
    // Drawn: the children that reach into the window, the one with the focus, and those.
    for (qsizetype i = 0; i < children.size(); ++i) {
        QQuickItem *child = children.at(i);
        const bool drawn
            = (child->y() + child->height() >= area.top() && child->y() <= area.bottom())
              || i == focusAt || std::ranges::find(tabStops, i) != std::end(tabStops);
        if (child->isVisible() != drawn)
            child->setVisible(drawn);
    }
}

bool BlockColumn::holdsTabStop(const QQuickItem *item)
{
    if (item->activeFocusOnTab())
        return true;
    const QList<QQuickItem *> children = item->childItems();
    return std::ranges::any_of(children,
                               [](const QQuickItem *child) { return holdsTabStop(child); });
}

#pragma once

#include <QQuickItem>
#include <QtQml/qqmlregistration.h>

// A reply's blocks, one below the other, of which only those inside the window are drawn.
// A long reply holds hundreds of blocks, and the scene graph visits every drawn one whenever
// the list moves, as it does with each step of a streaming reply it follows. A hidden block
// keeps its place, since places come from heights alone; a block that holds the focus stays
// drawn, so that the focus never leaves it unseen, and so do the blocks whose controls Tab
// and Shift+Tab reach next, since Tab passes over hidden items.
//
// The column owns its children's visibility: it shows and hides them.
class BlockColumn : public QQuickItem
{
    Q_OBJECT
    QML_ELEMENT

public:
    explicit BlockColumn(QQuickItem *parent = nullptr);
    ~BlockColumn() override;

protected:
    void componentComplete() override;
    void itemChange(ItemChange change, const ItemChangeData &value) override;
    void updatePolish() override;

private:
    void place();
    void cull();
    // Whether Tab stops at the item or at one inside it (a copy button).
    static bool holdsTabStop(const QQuickItem *item);

    QMetaObject::Connection m_frames;
    QMetaObject::Connection m_focus;
    // What the last culling saw; while none of it changes, neither does what is drawn.
    QRectF m_cullArea;
    const QQuickItem *m_cullFocus = nullptr;
    bool m_placedSinceCull = true;
};

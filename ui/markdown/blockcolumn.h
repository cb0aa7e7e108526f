#pragma once

#include <QQuickItem>
#include <QtQml/qqmlregistration.h>

#include <QHash>
#include <vector>

// A reply's blocks, one below the other, of which only those inside the window are drawn.
// A long reply holds hundreds of blocks, and the scene graph visits every drawn one whenever
// the list moves, as it does with each step of a streaming reply it follows. A hidden block
// keeps its place, since places come from heights alone; a block that holds the focus stays
// drawn, so that the focus never leaves it unseen.
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

    enum class Drawn : char { Unknown, Yes, No };

    QHash<QQuickItem *, QMetaObject::Connection> m_heightWatches;
    QMetaObject::Connection m_frames;
    // From the last placing: the children in order, each one's bottom edge, and whether the
    // column draws it.
    QList<QQuickItem *> m_blocks;
    std::vector<qreal> m_bottoms;
    std::vector<Drawn> m_drawn;
    // What the last culling saw; while none of it changes, neither does what is drawn.
    QRectF m_cullArea;
    const QQuickItem *m_cullFocus = nullptr;
    bool m_placedSinceCull = true;
};

#pragma once

#include <QColor>
#include <QQuickPaintedItem>
#include <QtQml/qqmlregistration.h>

#include "ui/components/copyflag.h"

class QVariantAnimation;

// The copy button of a code block or a table, drawn in one item: its symbol and label on a
// rounded background, "Copied!" and a check mark in green for two seconds after it copied.
// Every code block and table has one, and a streaming reply makes many a second; built from
// a background, a row, a symbol and a label it cost a third of a code block to make.
// Tab reaches it; Space or Return copies, as does a click.
class CopyButtonItem : public QQuickPaintedItem
{
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(QString textToCopy MEMBER m_textToCopy NOTIFY textToCopyChanged)
    // The title before it has copied.
    Q_PROPERTY(QString label READ label WRITE setLabel NOTIFY textChanged)
    // What it shows: the title, or "Copied!".
    Q_PROPERTY(QString text READ text NOTIFY textChanged)
    Q_PROPERTY(bool copied READ copied NOTIFY copiedChanged)
    Q_PROPERTY(QColor color MEMBER m_color WRITE setColor NOTIFY colorsChanged)
    Q_PROPERTY(QColor copiedColor MEMBER m_copiedColor WRITE setCopiedColor NOTIFY colorsChanged)
    Q_PROPERTY(QColor backgroundColor MEMBER m_backgroundColor WRITE setBackgroundColor NOTIFY
                   colorsChanged)
    Q_PROPERTY(QColor focusColor MEMBER m_focusColor WRITE setFocusColor NOTIFY colorsChanged)

public:
    explicit CopyButtonItem(QQuickItem *parent = nullptr);

    QString label() const { return m_label; }
    void setLabel(const QString &label);
    QString text() const;
    bool copied() const { return m_flag.copied(); }
    void setColor(const QColor &color);
    void setCopiedColor(const QColor &color);
    void setBackgroundColor(const QColor &color);
    void setFocusColor(const QColor &color);

    Q_INVOKABLE void copy();

    void paint(QPainter *painter) override;

signals:
    void textToCopyChanged();
    void textChanged();
    void copiedChanged();
    void colorsChanged();

protected:
    void itemChange(ItemChange change, const ItemChangeData &value) override;
    void keyPressEvent(QKeyEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    void updateImplicitSize();
    void assignColor(QColor &member, const QColor &color);
    QString symbol() const;
    // The label's colour now: its resting colour, or on its way to it.
    QColor shownColor() const;
    void fadeToRestingColor();

    QString m_textToCopy;
    QString m_label = QStringLiteral("Copy");
    QColor m_color;
    QColor m_copiedColor;
    QColor m_backgroundColor;
    QColor m_focusColor;
    CopyFlag m_flag;
    QVariantAnimation *m_fade = nullptr; // made with the first copy
};

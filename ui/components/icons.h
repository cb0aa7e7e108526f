#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <QtQml/qqmlregistration.h>

class QJSEngine;
class QQmlEngine;

// The app's icons are the platform symbol names the design uses ("gear",
// "square.and.pencil"), drawn as glyphs of the bundled Material Icons font.
class Icons : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    QML_SINGLETON
    Q_PROPERTY(QString fontFamily READ fontFamily CONSTANT)

public:
    static Icons *create(QQmlEngine *, QJSEngine *);
    static Icons *instance();

    // The font family, after loading the bundled font once.
    static QString fontFamily();
    // The glyph for a symbol name; empty for a name without an entry.
    Q_INVOKABLE static QString glyph(const QString &symbolName);
    static QStringList symbolNames();

private:
    explicit Icons(QObject *parent = nullptr);
};

#pragma once

#include <QObject>
#include <QtQml/qqmlregistration.h>

// The system clipboard for the copy buttons, as the QML singleton "Clipboard".
class ClipboardBridge : public QObject
{
    Q_OBJECT
    QML_NAMED_ELEMENT(Clipboard)
    QML_SINGLETON

public:
    using QObject::QObject;

    // Replaces the clipboard's contents with the text, as plain text.
    Q_INVOKABLE void setText(const QString &text);
    Q_INVOKABLE QString text() const;
};

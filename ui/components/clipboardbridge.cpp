#include "ui/components/clipboardbridge.h"

#include "platform/clipboard.h"

void ClipboardBridge::setText(const QString &text)
{
    Clipboard::setText(text);
}

QString ClipboardBridge::text() const
{
    return Clipboard::text().value_or(QString());
}

#pragma once

#include <QQuickImageProvider>

// Design symbols as images, for places that take an image rather than text (the
// tray icon): "image://icons/<symbol name>", optionally "?color=<name or #rgb>".
class IconImageProvider : public QQuickImageProvider
{
public:
    IconImageProvider();
    QImage requestImage(const QString &id, QSize *size, const QSize &requestedSize) override;
};

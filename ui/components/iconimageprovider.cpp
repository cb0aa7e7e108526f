#include "ui/components/iconimageprovider.h"

#include "ui/components/icons.h"

#include <QFont>
#include <QPainter>
#include <QUrlQuery>

IconImageProvider::IconImageProvider()
    : QQuickImageProvider(QQuickImageProvider::Image)
{}

QImage IconImageProvider::requestImage(const QString &id, QSize *size, const QSize &requestedSize)
{
    const qsizetype query = id.indexOf(u'?');
    const QString name = query < 0 ? id : id.left(query);
    QColor color(Qt::white);
    if (query >= 0) {
        const QUrlQuery items(id.mid(query + 1));
        if (items.hasQueryItem(QStringLiteral("color")))
            color = QColor(items.queryItemValue(QStringLiteral("color")));
    }
    const int side
        = requestedSize.isValid() ? std::max(requestedSize.width(), requestedSize.height()) : 64;
    QImage image(side, side, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QFont font(Icons::fontFamily());
    font.setPixelSize(side);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.setFont(font);
    painter.setPen(color);
    painter.drawText(image.rect(), Qt::AlignCenter, Icons::glyph(name));
    painter.end();
    if (size)
        *size = image.size();
    return image;
}

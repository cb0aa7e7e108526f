#include "tools/screenshot.h"

#include "platform/savefile.h"
#include "platform/screencapture.h"

#include <QBuffer>
#include <QDir>
#include <QPainter>
#include <QStandardPaths>

QSize Screenshot::scaledSize(const QSize &size)
{
    if (size.width() <= 0)
        return size;
    const double factor = std::min(double(maxWidth) / size.width(), 1.0);
    return QSize(int(size.width() * factor), int(size.height() * factor));
}

std::optional<QByteArray> Screenshot::encode(const QImage &image)
{
    if (image.isNull())
        return std::nullopt;
    const QSize size = scaledSize(image.size());
    if (size.isEmpty())
        return std::nullopt;
    // JPEG has no alpha: draw onto opaque pixels, replacing rather than blending.
    QImage scaled(size, QImage::Format_RGB32);
    if (scaled.isNull())
        return std::nullopt;
    scaled.fill(Qt::black);
    {
        QPainter painter(&scaled);
        painter.setCompositionMode(QPainter::CompositionMode_Source);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(QRect(QPoint(0, 0), size), image);
    }
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!scaled.save(&buffer, "JPG", jpegQuality) || bytes.isEmpty())
        return std::nullopt;
    return bytes;
}

QString Screenshot::fileName(const QDateTime &localTime)
{
    return QStringLiteral("Screenshot_") + localTime.toString(QStringLiteral("yyyy-MM-dd_HH-mm-ss"))
           + QStringLiteral(".jpg");
}

QString Screenshot::desktopDirectory()
{
    const QString desktop = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
    return desktop.isEmpty() ? QDir::home().filePath(QStringLiteral("Desktop")) : desktop;
}

QCoro::Task<QString> Screenshot::take(std::shared_ptr<ScreenCapture> capture)
{
    const ScreenCaptureResult captured = co_await capture->capture();
    switch (captured.status) {
    case ScreenCaptureResult::Status::NoDisplay:
        co_return QStringLiteral("No display found");
    case ScreenCaptureResult::Status::Failed:
        co_return QStringLiteral("Screenshot failed: ") + captured.error
            + QStringLiteral(
                ". Grant Screen Recording permission in System Settings > Privacy & Security.");
    case ScreenCaptureResult::Status::Captured:
        break;
    }
    const std::optional<QByteArray> jpeg = encode(captured.image);
    if (!jpeg)
        co_return QStringLiteral("Screenshot encoding failed");

    // The Desktop copy is a courtesy: the image is returned whether or not it could be saved.
    const QString folder = desktopDirectory();
    QDir().mkpath(folder);
    writeFileAtomically(QDir(folder).filePath(fileName(QDateTime::currentDateTime())), *jpeg);

    co_return QStringLiteral("data:image/jpeg;base64,") + QString::fromLatin1(jpeg->toBase64());
}

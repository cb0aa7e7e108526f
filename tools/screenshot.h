#pragma once

#include <QByteArray>
#include <QCoroTask>
#include <QDateTime>
#include <QImage>
#include <QString>

#include <memory>
#include <optional>

class ScreenCapture;

// take_screenshot: the primary display as a JPEG data URL small enough for a chat message,
// with a copy saved on the Desktop.
namespace Screenshot {

inline constexpr int maxWidth = 1280;
inline constexpr int jpegQuality = 65;

// Images wider than 1280 pixels shrink to 1280 wide, aspect ratio kept (sizes cut toward
// zero); narrower ones keep their size.
QSize scaledSize(const QSize &size);
// The image at scaledSize, as JPEG at quality 65; nothing if it cannot be encoded.
std::optional<QByteArray> encode(const QImage &image);
// "Screenshot_yyyy-MM-dd_HH-mm-ss.jpg" for the given local time.
QString fileName(const QDateTime &localTime);
// The user's Desktop folder.
QString desktopDirectory();

// The tool's result: "data:image/jpeg;base64,…" or one of the failure texts.
QCoro::Task<QString> take(std::shared_ptr<ScreenCapture> capture);

} // namespace Screenshot

#include "platform/screencapture.h"

#include "platform/processreaper.h"

#include <QFileInfo>
#include <QGuiApplication>
#include <QPixmap>
#include <QProcess>
#include <QScreen>
#include <QTemporaryDir>

namespace {

const std::chrono::milliseconds endGrace = std::chrono::seconds(1);

ScreenCaptureResult failed(const QString &error)
{
    return {ScreenCaptureResult::Status::Failed, {}, error};
}

} // namespace

std::shared_ptr<ScreenCapture> ScreenCapture::createDefault()
{
#if defined(Q_OS_MACOS)
    return std::make_shared<CommandScreenCapture>();
#else
    return std::make_shared<QtScreenCapture>();
#endif
}

QCoro::Task<ScreenCaptureResult> QtScreenCapture::capture()
{
    QScreen *screen = QGuiApplication::primaryScreen();
    if (!screen)
        co_return ScreenCaptureResult{ScreenCaptureResult::Status::NoDisplay, {}, {}};
    const QPixmap pixmap = screen->grabWindow(0);
    if (pixmap.isNull())
        co_return failed(QStringLiteral("The screen could not be captured"));
    co_return ScreenCaptureResult{ScreenCaptureResult::Status::Captured, pixmap.toImage(), {}};
}

CommandScreenCapture::CommandScreenCapture(QString program)
    : m_program(std::move(program))
{}

QCoro::Task<ScreenCaptureResult> CommandScreenCapture::capture()
{
    const QString program = m_program;
    QTemporaryDir dir;
    if (!dir.isValid())
        co_return failed(QStringLiteral("No temporary folder for the capture"));
    const QString file = dir.filePath(QStringLiteral("capture.png"));

    if (!QFileInfo(program).isExecutable())
        co_return failed(QStringLiteral("The capture tool could not be started"));
    QProcess process;
    process.setStandardInputFile(QProcess::nullDevice());
    // -x: no sound, -m: the main display only.
    QStringList arguments;
    arguments << QStringLiteral("-x") << QStringLiteral("-m") << QStringLiteral("-t")
              << QStringLiteral("png") << file;
    const QPointer<QProcess> running = &process;
    if (!co_await startProcess(running, program, arguments))
        co_return failed(QStringLiteral("The capture tool could not be started"));
    if (!co_await awaitExit(running, std::chrono::seconds(30))) {
        co_await endProcess(running, endGrace);
        co_return failed(QStringLiteral("The capture tool did not finish"));
    }
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        QString message = QString::fromUtf8(process.readAllStandardError()).trimmed();
        if (message.endsWith(QLatin1Char('.')))
            message.chop(1);
        co_return failed(message.isEmpty() ? QStringLiteral("The capture tool failed") : message);
    }
    QImage image(file);
    if (image.isNull())
        co_return failed(QStringLiteral("The capture tool gave no image"));
    co_return ScreenCaptureResult{ScreenCaptureResult::Status::Captured, image, {}};
}

#pragma once

#include <QCoroTask>
#include <QImage>
#include <QString>

#include <memory>

struct ScreenCaptureResult
{
    enum class Status { Captured, NoDisplay, Failed };
    Status status = Status::Failed;
    QImage image;  // when Captured
    QString error; // when Failed: why, as one sentence without a final full stop
};

// One picture of the whole primary display.
class ScreenCapture
{
public:
    virtual ~ScreenCapture() = default;
    virtual QCoro::Task<ScreenCaptureResult> capture() = 0;

    // macOS: the "screencapture" tool (it asks for and honours the Screen Recording
    // permission); elsewhere the windowing system through QScreen.
    static std::shared_ptr<ScreenCapture> createDefault();
};

// The primary QScreen. Needs a QGuiApplication.
class QtScreenCapture : public ScreenCapture
{
public:
    QCoro::Task<ScreenCaptureResult> capture() override;
};

// A command-line capture tool run as `program -x -m -t png <file>`, the file then read back.
class CommandScreenCapture : public ScreenCapture
{
public:
    explicit CommandScreenCapture(QString program = QStringLiteral("/usr/sbin/screencapture"));
    QCoro::Task<ScreenCaptureResult> capture() override;

private:
    QString m_program;
};

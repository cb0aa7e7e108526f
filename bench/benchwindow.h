#pragma once

// The one place the benchmarks reach into the UI library: the main window as the app loads it.
#include "ui/app/qmlengine.h"

#include <QCoreApplication>
#include <QQmlApplicationEngine>
#include <QQuickWindow>

#include <cstdio>
#include <cstdlib>

namespace bench {

// Before the application object: figures printed as they come, and the window offscreen
// unless a platform is asked for.
inline void startWindowBench()
{
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
}

// Loads the main window and returns once its first frame is on screen.
inline QQuickWindow *loadMainWindow(QQmlApplicationEngine &engine)
{
    loadAppWindow(engine);
    if (engine.rootObjects().isEmpty())
        std::exit(1);
    auto *window = qobject_cast<QQuickWindow *>(engine.rootObjects().first());
    bool swapped = false;
    const auto connection = QObject::connect(
        window, &QQuickWindow::frameSwapped, window, [&] { swapped = true; }, Qt::DirectConnection);
    while (!swapped)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    QObject::disconnect(connection);
    return window;
}

} // namespace bench

#pragma once

// The one place the benchmarks reach into the UI library: the main window as the app loads it.
#include "ui/app/qmlengine.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QQmlApplicationEngine>
#include <QQuickWindow>
#include <QTimer>

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

// Runs the event loop for a while, asleep when there is nothing to do: deferred work (list
// positioning, late bindings, the last frame) settles without a busy loop taking a core.
inline void runEventsFor(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

} // namespace bench

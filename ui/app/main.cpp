#include "ui/app/appmodel.h"
#include "ui/app/qmlengine.h"
#include "ui/components/icons.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QQmlApplicationEngine>
#include <QQuickStyle>

int main(int argc, char *argv[])
{
    // QApplication, not QGuiApplication: the menu-bar item needs the widgets backend.
    QApplication app(argc, argv);
    // Before anything reads the preference store.
    QCoreApplication::setOrganizationName(QStringLiteral("Tovra AI"));
    QCoreApplication::setOrganizationDomain(QStringLiteral("tovra.ai"));
    QCoreApplication::setApplicationName(QStringLiteral("Tovra AI"));
    // The window lives on with the menu-bar item; the menu's "Quit" ends the app.
    if (qEnvironmentVariableIsEmpty("QT_QUICK_CONTROLS_STYLE"))
        QQuickStyle::setStyle(QStringLiteral("Fusion"));

    // TOVRA_ENGINE names an engine executable tried before the usual install places:
    // a llama-server built by hand, or the test suite's stand-in engine.
    ServerManagerOptions serverOptions;
    if (const QString engine = qEnvironmentVariable("TOVRA_ENGINE"); !engine.isEmpty())
        serverOptions.serverSearchList.prepend(engine);
    AppModel appModel(serverOptions);
    appModel.takeOverQuitRequests();
    Icons::fontFamily();

    QQmlApplicationEngine engine;
    QObject::connect(
        &engine,
        &QQmlApplicationEngine::objectCreationFailed,
        &app,
        [] { QCoreApplication::exit(1); },
        Qt::QueuedConnection);
    loadAppWindow(engine);
    return app.exec();
}

#include <QApplication>
#include <QQmlApplicationEngine>
#include <QUrl>

int main(int argc, char *argv[])
{
    // QApplication, not QGuiApplication: the menu-bar item needs the widgets backend.
    QApplication app(argc, argv);
    // Before anything reads the preference store.
    QCoreApplication::setOrganizationName(QStringLiteral("Tovra AI"));
    QCoreApplication::setOrganizationDomain(QStringLiteral("tovra.ai"));
    QCoreApplication::setApplicationName(QStringLiteral("Tovra AI"));

    QQmlApplicationEngine engine;
    engine.addImportPath(QStringLiteral("qrc:/qt/qml"));
    QObject::connect(&engine, &QQmlApplicationEngine::objectCreationFailed, &app,
                     [] { QCoreApplication::exit(1); }, Qt::QueuedConnection);
    engine.load(QUrl(QStringLiteral("qrc:/qt/qml/TovraAI/qml/Main.qml")));
    return app.exec();
}

// A minimal app that owns a ServerManager running the stand-in engine, so that tests
// can end it the ways an app ends: an orderly quit, a quit without one, or a kill.
//   engine-host <shutdown|destroy|wait> <port> <engine executable>
// Prints "ENGINE_PID <pid>" once the engine is ready.
#include "engine/servermanager.h"

#include <QCoreApplication>
#include <QProcess>

#include <QCoroTask>

#include <cstdio>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc < 4)
        return 2;
    const QString mode = QString::fromLocal8Bit(argv[1]);
    ServerManagerOptions options;
    options.port = QByteArray(argv[2]).toInt();
    options.serverSearchList = {QString::fromLocal8Bit(argv[3])};
    options.pollInterval = std::chrono::milliseconds(50);
    auto *manager = new ServerManager(options);

    QCoro::connect(manager->startServer(QStringLiteral("/models/m.gguf"), QStringLiteral("M")),
                   &app,
                   [&] {
                       if (!manager->isRunning())
                           return QCoreApplication::exit(3);
                       std::printf("ENGINE_PID %lld\n", manager->serverProcess()->processId());
                       std::fflush(stdout);
                       if (mode == QLatin1String("shutdown"))
                           QCoro::connect(manager->shutdown(), &app, [] {
                               QCoreApplication::quit();
                           });
                       else if (mode == QLatin1String("destroy"))
                           QCoreApplication::quit();
                   });
    const int status = app.exec();
    delete manager;
    return status;
}

// A minimal app that runs the stand-in engine, so that tests can end it the ways an app
// ends: the app's own quit (asked for by SIGTERM or SIGINT), a quit without one, or a kill.
//   engine-host <app|destroy|wait> <port> <engine executable> [shutdown bound in ms]
// Prints "ENGINE_PID <pid>" once the engine is ready, after asking for a save of the chat
// archive that only the way the app ends can write (it waits an hour otherwise).
#include "core/agentstate.h"
#include "engine/servermanager.h"
#include "tests/support/testenvironment.h"
#include "ui/app/appmodel.h"

#include <QCoroTask>

#include <cstdio>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    TestEnvironment::setApplicationIdentity();
    if (argc < 4)
        return 2;
    const QString mode = QString::fromLocal8Bit(argv[1]);
    ServerManagerOptions options;
    options.port = QByteArray(argv[2]).toInt();
    options.serverSearchList = {QString::fromLocal8Bit(argv[3])};
    options.pollInterval = std::chrono::milliseconds(50);
    if (argc > 4)
        options.shutdownGracePeriod = std::chrono::milliseconds(QByteArray(argv[4]).toInt());
    auto *appModel = new AppModel(options);
    if (mode == QLatin1String("app"))
        appModel->takeOverQuitRequests();
    ServerManager *manager = appModel->serverManager();

    QCoro::connect(manager->startServer(QStringLiteral("/models/m.gguf"), QStringLiteral("M")),
                   &app,
                   [&] {
                       if (!manager->isRunning())
                           return QCoreApplication::exit(3);
                       AgentState *state = appModel->agentState();
                       state->sessionArchive()->setCoalesceInterval(std::chrono::hours(1));
                       state->renameActiveSession(QStringLiteral("Saved at the end"));
                       std::printf("ENGINE_PID %lld\n", manager->serverProcess()->processId());
                       std::fflush(stdout);
                       if (mode == QLatin1String("destroy"))
                           QCoreApplication::exit(0);
                   });
    const int status = app.exec();
    delete appModel;
    return status;
}

#pragma once

// Shared by the engine tests: a manager pointed at the stand-in engine on a free
// port, the stand-in's start-up behaviour, and the command lines it received.
#include "engine/servermanager.h"
#include "tests/support/standinengine.h"
#include "tests/support/testenvironment.h"

#include <QTcpServer>

#include <QCoroTask>

#include <csignal>

namespace enginetest {

inline int freePort()
{
    QTcpServer server;
    server.listen(QHostAddress::LocalHost, 0);
    return server.serverPort();
}

inline ServerManagerOptions standinOptions(std::chrono::milliseconds pollInterval
                                           = std::chrono::milliseconds(50))
{
    ServerManagerOptions options;
    options.serverSearchList = {StandinEngine::executable()};
    options.userPath = {};
    options.brewCandidates = {};
    options.pollInterval = pollInterval;
    options.port = freePort();
    return options;
}

// The behaviour of every stand-in engine launched from now on (it inherits our environment).
inline void setStartup(const QString &json)
{
    if (json.isEmpty())
        qunsetenv("STANDIN_STARTUP");
    else
        qputenv("STANDIN_STARTUP", json.toUtf8());
}

// Each launch of the stand-in appends its command line to this file.
class ArgsLog
{
public:
    ArgsLog()
    {
        qputenv("STANDIN_ARGS_LOG", m_dir.filePath(QStringLiteral("args.jsonl")).toLocal8Bit());
    }
    ~ArgsLog() { qunsetenv("STANDIN_ARGS_LOG"); }

    // One space-joined command line per launch, the port replaced by "PORT".
    QStringList lines(int port) const
    {
        QStringList result;
        for (const QByteArray &line : readTestFile(m_dir.filePath("args.jsonl")).split('\n')) {
            QStringList words;
            for (const auto &value : QJsonDocument::fromJson(line).array())
                words << value.toString();
            if (!words.isEmpty())
                result << words.join(QLatin1Char(' '))
                              .replace(QStringLiteral("--port %1").arg(port),
                                       QStringLiteral("--port PORT"));
        }
        return result;
    }

private:
    QTemporaryDir m_dir;
};

// Runs a manager task to its end (the test's own event loop keeps turning).
inline void run(QCoro::Task<> task)
{
    QCoro::waitFor(std::move(task));
}

} // namespace enginetest

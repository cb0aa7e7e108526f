#include "tests/support/standinengine.h"

#include "tests/support/announcedport.h"

#include <httplib.h>

StandinEngine::StandinEngine(const QStringList &extraArguments,
                             const QProcessEnvironment &environment)
{
    m_process.setProcessEnvironment(environment);
    m_process.setProcessChannelMode(QProcess::SeparateChannels);
    m_port = startAndReadAnnouncedPort(m_process,
                                       executable(),
                                       QStringList{QStringLiteral("--port"),
                                                   QStringLiteral("0"),
                                                   QStringLiteral("--host"),
                                                   QStringLiteral("127.0.0.1")}
                                           + extraArguments,
                                       "STANDIN_PORT ");
}

StandinEngine::~StandinEngine()
{
    m_process.kill();
    m_process.waitForFinished(5000);
}

QString StandinEngine::baseURL() const
{
    return QStringLiteral("http://127.0.0.1:%1").arg(m_port);
}

QString StandinEngine::executable()
{
    // The test runner names it; programs run by hand (benchmarks) use the one built beside them.
    const QString named = qEnvironmentVariable("STANDIN_ENGINE");
    return named.isEmpty() ? QStringLiteral(STANDIN_ENGINE_PATH) : named;
}

void StandinEngine::enqueue(const nlohmann::json &script)
{
    httplib::Client client("127.0.0.1", m_port);
    client.Post("/control/enqueue", script.dump(), "application/json");
}

nlohmann::json StandinEngine::requests()
{
    return controlAnswer(m_port, "/control/requests");
}

QStringList StandinEngine::connections()
{
    QStringList states;
    for (const auto &state : controlAnswer(m_port, "/control/connections"))
        states.append(QString::fromStdString(state.get<std::string>()));
    return states;
}

void StandinEngine::reset()
{
    httplib::Client client("127.0.0.1", m_port);
    client.Post("/control/reset", "", "application/json");
}

#include "standinengine.h"

#include <QDeadlineTimer>

#include <httplib.h>

StandinEngine::StandinEngine(const QStringList &extraArguments, const QProcessEnvironment &environment)
{
    m_process.setProcessEnvironment(environment);
    m_process.setProcessChannelMode(QProcess::SeparateChannels);
    m_process.start(executable(), QStringList{QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("--host"),
                                              QStringLiteral("127.0.0.1")}
                                      + extraArguments);
    if (!m_process.waitForStarted(10000))
        return;
    QDeadlineTimer deadline(10000);
    QByteArray out;
    while (!deadline.hasExpired() && !out.contains('\n')) {
        m_process.waitForReadyRead(int(deadline.remainingTime()));
        out += m_process.readAllStandardOutput();
    }
    if (out.startsWith("STANDIN_PORT "))
        m_port = out.mid(13).trimmed().toInt();
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
    return qEnvironmentVariable("STANDIN_ENGINE");
}

void StandinEngine::enqueue(const nlohmann::json &script)
{
    httplib::Client client("127.0.0.1", m_port);
    client.Post("/control/enqueue", script.dump(), "application/json");
}

nlohmann::json StandinEngine::requests()
{
    httplib::Client client("127.0.0.1", m_port);
    const auto result = client.Get("/control/requests");
    if (!result)
        return nlohmann::json::array();
    return nlohmann::json::parse(result->body, nullptr, false);
}

void StandinEngine::reset()
{
    httplib::Client client("127.0.0.1", m_port);
    client.Post("/control/reset", "", "application/json");
}

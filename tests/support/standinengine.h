#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

#include <nlohmann/json.hpp>

// Runs the stand-in engine on a free loopback port for the life of a test.
class StandinEngine
{
public:
    // Extra arguments go after "--port 0 --host 127.0.0.1".
    explicit StandinEngine(const QStringList &extraArguments = {},
                           const QProcessEnvironment &environment
                           = QProcessEnvironment::systemEnvironment());
    ~StandinEngine();

    bool isRunning() const { return m_port > 0; }
    int port() const { return m_port; }
    QString baseURL() const;

    // Queues one script object (or an array of them) for the next chat requests.
    void enqueue(const nlohmann::json &script);
    // Every chat request body received so far, oldest first.
    nlohmann::json requests();
    // How each chat request's connection ended so far: "open", "closed" (by the client), "done".
    QStringList connections();
    void reset();

    // The executable: STANDIN_ENGINE when set, else the one this build made.
    static QString executable();

private:
    QProcess m_process;
    int m_port = 0;
};

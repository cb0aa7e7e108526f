#pragma once

#include "mcp/mcpclient.h"
#include "mcp/serverconfig.h"
#include "mcp/tooloutput.h"

#include <QObject>
#include <QPointer>

#include <QCoroTask>

// One configured server while the app runs: its connection, its state for the screens
// and its tools. Starting again makes a new connection; the old one is ended first.
class McpServer : public QObject
{
    Q_OBJECT

public:
    enum class State { Disabled, Starting, Ready, Failed, Stopped };

    McpServer(McpServerConfig config, QObject *parent = nullptr);
    ~McpServer() override;

    const McpServerConfig &config() const { return m_config; }
    // The same server with other approval lists: nothing restarts.
    void setConfig(const McpServerConfig &config) { m_config = config; }
    QString name() const { return m_config.name; }
    State state() const { return m_state; }
    // "disabled", "starting", "ready", "failed", "stopped"
    QString stateName() const;
    // "Disabled", "Starting…", "Ready — 14 tools", "Failed: …"
    QString stateText() const;
    QString failure() const { return m_failure; }
    // The server's log (its error stream), the last 64 KiB.
    QString log() const;
    const QList<McpTool> &tools() const;
    const McpTool *tool(const QString &name) const;
    McpClient *client() const { return m_client; }

    // Connects and lists the tools; the state tells how it went. The search folders find a
    // local server's command.
    QCoro::Task<> start(QStringList searchFolders);
    // Ends the connection in order (a local server: input closed, SIGTERM, SIGKILL).
    QCoro::Task<> stop();
    QCoro::Task<McpToolOutput> call(QString tool, nlohmann::json arguments, McpCallStopPtr stop);

signals:
    // State, failure, tools or log changed.
    void changed();

private:
    std::unique_ptr<McpTransport> makeTransport(const QStringList &searchFolders) const;
    // Ends the connection, leaving the state to the caller.
    QCoro::Task<> closeClient();
    void setState(State state, const QString &failure = QString());
    void onDisconnected(const QString &reason);

    McpServerConfig m_config;
    QPointer<McpClient> m_client;
    State m_state = State::Stopped;
    QString m_failure;
    QString m_lastLog; // of a connection that is gone
    quint64 m_generation = 0;
};

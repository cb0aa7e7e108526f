#pragma once

#include "mcp/jsonrpc.h"
#include "mcp/transport.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QStringList>

#include <QCoroTask>

#include <chrono>
#include <map>
#include <memory>
#include <optional>

// One tool as a server lists it.
struct McpTool
{
    QString name;
    QString title; // empty when the server gives none
    QString description;
    nlohmann::json inputSchema = nlohmann::json::object();
    nlohmann::json annotations = nlohmann::json::object();

    // The server says the tool changes nothing. Shown to the user, never trusted.
    bool readOnlyHint() const;
};

// Ends a request early: the user's Stop. The server is told (notifications/cancelled) and
// an answer that still comes is dropped. Shared by whoever may stop and whoever waits.
class McpCallStop : public QObject
{
    Q_OBJECT

public:
    void stop()
    {
        if (!std::exchange(m_stopped, true))
            emit stopped();
    }
    bool isStopped() const { return m_stopped; }

signals:
    void stopped();

private:
    bool m_stopped = false;
};
using McpCallStopPtr = std::shared_ptr<McpCallStop>;

struct McpClientOptions
{
    QString label; // the server's name, in the texts the user sees
    std::chrono::milliseconds requestTimeout{std::chrono::seconds(60)};
    QString clientName = QStringLiteral("Tovra AI");
    QString clientVersion = QStringLiteral("0.1.0");
};

// The client side of the Model Context Protocol over one transport: the initialize
// handshake, the tool list (paged, and listed again when the server says it changed), tool
// calls with a time-out and cancellation, and the few requests a server may make of us.
// Lives on the main thread; every wait suspends.
class McpClient : public QObject
{
    Q_OBJECT

public:
    // Offered first; the others are accepted when the server answers with one of them.
    static const QStringList supportedProtocolVersions;
    static constexpr int pageLimit = 100;

    McpClient(std::unique_ptr<McpTransport> transport,
              McpClientOptions options,
              QObject *parent = nullptr);
    ~McpClient() override;

    // Opens the transport, initializes and lists the tools. Empty on success, else why not.
    QCoro::Task<QString> connectToServer();
    // Lists the tools again; empty on success, else why not (the old list stays).
    QCoro::Task<QString> refreshTools();
    QCoro::Task<RpcReply> callTool(QString name, nlohmann::json arguments, McpCallStopPtr stop = {});
    // Any request; the time-out defaults to the options'.
    QCoro::Task<RpcReply> request(QString method,
                                  nlohmann::json params,
                                  McpCallStopPtr stop = {},
                                  std::optional<std::chrono::milliseconds> timeout = {});
    // Ends the connection in order; requests still waiting end with "closed".
    QCoro::Task<> close();

    bool isConnected() const { return m_connected; }
    const QList<McpTool> &tools() const { return m_tools; }
    QString protocolVersion() const { return m_protocolVersion; }
    QString serverName() const { return m_serverName; }
    QString serverVersion() const { return m_serverVersion; }
    QString instructions() const { return m_instructions; }
    McpTransport *transport() const { return m_transport.get(); }
    const McpClientOptions &options() const { return m_options; }
    // "60 seconds", "1 second": the time-out as the texts name it.
    static QString durationText(std::chrono::milliseconds duration);

signals:
    void toolsChanged();
    // The connection ended on its own (the process exited, say), with the reason.
    void disconnected(const QString &reason);

private:
    class Pending;

    QCoro::Task<QString> handshake();
    QCoro::Task<> restartSession();
    QCoro::Task<> relist();
    void onMessage(const nlohmann::json &message);
    void onRequest(const nlohmann::json &message);
    void onSessionExpired(const nlohmann::json &message);
    void onClosed(const QString &reason);
    void settleAll(int code, const QString &text);

    std::unique_ptr<McpTransport> m_transport;
    McpClientOptions m_options;
    qint64 m_nextId = 0;
    std::map<qint64, QPointer<Pending>> m_pending;
    QList<McpTool> m_tools;
    QString m_protocolVersion;
    QString m_serverName;
    QString m_serverVersion;
    QString m_instructions;
    bool m_connected = false;
    bool m_closing = false;
    bool m_relisting = false;
    bool m_relistAgain = false;
    bool m_restarting = false;
    QList<nlohmann::json> m_resend; // requests to send again once the new session is up
};

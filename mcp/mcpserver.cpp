#include "mcp/mcpserver.h"

#include "mcp/httptransport.h"
#include "mcp/logging.h"
#include "mcp/stdiotransport.h"

#include <QUrl>

McpServer::McpServer(McpServerConfig config, QObject *parent)
    : QObject(parent)
    , m_config(std::move(config))
{
    // An enabled server is "starting" from the moment it is known: its start follows at once,
    // or as soon as the folders to find its command in are known.
    if (m_config.disabled)
        m_state = State::Disabled;
    else if (!m_config.problem.isEmpty())
        setState(State::Failed, m_config.problem);
    else
        m_state = State::Starting;
}

McpServer::~McpServer() = default;

QString McpServer::stateName() const
{
    switch (m_state) {
    case State::Disabled:
        return QStringLiteral("disabled");
    case State::Starting:
        return QStringLiteral("starting");
    case State::Ready:
        return QStringLiteral("ready");
    case State::Failed:
        return QStringLiteral("failed");
    case State::Stopped:
        break;
    }
    return QStringLiteral("stopped");
}

QString McpServer::stateText() const
{
    switch (m_state) {
    case State::Disabled:
        return QStringLiteral("Disabled");
    case State::Starting:
        return QStringLiteral("Starting\u2026");
    case State::Ready: {
        const qsizetype count = tools().size();
        return count == 1 ? QStringLiteral("Ready \u2014 1 tool")
                          : QStringLiteral("Ready \u2014 %1 tools").arg(count);
    }
    case State::Failed:
        return QStringLiteral("Failed: ") + m_failure;
    case State::Stopped:
        break;
    }
    return QStringLiteral("Stopped");
}

QString McpServer::log() const
{
    return m_client ? m_client->transport()->log() : m_lastLog;
}

const QList<McpTool> &McpServer::tools() const
{
    static const QList<McpTool> none;
    return m_client && m_state == State::Ready ? m_client->tools() : none;
}

const McpTool *McpServer::tool(const QString &name) const
{
    for (const McpTool &tool : tools()) {
        if (tool.name == name)
            return &tool;
    }
    return nullptr;
}

std::unique_ptr<McpTransport> McpServer::makeTransport(const QStringList &searchFolders) const
{
    if (m_config.isRemote())
        return std::make_unique<HttpTransport>(
            HttpServerEndpoint{QUrl(m_config.url), m_config.headers, {}});
    return std::make_unique<StdioTransport>(StdioServerCommand{m_config.command,
                                                               m_config.args,
                                                               m_config.env,
                                                               m_config.cwd,
                                                               searchFolders});
}

QCoro::Task<> McpServer::start(QStringList searchFolders)
{
    if (m_config.disabled || !m_config.problem.isEmpty())
        co_return;
    QPointer<McpServer> self(this);
    co_await stop();
    if (!self)
        co_return;
    const quint64 generation = ++m_generation;
    auto *client = new McpClient(makeTransport(searchFolders),
                                 McpClientOptions{m_config.name, m_config.timeout()},
                                 this);
    m_client = client;
    connect(client, &McpClient::toolsChanged, this, &McpServer::changed);
    connect(client, &McpClient::disconnected, this, &McpServer::onDisconnected);
    setState(State::Starting);
    const QString failure = co_await client->connectToServer();
    if (!self || generation != m_generation)
        co_return;
    if (failure.isEmpty()) {
        setState(State::Ready);
        co_return;
    }
    qCDebug(lcMcp) << m_config.name << "failed:" << failure;
    co_await closeClient();
    if (self && generation == m_generation)
        setState(State::Failed, failure);
}

QCoro::Task<> McpServer::stop()
{
    ++m_generation;
    if (m_client && (m_state == State::Ready || m_state == State::Starting))
        setState(m_config.disabled ? State::Disabled : State::Stopped);
    co_await closeClient();
}

QCoro::Task<> McpServer::closeClient()
{
    QPointer<McpServer> self(this);
    QPointer<McpClient> client = std::exchange(m_client, nullptr);
    if (!client)
        co_return;
    client->disconnect(this);
    m_lastLog = client->transport()->log();
    co_await client->close();
    if (self && client)
        m_lastLog = client->transport()->log();
    if (client)
        client->deleteLater();
    if (self)
        emit changed();
}

void McpServer::onDisconnected(const QString &reason)
{
    if (m_client)
        m_lastLog = m_client->transport()->log();
    setState(State::Failed, reason);
}

void McpServer::setState(State state, const QString &failure)
{
    m_state = state;
    m_failure = failure;
    emit changed();
}

QCoro::Task<McpToolOutput> McpServer::call(QString tool,
                                           nlohmann::json arguments,
                                           McpCallStopPtr stop)
{
    if (m_state != State::Ready || !m_client)
        co_return McpToolOutput{QStringLiteral("Error: The tool server %1 is not running (%2).")
                                    .arg(m_config.name, stateText()),
                                {},
                                true};
    QPointer<McpServer> self(this);
    QPointer<McpClient> client = m_client;
    const RpcReply reply
        = co_await client->callTool(std::move(tool), std::move(arguments), std::move(stop));
    if (reply.error && reply.error->code == JsonRpc::connectionClosed && self)
        co_return McpToolOutput{QStringLiteral(
                                    "Error: The tool server %1 stopped during the call: %2")
                                    .arg(m_config.name, reply.error->message),
                                {},
                                true};
    co_return McpToolText::fromReply(reply);
}

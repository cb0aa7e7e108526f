#include "mcp/mcpclient.h"

#include "mcp/logging.h"

#include "platform/signalwait.h"

using nlohmann::json;

bool McpTool::readOnlyHint() const
{
    const auto hint = annotations.find("readOnlyHint");
    return hint != annotations.end() && hint->is_boolean() && hint->get<bool>();
}

// One request waiting for its answer; settled exactly once.
class McpClient::Pending : public QObject
{
    Q_OBJECT

public:
    void settle(RpcReply answer)
    {
        if (settled)
            return;
        settled = true;
        reply = std::move(answer);
        emit done();
    }

    RpcReply reply;
    bool settled = false;

signals:
    void done();
};

const QStringList McpClient::supportedProtocolVersions
    = {QStringLiteral("2025-11-25"), QStringLiteral("2025-06-18"), QStringLiteral("2025-03-26")};

McpClient::McpClient(std::unique_ptr<McpTransport> transport,
                     McpClientOptions options,
                     QObject *parent)
    : QObject(parent)
    , m_transport(std::move(transport))
    , m_options(std::move(options))
{
    m_transport->setHandlers({[this](const json &message) { onMessage(message); },
                              [this](const json &message) { onSessionExpired(message); },
                              [this](const QString &reason) { onClosed(reason); }});
}

McpClient::~McpClient()
{
    // Waiting callers wake (queued) to find the client gone.
    settleAll(JsonRpc::connectionClosed, QStringLiteral("The connection was closed."));
}

QString McpClient::durationText(std::chrono::milliseconds duration)
{
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(duration).count();
    if (seconds >= 1 && duration.count() % 1000 == 0)
        return seconds == 1 ? QStringLiteral("1 second")
                            : QStringLiteral("%1 seconds").arg(seconds);
    return QStringLiteral("%1 ms").arg(duration.count());
}

QCoro::Task<QString> McpClient::connectToServer()
{
    QPointer<McpClient> self(this);
    const QString failure = co_await m_transport->open();
    if (!self)
        co_return QStringLiteral("The connection was closed.");
    if (!failure.isEmpty())
        co_return failure;
    m_connected = true;
    const QString handshakeFailure = co_await handshake();
    if (!self)
        co_return QStringLiteral("The connection was closed.");
    if (!handshakeFailure.isEmpty())
        co_return handshakeFailure;
    co_return co_await refreshTools();
}

QCoro::Task<QString> McpClient::handshake()
{
    QPointer<McpClient> self(this);
    const json params = {{"protocolVersion", stdText(supportedProtocolVersions.first())},
                         {"capabilities", json::object()},
                         {"clientInfo",
                          {{"name", stdText(m_options.clientName)},
                           {"version", stdText(m_options.clientVersion)}}}};
    const RpcReply reply = co_await request(QStringLiteral("initialize"), params);
    if (!self)
        co_return QStringLiteral("The connection was closed.");
    if (!reply.ok()) {
        if (reply.error->code == JsonRpc::timedOut)
            co_return QStringLiteral("%1 did not answer initialize within %2.")
                .arg(m_options.label, durationText(m_options.requestTimeout));
        co_return QStringLiteral("%1 could not be initialized: %2")
            .arg(m_options.label, reply.error->message);
    }
    const QString version = textMember(reply.result, "protocolVersion");
    if (!supportedProtocolVersions.contains(version))
        co_return QStringLiteral("%1 speaks protocol version %2; Tovra AI speaks %3.")
            .arg(m_options.label,
                 version.isEmpty() ? QStringLiteral("(none given)") : version,
                 supportedProtocolVersions.join(QStringLiteral(", ")));
    m_protocolVersion = version;
    const json info = reply.result.value("serverInfo", json::object());
    m_serverName = textMember(info, "name");
    m_serverVersion = textMember(info, "version");
    m_instructions = textMember(reply.result, "instructions");
    m_transport->setProtocolVersion(version);
    m_transport->send(JsonRpc::notification("notifications/initialized"));
    m_transport->opened();
    qCDebug(lcMcp) << m_options.label << "initialized:" << m_serverName << m_serverVersion
                   << version;
    co_return QString();
}

QCoro::Task<QString> McpClient::refreshTools()
{
    QPointer<McpClient> self(this);
    QList<McpTool> tools;
    json cursor;
    for (int page = 0; page < pageLimit; ++page) {
        json params = json::object();
        if (!cursor.is_null())
            params["cursor"] = cursor;
        const RpcReply reply = co_await request(QStringLiteral("tools/list"), params);
        if (!self)
            co_return QStringLiteral("The connection was closed.");
        if (!reply.ok())
            co_return QStringLiteral("%1 could not list its tools: %2")
                .arg(m_options.label, reply.error->message);
        const json list = reply.result.value("tools", json::array());
        for (const json &entry : list.is_array() ? list : json::array()) {
            McpTool tool;
            tool.name = textMember(entry, "name");
            if (tool.name.isEmpty())
                continue;
            tool.title = textMember(entry, "title");
            tool.description = textMember(entry, "description");
            if (entry.contains("inputSchema") && entry["inputSchema"].is_object())
                tool.inputSchema = entry["inputSchema"];
            if (!tool.inputSchema.contains("type"))
                tool.inputSchema["type"] = "object";
            if (entry.contains("annotations") && entry["annotations"].is_object())
                tool.annotations = entry["annotations"];
            if (tool.title.isEmpty())
                tool.title = textMember(tool.annotations, "title");
            tools.append(std::move(tool));
        }
        const auto next = reply.result.find("nextCursor");
        if (next == reply.result.end() || next->is_null() || *next == cursor)
            break;
        cursor = *next;
    }
    m_tools = std::move(tools);
    emit toolsChanged();
    co_return QString();
}

QCoro::Task<RpcReply> McpClient::callTool(QString name, json arguments, McpCallStopPtr stop)
{
    json params = {{"name", stdText(name)}};
    params["arguments"] = arguments.is_object() ? std::move(arguments) : json::object();
    co_return co_await request(QStringLiteral("tools/call"), std::move(params), std::move(stop));
}

QCoro::Task<RpcReply> McpClient::request(QString method,
                                         json params,
                                         McpCallStopPtr stop,
                                         std::optional<std::chrono::milliseconds> timeout)
{
    QPointer<McpClient> self(this);
    if (!m_connected || m_closing)
        co_return RpcReply::failure(JsonRpc::connectionClosed,
                                    QStringLiteral("%1 is not connected.").arg(m_options.label));
    const qint64 id = ++m_nextId;
    auto pending = std::make_unique<Pending>();
    m_pending.emplace(id, pending.get());
    if (stop) {
        Pending *waiting = pending.get();
        connect(stop.get(), &McpCallStop::stopped, waiting, [waiting] {
            waiting->settle(
                RpcReply::failure(JsonRpc::cancelled, QStringLiteral("Stopped by the user.")));
        });
        if (stop->isStopped())
            pending->settle(
                RpcReply::failure(JsonRpc::cancelled, QStringLiteral("Stopped by the user.")));
    }
    const auto limit = timeout.value_or(m_options.requestTimeout);
    const bool sent = !pending->settled;
    if (sent) {
        m_transport->send(JsonRpc::request(id, stdText(method), std::move(params)));
        const bool answered = co_await SignalWait(pending.get(), &Pending::done, limit);
        if (!self)
            co_return RpcReply::failure(JsonRpc::connectionClosed,
                                        QStringLiteral("The connection was closed."));
        if (!answered)
            pending->settle(RpcReply::failure(JsonRpc::timedOut,
                                              QStringLiteral("%1 did not answer within %2.")
                                                  .arg(m_options.label, durationText(limit))));
    }
    m_pending.erase(id);
    RpcReply reply = std::move(pending->reply);
    if (sent && m_connected && reply.error
        && (reply.error->code == JsonRpc::timedOut || reply.error->code == JsonRpc::cancelled)) {
        // The server may stop its work; whatever it still sends for this id is dropped.
        m_transport->send(
            JsonRpc::notification("notifications/cancelled",
                                  {{"requestId", id}, {"reason", stdText(reply.error->message)}}));
        m_transport->abandon(id);
    }
    co_return reply;
}

void McpClient::onMessage(const json &message)
{
    switch (JsonRpc::kindOf(message)) {
    case JsonRpc::Kind::Response: {
        const auto id = JsonRpc::numericId(message["id"]);
        const auto found = id ? m_pending.find(*id) : m_pending.end();
        if (found == m_pending.end() || !found->second) {
            qCDebug(lcMcp) << m_options.label << "answer to no waiting request, dropped:"
                           << qText(message.dump().substr(0, 200));
            return;
        }
        if (const auto error = message.find("error"); error != message.end()) {
            const int code = error->is_object() && error->value("code", json()).is_number_integer()
                                 ? error->value("code", 0)
                                 : JsonRpc::internalError;
            QString text = textMember(*error, "message");
            found->second->settle(
                RpcReply::failure(code,
                                  text.isEmpty() ? QStringLiteral("Error %1").arg(code) : text));
        } else {
            found->second->settle({message["result"], std::nullopt});
        }
        return;
    }
    case JsonRpc::Kind::Request:
        onRequest(message);
        return;
    case JsonRpc::Kind::Notification: {
        const std::string &method = message["method"].get_ref<const std::string &>();
        if (method == "notifications/tools/list_changed")
            relist();
        else
            qCDebug(lcMcp) << m_options.label << "notification" << method.c_str();
        return;
    }
    case JsonRpc::Kind::Invalid:
        qCDebug(lcMcp) << m_options.label
                       << "not a JSON-RPC message:" << qText(message.dump().substr(0, 200));
        return;
    }
}

void McpClient::onRequest(const json &message)
{
    const std::string &method = message["method"].get_ref<const std::string &>();
    if (method == "ping") {
        m_transport->send(JsonRpc::result(message["id"], json::object()));
        return;
    }
    // No sampling, elicitation or roots are offered: the server must not ask for them.
    m_transport->send(JsonRpc::error(message["id"],
                                     JsonRpc::methodNotFound,
                                     QStringLiteral("Method not found: ") + qText(method)));
}

QCoro::Task<> McpClient::relist()
{
    // One listing at a time; a change announced during one lists once more after it.
    if (m_relisting) {
        m_relistAgain = true;
        co_return;
    }
    QPointer<McpClient> self(this);
    m_relisting = true;
    do {
        m_relistAgain = false;
        const QString failure = co_await refreshTools();
        if (!self)
            co_return;
        if (!failure.isEmpty())
            qCDebug(lcMcp) << failure;
    } while (m_relistAgain && m_connected);
    m_relisting = false;
}

void McpClient::onSessionExpired(const json &message)
{
    m_resend.append(message);
    if (!m_restarting)
        restartSession();
}

QCoro::Task<> McpClient::restartSession()
{
    QPointer<McpClient> self(this);
    m_restarting = true;
    m_transport->resetSession();
    const QString failure = co_await handshake();
    if (!self)
        co_return;
    m_restarting = false;
    const QList<json> resend = std::exchange(m_resend, {});
    for (const json &message : resend) {
        if (failure.isEmpty()) {
            m_transport->send(message);
            continue;
        }
        const auto id = JsonRpc::numericId(message["id"]);
        if (const auto found = id ? m_pending.find(*id) : m_pending.end();
            found != m_pending.end() && found->second)
            found->second->settle(RpcReply::failure(JsonRpc::connectionClosed, failure));
    }
}

void McpClient::onClosed(const QString &reason)
{
    m_connected = false;
    settleAll(JsonRpc::connectionClosed, reason);
    emit disconnected(reason);
}

void McpClient::settleAll(int code, const QString &text)
{
    const auto pending = m_pending;
    for (const auto &[id, waiting] : pending) {
        if (waiting)
            waiting->settle(RpcReply::failure(code, text));
    }
}

QCoro::Task<> McpClient::close()
{
    m_closing = true;
    settleAll(JsonRpc::connectionClosed, QStringLiteral("The connection was closed."));
    QPointer<McpClient> self(this);
    co_await m_transport->close();
    if (self)
        m_connected = false;
}

#include "mcpclient.moc"

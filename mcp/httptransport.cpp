#include "mcp/httptransport.h"

#include "mcp/jsonrpc.h"
#include "mcp/logging.h"

#include "platform/signalwait.h"

#include <QHostAddress>
#include <QNetworkAccessManager>
#include <QNetworkProxyFactory>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSslConfiguration>
#include <QSslError>
#include <QTimer>

using nlohmann::json;

namespace {

bool isLoopback(const QString &host)
{
    if (host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0)
        return true;
    const QHostAddress address(host);
    return !address.isNull() && address.isLoopback();
}

// The system's proxies for remote servers; loopback servers are always reached directly.
class ServerProxies : public QNetworkProxyFactory
{
public:
    QList<QNetworkProxy> queryProxy(const QNetworkProxyQuery &query) override
    {
        if (isLoopback(query.peerHostName()))
            return {QNetworkProxy(QNetworkProxy::NoProxy)};
        return systemProxyForQuery(query);
    }
};

int statusOf(const QNetworkReply *reply)
{
    return reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
}

} // namespace

struct HttpTransport::Stream
{
    StreamKind kind = StreamKind::Post;
    json message;                    // what was POSTed
    std::optional<qint64> requestId; // the request whose answer this stream carries
    bool hadSession = false;         // sent with a session id (a 404 then means it expired)
    bool announcesReady = false;     // the initialized notification: the GET stream follows it
    bool isEventStream = false;
    bool typeKnown = false;
    int attempt = 0;       // resumptions so far without anything heard
    bool received = false; // the server sent something on this stream
    bool abandoned = false;
    SseParser events;
    QByteArray lastEventId; // carried over from the stream this one resumes
    QStringList certificateErrors;
};

HttpTransport::HttpTransport(HttpServerEndpoint server, QObject *parent)
    : McpTransport(parent)
    , m_server(std::move(server))
    , m_network(new QNetworkAccessManager(this))
{
    m_network->setProxyFactory(new ServerProxies);
    // A redirect elsewhere would carry the configured headers (a key, say) to another host.
    m_network->setRedirectPolicy(QNetworkRequest::SameOriginRedirectPolicy);
    if (m_server.caCertificates.isEmpty())
        m_server.caCertificates = trustedCertificates();
}

HttpTransport::~HttpTransport()
{
    m_closing = true;
    for (auto &[reply, stream] : m_streams) {
        reply->disconnect(this);
        reply->abort();
        reply->deleteLater();
    }
}

QList<QSslCertificate> HttpTransport::trustedCertificates()
{
    QList<QSslCertificate> certificates = QSslConfiguration::systemCaCertificates();
    if (const QString file = qEnvironmentVariable("TOVRA_CA_FILE"); !file.isEmpty())
        certificates += QSslCertificate::fromPath(file);
    return certificates;
}

QString HttpTransport::addressProblem(const QUrl &url)
{
    const QString scheme = url.scheme();
    if (!url.isValid() || url.host().isEmpty()
        || (scheme != QLatin1String("https") && scheme != QLatin1String("http")))
        return QStringLiteral("Enter an address such as https://server.example/mcp.");
    return QString();
}

QCoro::Task<QString> HttpTransport::open()
{
    co_return addressProblem(m_server.url);
}

QNetworkRequest HttpTransport::request(bool expectsStream) const
{
    QNetworkRequest request(m_server.url);
    request.setRawHeader("Accept",
                         expectsStream ? "text/event-stream"
                                       : "application/json, text/event-stream");
    for (auto it = m_server.headers.cbegin(); it != m_server.headers.cend(); ++it)
        request.setRawHeader(it.key().toUtf8(), it.value().toUtf8());
    if (!m_sessionId.isEmpty())
        request.setRawHeader("Mcp-Session-Id", m_sessionId);
    if (!m_protocolVersion.isEmpty())
        request.setRawHeader("MCP-Protocol-Version", m_protocolVersion.toUtf8());
    QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
    tls.setCaCertificates(m_server.caCertificates);
    request.setSslConfiguration(tls);
    return request;
}

void HttpTransport::send(const json &message)
{
    if (m_closing)
        return;
    post(message);
}

void HttpTransport::post(const json &message)
{
    QNetworkRequest request = this->request(false);
    request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/json"));
    auto stream = std::make_unique<Stream>();
    stream->message = message;
    stream->hadSession = !m_sessionId.isEmpty();
    stream->announcesReady = message.value("method", json()) == "notifications/initialized";
    if (JsonRpc::kindOf(message) == JsonRpc::Kind::Request) {
        stream->requestId = JsonRpc::numericId(message["id"]);
        if (stream->requestId)
            m_waiting.insert(*stream->requestId);
    }
    const std::string body = message.dump(-1, ' ', false, json::error_handler_t::replace);
    QNetworkReply *reply
        = m_network->post(request, QByteArray(body.data(), qsizetype(body.size())));
    watch(reply, std::move(stream));
}

void HttpTransport::get(StreamKind kind,
                        std::optional<qint64> requestId,
                        const QByteArray &lastEventId,
                        int attempt)
{
    QNetworkRequest request = this->request(true);
    if (!lastEventId.isEmpty())
        request.setRawHeader("Last-Event-ID", lastEventId);
    auto stream = std::make_unique<Stream>();
    stream->kind = kind;
    stream->requestId = requestId;
    stream->lastEventId = lastEventId;
    stream->attempt = attempt;
    watch(m_network->get(request), std::move(stream));
}

void HttpTransport::watch(QNetworkReply *reply, std::unique_ptr<Stream> stream)
{
    Stream *watched = stream.get();
    m_streams.emplace(reply, std::move(stream));
    connect(reply, &QNetworkReply::readyRead, this, [this, reply] { onReadyRead(reply); });
    connect(reply, &QNetworkReply::finished, this, [this, reply] { onFinished(reply); });
    connect(reply, &QNetworkReply::sslErrors, this, [watched](const QList<QSslError> &errors) {
        for (const QSslError &error : errors)
            watched->certificateErrors.append(error.errorString());
    });
}

void HttpTransport::noteHeaders(QNetworkReply *reply, Stream &stream)
{
    if (stream.typeKnown)
        return;
    stream.typeKnown = true;
    stream.isEventStream = reply->header(QNetworkRequest::ContentTypeHeader)
                               .toString()
                               .startsWith(QLatin1String("text/event-stream"));
    // Handed out with the answer to initialize; echoed from then on.
    const QByteArray session = reply->rawHeader("Mcp-Session-Id");
    if (!session.isEmpty() && statusOf(reply) / 100 == 2)
        m_sessionId = session;
}

void HttpTransport::onReadyRead(QNetworkReply *reply)
{
    const auto found = m_streams.find(reply);
    if (found == m_streams.end())
        return;
    Stream &stream = *found->second;
    if (stream.abandoned)
        return;
    noteHeaders(reply, stream);
    // A JSON answer is read whole when it is finished.
    if (!stream.isEventStream || statusOf(reply) != 200)
        return;
    const QByteArray bytes = reply->readAll();
    stream.received = stream.received || !bytes.isEmpty();
    for (const SseEvent &event : stream.events.feed(bytes)) {
        if (event.type != "message")
            continue;
        deliverBody(event.data, stream);
        if (m_streams.find(reply) == m_streams.end())
            return;
    }
    // The answer came on a stream that only resumed it: nothing more to wait for there.
    if (stream.kind == StreamKind::Resume && stream.requestId
        && !m_waiting.contains(*stream.requestId)) {
        stream.abandoned = true;
        reply->abort();
    }
}

void HttpTransport::deliverBody(const QByteArray &body, Stream &stream)
{
    Q_UNUSED(stream)
    const json document = json::parse(body.cbegin(), body.cend(), nullptr, false);
    if (document.is_discarded()) {
        appendLog(QStringLiteral("Not a JSON-RPC message: ") + QString::fromUtf8(body.left(200)));
        return;
    }
    if (document.is_array()) {
        for (const json &message : document)
            deliverOne(message);
    } else {
        deliverOne(document);
    }
}

void HttpTransport::deliverOne(const json &message)
{
    if (JsonRpc::kindOf(message) == JsonRpc::Kind::Response) {
        if (const auto id = JsonRpc::numericId(message["id"]))
            m_waiting.remove(*id);
    }
    deliver(message);
}

void HttpTransport::fail(const std::optional<qint64> &requestId, const QString &text)
{
    appendLog(text);
    if (!requestId || !m_waiting.contains(*requestId))
        return;
    deliverOne(JsonRpc::error(*requestId, JsonRpc::transportFailed, text));
}

void HttpTransport::onFinished(QNetworkReply *reply)
{
    const auto found = m_streams.find(reply);
    if (found == m_streams.end())
        return;
    std::unique_ptr<Stream> owned = std::move(found->second);
    m_streams.erase(found);
    reply->deleteLater();
    Stream &stream = *owned;
    if (stream.abandoned || m_closing)
        return;
    noteHeaders(reply, stream);
    const int status = statusOf(reply);
    if (stream.announcesReady && status / 100 == 2)
        listen();

    if (!stream.certificateErrors.isEmpty()) {
        fail(stream.requestId,
             QStringLiteral("The certificate of %1 could not be verified (%2). Nothing was sent.")
                 .arg(host(), stream.certificateErrors.join(QStringLiteral("; "))));
        return;
    }
    if (stream.kind == StreamKind::Listen) {
        // The server offers no stream of its own (405) or it ended: it is not needed for
        // requests, whose answers come on their own streams.
        if (status == 200 && (stream.events.hasEventId() || stream.events.retryMilliseconds())
            && stream.attempt < resumeLimit)
            scheduleResume(stream);
        else
            m_listening = false;
        return;
    }
    if (status == 0) {
        fail(stream.requestId,
             QStringLiteral("Could not reach %1: %2.").arg(host(), reply->errorString()));
        return;
    }
    if (status == 404 && stream.hadSession && stream.kind == StreamKind::Post) {
        appendLog(QStringLiteral("%1 no longer knows the session; starting a new one.").arg(host()));
        m_sessionId.clear();
        if (stream.requestId && m_waiting.contains(*stream.requestId))
            expireSession(stream.message);
        return;
    }
    if (stream.isEventStream && status == 200) {
        // What is still buffered, then: a stream that ended before its answer is resumed.
        for (const SseEvent &event : stream.events.feed(reply->readAll())) {
            if (event.type == "message")
                deliverBody(event.data, stream);
        }
        if (stream.requestId && m_waiting.contains(*stream.requestId)) {
            if ((stream.events.hasEventId() || !stream.lastEventId.isEmpty())
                && stream.attempt < resumeLimit)
                scheduleResume(stream);
            else
                fail(stream.requestId,
                     QStringLiteral("%1 closed the stream before answering.").arg(host()));
        }
        return;
    }
    const QByteArray body = reply->readAll();
    if (status / 100 == 2 && !body.trimmed().isEmpty()) {
        deliverBody(body, stream);
    } else if (status / 100 != 2) {
        // A JSON-RPC error in the body says more than the status.
        const json document = json::parse(body.cbegin(), body.cend(), nullptr, false);
        if (document.is_object() && document.contains("error") && stream.requestId) {
            json answer = document;
            answer["id"] = *stream.requestId;
            deliverOne(answer);
            return;
        }
        fail(stream.requestId,
             QStringLiteral("%1 answered HTTP %2%3")
                 .arg(host())
                 .arg(status)
                 .arg(body.isEmpty() ? QStringLiteral(".")
                                     : QStringLiteral(": ") + QString::fromUtf8(body.left(300))));
        return;
    }
    if (stream.requestId && m_waiting.contains(*stream.requestId))
        fail(stream.requestId, QStringLiteral("%1 answered without a message.").arg(host()));
}

void HttpTransport::scheduleResume(Stream &stream)
{
    const QByteArray lastEventId
        = stream.events.hasEventId() ? stream.events.lastEventId() : stream.lastEventId;
    const int delay = stream.events.retryMilliseconds().value_or(defaultRetryMilliseconds);
    const StreamKind kind
        = stream.kind == StreamKind::Listen ? StreamKind::Listen : StreamKind::Resume;
    const std::optional<qint64> requestId = stream.requestId;
    // A stream that carried something before it ended starts counting afresh: a server may
    // close its listening stream every few minutes for as long as the session lasts.
    const int attempt = stream.received && kind == StreamKind::Listen ? 1 : stream.attempt + 1;
    qCDebug(lcMcp) << "resuming" << lastEventId << "in" << delay << "ms";
    QTimer::singleShot(delay, Qt::PreciseTimer, this, [=, this] {
        if (m_closing || (requestId && !m_waiting.contains(*requestId)))
            return;
        get(kind, requestId, lastEventId, attempt);
    });
}

void HttpTransport::abandon(qint64 id)
{
    m_waiting.remove(id);
    abortStreams([id](const Stream &stream) { return stream.requestId == id; });
}

void HttpTransport::abortStreams(const std::function<bool(const Stream &)> &which)
{
    // abort() finishes a reply at once, and its end takes it out of the table: collect first.
    QList<QNetworkReply *> replies;
    for (auto &[reply, stream] : m_streams) {
        if (!stream->abandoned && which(*stream)) {
            stream->abandoned = true;
            replies.append(reply);
        }
    }
    for (QNetworkReply *reply : replies)
        reply->abort();
}

void HttpTransport::resetSession()
{
    m_sessionId.clear();
    m_protocolVersion.clear();
}

void HttpTransport::opened()
{
    m_listenWanted = true;
}

void HttpTransport::listen()
{
    // Only once the server has taken the initialized notification.
    if (!m_listenWanted || m_listening || m_closing)
        return;
    m_listening = true;
    get(StreamKind::Listen, std::nullopt, QByteArray(), 0);
}

QCoro::Task<> HttpTransport::close()
{
    QPointer<HttpTransport> self(this);
    m_closing = true;
    abortStreams([](const Stream &) { return true; });
    if (m_sessionId.isEmpty())
        co_return;
    // The server may free the session now instead of when it times out.
    QNetworkReply *reply = m_network->sendCustomRequest(request(false), "DELETE");
    m_sessionId.clear();
    const bool finished
        = co_await SignalWait(reply, &QNetworkReply::finished, std::chrono::seconds(2));
    Q_UNUSED(finished)
    if (self && reply) {
        reply->abort();
        reply->deleteLater();
    }
}

void HttpTransport::appendLog(const QString &line)
{
    qCDebug(lcMcp) << line;
    m_log += line.toUtf8() + '\n';
    if (m_log.size() > logLimit)
        m_log = m_log.right(logLimit);
}

#include "core/remoteclient.h"

#include "platform/signalwait.h"

#include <QHostAddress>
#include <QNetworkAccessManager>
#include <QNetworkProxyFactory>
#include <QNetworkReply>
#include <QPointer>
#include <QScopeGuard>
#include <QSslConfiguration>
#include <QSslError>

using nlohmann::json;

namespace {

// The system's proxies (environment or desktop settings) for this client's requests only:
// the loopback engine's clients go direct.
class SystemProxies : public QNetworkProxyFactory
{
public:
    QList<QNetworkProxy> queryProxy(const QNetworkProxyQuery &query) override
    {
        return systemProxyForQuery(query);
    }
};

// One signal for everything a waiting call must look at.
class ReplyWaker : public QObject
{
    Q_OBJECT

public:
    ReplyWaker(QNetworkReply *reply, RemoteClient *client)
    {
        connect(reply, &QNetworkReply::readyRead, this, &ReplyWaker::woken);
        connect(reply, &QNetworkReply::finished, this, &ReplyWaker::woken);
        connect(client, &RemoteClient::cancelRequested, this, &ReplyWaker::woken);
        connect(reply, &QNetworkReply::sslErrors, this, [this](const QList<QSslError> &errors) {
            for (const QSslError &error : errors)
                sslErrors.append(error.errorString());
        });
    }

    QStringList sslErrors;

signals:
    void woken();
};

struct ReplyDeleter
{
    void operator()(QNetworkReply *reply) const
    {
        // abort() resumes nobody here: the waits are queued. deleteLater: signals may be on the way.
        reply->abort();
        reply->deleteLater();
    }
};
using ReplyPtr = std::unique_ptr<QNetworkReply, ReplyDeleter>;

ChatError remoteError(int code, QString text)
{
    return ChatError{RemoteClient::errorDomain, code, std::move(text), false};
}

ChatError cancelledError()
{
    return ChatError{RemoteClient::errorDomain, 0, QStringLiteral("cancelled"), true};
}

int statusOf(const QNetworkReply &reply)
{
    return reply.attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
}

QString seconds(std::chrono::milliseconds interval)
{
    return QString::number(std::chrono::duration_cast<std::chrono::seconds>(interval).count());
}

bool isPrivateAddress(const QString &host)
{
    if (host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0)
        return true;
    const QHostAddress address(host);
    if (address.isNull())
        return false;
    static const QList<std::pair<QHostAddress, int>> ranges{
        QHostAddress::parseSubnet(QStringLiteral("10.0.0.0/8")),
        QHostAddress::parseSubnet(QStringLiteral("172.16.0.0/12")),
        QHostAddress::parseSubnet(QStringLiteral("192.168.0.0/16")),
        QHostAddress::parseSubnet(QStringLiteral("169.254.0.0/16")),
        QHostAddress::parseSubnet(QStringLiteral("fc00::/7")),
        QHostAddress::parseSubnet(QStringLiteral("fe80::/10")),
    };
    return address.isLoopback()
           || std::any_of(ranges.cbegin(), ranges.cend(), [&](const auto &range) {
                  return address.isInSubnet(range);
              });
}

QUrl parsedAddress(const QString &address)
{
    QUrl url(address.trimmed(), QUrl::StrictMode);
    if (url.path().endsWith(u'/'))
        url.setPath(url.path().chopped(1));
    return url;
}

} // namespace

RemoteClient::RemoteClient(QObject *parent)
    : ChatClient(parent)
    , m_network(new QNetworkAccessManager(this))
{
    m_network->setProxyFactory(new SystemProxies);
    // A redirect could carry the key to another host.
    m_network->setRedirectPolicy(QNetworkRequest::ManualRedirectPolicy);
}

RemoteClient::~RemoteClient()
{
    cancel();
}

void RemoteClient::setServer(const QString &address, const QString &apiKey)
{
    m_base = parsedAddress(address);
    m_apiKey = apiKey;
}

void RemoteClient::setTimeouts(std::chrono::milliseconds firstReply, std::chrono::milliseconds idle)
{
    m_firstReplyTimeout = firstReply;
    m_idleTimeout = idle;
}

QString RemoteClient::addressProblem(const QString &address)
{
    if (address.trimmed().isEmpty())
        return QStringLiteral("Enter the server's address.");
    const QUrl url = parsedAddress(address);
    const QString scheme = url.scheme();
    if (!url.isValid() || url.host().isEmpty()
        || (scheme != QLatin1String("https") && scheme != QLatin1String("http"))
        || !url.userInfo().isEmpty() || url.hasQuery() || url.hasFragment())
        return QStringLiteral("Enter an address such as https://server:8080.");
    if (scheme == QLatin1String("http") && !isPrivateAddress(url.host()))
        return QStringLiteral("Use https:// for %1: plain http:// is only for this computer and "
                              "private network addresses.")
            .arg(url.host());
    return QString();
}

bool RemoteClient::isUnencrypted(const QString &address)
{
    return parsedAddress(address).scheme() == QLatin1String("http");
}

QNetworkRequest RemoteClient::request(const QString &path) const
{
    QUrl url = m_base;
    url.setPath(m_base.path() + path);
    QNetworkRequest request(url);
    request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/json"));
    if (!m_apiKey.isEmpty())
        request.setRawHeader("Authorization", "Bearer " + m_apiKey.toUtf8());
    if (!m_ca.isEmpty()) {
        QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
        tls.setCaCertificates(m_ca);
        request.setSslConfiguration(tls);
    }
    return request;
}

ChatError RemoteClient::replyError(QNetworkReply &reply, const QByteArray &body) const
{
    const QString host = m_base.host();
    const int status = statusOf(reply);
    if (status == 401 || status == 403)
        return remoteError(status,
                           m_apiKey.isEmpty()
                               ? QStringLiteral("%1 wants an API key (HTTP %2). Enter it in "
                                                "Settings.")
                                     .arg(host)
                                     .arg(status)
                               : QStringLiteral("%1 did not accept the API key (HTTP %2). Check "
                                                "the key in Settings.")
                                     .arg(host)
                                     .arg(status));
    if (status == 404 && !m_model.isEmpty()
        && reply.url().path().endsWith(QLatin1String("/chat/completions")))
        return remoteError(status,
                           QStringLiteral(
                               "%1 does not serve the model \u201c%2\u201d. Connect again "
                               "in Settings and pick one of its models.")
                               .arg(host, m_model));
    if (status != 0) {
        QString detail;
        const json document = json::parse(body.cbegin(), body.cend(), nullptr, false);
        if (document.is_object() && document.contains("error") && document["error"].is_object()
            && document["error"].value("message", json()).is_string())
            detail = QString::fromStdString(document["error"]["message"].get<std::string>());
        // A server may echo what it was sent; the key never reaches the screen.
        if (!m_apiKey.isEmpty())
            detail.replace(m_apiKey, QStringLiteral("\u2022\u2022\u2022"));
        QString text = QStringLiteral("%1 answered with an error (HTTP %2)").arg(host).arg(status);
        return remoteError(status,
                           detail.isEmpty() ? text + u'.' : text + QStringLiteral(": ") + detail);
    }
    return remoteError(Unreachable,
                       QStringLiteral("Could not reach %1: %2.").arg(host, reply.errorString()));
}

QCoro::Task<ModelListResult> RemoteClient::listModels()
{
    const QPointer<RemoteClient> self(this);
    const QString host = m_base.host();
    ReplyPtr reply(m_network->get(request(QStringLiteral("/v1/models"))));
    ReplyWaker waker(reply.get(), this);
    while (!reply->isFinished()) {
        const bool woken = co_await SignalWait(&waker, &ReplyWaker::woken, m_firstReplyTimeout);
        if (!self)
            co_return ModelListResult{cancelledError(), {}};
        if (!woken)
            co_return ModelListResult{remoteError(NoFirstReply,
                                                  QStringLiteral("%1 did not answer within %2 "
                                                                 "seconds.")
                                                      .arg(host, seconds(m_firstReplyTimeout))),
                                      {}};
    }
    const QByteArray body = reply->readAll();
    if (!waker.sslErrors.isEmpty())
        co_return ModelListResult{remoteError(Certificate,
                                              QStringLiteral("The certificate of %1 could not be "
                                                             "verified (%2). Nothing was sent.")
                                                  .arg(host,
                                                       waker.sslErrors.join(QStringLiteral("; ")))),
                                  {}};
    if (reply->error() != QNetworkReply::NoError || statusOf(*reply) != 200)
        co_return ModelListResult{replyError(*reply, body), {}};
    ModelListResult result;
    const json document = json::parse(body.cbegin(), body.cend(), nullptr, false);
    if (document.is_object() && document.contains("data") && document["data"].is_array()) {
        for (const json &model : document["data"]) {
            if (model.is_object() && model.value("id", json()).is_string())
                result.models.append(QString::fromStdString(model["id"].get<std::string>()));
        }
    }
    if (result.models.isEmpty())
        result.error = remoteError(Unreachable,
                                   QStringLiteral("%1 answered, but lists no models.").arg(host));
    co_return result;
}

QCoro::Task<ChatResult> RemoteClient::streamChat(QList<Message> messages,
                                                 QString systemPrompt,
                                                 double temperature,
                                                 int maxTokens,
                                                 json tools,
                                                 ChatStreamDecoder::TokenCallback onToken)
{
    const QString host = m_base.host();
    if (const QString problem = addressProblem(m_base.toString()); !problem.isEmpty())
        co_return ChatResult{remoteError(Address, problem), {}};
    json body = LLMClient::requestBody(messages,
                                       systemPrompt,
                                       temperature,
                                       maxTokens,
                                       tools,
                                       thinkingAllowed());
    body["model"] = m_model.toStdString();
    const std::string bytes = body.dump(-1, ' ', false, json::error_handler_t::replace);

    // One call at a time, as with the local engine: a new one ends the one before.
    cancel();
    const auto cancelled = std::make_shared<bool>(false);
    m_newestCancelled = cancelled;
    const QPointer<RemoteClient> self(this);
    ReplyPtr reply(m_network->post(request(QStringLiteral("/v1/chat/completions")),
                                   QByteArray(bytes.data(), qsizetype(bytes.size()))));
    ReplyWaker waker(reply.get(), this);
    const auto done = qScopeGuard([&] {
        if (self && self->m_newestCancelled == cancelled)
            self->m_newestCancelled.reset();
    });

    bool pieceArrived = false;
    ChatStreamDecoder decoder(
        [&pieceArrived, onToken = std::move(onToken)](const ReplyPiece &piece) {
            pieceArrived = true;
            if (onToken)
                onToken(piece);
        });
    QByteArray errorBody;
    while (true) {
        if (!self || *cancelled)
            co_return ChatResult{cancelledError(), {}};
        if (reply->bytesAvailable() > 0) {
            const QByteArray data = reply->readAll();
            if (statusOf(*reply) != 200) {
                errorBody.append(data);
                continue;
            }
            if (!decoder.feed(data))
                break; // "[DONE]"
            continue;
        }
        if (reply->isFinished())
            break;
        const auto timeout = pieceArrived ? m_idleTimeout : m_firstReplyTimeout;
        const bool woken = co_await SignalWait(&waker, &ReplyWaker::woken, timeout);
        if (!self || *cancelled)
            co_return ChatResult{cancelledError(), {}};
        if (!woken)
            co_return ChatResult{remoteError(NoFirstReply,
                                             pieceArrived
                                                 ? QStringLiteral("%1 stopped sending the reply "
                                                                  "for %2 seconds.")
                                                       .arg(host, seconds(timeout))
                                                 : QStringLiteral("%1 sent no reply within %2 "
                                                                  "seconds.")
                                                       .arg(host, seconds(timeout))),
                                 {}};
    }
    if (decoder.isDone())
        co_return ChatResult{std::nullopt, decoder.finish()};
    if (!waker.sslErrors.isEmpty())
        co_return ChatResult{remoteError(Certificate,
                                         QStringLiteral("The certificate of %1 could not be "
                                                        "verified (%2). Nothing was sent.")
                                             .arg(host, waker.sslErrors.join(QStringLiteral("; ")))),
                             {}};
    // A stream that was cut (the connection lost) gives what arrived, as the local one does.
    if (statusOf(*reply) != 200)
        co_return ChatResult{replyError(*reply, errorBody), {}};
    co_return ChatResult{std::nullopt, decoder.finish()};
}

void RemoteClient::cancel()
{
    if (!m_newestCancelled)
        return;
    *std::exchange(m_newestCancelled, nullptr) = true;
    emit cancelRequested();
}

#include "remoteclient.moc"

#include "core/llmclient.h"

#include "core/replytext.h"

#include "core/httpresponseparser.h"
#include "platform/signalwait.h"

#include <QElapsedTimer>
#include <QNetworkProxy>
#include <QPointer>
#include <QScopeGuard>
#include <QTcpSocket>
#include <QUrl>

#include <chrono>

using nlohmann::json;
using namespace std::chrono_literals;

namespace {
constexpr auto idleTimeout = 300s;
// A fast engine sends a piece every few milliseconds. Read as they come, each would wake the
// window's thread; read at most once a frame, they gather in the socket meanwhile (the window
// shows them once a frame anyway).
constexpr auto readInterval = 16ms;

std::string utf8(const QString &text)
{
    return text.toStdString();
}

ChatError transportError(const QTcpSocket &socket)
{
    return ChatError{QStringLiteral("QAbstractSocket"),
                     int(socket.error()),
                     socket.errorString(),
                     false};
}

ChatError timedOut()
{
    return ChatError{QStringLiteral("QAbstractSocket"),
                     int(QAbstractSocket::SocketTimeoutError),
                     QStringLiteral("The request timed out."),
                     false};
}

ChatError connectionLost()
{
    return ChatError{QStringLiteral("QAbstractSocket"),
                     int(QAbstractSocket::RemoteHostClosedError),
                     QStringLiteral("The network connection was lost."),
                     false};
}

ChatError cancelledError()
{
    return ChatError{QStringLiteral("QAbstractSocket"),
                     int(QAbstractSocket::OperationError),
                     QStringLiteral("cancelled"),
                     true};
}

ChatError httpError(int status, const QByteArray &body)
{
    QString message = QStringLiteral("Server error ") + QString::number(status);
    const json document = json::parse(body.cbegin(), body.cend(), nullptr, false);
    if (document.is_object()) {
        const auto error = document.find("error");
        if (error != document.end() && error->is_object()) {
            const auto text = error->find("message");
            if (text != error->end() && text->is_string())
                message = QString::fromStdString(text->get<std::string>());
        }
    }
    return ChatError{LLMClient::errorDomain, status, message, false};
}

// One signal for everything a waiting call must look at: data, a connection or
// its end, an error, a cancel.
class SocketWaker : public QObject
{
    Q_OBJECT

public:
    explicit SocketWaker(QTcpSocket *socket, LLMClient *client)
    {
        connect(socket, &QTcpSocket::connected, this, &SocketWaker::woken);
        connect(socket, &QTcpSocket::readyRead, this, &SocketWaker::woken);
        connect(socket, &QTcpSocket::disconnected, this, &SocketWaker::woken);
        connect(socket, &QTcpSocket::errorOccurred, this, &SocketWaker::woken);
        connect(client, &LLMClient::cancelRequested, this, &SocketWaker::woken);
    }

signals:
    void woken();
};
} // namespace

QString LLMClient::textWithDocuments(const Message &message)
{
    QString text = message.content;
    for (const Attachment &attachment : message.attachments) {
        if (attachment.isImage())
            continue;
        if (!text.isEmpty())
            text += QStringLiteral("\n\n");
        text += QStringLiteral("Contents of ") + attachment.name + QStringLiteral(":\n```\n")
                + attachment.text + QStringLiteral("\n```");
    }
    return text;
}

LLMClient::LLMClient(QString baseURL, QObject *parent)
    : ChatClient(parent)
    , m_baseURL(std::move(baseURL))
{}

json LLMClient::requestBody(const QList<Message> &messages,
                            const QString &systemPrompt,
                            double temperature,
                            int maxTokens,
                            const json &tools,
                            bool thinkingAllowed)
{
    qsizetype turnStart = messages.size();
    for (qsizetype i = messages.size() - 1; i >= 0; --i) {
        if (messages.at(i).role == Role::user) {
            turnStart = i;
            break;
        }
    }
    json list = json::array();
    list.push_back({{"role", "system"}, {"content", utf8(systemPrompt)}});
    for (qsizetype i = 0; i < messages.size(); ++i) {
        const Message &message = messages.at(i);
        if (message.role == Role::system)
            continue;
        const bool withReasoning
            = i > turnStart && message.role == Role::assistant && !message.reasoning.isEmpty();
        const QString text = textWithDocuments(message);
        json pictures = json::array();
        for (const Attachment &attachment : message.attachments) {
            if (attachment.isImage() && !attachment.dataUrl.isEmpty())
                pictures.push_back(
                    {{"type", "image_url"}, {"image_url", {{"url", utf8(attachment.dataUrl)}}}});
        }
        if (!withReasoning && pictures.empty()
            && ReplyText::trimWhiteSpaceAndLineBreaks(text).isEmpty())
            continue;
        const QString role = message.role == Role::toolResult ? Role::user : message.role;
        json object = {{"role", utf8(role)}, {"content", utf8(text)}};
        if (!pictures.empty()) {
            // The parts form of the content: the text first, then each picture.
            json parts = json::array({{{"type", "text"}, {"text", utf8(text)}}});
            parts.insert(parts.end(), pictures.begin(), pictures.end());
            object["content"] = std::move(parts);
        }
        if (withReasoning)
            object["reasoning_content"] = utf8(message.reasoning);
        list.push_back(std::move(object));
    }
    json body = {
        {"model", "local"},
        {"messages", std::move(list)},
        {"stream", true},
        {"temperature", temperature},
        {"max_tokens", maxTokens},
    };
    if (tools.is_array() && !tools.empty())
        body["tools"] = tools;
    if (!thinkingAllowed)
        body["chat_template_kwargs"] = {{"enable_thinking", false}};
    return body;
}

QCoro::Task<ChatResult> LLMClient::streamChat(QList<Message> messages,
                                              QString systemPrompt,
                                              double temperature,
                                              int maxTokens,
                                              json tools,
                                              ChatStreamDecoder::TokenCallback onToken)
{
    const QUrl url(m_baseURL + QStringLiteral("/v1/chat/completions"), QUrl::StrictMode);
    if (!url.isValid() || url.scheme() != QLatin1String("http") || url.host().isEmpty())
        co_return ChatResult{ChatError{QStringLiteral("URL"),
                                       -1000,
                                       QStringLiteral("unsupported URL"),
                                       false},
                             {}};

    std::string body;
    try {
        body = requestBody(messages, systemPrompt, temperature, maxTokens, tools, thinkingAllowed())
                   .dump(-1, ' ', false, json::error_handler_t::replace);
    } catch (const json::exception &e) {
        co_return ChatResult{ChatError{QStringLiteral("JSON"),
                                       e.id,
                                       QString::fromUtf8(e.what()),
                                       false},
                             {}};
    }

    // The engine is always on loopback, reached directly: no proxy.
    QTcpSocket socket;
    socket.setProxy(QNetworkProxy::NoProxy);
    SocketWaker waker(&socket, this);
    const QPointer<LLMClient> self(this);
    // The engine serves one request at a time: a stale read must not hold it.
    if (m_newest)
        cancelCall(*m_newest);
    const auto call = std::make_shared<CallToken>();
    call->connection = &socket;
    m_newest = call;
    const auto done = qScopeGuard([&] {
        // A stale call ending leaves the newer call's token alone.
        if (self && self->m_newest == call)
            self->m_newest.reset();
        socket.abort();
    });

    QByteArray request = "POST " + url.path(QUrl::FullyEncoded).toUtf8()
                         + " HTTP/1.1\r\nHost: " + url.authority(QUrl::FullyEncoded).toUtf8()
                         + "\r\nContent-Type: application/json\r\nContent-Length: "
                         + QByteArray::number(qsizetype(body.size()))
                         + "\r\nConnection: close\r\n\r\n";
    request.append(body.data(), qsizetype(body.size()));
    // Unbuffered: Qt then reads nothing on its own, so data waiting to be read wakes no one.
    socket.connectToHost(url.host(),
                         quint16(url.port(80)),
                         QIODevice::ReadWrite | QIODevice::Unbuffered);

    HttpResponseParser response;
    ChatStreamDecoder decoder(std::move(onToken));
    QByteArray received;
    QByteArray errorBody;
    bool sent = false;
    QElapsedTimer lastRead;
    while (true) {
        if (!self || call->cancelled)
            co_return ChatResult{cancelledError(), {}};
        if (!sent && socket.state() == QAbstractSocket::ConnectedState) {
            socket.write(request);
            sent = true;
        }
        if (lastRead.isValid() && lastRead.elapsed() < readInterval.count()) {
            co_await SignalWait(&waker,
                                &SocketWaker::woken,
                                readInterval - std::chrono::milliseconds(lastRead.elapsed()));
            continue;
        }
        // Read whenever woken: unbuffered, the end of the stream shows only to a read.
        const QByteArray bytes
            = socket.state() == QAbstractSocket::ConnectedState ? socket.readAll() : QByteArray();
        if (!bytes.isEmpty()) {
            lastRead.start();
            received.clear();
            response.feed(bytes, received);
            if (response.state() == HttpResponseParser::State::Failed) {
                // Garbled mid-stream: what arrived is kept, as a reply cut short.
                if (response.headComplete() && response.status() == 200)
                    break;
                co_return ChatResult{connectionLost(), {}};
            }
            if (response.headComplete() && response.status() == 200) {
                if (!received.isEmpty() && !decoder.feed(received))
                    break; // "[DONE]": the rest of the stream is not read
            } else if (response.headComplete()) {
                errorBody.append(received);
            }
            if (response.state() == HttpResponseParser::State::Done)
                break;
            continue;
        }
        if (socket.state() == QAbstractSocket::UnconnectedState) {
            if (!sent)
                co_return ChatResult{transportError(socket), {}};
            // A stream that stops early gives what arrived, marked as not complete.
            response.connectionClosed();
            if (!response.headComplete())
                co_return ChatResult{connectionLost(), {}};
            break;
        }
        // Data, the end and an error often come in one pass: each wait sees one wake.
        const bool woken = co_await SignalWait(&waker, &SocketWaker::woken, idleTimeout);
        if (!woken)
            co_return ChatResult{timedOut(), {}};
    }
    if (response.status() != 200)
        co_return ChatResult{httpError(response.status(), errorBody), {}};
    co_return ChatResult{std::nullopt, decoder.finish()};
}

void LLMClient::cancel()
{
    if (m_newest)
        cancelCall(*m_newest);
}

void LLMClient::cancelCall(CallToken &call)
{
    call.cancelled = true;
    // Closed now, not when the call next wakes: the engine notices at once.
    if (auto *socket = qobject_cast<QTcpSocket *>(call.connection.data()))
        socket->abort();
    emit cancelRequested();
}

#include "llmclient.moc"

#include "llmclient.h"

#include "replytext.h"

#include <QNetworkProxy>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QScopeGuard>
#include <QUrl>

#include <QCoroNetworkReply>

#include <chrono>

using nlohmann::json;
using namespace std::chrono_literals;

namespace {
constexpr int requestTimeoutMs = 300 * 1000;

std::string utf8(const QString &text)
{
    return text.toStdString();
}

ChatError networkError(QNetworkReply *reply, bool cancelled)
{
    ChatError error{QStringLiteral("QNetworkReply"), int(reply->error()), reply->errorString(), cancelled};
    if (!cancelled && reply->error() == QNetworkReply::OperationCanceledError)
        error.description = QStringLiteral("The request timed out.");
    return error;
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
} // namespace

LLMClient::LLMClient(QString baseURL, QObject *parent)
    : QObject(parent)
    , m_baseURL(std::move(baseURL))
{
    // The engine is always on loopback: a desktop proxy setting must not catch it.
    m_network.setProxy(QNetworkProxy::NoProxy);
}

json LLMClient::requestBody(const QList<Message> &messages, const QString &systemPrompt, double temperature,
                            int maxTokens, const json &tools)
{
    json list = json::array();
    list.push_back({{"role", "system"}, {"content", utf8(systemPrompt)}});
    for (const Message &message : messages) {
        if (message.role == Role::system)
            continue;
        if (ReplyText::trimWhiteSpaceAndLineBreaks(message.content).isEmpty())
            continue;
        const QString role = message.role == Role::toolResult ? Role::user : message.role;
        list.push_back({{"role", utf8(role)}, {"content", utf8(message.content)}});
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
    return body;
}

QCoro::Task<ChatResult> LLMClient::streamChat(QList<Message> messages, QString systemPrompt, double temperature,
                                              int maxTokens, json tools, ChatStreamDecoder::TokenCallback onToken)
{
    const QUrl url(m_baseURL + QStringLiteral("/v1/chat/completions"), QUrl::StrictMode);
    if (!url.isValid() || url.scheme().isEmpty() || url.host().isEmpty())
        co_return ChatResult{ChatError{QStringLiteral("URL"), -1000, QStringLiteral("unsupported URL"), false}, {}};

    std::string body;
    try {
        body = requestBody(messages, systemPrompt, temperature, maxTokens, tools)
                   .dump(-1, ' ', false, json::error_handler_t::replace);
    } catch (const json::exception &e) {
        co_return ChatResult{ChatError{QStringLiteral("JSON"), e.id, QString::fromUtf8(e.what()), false}, {}};
    }

    QNetworkRequest request(url);
    request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/json"));
    request.setTransferTimeout(requestTimeoutMs);
    m_cancelRequested = false;
    QNetworkReply *reply = m_network.post(request, QByteArray(body.data(), qsizetype(body.size())));
    m_reply = reply;
    // The reply outlives this frame if the client is torn down mid-call.
    const auto release = qScopeGuard([reply] { reply->deleteLater(); });

    ChatStreamDecoder decoder(std::move(onToken));
    std::optional<int> status;
    while (true) {
        if (!reply->isFinished() || reply->bytesAvailable() == 0)
            co_await qCoro(reply).waitForReadyRead(-1ms);
        if (!reply->isOpen()) // aborted while we waited
            co_return ChatResult{networkError(reply, m_cancelRequested), {}};
        if (!status) {
            const QVariant code = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
            if (code.isValid())
                status = code.toInt();
        }
        if (status && *status != 200) {
            if (!reply->isFinished())
                co_await qCoro(reply).waitForFinished();
            if (reply->error() == QNetworkReply::OperationCanceledError)
                co_return ChatResult{networkError(reply, m_cancelRequested), {}};
            co_return ChatResult{httpError(*status, reply->readAll()), {}};
        }
        const QByteArray bytes = reply->readAll();
        if (!bytes.isEmpty() && !decoder.feed(bytes))
            break; // "[DONE]": the rest of the stream is not read
        if (reply->isFinished() && reply->bytesAvailable() == 0) {
            // A stream that stops early is a normal end; Qt reports a server that closed
            // mid-body as an error only some of the time, so both ways read the same.
            const bool closedEarly = status && reply->error() == QNetworkReply::RemoteHostClosedError;
            if (reply->error() != QNetworkReply::NoError && !closedEarly)
                co_return ChatResult{networkError(reply, m_cancelRequested), {}};
            break;
        }
    }
    if (!reply->isFinished())
        reply->abort();
    co_return ChatResult{std::nullopt, decoder.finish()};
}

void LLMClient::cancel()
{
    if (m_reply && !m_reply->isFinished()) {
        m_cancelRequested = true;
        m_reply->abort();
    }
}

#pragma once

#include "core/chatstream.h"
#include "core/records.h"

#include <QObject>
#include <QPointer>

#include <QCoroTask>

#include <memory>

#include <nlohmann/json.hpp>

// Errors carry a domain and a code for the program; only the description is shown.
struct ChatError
{
    QString domain;
    int code = 0;
    QString description;
    bool cancelled = false; // the turn was stopped; nothing to report
};

struct ChatResult
{
    std::optional<ChatError> error;
    ChatReply reply;

    bool ok() const { return !error.has_value(); }
};

// What a turn needs of an engine: one streamed conversation, and a way to end it.
class ChatClient : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    // Every non-empty piece, thinking and answer, reaches onToken, in order, before the call
    // returns. A stream that ends without the engine's last word (the engine died, the
    // connection dropped) gives what arrived, with `complete` false.
    virtual QCoro::Task<ChatResult> streamChat(QList<Message> messages,
                                               QString systemPrompt,
                                               double temperature,
                                               int maxTokens,
                                               nlohmann::json tools,
                                               ChatStreamDecoder::TokenCallback onToken)
        = 0;
    // Closes the connection of the newest call at once; that call finishes with a
    // cancelled error. A new call supersedes the one before it in the same way.
    virtual void cancel() = 0;

    // Whether the model may think before it answers. Off asks its chat template to leave the
    // thinking out ("enable_thinking" false), in every request from then on.
    void setThinkingAllowed(bool allowed) { m_thinkingAllowed = allowed; }
    bool thinkingAllowed() const { return m_thinkingAllowed; }

signals:
    // Wakes the waiting calls; each looks at its own token.
    void cancelRequested();

private:
    bool m_thinkingAllowed = true;
};

// Sends one conversation to the engine's OpenAI-compatible chat endpoint and
// reads the streamed reply as it arrives. The engine is a plain HTTP/1.1 server
// on loopback; the client speaks to it over its own socket, which reads a stream
// of many small chunks at a fraction of the cost of a general HTTP stack.
class LLMClient : public ChatClient
{
    Q_OBJECT

public:
    static inline const QString errorDomain = QStringLiteral("LLM");

    explicit LLMClient(QString baseURL, QObject *parent = nullptr);

    QString baseURL() const { return m_baseURL; }
    void setBaseURL(const QString &baseURL) { m_baseURL = baseURL; }

    QCoro::Task<ChatResult> streamChat(QList<Message> messages,
                                       QString systemPrompt,
                                       double temperature,
                                       int maxTokens,
                                       nlohmann::json tools,
                                       ChatStreamDecoder::TokenCallback onToken) override;
    void cancel() override;

    // What the model reads of a message: its text, then each attached document's text as a
    // fenced block under "Contents of NAME:".
    static QString textWithDocuments(const Message &message);
    // The body of a chat request. A message with pictures (data URLs filled in) sends its
    // content as parts: the text, then one "image_url" part per picture. An assistant message of the current turn (after its last
    // user message: the one that asked for tools) goes with its thinking as
    // "reasoning_content"; the thinking of earlier turns stays home.
    static nlohmann::json requestBody(const QList<Message> &messages,
                                      const QString &systemPrompt,
                                      double temperature,
                                      int maxTokens,
                                      const nlohmann::json &tools,
                                      bool thinkingAllowed = true);

private:
    // Owned by one call: whether it was cancelled, and the connection to close.
    struct CallToken
    {
        bool cancelled = false;
        QPointer<QObject> connection;
    };

    void cancelCall(CallToken &call);

    QString m_baseURL;
    std::shared_ptr<CallToken> m_newest; // the call in flight that cancel() ends
};

#pragma once

#include "core/records.h"

#include <QByteArray>

#include <functional>
#include <map>
#include <optional>

struct ChatReply
{
    QString content;                          // every content piece, in arrival order
    std::optional<QList<ToolCall>> toolCalls; // absent when no named call was streamed
    // The engine said it had finished ("[DONE]" or a finish_reason): otherwise the stream
    // was cut short (the engine died, the connection dropped) and this is only its start.
    bool complete = false;
};

// Decodes the engine's server-sent event stream as it arrives: splits lines
// (LF or CRLF), takes "data: " payloads, hands text pieces to the callback and
// assembles the streamed tool calls. Ignores what it does not understand.
class ChatStreamDecoder
{
public:
    using TokenCallback = std::function<void(const QString &piece)>;

    explicit ChatStreamDecoder(TokenCallback onToken = {});

    // Feeds bytes as they arrive; returns false once "[DONE]" was seen (the rest is not read).
    bool feed(QByteArrayView bytes);
    // The stream ended: handles a last line without a line break, then builds the reply.
    ChatReply finish();
    bool isDone() const { return m_done; }

    // One "data: " payload (without the prefix).
    void handlePayload(QByteArrayView payload);

private:
    struct PartialToolCall
    {
        QString id;
        QString name;
        QString arguments;
    };

    void handleLine(QByteArrayView line);

    TokenCallback m_onToken;
    QByteArray m_buffer;
    qsizetype m_consumed = 0;
    bool m_done = false;
    bool m_finished = false; // a choice carried a finish_reason
    QString m_content;
    std::map<qint64, PartialToolCall> m_partials;
};

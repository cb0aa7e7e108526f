#pragma once

#include "core/records.h"
#include "core/thinkingsplitter.h"

#include <QByteArray>

#include <functional>
#include <map>
#include <optional>

// The engine's own figures for a reply (llama-server's "timings" of its last chunk).
struct EngineTimings
{
    double predictedPerSecond = 0; // generation speed, tokens per second
    qint64 promptTokens = 0;       // prompt tokens evaluated for this request
    qint64 cachedTokens = 0;       // prompt tokens taken from the cache of the one before
    qint64 predictedTokens = 0;    // tokens generated, thinking included

    // The context the conversation fills after this reply.
    qint64 contextUsed() const { return promptTokens + cachedTokens + predictedTokens; }
};

struct ChatReply
{
    QString content;                          // the answer: content pieces, thinking left out
    QString reasoning;                        // the thinking before it, trimmed; empty: none
    std::optional<QList<ToolCall>> toolCalls; // absent when no named call was streamed
    // The engine said it had finished ("[DONE]" or a finish_reason): otherwise the stream
    // was cut short (the engine died, the connection dropped) and this is only its start.
    bool complete = false;
    std::optional<EngineTimings> timings; // absent when the engine sent none
};

// Decodes the engine's server-sent event stream as it arrives: splits lines
// (LF or CRLF), takes "data: " payloads, hands text pieces to the callback and
// assembles the streamed tool calls. Ignores what it does not understand.
//
// The one place where thinking is told from the answer: the engine's "reasoning_content"
// deltas, and "<think>" tags inline in the content (ThinkingSplitter). Everything that
// reads a reply's content (tool calls, the shown text, what is sent back) sees the answer.
class ChatStreamDecoder
{
public:
    using TokenCallback = std::function<void(const ReplyPiece &piece)>;

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
    void deliver(QList<ReplyPiece> &pieces);

    TokenCallback m_onToken;
    QByteArray m_buffer;
    qsizetype m_consumed = 0;
    bool m_done = false;
    bool m_finished = false; // a choice carried a finish_reason
    QString m_content;
    QString m_reasoning;
    ThinkingSplitter m_splitter;
    QList<ReplyPiece> m_out; // the pieces of one chunk, before they are handed out
    std::optional<EngineTimings> m_timings;
    std::map<qint64, PartialToolCall> m_partials;
};

#include "core/chatstream.h"

#include "core/replytext.h"
#include "core/toolarguments.h"

#include <nlohmann/json.hpp>

using nlohmann::json;

namespace {
QString textOf(const json &value)
{
    const auto &s = value.get_ref<const std::string &>();
    return QString::fromUtf8(s.data(), qsizetype(s.size()));
}

// An optional wire field: absent when missing or null; wrong types fail the chunk.
const json *field(const json &object, const char *key)
{
    const auto it = object.find(key);
    return (it == object.end() || it->is_null()) ? nullptr : &*it;
}

struct BadChunk
{};

const json *optionalOf(const json &object, const char *key, bool (json::*isType)() const noexcept)
{
    const json *value = field(object, key);
    if (value && !(value->*isType)())
        throw BadChunk{};
    return value;
}

// The thinking of a delta: llama-server's "reasoning_content", or "reasoning" as other
// OpenAI-compatible servers name it. Read leniently: a server's own shape of it is skipped.
const json *reasoningOf(const json &delta)
{
    for (const char *key : {"reasoning_content", "reasoning"}) {
        if (const json *value = field(delta, key); value && value->is_string())
            return value;
    }
    return nullptr;
}

// The engine's figures, read leniently: they feed a readout, never the reply.
std::optional<EngineTimings> timingsOf(const json &chunk)
{
    const auto timings = chunk.find("timings");
    if (timings == chunk.end() || !timings->is_object())
        return std::nullopt;
    const auto number = [&](const char *key) {
        const auto value = timings->find(key);
        return value != timings->end() && value->is_number() ? std::max(0.0, value->get<double>())
                                                             : 0.0;
    };
    return EngineTimings{number("predicted_per_second"),
                         qint64(number("prompt_n")),
                         qint64(number("cache_n")),
                         qint64(number("predicted_n"))};
}
} // namespace

ChatStreamDecoder::ChatStreamDecoder(TokenCallback onToken)
    : m_onToken(std::move(onToken))
{}

bool ChatStreamDecoder::feed(QByteArrayView bytes)
{
    if (m_done)
        return false;
    m_buffer.append(bytes);
    while (!m_done) {
        const qsizetype newline = m_buffer.indexOf('\n', m_consumed);
        if (newline < 0)
            break;
        QByteArrayView line(m_buffer.constData() + m_consumed, newline - m_consumed);
        if (line.endsWith('\r'))
            line.chop(1);
        m_consumed = newline + 1;
        handleLine(line);
    }
    // Drop consumed bytes in bulk, not per line, so long streams stay linear.
    if (m_consumed > 0 && (m_consumed == m_buffer.size() || m_consumed > 64 * 1024)) {
        m_buffer.remove(0, m_consumed);
        m_consumed = 0;
    }
    return !m_done;
}

void ChatStreamDecoder::handleLine(QByteArrayView line)
{
    static constexpr QByteArrayView prefix("data: ");
    if (!line.startsWith(prefix))
        return;
    handlePayload(line.sliced(prefix.size()));
}

void ChatStreamDecoder::handlePayload(QByteArrayView payload)
{
    if (payload == QByteArrayView("[DONE]")) {
        m_done = true;
        return;
    }
    const json chunk = json::parse(payload.begin(), payload.end(), nullptr, false);
    if (chunk.is_discarded() || !chunk.is_object())
        return;
    if (auto timings = timingsOf(chunk))
        m_timings = timings;
    // Validate the whole chunk before using any of it, as a typed decode would.
    struct Piece
    {
        const json *content = nullptr;
        const json *reasoning = nullptr;
        const json *toolCalls = nullptr;
        bool finished = false;
    };
    std::vector<Piece> pieces;
    try {
        const auto choices = chunk.find("choices");
        if (choices == chunk.end() || !choices->is_array())
            return;
        for (const json &choice : *choices) {
            if (!choice.is_object())
                return;
            const auto delta = choice.find("delta");
            if (delta == choice.end() || !delta->is_object())
                return;
            Piece piece;
            piece.finished = optionalOf(choice, "finish_reason", &json::is_string) != nullptr;
            piece.content = optionalOf(*delta, "content", &json::is_string);
            piece.reasoning = reasoningOf(*delta);
            piece.toolCalls = optionalOf(*delta, "tool_calls", &json::is_array);
            if (piece.toolCalls) {
                for (const json &entry : *piece.toolCalls) {
                    if (!entry.is_object())
                        return;
                    optionalOf(entry, "index", &json::is_number_integer);
                    optionalOf(entry, "id", &json::is_string);
                    if (const json *function = optionalOf(entry, "function", &json::is_object)) {
                        optionalOf(*function, "name", &json::is_string);
                        optionalOf(*function, "arguments", &json::is_string);
                    }
                }
            }
            pieces.push_back(piece);
        }
    } catch (const BadChunk &) {
        return;
    }

    for (const Piece &piece : pieces) {
        m_finished = m_finished || piece.finished;
        if (piece.reasoning && !piece.reasoning->get_ref<const std::string &>().empty()) {
            m_splitter.engineSeparates(m_out);
            m_out.append(ReplyPiece{ReplyPiece::Kind::Reasoning, textOf(*piece.reasoning)});
        }
        if (piece.content)
            m_splitter.feedContent(textOf(*piece.content), m_out);
        deliver(m_out);
        if (!piece.toolCalls)
            continue;
        for (const json &entry : *piece.toolCalls) {
            const json *index = field(entry, "index");
            const qint64 key = index ? index->get<qint64>() : 0;
            auto it = m_partials.find(key);
            if (it == m_partials.end()) {
                const json *id = field(entry, "id");
                it = m_partials
                         .emplace(key, PartialToolCall{id ? textOf(*id) : newUuidText(), {}, {}})
                         .first;
            }
            const json *function = field(entry, "function");
            if (!function)
                continue;
            if (const json *name = field(*function, "name");
                name && !name->get_ref<const std::string &>().empty())
                it->second.name = textOf(*name);
            if (const json *arguments = field(*function, "arguments"))
                it->second.arguments.append(textOf(*arguments));
        }
    }
}

void ChatStreamDecoder::deliver(QList<ReplyPiece> &pieces)
{
    for (ReplyPiece &piece : pieces) {
        switch (piece.kind) {
        case ReplyPiece::Kind::Content:
            m_content.append(piece.text);
            break;
        case ReplyPiece::Kind::Reasoning:
            m_reasoning.append(piece.text);
            break;
        case ReplyPiece::Kind::EarlierContentIsReasoning:
            if (m_content.isEmpty())
                continue;
            piece.text = std::exchange(m_content, QString());
            m_reasoning.prepend(piece.text);
            break;
        }
        if (m_onToken)
            m_onToken(piece);
    }
    pieces.clear();
}

ChatReply ChatStreamDecoder::finish()
{
    if (!m_done && m_consumed < m_buffer.size()) {
        QByteArrayView rest(m_buffer.constData() + m_consumed, m_buffer.size() - m_consumed);
        if (rest.endsWith('\r'))
            rest.chop(1);
        m_consumed = m_buffer.size();
        handleLine(rest);
    }
    m_splitter.finish(m_out);
    deliver(m_out);
    ChatReply reply;
    reply.content = m_content;
    reply.reasoning = ReplyText::trimWhiteSpaceAndLineBreaks(m_reasoning).toString();
    reply.complete = m_done || m_finished;
    reply.timings = m_timings;
    QList<ToolCall> calls;
    for (const auto &[index, partial] : m_partials) { // std::map: ascending index
        if (partial.name.isEmpty())
            continue;
        calls.append(ToolCall{partial.id,
                              partial.name,
                              parseArgumentsJSON(partial.arguments),
                              ToolStatus::Pending,
                              std::nullopt});
    }
    if (!calls.isEmpty())
        reply.toolCalls = std::move(calls);
    return reply;
}

#include "core/archive.h"

#include "core/archivewriter.h"

#include <nlohmann/json.hpp>

#include <iterator>

using ArchiveJson::Writer;
using nlohmann::json;

namespace {

void writeToolCall(Writer &w, const ToolCall &call)
{
    w.raw("{");
    w.key("id");
    w.string(call.id);
    w.raw(",");
    w.key("name");
    w.string(call.name);
    w.raw(",");
    w.key("arguments");
    w.raw("{");
    bool first = true;
    for (auto it = call.arguments.cbegin(); it != call.arguments.cend(); ++it) {
        if (!first)
            w.raw(",");
        first = false;
        w.string(it.key());
        w.raw(":");
        w.string(it.value());
    }
    w.raw("},");
    w.key("status");
    w.string(toolStatusText(call.status));
    if (call.result) {
        w.raw(",");
        w.key("result");
        w.string(*call.result);
    }
    w.raw("}");
}

void writeAttachment(Writer &w, const Attachment &attachment)
{
    w.raw("{");
    w.key("name");
    w.string(attachment.name);
    w.raw(",");
    w.key("kind");
    w.string(attachment.kind);
    w.raw(",");
    w.key("size");
    w.number(double(attachment.size));
    w.raw(",");
    w.key("storedPath");
    w.string(attachment.storedPath);
    if (!attachment.text.isEmpty()) {
        w.raw(",");
        w.key("text");
        w.string(attachment.text);
    }
    w.raw("}");
}

void writeMessage(Writer &w, const Message &message)
{
    w.raw("{");
    w.key("id");
    w.uuid(message.id);
    w.raw(",");
    w.key("role");
    w.string(message.role);
    w.raw(",");
    w.key("content");
    w.string(message.content);
    w.raw(",");
    w.key("timestamp");
    w.number(message.timestamp.seconds);
    if (message.toolCalls) {
        w.raw(",");
        w.key("toolCalls");
        w.raw("[");
        for (qsizetype i = 0; i < message.toolCalls->size(); ++i) {
            if (i)
                w.raw(",");
            writeToolCall(w, message.toolCalls->at(i));
        }
        w.raw("]");
    }
    if (!message.reasoning.isEmpty()) {
        w.raw(",");
        w.key("reasoning");
        w.string(message.reasoning);
    }
    if (message.reasoningSeconds) {
        w.raw(",");
        w.key("reasoningSeconds");
        w.number(*message.reasoningSeconds);
    }
    if (!message.attachments.isEmpty()) {
        w.raw(",");
        w.key("attachments");
        w.raw("[");
        for (qsizetype i = 0; i < message.attachments.size(); ++i) {
            if (i)
                w.raw(",");
            writeAttachment(w, message.attachments.at(i));
        }
        w.raw("]");
    }
    w.raw("}");
}

void writeSession(Writer &w, const ChatSession &session)
{
    w.raw("{");
    w.key("id");
    w.uuid(session.id);
    w.raw(",");
    w.key("title");
    w.string(session.title);
    w.raw(",");
    w.key("messages");
    w.raw("[");
    for (qsizetype i = 0; i < session.messages.size(); ++i) {
        if (i)
            w.raw(",");
        writeMessage(w, session.messages.at(i));
    }
    w.raw("],");
    w.key("createdAt");
    w.number(session.createdAt.seconds);
    w.raw(",");
    w.key("updatedAt");
    w.number(session.updatedAt.seconds);
    if (session.systemPromptOverride) {
        w.raw(",");
        w.key("systemPromptOverride");
        w.string(*session.systemPromptOverride);
    }
    w.raw(",");
    w.key("isPinned");
    w.boolean(session.isPinned);
    w.raw("}");
}

// Decoding: any shape error aborts the whole document.
struct DecodeError
{};

// The bytes as the parser walks them; at each megabyte a raised stop flag ends the parse.
class StoppableBytes
{
public:
    using iterator_category = std::forward_iterator_tag;
    using value_type = char;
    using difference_type = std::ptrdiff_t;
    using pointer = const char *;
    using reference = const char &;

    StoppableBytes(const char *at, const StopFlag *stop)
        : m_at(at)
        , m_stop(stop)
    {}
    reference operator*() const { return *m_at; }
    StoppableBytes &operator++()
    {
        if ((reinterpret_cast<quintptr>(++m_at) & 0xFFFFF) == 0 && m_stop->isRaised())
            throw DecodeError{};
        return *this;
    }
    StoppableBytes operator++(int)
    {
        StoppableBytes before = *this;
        ++*this;
        return before;
    }
    friend bool operator==(const StoppableBytes &a, const StoppableBytes &b)
    {
        return a.m_at == b.m_at;
    }

private:
    const char *m_at;
    const StopFlag *m_stop;
};

const json &required(const json &object, const char *key)
{
    const auto it = object.find(key);
    if (it == object.end())
        throw DecodeError{};
    return *it;
}

// Missing and null both read as absent.
const json *optionalMember(const json &object, const char *key)
{
    const auto it = object.find(key);
    if (it == object.end() || it->is_null())
        return nullptr;
    return &*it;
}

QString toText(const json &value)
{
    if (!value.is_string())
        throw DecodeError{};
    const auto &s = value.get_ref<const std::string &>();
    return QString::fromUtf8(s.data(), qsizetype(s.size()));
}

QUuid toUuid(const json &value)
{
    const auto &s = value.is_string() ? value.get_ref<const std::string &>() : throw DecodeError{};
    if (s.size() != 36)
        throw DecodeError{};
    const QUuid uuid
        = QUuid::fromString(QAnyStringView(QByteArrayView(s.data(), qsizetype(s.size()))));
    if (uuid.isNull() && s != "00000000-0000-0000-0000-000000000000")
        throw DecodeError{};
    return uuid;
}

double toNumber(const json &value)
{
    if (!value.is_number())
        throw DecodeError{};
    return value.get<double>();
}

Timestamp toTimestamp(const json &value)
{
    return {toNumber(value)};
}

const json &toObject(const json &value)
{
    if (!value.is_object())
        throw DecodeError{};
    return value;
}

const json &toArray(const json &value)
{
    if (!value.is_array())
        throw DecodeError{};
    return value;
}

ToolCall readToolCall(const json &object)
{
    toObject(object);
    ToolCall call;
    call.id = toText(required(object, "id"));
    call.name = toText(required(object, "name"));
    for (const auto &[key, value] : toObject(required(object, "arguments")).items())
        call.arguments.insert(QString::fromStdString(key), toText(value));
    const auto status = toolStatusFromText(toText(required(object, "status")));
    if (!status)
        throw DecodeError{};
    call.status = *status;
    if (const json *result = optionalMember(object, "result"))
        call.result = toText(*result);
    return call;
}

Attachment readAttachment(const json &object)
{
    toObject(object);
    Attachment attachment;
    attachment.name = toText(required(object, "name"));
    attachment.kind = toText(required(object, "kind"));
    attachment.size = qint64(toNumber(required(object, "size")));
    attachment.storedPath = toText(required(object, "storedPath"));
    if (const json *text = optionalMember(object, "text"))
        attachment.text = toText(*text);
    return attachment;
}

Message readMessage(const json &object)
{
    toObject(object);
    Message message;
    message.id = toUuid(required(object, "id"));
    message.role = toText(required(object, "role"));
    message.content = toText(required(object, "content"));
    message.timestamp = toTimestamp(required(object, "timestamp"));
    if (const json *calls = optionalMember(object, "toolCalls")) {
        QList<ToolCall> list;
        list.reserve(qsizetype(toArray(*calls).size()));
        for (const json &call : *calls)
            list.append(readToolCall(call));
        message.toolCalls = std::move(list);
    }
    // Written by later versions; earlier ones ignore them, as any key they do not know.
    if (const json *reasoning = optionalMember(object, "reasoning"))
        message.reasoning = toText(*reasoning);
    if (const json *seconds = optionalMember(object, "reasoningSeconds"))
        message.reasoningSeconds = toNumber(*seconds);
    if (const json *attachments = optionalMember(object, "attachments")) {
        for (const json &attachment : toArray(*attachments))
            message.attachments.append(readAttachment(attachment));
    }
    return message;
}

ChatSession readSession(const json &object)
{
    toObject(object);
    ChatSession session;
    session.id = toUuid(required(object, "id"));
    session.title = toText(required(object, "title"));
    const json &messages = toArray(required(object, "messages"));
    session.messages.reserve(qsizetype(messages.size()));
    for (const json &message : messages)
        session.messages.append(readMessage(message));
    session.createdAt = toTimestamp(required(object, "createdAt"));
    session.updatedAt = toTimestamp(required(object, "updatedAt"));
    if (const json *prompt = optionalMember(object, "systemPromptOverride"))
        session.systemPromptOverride = toText(*prompt);
    const json &pinned = required(object, "isPinned");
    if (!pinned.is_boolean())
        throw DecodeError{};
    session.isPinned = pinned.get<bool>();
    return session;
}

} // namespace

QByteArray encodeSessions(const QList<ChatSession> &sessions)
{
    Writer w;
    w.out.resize(1 << 16);
    w.raw("[");
    for (qsizetype i = 0; i < sessions.size(); ++i) {
        if (i)
            w.raw(",");
        writeSession(w, sessions.at(i));
    }
    w.raw("]");
    return w.take();
}

QByteArray encodeSession(const ChatSession &session)
{
    Writer w;
    w.out.resize(1 << 12);
    writeSession(w, session);
    return w.take();
}

QByteArray joinSessions(const QList<QByteArray> &encodedSessions)
{
    qsizetype size = 2 + std::max<qsizetype>(encodedSessions.size() - 1, 0);
    for (const QByteArray &session : encodedSessions)
        size += session.size();
    QByteArray out;
    out.reserve(size);
    out.append('[');
    for (qsizetype i = 0; i < encodedSessions.size(); ++i) {
        if (i)
            out.append(',');
        out.append(encodedSessions.at(i));
    }
    out.append(']');
    return out;
}

std::optional<QList<ChatSession>> decodeSessions(const QByteArray &bytes, const StopFlag *stop)
{
    try {
        const json document
            = stop ? json::parse(StoppableBytes(bytes.cbegin(), stop),
                                 StoppableBytes(bytes.cend(), stop),
                                 nullptr,
                                 /*allow_exceptions=*/false)
                   : json::parse(bytes.cbegin(), bytes.cend(), nullptr, /*allow_exceptions=*/false);
        if (document.is_discarded() || !document.is_array())
            return std::nullopt;
        QList<ChatSession> sessions;
        sessions.reserve(qsizetype(document.size()));
        for (const json &session : document) {
            if (stop && stop->isRaised())
                return std::nullopt;
            sessions.append(readSession(session));
        }
        return sessions;
    } catch (const DecodeError &) {
        return std::nullopt;
    } catch (const json::exception &) {
        return std::nullopt;
    }
}

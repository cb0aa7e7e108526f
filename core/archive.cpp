#include "archive.h"

#include <QFile>
#include <QSaveFile>
#include <QStringEncoder>

#include <nlohmann/json.hpp>

#include <charconv>
#include <memory>

using nlohmann::json;

namespace {

// Encoding writes text directly: the archive is rewritten on every save, and
// building a document tree first would double the cost.
class Writer
{
public:
    std::string out;

    void raw(std::string_view text) { out.append(text); }
    void key(std::string_view name)
    {
        out.push_back('"');
        out.append(name);
        out.append("\":");
    }
    void string(const QString &text)
    {
        out.push_back('"');
        appendEscaped(text);
        out.push_back('"');
    }
    void appendEscaped(const QString &text)
    {
        // Converts into a reused buffer and copies runs of plain bytes in bulk:
        // no allocation per string, no byte-by-byte appends.
        const size_t needed = size_t(text.size()) * 3;
        if (m_scratchSize < needed) {
            m_scratchSize = std::max(needed, m_scratchSize * 2);
            m_scratch = std::make_unique<char[]>(m_scratchSize);
        }
        const char *run = m_scratch.get();
        const char *const last = m_utf8.appendToBuffer(m_scratch.get(), text);
        for (const char *p = run; p < last; ++p) {
            const auto u = static_cast<unsigned char>(*p);
            if (!needsEscape(u))
                continue;
            out.append(run, size_t(p - run));
            run = p + 1;
            switch (*p) {
            case '"': out.append("\\\""); break;
            case '\\': out.append("\\\\"); break;
            case '\n': out.append("\\n"); break;
            case '\r': out.append("\\r"); break;
            case '\t': out.append("\\t"); break;
            case '\b': out.append("\\b"); break;
            case '\f': out.append("\\f"); break;
            default: {
                static constexpr char hex[] = "0123456789abcdef";
                out.append("\\u00");
                out.push_back(hex[u >> 4]);
                out.push_back(hex[u & 0xF]);
            }
            }
        }
        out.append(run, size_t(last - run));
    }
    static bool needsEscape(unsigned char u) { return u < 0x20 || u == '"' || u == '\\'; }
    void number(double value)
    {
        char buffer[32];
        const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
        out.append(buffer, result.ptr);
    }
    void boolean(bool value) { out.append(value ? "true" : "false"); }

private:
    QStringEncoder m_utf8{QStringEncoder::Utf8};
    std::unique_ptr<char[]> m_scratch;
    size_t m_scratchSize = 0;
};

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

void writeMessage(Writer &w, const Message &message)
{
    w.raw("{");
    w.key("id");
    w.string(uuidText(message.id));
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
    w.raw("}");
}

void writeSession(Writer &w, const ChatSession &session)
{
    w.raw("{");
    w.key("id");
    w.string(uuidText(session.id));
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
{
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
    const QUuid uuid = QUuid::fromString(QAnyStringView(QByteArrayView(s.data(), qsizetype(s.size()))));
    if (uuid.isNull() && s != "00000000-0000-0000-0000-000000000000")
        throw DecodeError{};
    return uuid;
}

Timestamp toTimestamp(const json &value)
{
    if (!value.is_number())
        throw DecodeError{};
    return {value.get<double>()};
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
    w.out.reserve(1 << 16);
    w.raw("[");
    for (qsizetype i = 0; i < sessions.size(); ++i) {
        if (i)
            w.raw(",");
        writeSession(w, sessions.at(i));
    }
    w.raw("]");
    return QByteArray(w.out.data(), qsizetype(w.out.size()));
}

std::optional<QList<ChatSession>> decodeSessions(const QByteArray &bytes)
{
    const json document = json::parse(bytes.cbegin(), bytes.cend(), nullptr, /*allow_exceptions=*/false);
    if (document.is_discarded() || !document.is_array())
        return std::nullopt;
    try {
        QList<ChatSession> sessions;
        sessions.reserve(qsizetype(document.size()));
        for (const json &session : document)
            sessions.append(readSession(session));
        return sessions;
    } catch (const DecodeError &) {
        return std::nullopt;
    } catch (const json::exception &) {
        return std::nullopt;
    }
}

bool exportChats(const QList<ChatSession> &sessions, const QString &filePath)
{
    QSaveFile file(filePath);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    const QByteArray bytes = encodeSessions(sessions);
    if (file.write(bytes) != bytes.size()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

std::optional<QList<ChatSession>> readChatsFile(const QString &filePath)
{
    QFile file(filePath);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    return decodeSessions(file.readAll());
}

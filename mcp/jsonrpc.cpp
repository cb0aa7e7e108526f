#include "mcp/jsonrpc.h"

#include <charconv>

namespace JsonRpc {

json request(qint64 id, std::string_view method, json params)
{
    json message = {{"jsonrpc", "2.0"}, {"id", id}, {"method", method}};
    if (!params.is_null())
        message["params"] = std::move(params);
    return message;
}

json notification(std::string_view method, json params)
{
    json message = {{"jsonrpc", "2.0"}, {"method", method}};
    if (!params.is_null() && !params.empty())
        message["params"] = std::move(params);
    return message;
}

json result(const json &id, json result)
{
    return {{"jsonrpc", "2.0"}, {"id", id}, {"result", std::move(result)}};
}

json error(const json &id, int code, const QString &message)
{
    return {{"jsonrpc", "2.0"},
            {"id", id},
            {"error", {{"code", code}, {"message", stdText(message)}}}};
}

Kind kindOf(const json &message)
{
    if (!message.is_object())
        return Kind::Invalid;
    const bool hasId = message.contains("id") && !message["id"].is_null();
    if (message.contains("method") && message["method"].is_string())
        return hasId ? Kind::Request : Kind::Notification;
    if (hasId && (message.contains("result") || message.contains("error")))
        return Kind::Response;
    return Kind::Invalid;
}

std::optional<qint64> numericId(const json &id)
{
    if (id.is_number_integer())
        return id.get<qint64>();
    if (id.is_string()) {
        const auto &text = id.get_ref<const std::string &>();
        qint64 value = 0;
        const auto [end, fault] = std::from_chars(text.data(), text.data() + text.size(), value);
        if (fault == std::errc() && end == text.data() + text.size())
            return value;
    }
    return std::nullopt;
}

} // namespace JsonRpc

QString qText(const std::string &text)
{
    return QString::fromUtf8(text.data(), qsizetype(text.size()));
}

std::string stdText(const QString &text)
{
    const QByteArray utf8 = text.toUtf8();
    return std::string(utf8.constData(), size_t(utf8.size()));
}

QString textMember(const nlohmann::json &object, const char *key)
{
    if (!object.is_object())
        return {};
    const auto it = object.find(key);
    return it != object.end() && it->is_string() ? qText(it->get_ref<const std::string &>())
                                                 : QString();
}

#pragma once

#include <QString>

#include <optional>
#include <string_view>

#include <nlohmann/json.hpp>

// JSON-RPC 2.0 as the Model Context Protocol uses it: building messages, telling them
// apart, and the errors a request can end with.
namespace JsonRpc {

using json = nlohmann::json;

// The protocol's own codes.
constexpr int parseError = -32700;
constexpr int invalidRequest = -32600;
constexpr int methodNotFound = -32601;
constexpr int invalidParams = -32602;
constexpr int internalError = -32603;
// Codes of the ends this client gives a request itself; no server sent them.
constexpr int timedOut = -32001;
constexpr int connectionClosed = -32002;
constexpr int cancelled = -32003;
constexpr int transportFailed = -32004;

json request(qint64 id, std::string_view method, json params);
json notification(std::string_view method, json params = json::object());
json result(const json &id, json result);
json error(const json &id, int code, const QString &message);

enum class Kind { Request, Notification, Response, Invalid };
Kind kindOf(const json &message);
// Identifiers this client sends are integers; a server that echoes one as text is understood.
std::optional<qint64> numericId(const json &id);

} // namespace JsonRpc

struct RpcError
{
    int code = 0;
    QString message;
};

// How one request ended: the server's result, or an error (the server's or our own).
struct RpcReply
{
    nlohmann::json result;
    std::optional<RpcError> error;

    bool ok() const { return !error.has_value(); }
    static RpcReply failure(int code, QString message)
    {
        return {{}, RpcError{code, std::move(message)}};
    }
};

// Small conversions used all over the protocol code.
QString qText(const std::string &text);
std::string stdText(const QString &text);
// A string member of an object as text; empty when it is missing or not a string.
QString textMember(const nlohmann::json &object, const char *key);

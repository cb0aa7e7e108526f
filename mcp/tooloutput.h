#pragma once

#include "mcp/jsonrpc.h"

#include "core/records.h"

#include <QStringList>

#include <nlohmann/json_fwd.hpp>

// What a tools/call gives the conversation: text for the model, and the pictures that stay
// in the chat for the user (the model only reads that they are there).
struct McpToolOutput
{
    QString text;
    QStringList images; // PNG and JPEG data URLs
    bool isError = false;
};

namespace McpToolText {

// Text, images, audio, resource links, embedded resources and structured content, in the
// server's order; an error result (isError) or a JSON-RPC error becomes "Error: " and its text.
McpToolOutput fromReply(const RpcReply &reply);

// The loop keeps every argument as text (numbers as their digits, objects as JSON); the
// tool's input schema says which of them the server wants as numbers, booleans, arrays or
// objects. Text that does not read as what the schema asks for is sent as text, and the
// server says what is wrong with it.
nlohmann::json arguments(const ToolArguments &arguments, const nlohmann::json &inputSchema);

// "mcp__<server>__<tool>": characters outside [A-Za-z0-9_-] become "_", at most 64
// characters, and a number appended where the name is taken already.
QString exposedName(const QString &server, const QString &tool, const QStringList &taken);
constexpr qsizetype nameLimit = 64;

// A rough count of the tokens a text costs a model: one per four bytes of JSON.
int tokenEstimate(const nlohmann::json &definitions);

// "12 bytes", "3.4 KB", "5.0 MB"
QString sizeText(qint64 bytes);

} // namespace McpToolText

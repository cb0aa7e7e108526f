#pragma once

#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

#include <chrono>
#include <optional>

#include <nlohmann/json.hpp>

// One server of mcp.json, in the form users copy between apps:
// {"mcpServers": {"NAME": {"command", "args", "env", "cwd"} or {"url", "headers"}, with
// "disabled", "timeout" (seconds) and "alwaysAllow" or "autoApprove"}}.
struct McpServerConfig
{
    QString name;
    QString command;
    QStringList args;
    QMap<QString, QString> env;
    QString cwd;
    QString url;
    QMap<QString, QString> headers;
    bool disabled = false;
    std::optional<double> timeoutSeconds;
    QStringList alwaysAllow; // both spellings together
    // Why the entry cannot be used; empty when it can.
    QString problem;
    // The entry as written: a server whose entry changed is started again.
    nlohmann::ordered_json entry;

    bool isRemote() const { return !url.isEmpty(); }
    std::chrono::milliseconds timeout() const;
    // "npx -y server /tmp" or the address, for the screens.
    QString commandLine() const;
};

struct McpConfig
{
    QList<McpServerConfig> servers; // in the file's order
    QString error;                  // why the file could not be read; empty when it could
};

// Reading and editing mcp.json. Edits keep everything they do not touch: other servers,
// keys this app does not know, the order.
namespace McpConfigFile {

constexpr std::chrono::seconds defaultTimeout{60};

// An empty file is a file without servers. A file that does not parse gives the parser's
// message, with line and column, after the file name.
McpConfig parse(const QByteArray &bytes, const QString &fileName = QStringLiteral("mcp.json"));

struct Edit
{
    QByteArray bytes;
    QString error; // the file could not be changed; empty on success
};
Edit addServer(const QByteArray &bytes, const QString &name, const nlohmann::ordered_json &entry);
Edit removeServer(const QByteArray &bytes, const QString &name);
Edit setDisabled(const QByteArray &bytes, const QString &name, bool disabled);
Edit removeAlwaysAllow(const QByteArray &bytes, const QString &name, const QString &tool);

// What the user typed into Add: a command line ("npx -y @scope/server-files /tmp") or an
// address ("https://server.example/mcp"), as an entry; empty with a reason for anything else.
std::optional<nlohmann::ordered_json> entryFromText(const QString &text, QString *problem);
// A short name for that entry ("files", "server.example"), not one of the taken names.
QString suggestedName(const QString &text, const QStringList &taken);

} // namespace McpConfigFile

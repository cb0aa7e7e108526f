#include "mcp/serverconfig.h"

#include "mcp/jsonrpc.h"

#include <QProcess>
#include <QRegularExpression>
#include <QUrl>

using nlohmann::ordered_json;

namespace {

QString valueText(const ordered_json &value)
{
    if (value.is_string())
        return qText(value.get<std::string>());
    return qText(value.dump());
}

QMap<QString, QString> textMap(const ordered_json &object)
{
    QMap<QString, QString> map;
    if (object.is_object()) {
        for (auto it = object.begin(); it != object.end(); ++it)
            map.insert(qText(it.key()), valueText(it.value()));
    }
    return map;
}

QStringList textList(const ordered_json &array)
{
    QStringList list;
    if (array.is_array()) {
        for (const auto &item : array)
            list.append(valueText(item));
    }
    return list;
}

McpServerConfig serverFrom(const std::string &name, const ordered_json &entry)
{
    McpServerConfig server;
    server.name = qText(name);
    server.entry = entry;
    if (!entry.is_object()) {
        server.problem = QStringLiteral("The entry is not an object.");
        return server;
    }
    const auto text = [&](const char *key) {
        const auto found = entry.find(key);
        return found != entry.end() && found->is_string() ? qText(found->get<std::string>())
                                                          : QString();
    };
    server.command = text("command");
    server.url = text("url");
    server.cwd = text("cwd");
    if (entry.contains("args"))
        server.args = textList(entry["args"]);
    if (entry.contains("env"))
        server.env = textMap(entry["env"]);
    if (entry.contains("headers"))
        server.headers = textMap(entry["headers"]);
    if (entry.contains("disabled") && entry["disabled"].is_boolean())
        server.disabled = entry["disabled"].get<bool>();
    if (entry.contains("timeout") && entry["timeout"].is_number()
        && entry["timeout"].get<double>() > 0)
        server.timeoutSeconds = entry["timeout"].get<double>();
    for (const char *key : {"alwaysAllow", "autoApprove"}) {
        if (entry.contains(key)) {
            for (const QString &tool : textList(entry[key])) {
                if (!server.alwaysAllow.contains(tool))
                    server.alwaysAllow.append(tool);
            }
        }
    }
    const QString type = text("type");
    if (type == QLatin1String("sse"))
        server.problem = QStringLiteral("The older HTTP+SSE transport is not supported; give the "
                                        "server's Streamable HTTP address.");
    else if (server.command.isEmpty() && server.url.isEmpty())
        server.problem = QStringLiteral("The entry needs a \"command\" or a \"url\".");
    else if (!server.command.isEmpty() && !server.url.isEmpty())
        server.problem
            = QStringLiteral("The entry has both a \"command\" and a \"url\"; keep one.");
    return server;
}

// The file as an editable document; an error when it does not parse or has no server table.
std::optional<ordered_json> document(const QByteArray &bytes, QString *error)
{
    if (bytes.trimmed().isEmpty())
        return ordered_json{{"mcpServers", ordered_json::object()}};
    ordered_json root;
    try {
        root = ordered_json::parse(bytes.cbegin(), bytes.cend());
    } catch (const ordered_json::parse_error &fault) {
        // "[json.exception.parse_error.101] parse error at line 3, column 5: ..."
        QString message = QString::fromUtf8(fault.what());
        message.remove(
            QRegularExpression(QStringLiteral("^\\[json\\.exception\\.[a-z_]+\\.\\d+\\] ")));
        *error = message;
        return std::nullopt;
    }
    if (!root.is_object()) {
        *error = QStringLiteral("the file must hold one object, {\"mcpServers\": {...}}.");
        return std::nullopt;
    }
    if (!root.contains("mcpServers"))
        root["mcpServers"] = ordered_json::object();
    if (!root["mcpServers"].is_object()) {
        *error = QStringLiteral("\"mcpServers\" must be an object with one entry per server.");
        return std::nullopt;
    }
    return root;
}

McpConfigFile::Edit edited(
    const QByteArray &bytes,
    const QString &name,
    bool mustExist,
    const std::function<void(ordered_json &servers, const std::string &key)> &change)
{
    QString error;
    std::optional<ordered_json> root = document(bytes, &error);
    if (!root)
        return {{}, QStringLiteral("mcp.json cannot be changed while it does not parse: ") + error};
    ordered_json &servers = (*root)["mcpServers"];
    const std::string key = stdText(name);
    if (mustExist && (!servers.contains(key) || !servers[key].is_object()))
        return {{}, QStringLiteral("mcp.json has no server named %1.").arg(name)};
    change(servers, key);
    const std::string text
        = root->dump(2, ' ', false, ordered_json::error_handler_t::replace) + '\n';
    return {QByteArray(text.data(), qsizetype(text.size())), QString()};
}

} // namespace

std::chrono::milliseconds McpServerConfig::timeout() const
{
    if (!timeoutSeconds)
        return McpConfigFile::defaultTimeout;
    return std::chrono::milliseconds(qint64(*timeoutSeconds * 1000.0));
}

QString McpServerConfig::commandLine() const
{
    if (isRemote())
        return url;
    QStringList words{command};
    for (const QString &arg : args)
        words.append(arg.contains(u' ') ? u'"' + arg + u'"' : arg);
    return words.join(u' ');
}

namespace McpConfigFile {

McpConfig parse(const QByteArray &bytes, const QString &fileName)
{
    McpConfig config;
    QString error;
    const std::optional<ordered_json> root = document(bytes, &error);
    if (!root) {
        config.error = fileName + QStringLiteral(": ") + error;
        return config;
    }
    const ordered_json &servers = (*root)["mcpServers"];
    for (auto it = servers.begin(); it != servers.end(); ++it)
        config.servers.append(serverFrom(it.key(), it.value()));
    return config;
}

Edit addServer(const QByteArray &bytes, const QString &name, const ordered_json &entry)
{
    if (name.trimmed().isEmpty())
        return {{}, QStringLiteral("Give the server a name.")};
    QString error;
    if (const auto root = document(bytes, &error);
        root && (*root)["mcpServers"].contains(stdText(name)))
        return {{}, QStringLiteral("A server named %1 is already there.").arg(name)};
    return edited(bytes, name, false, [&](ordered_json &servers, const std::string &key) {
        servers[key] = entry;
    });
}

Edit removeServer(const QByteArray &bytes, const QString &name)
{
    return edited(bytes, name, true, [](ordered_json &servers, const std::string &key) {
        servers.erase(key);
    });
}

Edit setDisabled(const QByteArray &bytes, const QString &name, bool disabled)
{
    return edited(bytes, name, true, [disabled](ordered_json &servers, const std::string &key) {
        if (disabled)
            servers[key]["disabled"] = true;
        else
            servers[key].erase("disabled");
    });
}

Edit removeAlwaysAllow(const QByteArray &bytes, const QString &name, const QString &tool)
{
    return edited(bytes, name, true, [&](ordered_json &servers, const std::string &key) {
        for (const char *list : {"alwaysAllow", "autoApprove"}) {
            ordered_json &entry = servers[key];
            if (!entry.contains(list) || !entry[list].is_array())
                continue;
            ordered_json kept = ordered_json::array();
            for (const auto &item : entry[list]) {
                if (!(item.is_string() && qText(item.get<std::string>()) == tool))
                    kept.push_back(item);
            }
            entry[list] = kept;
        }
    });
}

std::optional<ordered_json> entryFromText(const QString &text, QString *problem)
{
    const QString trimmed = text.trimmed();
    if (trimmed.startsWith(QLatin1String("http://"))
        || trimmed.startsWith(QLatin1String("https://"))) {
        const QUrl url(trimmed, QUrl::StrictMode);
        if (!url.isValid() || url.host().isEmpty()) {
            *problem = QStringLiteral("Enter an address such as https://server.example/mcp.");
            return std::nullopt;
        }
        return ordered_json{{"url", stdText(trimmed)}};
    }
    const QStringList words = QProcess::splitCommand(trimmed);
    if (words.isEmpty()) {
        *problem
            = QStringLiteral("Enter a command line (npx -y @modelcontextprotocol/server-filesystem "
                             "~/Documents) or an address (https://server.example/mcp).");
        return std::nullopt;
    }
    ordered_json args = ordered_json::array();
    for (const QString &word : words.mid(1))
        args.push_back(stdText(word));
    return ordered_json{{"command", stdText(words.first())}, {"args", args}};
}

QString suggestedName(const QString &text, const QStringList &taken)
{
    const QString trimmed = text.trimmed();
    QString name;
    if (trimmed.startsWith(QLatin1String("http")))
        name = QUrl(trimmed).host();
    if (name.isEmpty()) {
        // The package or program: the last word that is not an option or a path.
        const QStringList words = QProcess::splitCommand(trimmed);
        for (const QString &word : words) {
            if (word.startsWith(u'-') || word.startsWith(u'/') || word.startsWith(u'~')
                || word.startsWith(u'.'))
                continue;
            name = word.section(u'/', -1).section(u'@', 0, 0);
            if (!name.isEmpty() && word != words.first())
                break;
        }
        static const QRegularExpression prefix(QStringLiteral("^(mcp-server-|server-|mcp-)"));
        name.remove(prefix);
    }
    if (name.isEmpty())
        name = QStringLiteral("server");
    QString unique = name;
    for (int number = 2; taken.contains(unique); ++number)
        unique = name + u'-' + QString::number(number);
    return unique;
}

} // namespace McpConfigFile

#include "mcp/mcpregistry.h"

#include "mcp/commandsearch.h"
#include "mcp/logging.h"

#include "platform/paths.h"
#include "platform/preferencekeys.h"
#include "platform/preferences.h"
#include "platform/savefile.h"
#include "platform/signalwait.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFileSystemWatcher>

using nlohmann::json;

namespace {

QMap<QString, QStringList> listsFromPreference(const QString &key)
{
    QMap<QString, QStringList> lists;
    const QByteArray text = Preferences::string(key).value_or(QString()).toUtf8();
    const json document = json::parse(text.cbegin(), text.cend(), nullptr, false);
    if (!document.is_object())
        return lists;
    for (auto it = document.begin(); it != document.end(); ++it) {
        if (!it.value().is_array())
            continue;
        QStringList tools;
        for (const json &tool : it.value()) {
            if (tool.is_string())
                tools.append(qText(tool.get<std::string>()));
        }
        lists.insert(qText(it.key()), tools);
    }
    return lists;
}

void saveLists(const QString &key, const QMap<QString, QStringList> &lists)
{
    json document = json::object();
    for (auto it = lists.cbegin(); it != lists.cend(); ++it) {
        if (it.value().isEmpty())
            continue;
        json tools = json::array();
        for (const QString &tool : it.value())
            tools.push_back(stdText(tool));
        document[stdText(it.key())] = tools;
    }
    if (document.empty())
        Preferences::remove(key);
    else
        Preferences::setString(key, qText(document.dump()));
}

json definition(const QString &exposedName, const QString &server, const McpTool &tool)
{
    QString description = tool.description;
    if (description.isEmpty())
        description = tool.title.isEmpty()
                          ? QStringLiteral("The tool %1 of the server %2.").arg(tool.name, server)
                          : tool.title;
    return {{"type", "function"},
            {"function",
             {{"name", stdText(exposedName)},
              {"description", stdText(description)},
              {"parameters", tool.inputSchema}}}};
}

// What an entry says about reaching the server, without the lists of tools that need no asking.
nlohmann::ordered_json connectionPart(nlohmann::ordered_json entry)
{
    if (entry.is_object()) {
        entry.erase("alwaysAllow");
        entry.erase("autoApprove");
    }
    return entry;
}

} // namespace

McpRegistry::McpRegistry(McpRegistryOptions options, QObject *parent)
    : QObject(parent)
    , m_options(std::move(options))
    , m_configPath(m_options.configPath.isEmpty()
                       ? QDir(Paths::appConfigDirectory()).filePath(QStringLiteral("mcp.json"))
                       : m_options.configPath)
    , m_searchFolders(m_options.searchFolders)
    , m_watcher(new QFileSystemWatcher(this))
{
    loadPreferences();
    // Editors save by writing a new file and renaming it over the old one: the folder's change
    // says so, and the file is watched again after each reading.
    m_reread.setSingleShot(true);
    m_reread.setInterval(150);
    connect(&m_reread, &QTimer::timeout, this, &McpRegistry::reload);
    connect(m_watcher, &QFileSystemWatcher::fileChanged, &m_reread, qOverload<>(&QTimer::start));
    connect(m_watcher,
            &QFileSystemWatcher::directoryChanged,
            &m_reread,
            qOverload<>(&QTimer::start));
    // Nothing here waits for a server: the window comes first.
    QTimer::singleShot(m_options.startDelay, this, [this] { startUp(); });
}

McpRegistry::~McpRegistry()
{
    // Each server's transport ends its process group on destruction.
    m_shuttingDown = true;
}

void McpRegistry::startUp()
{
    m_started = true;
    reload();
}

QCoro::Task<> McpRegistry::startServer(QPointer<McpServer> server)
{
    QPointer<McpRegistry> self(this);
    if (!server)
        co_return;
    if (!server->config().isRemote() && !m_searchFolders) {
        // The login shell is asked once, and only when a local server is to start.
        if (!m_findingFolders) {
            m_findingFolders = true;
            const QStringList loginPath = co_await CommandSearch::loginShellPath();
            if (!self)
                co_return;
            m_searchFolders = CommandSearch::searchFolders(loginPath);
            m_findingFolders = false;
            emit searchFoldersFound();
        } else {
            const bool found = co_await SignalWait(this,
                                                   &McpRegistry::searchFoldersFound,
                                                   std::chrono::milliseconds(-1));
            if (!self || !found)
                co_return;
        }
    }
    if (server && !m_shuttingDown)
        co_await server->start(m_searchFolders.value_or(QStringList()));
}

QCoro::Task<> McpRegistry::retire(McpServer *server)
{
    server->disconnect(this);
    QPointer<McpServer> retired = server;
    co_await retired->stop();
    if (retired)
        retired->deleteLater();
}

QByteArray McpRegistry::readConfig() const
{
    QFile file(m_configPath);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void McpRegistry::reload()
{
    if (m_shuttingDown)
        return;
    const McpConfig config = McpConfigFile::parse(readConfig(), QFileInfo(m_configPath).fileName());
    watch();
    if (!config.error.isEmpty()) {
        // The servers go on as they were; the user sees what to fix.
        setConfigError(config.error);
        return;
    }
    setConfigError(QString());
    apply(config);
}

void McpRegistry::watch()
{
    const QString folder = QFileInfo(m_configPath).absolutePath();
    if (!m_watcher->directories().contains(folder) && QFileInfo(folder).isDir())
        m_watcher->addPath(folder);
    if (!m_watcher->files().contains(m_configPath) && QFileInfo::exists(m_configPath))
        m_watcher->addPath(m_configPath);
}

void McpRegistry::apply(const McpConfig &config)
{
    QList<McpServer *> servers;
    QList<McpServer *> added;
    for (const McpServerConfig &entry : config.servers) {
        McpServer *existing = server(entry.name);
        if (existing && connectionPart(existing->config().entry) == connectionPart(entry.entry)) {
            // Only the approval lists changed: the connection stays.
            existing->setConfig(entry);
            servers.append(existing);
            continue;
        }
        auto *created = new McpServer(entry, this);
        connect(created, &McpServer::changed, this, &McpRegistry::refresh);
        servers.append(created);
        added.append(created);
    }
    for (McpServer *old : std::as_const(m_servers)) {
        if (!servers.contains(old))
            retire(old);
    }
    m_servers = servers;
    if (m_started) {
        for (McpServer *server : std::as_const(added))
            startServer(server);
    }
    refresh();
}

void McpRegistry::setConfigError(const QString &error)
{
    if (m_configError == error)
        return;
    m_configError = error;
    emit configErrorChanged();
}

McpServer *McpRegistry::server(const QString &name) const
{
    for (McpServer *server : m_servers) {
        if (server->name() == name)
            return server;
    }
    return nullptr;
}

void McpRegistry::refresh()
{
    m_exposed.clear();
    m_offered.clear();
    m_definitions = json::array();
    QStringList taken;
    QList<McpServerRow> serverRows;
    QList<McpAlwaysAllowRow> allowRows;
    for (McpServer *server : std::as_const(m_servers)) {
        const QString name = server->name();
        QPointer<McpToolListModel> &model = m_toolModels[name];
        if (!model)
            model = new McpToolListModel(this);
        QList<McpToolRow> toolRows;
        json definitions = json::array();
        for (const McpTool &tool : server->tools()) {
            const QString exposed = McpToolText::exposedName(name, tool.name, taken);
            taken.append(exposed);
            m_exposed[exposed] = {name, tool.name};
            const bool enabled = isToolEnabled(name, tool.name);
            if (enabled) {
                m_offered.append(exposed);
                definitions.push_back(definition(exposed, name, tool));
                m_definitions.push_back(definitions.back());
            }
            toolRows.append({tool.name,
                             tool.title,
                             tool.description,
                             exposed,
                             enabled,
                             tool.readOnlyHint(),
                             isAllowed(name, tool.name)});
        }
        model->setRows(toolRows);
        const McpServerConfig &config = server->config();
        serverRows.append({name,
                           server->stateName(),
                           server->stateText(),
                           server->failure(),
                           server->log(),
                           config.commandLine(),
                           config.isRemote(),
                           !config.disabled,
                           int(server->tools().size()),
                           int(definitions.size()),
                           definitions.empty() ? 0 : McpToolText::tokenEstimate(definitions),
                           model});
        for (const QString &tool : config.alwaysAllow)
            allowRows.append({name, tool, true});
    }
    for (auto it = m_allowed.cbegin(); it != m_allowed.cend(); ++it) {
        for (const QString &tool : it.value()) {
            const McpAlwaysAllowRow row{it.key(), tool, false};
            if (std::none_of(allowRows.cbegin(),
                             allowRows.cend(),
                             [&](const McpAlwaysAllowRow &each) { return each.key() == row.key(); }))
                allowRows.append(row);
        }
    }
    // Models of servers that are gone go with them.
    for (auto it = m_toolModels.begin(); it != m_toolModels.end();) {
        if (!server(it->first)) {
            if (it->second)
                it->second->deleteLater();
            it = m_toolModels.erase(it);
        } else {
            ++it;
        }
    }
    m_tokenEstimate = m_definitions.empty() ? 0 : McpToolText::tokenEstimate(m_definitions);
    m_serverModel.setRows(serverRows);
    m_alwaysAllowModel.setRows(allowRows);
    emit toolsChanged();
    emit serversChanged();
}

std::optional<McpRegistry::ToolRef> McpRegistry::find(const QString &exposedName) const
{
    const auto found = m_exposed.find(exposedName);
    if (found == m_exposed.end())
        return std::nullopt;
    const McpServer *owner = server(found->second.first);
    const McpTool *tool = owner ? owner->tool(found->second.second) : nullptr;
    if (!tool)
        return std::nullopt;
    return ToolRef{owner->name(), *tool};
}

// MARK: - Switches and approvals

void McpRegistry::loadPreferences()
{
    m_allowed = listsFromPreference(PreferenceKey::toolServerAlwaysAllow);
    m_disabledTools = listsFromPreference(PreferenceKey::toolServerDisabledTools);
}

void McpRegistry::savePreferences() const
{
    saveLists(PreferenceKey::toolServerAlwaysAllow, m_allowed);
    saveLists(PreferenceKey::toolServerDisabledTools, m_disabledTools);
    Preferences::sync();
}

void McpRegistry::forgetPreferences()
{
    m_allowed.clear();
    m_disabledTools.clear();
    savePreferences();
    refresh();
}

bool McpRegistry::isToolEnabled(const QString &server, const QString &tool) const
{
    return !m_disabledTools.value(server).contains(tool);
}

bool McpRegistry::isAllowed(const QString &server, const QString &tool) const
{
    if (m_allowed.value(server).contains(tool))
        return true;
    const McpServer *owner = this->server(server);
    return owner && owner->config().alwaysAllow.contains(tool);
}

bool McpRegistry::isAlwaysAllowed(const QString &exposedName) const
{
    const auto found = m_exposed.find(exposedName);
    return found != m_exposed.end() && isAllowed(found->second.first, found->second.second);
}

void McpRegistry::allowAlways(const QString &server, const QString &tool)
{
    QStringList &tools = m_allowed[server];
    if (!tools.contains(tool))
        tools.append(tool);
    savePreferences();
    refresh();
}

QString McpRegistry::revokeAlwaysAllow(const QString &server, const QString &tool)
{
    m_allowed[server].removeAll(tool);
    if (m_allowed[server].isEmpty())
        m_allowed.remove(server);
    savePreferences();
    const McpServer *owner = this->server(server);
    QString problem;
    if (owner && owner->config().alwaysAllow.contains(tool))
        problem = write(McpConfigFile::removeAlwaysAllow(readConfig(), server, tool));
    refresh();
    return problem;
}

void McpRegistry::setToolEnabled(const QString &server, const QString &tool, bool enabled)
{
    QStringList &tools = m_disabledTools[server];
    tools.removeAll(tool);
    if (!enabled)
        tools.append(tool);
    if (tools.isEmpty())
        m_disabledTools.remove(server);
    savePreferences();
    refresh();
}

McpToolListModel *McpRegistry::toolsOf(const QString &server)
{
    const auto found = m_toolModels.find(server);
    return found != m_toolModels.end() ? found->second.data() : nullptr;
}

// MARK: - Editing mcp.json

QString McpRegistry::write(const McpConfigFile::Edit &edit)
{
    if (!edit.error.isEmpty())
        return edit.error;
    QDir().mkpath(QFileInfo(m_configPath).absolutePath());
    const QString failure = writeFileAtomically(m_configPath, edit.bytes);
    if (!failure.isEmpty())
        return QStringLiteral("mcp.json could not be written: ") + failure;
    reload();
    return QString();
}

bool McpRegistry::ensureConfigFile()
{
    if (QFileInfo::exists(m_configPath))
        return true;
    return write({QByteArray("{\n  \"mcpServers\": {}\n}\n"), QString()}).isEmpty();
}

QString McpRegistry::suggestedName(const QString &commandLineOrUrl) const
{
    QStringList taken;
    for (const McpServer *server : m_servers)
        taken.append(server->name());
    return McpConfigFile::suggestedName(commandLineOrUrl, taken);
}

QString McpRegistry::addServer(const QString &name, const QString &commandLineOrUrl)
{
    QString problem;
    const auto entry = McpConfigFile::entryFromText(commandLineOrUrl, &problem);
    if (!entry)
        return problem;
    const QString chosen
        = name.trimmed().isEmpty() ? suggestedName(commandLineOrUrl) : name.trimmed();
    return write(McpConfigFile::addServer(readConfig(), chosen, *entry));
}

QString McpRegistry::removeServer(const QString &name)
{
    return write(McpConfigFile::removeServer(readConfig(), name));
}

QString McpRegistry::setServerEnabled(const QString &name, bool enabled)
{
    return write(McpConfigFile::setDisabled(readConfig(), name, !enabled));
}

void McpRegistry::restartServer(const QString &name)
{
    if (McpServer *found = server(name); found && m_started && !found->config().disabled)
        startServer(found);
}

// MARK: - Calls and the end

QCoro::Task<McpToolOutput> McpRegistry::call(QString exposedName,
                                             ToolArguments arguments,
                                             McpCallStopPtr stop)
{
    const std::optional<ToolRef> ref = find(exposedName);
    if (!ref)
        co_return McpToolOutput{QStringLiteral("Error: No tool server offers %1 now.")
                                    .arg(exposedName),
                                {},
                                true};
    if (!isToolEnabled(ref->server, ref->tool.name))
        co_return McpToolOutput{QStringLiteral("Error: The tool %1 is switched off in Settings.")
                                    .arg(exposedName),
                                {},
                                true};
    QPointer<McpServer> owner = server(ref->server);
    const json object = McpToolText::arguments(arguments, ref->tool.inputSchema);
    co_return co_await owner->call(ref->tool.name, object, std::move(stop));
}

QCoro::Task<> McpRegistry::shutdown()
{
    m_shuttingDown = true;
    m_reread.stop();
    std::vector<QCoro::Task<>> stops;
    for (McpServer *server : std::as_const(m_servers))
        stops.push_back(server->stop());
    for (QCoro::Task<> &stop : stops)
        co_await stop;
}

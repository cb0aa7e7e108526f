#pragma once

#include "mcp/mcpserver.h"
#include "mcp/toolservermodels.h"

#include "core/records.h"

#include <QObject>
#include <QPointer>
#include <QTimer>
#include <QUrl>

#include <QCoroTask>

#include <map>
#include <optional>

class QFileSystemWatcher;

struct McpRegistryOptions
{
    // Empty: mcp.json in the app's configuration folder.
    QString configPath;
    // Where local servers' commands are looked for; absent: CommandSearch::searchFolders()
    // with the login shell's PATH.
    std::optional<QStringList> searchFolders;
    // How long after creation the servers start: the window's first frame should not share
    // the processor with three node processes starting up.
    std::chrono::milliseconds startDelay{500};
};

// The tool servers of mcp.json while the app runs. Reads the file (and again whenever it
// changes; a file that does not parse leaves the servers as they are and says why), starts
// each enabled server without holding up anything else, and offers their tools to the agent
// as "mcp__<server>__<tool>". Keeps which tools the user switched off and which always run
// without asking (in the preferences, besides the file's own alwaysAllow lists), and writes
// the file for Add, Remove and the server switch, keeping what it does not know.
class McpRegistry : public QObject
{
    Q_OBJECT
    Q_PROPERTY(McpServerListModel *servers READ serverModel CONSTANT)
    Q_PROPERTY(McpAlwaysAllowModel *alwaysAllowed READ alwaysAllowModel CONSTANT)
    Q_PROPERTY(QString configPath READ configPath CONSTANT)
    // For "Open mcp.json"; ensureConfigFile() makes the file first.
    Q_PROPERTY(QUrl configUrl READ configUrl CONSTANT)
    // Why mcp.json could not be read (the parser's message, line and column); empty when fine.
    Q_PROPERTY(QString configError READ configError NOTIFY configErrorChanged)
    Q_PROPERTY(bool hasConfigError READ hasConfigError NOTIFY configErrorChanged)
    // The tools offered to the model, and the rough tokens their definitions add to a request.
    Q_PROPERTY(int toolCount READ toolCount NOTIFY toolsChanged)
    Q_PROPERTY(int tokenEstimate READ tokenEstimate NOTIFY toolsChanged)

public:
    static inline const QString toolPrefix = QStringLiteral("mcp__");

    explicit McpRegistry(McpRegistryOptions options = {}, QObject *parent = nullptr);
    ~McpRegistry() override;

    McpServerListModel *serverModel() { return &m_serverModel; }
    McpAlwaysAllowModel *alwaysAllowModel() { return &m_alwaysAllowModel; }
    QString configPath() const { return m_configPath; }
    QUrl configUrl() const { return QUrl::fromLocalFile(m_configPath); }
    QString configError() const { return m_configError; }
    bool hasConfigError() const { return !m_configError.isEmpty(); }
    int toolCount() const { return int(m_offered.size()); }
    int tokenEstimate() const { return m_tokenEstimate; }

    // Add: a command line or an address, under the name given (empty: a suggested one).
    // Each returns why it could not be done, or an empty text.
    Q_INVOKABLE QString addServer(const QString &name, const QString &commandLineOrUrl);
    Q_INVOKABLE QString suggestedName(const QString &commandLineOrUrl) const;
    Q_INVOKABLE QString removeServer(const QString &name);
    Q_INVOKABLE QString setServerEnabled(const QString &name, bool enabled);
    Q_INVOKABLE void restartServer(const QString &name);
    Q_INVOKABLE void setToolEnabled(const QString &server, const QString &tool, bool enabled);
    // Revoke: the tool asks again. An entry of mcp.json is removed from the file too.
    Q_INVOKABLE QString revokeAlwaysAllow(const QString &server, const QString &tool);
    // The tools of one server (owned by the registry); nullptr for an unknown name.
    Q_INVOKABLE McpToolListModel *toolsOf(const QString &server);
    // Writes {"mcpServers": {}} when there is no file yet; false when it cannot.
    Q_INVOKABLE bool ensureConfigFile();
    // Reads mcp.json now (the watcher does it on every change).
    Q_INVOKABLE void reload();
    // "Delete All Data": every tool switched on again and nothing always allowed but what
    // mcp.json itself lists (the file is the user's and stays).
    void forgetPreferences();

    // For the agent.
    // The enabled tools of the ready servers, in the form of a chat request's "tools".
    nlohmann::json toolDefinitions() const { return m_definitions; }
    QStringList offeredToolNames() const { return m_offered; }
    static bool isServerToolName(const QString &name) { return name.startsWith(toolPrefix); }
    struct ToolRef
    {
        QString server;
        McpTool tool;
    };
    std::optional<ToolRef> find(const QString &exposedName) const;
    bool isAlwaysAllowed(const QString &exposedName) const;
    void allowAlways(const QString &server, const QString &tool);
    QCoro::Task<McpToolOutput> call(QString exposedName,
                                    ToolArguments arguments,
                                    McpCallStopPtr stop);
    McpServer *server(const QString &name) const;

    // Ends every server in order, side by side (the app's quit awaits this).
    QCoro::Task<> shutdown();

signals:
    void configErrorChanged();
    void toolsChanged();
    // A server's state or tools changed (the models follow).
    void serversChanged();
    // The folders local servers' commands are looked for in are known (asked once).
    void searchFoldersFound();

private:
    void startUp();
    QCoro::Task<> startServer(QPointer<McpServer> server);
    QCoro::Task<> retire(McpServer *server);
    void apply(const McpConfig &config);
    QString write(const McpConfigFile::Edit &edit);
    QByteArray readConfig() const;
    void watch();
    void setConfigError(const QString &error);
    void refresh();
    void loadPreferences();
    void savePreferences() const;
    bool isToolEnabled(const QString &server, const QString &tool) const;
    bool isAllowed(const QString &server, const QString &tool) const;

    McpRegistryOptions m_options;
    QString m_configPath;
    QList<McpServer *> m_servers; // in the file's order
    std::map<QString, QPointer<McpToolListModel>> m_toolModels;
    std::map<QString, std::pair<QString, QString>> m_exposed; // exposed name -> server, tool
    QStringList m_offered;                                    // exposed names, enabled
    nlohmann::json m_definitions = nlohmann::json::array();   // of the offered tools
    int m_tokenEstimate = 0;
    std::optional<QStringList> m_searchFolders;
    QMap<QString, QStringList> m_disabledTools; // by server
    QMap<QString, QStringList> m_allowed;       // by server, the user's "Always allow"
    QString m_configError;
    QFileSystemWatcher *m_watcher = nullptr;
    QTimer m_reread;
    bool m_started = false;
    bool m_findingFolders = false;
    bool m_shuttingDown = false;
    McpServerListModel m_serverModel;
    McpAlwaysAllowModel m_alwaysAllowModel;
};

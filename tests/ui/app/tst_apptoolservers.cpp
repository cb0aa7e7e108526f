// The application object and the tool servers: quitting ends them, "Delete All Data" forgets
// what the user chose for their tools but leaves mcp.json alone.
#include "mcp/stdiotransport.h"
#include "platform/preferences.h"
#include "ui/app/appmodel.h"

#include <QApplication>

#include "tests/mcp/mcpfixture.h"
#include "tests/support/storedstate.h"

using nlohmann::ordered_json;

namespace {

QString writeConfig(const ordered_json &servers)
{
    const QString path = QDir::home().filePath(QStringLiteral("mcp/mcp.json"));
    writeTestFile(path, QByteArray::fromStdString(ordered_json{{"mcpServers", servers}}.dump(2)));
    return path;
}

} // namespace

class AppToolServersTest : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        failOnUnexpectedWarnings();
        clearStoredState();
    }

    // The quit awaits the servers' orderly end: the process is gone before the app is.
    void quitEndsServers()
    {
        SKIP_WITHOUT_NODE();
        const QString path = writeConfig(
            {{"everything",
              {{"command", "node"},
               {"args", {Mcp::script("server-everything").toStdString(), "stdio"}}}}});
        AppModel app(ServerManagerOptions{}, McpRegistryOptions{path, Mcp::folders(), {}});
        McpRegistry *servers = app.toolServers();
        QTRY_VERIFY_WITH_TIMEOUT(servers->toolCount() > 0, 20000);
        const qint64 pid
            = static_cast<StdioTransport *>(servers->server("everything")->client()->transport())
                  ->processId();
        QVERIFY(pid > 0 && !processGone(pid));
        QCoro::waitFor(app.quit());
        QVERIFY(processGone(pid));
        QCOMPARE(servers->server("everything")->stateName(), "stopped");
    }

    // The user's "Always allow" and tool switches go; mcp.json, its own list included, stays.
    void deleteAllDataForgetsToolChoices()
    {
        const ordered_json entry
            = {{"command", "tovra-no-such-server"}, {"alwaysAllow", {"list_directory"}}};
        const QString path = writeConfig({{"files", entry}});
        const QByteArray file = readTestFile(path);
        AppModel app(ServerManagerOptions{}, McpRegistryOptions{path, {}, std::chrono::hours(1)});
        McpRegistry *servers = app.toolServers();
        servers->reload();
        servers->allowAlways("files", "read_text_file");
        servers->setToolEnabled("files", "write_file", false);
        QCOMPARE(roleTexts(*servers->alwaysAllowModel(), McpAlwaysAllowModel::ToolRole),
                 (QStringList{"list_directory", "read_text_file"}));
        app.agentState()->loadSavedSessions();
        QTRY_VERIFY(app.agentState()->sessionsLoaded());

        app.agentState()->resetAllData();
        QCOMPARE(roleTexts(*servers->alwaysAllowModel(), McpAlwaysAllowModel::ToolRole),
                 QStringList{"list_directory"});
        QVERIFY(!Preferences::string("toolServerAlwaysAllow").has_value());
        QVERIFY(!Preferences::string("toolServerDisabledTools").has_value());
        QCOMPARE(readTestFile(path), file);
    }
};

TOVRA_TEST_MAIN(AppToolServersTest, QApplication)
#include "tst_apptoolservers.moc"

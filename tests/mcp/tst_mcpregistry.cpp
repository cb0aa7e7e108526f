// mcp.json as users write it, the registry that runs its servers, and the lists Settings shows.
#include "mcp/mcpregistry.h"
#include "platform/preferencekeys.h"
#include "platform/preferences.h"
#include "tests/mcp/mcpfixture.h"

#include <QAbstractItemModelTester>

using nlohmann::json;
using nlohmann::ordered_json;

namespace {

const QByteArray edited
    = "{\n  \"mcpServers\": {\n    \"files\": {\"command\": \"npx\", \"args\": [\"-y\", \"pkg\"], "
      "\"alwaysAllow\": [\"read\"], \"note\": \"mine\"}\n  },\n  \"theme\": \"dark\"\n}\n";

QString configPath()
{
    return QDir::home().filePath(QStringLiteral("mcp/mcp.json"));
}

void writeConfig(const ordered_json &servers)
{
    QVERIFY(writeTestFile(configPath(),
                          QByteArray::fromStdString(ordered_json{{"mcpServers", servers}}.dump(2))));
}

ordered_json everything(ordered_json extra = ordered_json::object())
{
    extra["command"] = "node";
    extra["args"] = {Mcp::script("server-everything").toStdString(), "stdio"};
    return extra;
}

QStringList column(const QAbstractItemModel &model, const QByteArray &role)
{
    return roleTexts(model, model.roleNames().key(role));
}

} // namespace

class McpRegistryTest : public QObject
{
    Q_OBJECT

private slots:
    void init() { failOnUnexpectedWarnings(); }

    void parse_data()
    {
        columns<QByteArray, QString, QStringList>("file", "error", "problems");
        addRow("empty file", QByteArray("\n"), "", QStringList{});
        addRow(
            "does not parse",
            QByteArray("{\"mcpServers\": {\"a\": {\"command\": \"x\",}}}"),
            "mcp.json: parse error at line 1, column 38: syntax error while parsing object key - "
            "unexpected '}'; expected string literal",
            QStringList{});
        addRow("cut short",
               QByteArray("{\n  \"mcpServers\": {\n    \"a\": {\"command\": \"x\"\n  }\n"),
               "mcp.json: parse error at line 5, column 1: syntax error while parsing object - "
               "unexpected end of input; expected '}'",
               QStringList{});
        addRow("not an object",
               QByteArray("[]"),
               "mcp.json: the file must hold one object, {\"mcpServers\": {...}}.",
               QStringList{});
        addRow("entries that cannot start",
               QByteArray("{\"mcpServers\": {\"a\": {}, \"b\": {\"url\": \"https://h/mcp\", "
                          "\"command\": \"x\"}, "
                          "\"c\": {\"type\": \"sse\", \"url\": \"https://h/sse\"}, \"d\": 3, "
                          "\"e\": {\"url\": \"https://h/mcp\"}}}"),
               "",
               QStringList{"The entry needs a \"command\" or a \"url\".",
                           "The entry has both a \"command\" and a \"url\"; keep one.",
                           "The older HTTP+SSE transport is not supported; give the server's "
                           "Streamable HTTP address.",
                           "The entry is not an object.",
                           ""});
    }
    void parse()
    {
        const auto [file, error, problems]
            = fetch<QByteArray, QString, QStringList>("file", "error", "problems");
        const McpConfig config = McpConfigFile::parse(file);
        QCOMPARE(config.error, error);
        QStringList found;
        for (const McpServerConfig &server : config.servers)
            found.append(server.problem);
        QCOMPARE(found, problems);
    }

    void fields()
    {
        const McpConfig config
            = McpConfigFile::parse("{\"mcpServers\": {\"s\": {\"command\": \"uvx\", \"args\": "
                                   "[\"mcp-server-git\", \"--repository\", \"/my repo\"], "
                                   "\"env\": {\"TOKEN\": \"t\", \"LEVEL\": 2}, \"cwd\": \"/tmp\", "
                                   "\"disabled\": true, \"timeout\": 1.5, "
                                   "\"alwaysAllow\": [\"a\"], \"autoApprove\": [\"b\", \"a\"]}}}");
        const McpServerConfig &server = config.servers.first();
        QCOMPARE(server.commandLine(), "uvx mcp-server-git --repository \"/my repo\"");
        QCOMPARE(server.env, (QMap<QString, QString>{{"TOKEN", "t"}, {"LEVEL", "2"}}));
        QCOMPARE(server.cwd, "/tmp");
        QVERIFY(server.disabled);
        QCOMPARE(server.timeout(), std::chrono::milliseconds(1500));
        QCOMPARE(server.alwaysAllow, (QStringList{"a", "b"}));
        QCOMPARE(McpConfigFile::parse("{\"mcpServers\": {\"s\": {\"url\": \"https://h\"}}}")
                     .servers.first()
                     .timeout(),
                 std::chrono::milliseconds(60000));
    }

    // Every edit keeps what it does not touch: other keys, the order, keys this app does not know.
    void edits_data()
    {
        columns<int, QString>("edit", "result");
        addRow("add",
               0,
               "{\"mcpServers\":{\"files\":{\"command\":\"npx\",\"args\":[\"-y\",\"pkg\"],"
               "\"alwaysAllow\":[\"read\"],\"note\":\"mine\"},\"web\":{\"url\":\"https://h/"
               "mcp\"}},\"theme\":\"dark\"}");
        addRow(
            "disable",
            1,
            "{\"mcpServers\":{\"files\":{\"command\":\"npx\",\"args\":[\"-y\",\"pkg\"],"
            "\"alwaysAllow\":[\"read\"],\"note\":\"mine\",\"disabled\":true}},\"theme\":\"dark\"}");
        addRow("revoke",
               2,
               "{\"mcpServers\":{\"files\":{\"command\":\"npx\",\"args\":[\"-y\",\"pkg\"],"
               "\"alwaysAllow\":[],\"note\":\"mine\"}},\"theme\":\"dark\"}");
        addRow("remove", 3, "{\"mcpServers\":{},\"theme\":\"dark\"}");
    }
    void edits()
    {
        const auto [edit, result] = fetch<int, QString>("edit", "result");
        const McpConfigFile::Edit done
            = edit == 0   ? McpConfigFile::addServer(edited, "web", {{"url", "https://h/mcp"}})
              : edit == 1 ? McpConfigFile::setDisabled(edited, "files", true)
              : edit == 2 ? McpConfigFile::removeAlwaysAllow(edited, "files", "read")
                          : McpConfigFile::removeServer(edited, "files");
        QCOMPARE(done.error, "");
        QCOMPARE(QString::fromStdString(ordered_json::parse(done.bytes.toStdString()).dump()),
                 result);
        QCOMPARE(McpConfigFile::setDisabled(McpConfigFile::setDisabled(edited, "files", true).bytes,
                                            "files",
                                            false)
                     .bytes,
                 QByteArray::fromStdString(ordered_json::parse(edited.toStdString()).dump(2)
                                           + '\n'));
        QCOMPARE(McpConfigFile::addServer(edited, "files", {}).error,
                 "A server named files is already there.");
        QCOMPARE(
            McpConfigFile::removeServer("{", "files").error,
            "mcp.json cannot be changed while it does not parse: parse error at line 1, column 2: "
            "syntax "
            "error while parsing object key - unexpected end of input; expected string literal");
    }

    void addText_data()
    {
        columns<QString, QString, QString>("text", "entry", "name");
        addRow("command line",
               "npx -y @modelcontextprotocol/server-filesystem \"/tmp/my files\"",
               "{\"command\":\"npx\",\"args\":[\"-y\",\"@modelcontextprotocol/"
               "server-filesystem\",\"/tmp/my files\"]}",
               "filesystem");
        addRow("address",
               " https://tools.example/mcp ",
               "{\"url\":\"https://tools.example/mcp\"}",
               "tools.example");
        addRow("taken name",
               "uvx mcp-server-git",
               "{\"command\":\"uvx\",\"args\":[\"mcp-server-git\"]}",
               "git-2");
        addRow(
            "nothing",
            "  ",
            "Enter a command line (npx -y @modelcontextprotocol/server-filesystem ~/Documents) or "
            "an address (https://server.example/mcp).",
            "server");
    }
    void addText()
    {
        const auto [text, entry, name] = fetch<QString, QString, QString>("text", "entry", "name");
        QString problem;
        const auto made = McpConfigFile::entryFromText(text, &problem);
        QCOMPARE(made ? QString::fromStdString(made->dump()) : problem, entry);
        QCOMPARE(McpConfigFile::suggestedName(text, {"git"}), name);
    }

    void names_data()
    {
        columns<QString, QString, QString>("server", "tool", "name");
        addRow("plain", "files", "read_file", "mcp__files__read_file");
        addRow("characters replaced", "my server", "tool.v2/é", "mcp__my_server__tool_v2__");
        addRow("at most 64", "server", QString(80, u't'), "mcp__server__" + QString(51, u't'));
        addRow("taken", "files", "read-file", "mcp__files__read-file_2");
        addRow("taken and long",
               "server",
               QString(80, u'x'),
               "mcp__server__" + QString(49, u'x') + "_2");
    }
    void names()
    {
        const auto [server, tool, name]
            = fetch<QString, QString, QString>("server", "tool", "name");
        QCOMPARE(McpToolText::exposedName(server,
                                          tool,
                                          {"mcp__files__read-file",
                                           "mcp__server__" + QString(51, u'x')}),
                 name);
    }

    // The life of the servers of one file: started without waiting, their states, the switches,
    // the always-allow list, a file that does not parse, the file changed under the app.
    void registry()
    {
        SKIP_WITHOUT_NODE();
        writeConfig({{"everything", everything({{"alwaysAllow", {"echo"}}})},
                     {"ghost", {{"command", "tovra-no-such-server"}}},
                     {"off", everything({{"disabled", true}})},
                     {"mute", {{"command", "sleep"}, {"args", {"600"}}, {"timeout", 1}}}});
        McpRegistry registry({configPath(), QStringList{"/nowhere", "/usr/bin", "/bin"}, {}});
        QAbstractItemModelTester servers(registry.serverModel(),
                                         QAbstractItemModelTester::FailureReportingMode::QtTest);
        QAbstractItemModelTester allowed(registry.alwaysAllowModel(),
                                         QAbstractItemModelTester::FailureReportingMode::QtTest);
        QCOMPARE(registry.serverModel()->rowCount(), 0); // nothing read before the event loop runs
        QTRY_COMPARE_WITH_TIMEOUT(column(*registry.serverModel(), "state"),
                                  (QStringList{"ready", "failed", "disabled", "failed"}),
                                  20000);
        QCOMPARE(column(*registry.serverModel(), "stateText"),
                 (QStringList{
                     "Ready \u2014 13 tools",
                     "Failed: tovra-no-such-server not found. Searched: /nowhere, /usr/bin, /bin",
                     "Disabled",
                     "Failed: mute did not answer initialize within 1 second."}));
        McpToolListModel *tools = registry.toolsOf("everything");
        QAbstractItemModelTester toolTester(tools,
                                            QAbstractItemModelTester::FailureReportingMode::QtTest);
        QCOMPARE(column(*tools, "exposedName").first(), "mcp__everything__echo");
        QVERIFY(registry.offeredToolNames().contains("mcp__everything__get-tiny-image"));
        const int tokens = registry.tokenEstimate();
        QVERIFY(tokens > 500);

        registry.setToolEnabled("everything", "get-env", false);
        QCOMPARE(registry.toolCount(), 12);
        QVERIFY(registry.tokenEstimate() < tokens);
        QVERIFY(!registry.offeredToolNames().contains("mcp__everything__get-env"));
        QCOMPARE(Preferences::string(PreferenceKey::toolServerDisabledTools),
                 "{\"everything\":[\"get-env\"]}");

        registry.allowAlways("everything", "get-sum");
        QVERIFY(registry.isAlwaysAllowed("mcp__everything__echo")
                && registry.isAlwaysAllowed("mcp__everything__get-sum"));
        QCOMPARE(column(*registry.alwaysAllowModel(), "tool"), (QStringList{"echo", "get-sum"}));
        QCOMPARE(column(*registry.alwaysAllowModel(), "inConfigFile"),
                 (QStringList{"true", "false"}));
        QCOMPARE(registry.revokeAlwaysAllow("everything", "echo"), "");
        QVERIFY(!registry.isAlwaysAllowed("mcp__everything__echo"));
        QVERIFY(!readTestFile(configPath()).contains("\"echo\""));
        QCOMPARE(column(*registry.alwaysAllowModel(), "tool"), QStringList{"get-sum"});
        QCOMPARE(column(*registry.serverModel(), "state").first(),
                 "ready"); // only an approval list changed

        // A file that does not parse: the servers go on, the message says where.
        const qint64 pid
            = static_cast<StdioTransport *>(registry.server("everything")->client()->transport())
                  ->processId();
        QVERIFY(writeTestFile(configPath(), "{\"mcpServers\": {"));
        QTRY_COMPARE(registry.configError(),
                     "mcp.json: parse error at line 1, column 17: syntax error while parsing "
                     "object key - unexpected end of input; expected string literal");
        QCOMPARE(registry.addServer("x", "npx x"),
                 "mcp.json cannot be changed while it does not parse: parse error at "
                 "line 1, column 17: syntax error while parsing object key - unexpected end of "
                 "input; expected string literal");
        QCOMPARE(column(*registry.serverModel(), "state").first(), "ready");

        writeConfig({{"off", everything({{"disabled", true}})}});
        QTRY_COMPARE(column(*registry.serverModel(), "name"), QStringList{"off"});
        QVERIFY(!registry.hasConfigError());
        QTRY_VERIFY(processGone(pid));

        QCOMPARE(registry.setServerEnabled("off", true), "");
        QTRY_COMPARE_WITH_TIMEOUT(column(*registry.serverModel(), "stateText"),
                                  QStringList{"Ready \u2014 13 tools"},
                                  20000);
        QCOMPARE(registry.addServer("", "https://tools.example/mcp"), "");
        QCOMPARE(column(*registry.serverModel(), "name"), (QStringList{"off", "tools.example"}));
        QCOMPARE(registry.removeServer("tools.example"), "");
        QCOMPARE(registry.removeServer("tools.example"),
                 "mcp.json has no server named tools.example.");
        QCoro::waitFor(registry.shutdown());
    }
};

TOVRA_TEST_MAIN(McpRegistryTest, QCoreApplication)
#include "tst_mcpregistry.moc"

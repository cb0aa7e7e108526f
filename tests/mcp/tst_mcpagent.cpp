// Chat turns that use tool servers' tools: the stand-in engine asks for them, the user decides,
// the reference servers run them, and their results reach the engine's next request.
#include "agent/toolserverapproval.h"
#include "tests/agent/agentfixture.h"
#include "tests/mcp/mcpfixture.h"

#include <csignal>

using nlohmann::json;
using nlohmann::ordered_json;

namespace {

json toolCalls(const std::vector<std::pair<std::string, json>> &calls)
{
    std::string text;
    for (const auto &[name, arguments] : calls)
        text += "TOOL_CALL: " + json({{"name", name}, {"arguments", arguments}}).dump() + "\n";
    return {{"pieces", {text}}};
}

const json done = {{"pieces", {"Done."}}};

// A loop with the servers of an mcp.json written for the test, ready before the first turn.
struct ServerFixture : AgentFixture
{
    explicit ServerFixture(const ordered_json &servers)
    {
        const QString path = QDir::home().filePath(QStringLiteral("mcp/mcp.json"));
        writeTestFile(path, QByteArray::fromStdString(ordered_json{{"mcpServers", servers}}.dump()));
        registry = std::make_unique<McpRegistry>(McpRegistryOptions{path, Mcp::folders(), {}});
        manager->setToolServers(registry.get());
        ready = QTest::qWaitFor([&] { return registry->toolCount() > 0; }, 20000);
    }
    ~ServerFixture() { QCoro::waitFor(registry->shutdown()); }
    ToolServerApproval &approval() { return *manager->toolServerApproval(); }
    QString lastResults() const { return messages().at(messages().size() - 2).content; }

    std::unique_ptr<McpRegistry> registry;
    bool ready = false;
};

ordered_json files(const QString &folder)
{
    return {{"files",
             {{"command", "node"},
              {"args", {Mcp::script("server-filesystem").toStdString(), folder.toStdString()}}}}};
}

ordered_json everything()
{
    return {{"everything",
             {{"command", "node"},
              {"args", {Mcp::script("server-everything").toStdString(), "stdio"}}}}};
}

} // namespace

class McpAgentTest : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        failOnUnexpectedWarnings();
        SKIP_WITHOUT_NODE();
    }

    // The file's text reaches the engine once the user approves; a denial sends only that.
    void readFile_data()
    {
        columns<bool, QString>("approved", "result");
        addRow("approved", true, "The notes say hello.");
        addRow("denied", false, "Denied by user");
    }
    void readFile()
    {
        const auto [approved, result] = fetch<bool, QString>("approved", "result");
        const QString folder = QDir::home().filePath("notes");
        QVERIFY(writeTestFile(folder + "/notes.txt", "The notes say hello."));
        ServerFixture f(files(folder));
        QVERIFY(f.ready);
        f.engine.enqueue(
            json::array({toolCalls({{"mcp__files__read_text_file",
                                     {{"path", (folder + "/notes.txt").toStdString()}}}}),
                         done}));
        f.manager->send("What do my notes say?");
        QVERIFY(f.asked());
        QVERIFY(f.approval().isToolServerCall());
        QCOMPARE(f.approval().serverName(), "files");
        QCOMPARE(f.approval().toolName(), "read_text_file");
        QCOMPARE(f.approval().argumentsJson(), "{\n  \"path\": \"" + folder + "/notes.txt\"\n}");
        QVERIFY(f.approval().readOnlyHint() && f.approval().canAlwaysAllow());
        QVERIFY(!f.approval().description().isEmpty());
        f.state->resolveApproval(approved);
        QVERIFY(f.idle());

        const QString line = "Tool results:\n[mcp__files__read_text_file]: " + result;
        QCOMPARE(f.lastResults(), line);
        const json requests = f.engine.requests();
        QCOMPARE(AgentFixture::sent(requests.at(1)).last(), "user: " + line);
        const QString offered = QString::fromStdString(requests.at(0).at("tools").dump());
        QVERIFY(offered.contains("{\"function\":{\"description\":\"Read the complete contents of a "
                                 "file from the file system as text."));
        QVERIFY(offered.contains(
            "\"name\":\"mcp__files__read_text_file\",\"parameters\":{\"$schema\""));
        QVERIFY(f.manager->effectiveSystemPrompt().contains(", mcp__files__read_text_file, "));
    }

    // "Always allow" skips the question from then on; Revoke brings it back. A remote engine's
    // calls always ask, and "Always allow" is not offered there.
    void remembered()
    {
        const QString folder = QDir::home().filePath("remembered");
        QVERIFY(writeTestFile(folder + "/a.txt", "A"));
        ServerFixture f(files(folder));
        QVERIFY(f.ready);
        const json listing
            = toolCalls({{"mcp__files__list_directory", {{"path", folder.toStdString()}}}});
        f.engine.enqueue(json::array({listing, done, listing, done, listing, done}));
        f.manager->send("List it");
        QVERIFY(f.asked());
        f.approval().approveAlways();
        QVERIFY(f.idle());
        QCOMPARE(f.lastResults(), "Tool results:\n[mcp__files__list_directory]: [FILE] a.txt");
        QSignalSpy approvals(f.state.get(), &AgentState::pendingApprovalChanged);
        QVERIFY(f.turn("List it again"));
        QCOMPARE(approvals.count(), 0);
        QCOMPARE(roleTexts(*f.registry->alwaysAllowModel(), McpAlwaysAllowModel::ToolRole),
                 QStringList{"list_directory"});
        f.registry->revokeAlwaysAllow("files", "list_directory");
        QVERIFY(f.turn("And again", {true}));
        QCOMPARE(approvals.count(), 2);

        f.registry->allowAlways("files", "list_directory");
        RemoteClient remote;
        remote.setServer(f.engine.baseURL(), QString());
        remote.setModel("standin-small");
        f.manager->useRemote(&remote);
        f.engine.enqueue(json::array({listing, done}));
        f.manager->send("List it remotely");
        QVERIFY2(f.asked(), qPrintable(f.contents().join("|")));
        QVERIFY(!f.approval().canAlwaysAllow());
        f.approval().approveAlways(); // approves this call only
        QVERIFY(f.idle());
        QCOMPARE(f.lastResults(), "Tool results:\n[mcp__files__list_directory]: [FILE] a.txt");
        f.manager->useRemote(nullptr);
    }

    // Over Streamable HTTP; the picture stays in the chat and the model reads that it is there.
    // A model that sees also gets the picture with the results.
    void overHttp_data()
    {
        columns<bool>("sees");
        QTest::newRow("text-only model") << false;
        QTest::newRow("model that sees") << true;
    }

    void overHttp()
    {
        QFETCH(bool, sees);
        Mcp::EverythingOverHttp server;
        QVERIFY(server.listening);
        ServerFixture f(ordered_json{
            {"web",
             {{"url", server.url().toStdString()}, {"alwaysAllow", {"echo", "get-tiny-image"}}}}});
        QVERIFY(f.ready);
        f.sees = sees;
        f.engine.enqueue(json::array({toolCalls({{"mcp__web__echo", {{"message", "hello"}}},
                                                 {"mcp__web__get-tiny-image", json::object()}}),
                                      done}));
        QVERIFY(f.turn("Echo and show"));
        QCOMPARE(
            f.lastResults(),
            "Tool results:\n[mcp__web__echo]: Echo: hello\n[mcp__web__get-tiny-image]: Here's the "
            "image you requested:\n[Image: image/png, 3.9 KB, shown to the user in the chat]\n"
            "The image above is the MCP logo.");
        const QString picture = f.messages().at(f.messages().size() - 3).content;
        QVERIFY(picture.startsWith("data:image/png;base64,"));
        const QList<Attachment> kept = f.messages().at(f.messages().size() - 2).attachments;
        QCOMPARE(kept.size(), sees ? 1 : 0);
        const json sent = f.engine.requests().back()["messages"].back()["content"];
        QCOMPARE(sent.is_array(), sees);
        if (sees) {
            QCOMPARE(kept[0].name, "mcp__web__get-tiny-image.png");
            QCOMPARE(QString::fromStdString(sent[1]["image_url"]["url"].get<std::string>()),
                     picture);
        }
    }

    // The server dies during the call: the model hears so, and Settings shows it failed.
    void crashMidCall()
    {
        ServerFixture f(everything());
        QVERIFY(f.ready);
        f.registry->allowAlways("everything", "trigger-long-running-operation");
        f.engine.enqueue(json::array({toolCalls({{"mcp__everything__trigger-long-running-operation",
                                                  {{"duration", 20}, {"steps", 2}}}}),
                                      done}));
        const auto *transport = static_cast<StdioTransport *>(
            f.registry->server("everything")->client()->transport());
        const qint64 pid = transport->processId();
        f.manager->send("Run the long one");
        QTRY_COMPARE(f.engine.requests().size(), size_t(1));
        QTest::qWait(300);
        ::kill(pid_t(pid), SIGKILL);
        QVERIFY(f.idle());
        QCOMPARE(
            f.lastResults(),
            "Tool results:\n[mcp__everything__trigger-long-running-operation]: Error: The tool "
            "server everything stopped during the call: node stopped (signal 9).");
        QCOMPARE(roleTexts(*f.registry->serverModel(), McpServerListModel::StateTextRole),
                 QStringList{"Failed: node stopped (signal 9)."});
    }

    void resultLength_data()
    {
        columns<QString, QString>("result", "sent");
        const QString a(32768, u'a');
        addRow("32 KiB", a, a);
        addRow("one byte more", a + "b", a + "\u2026 (1 more bytes)");
        addRow("a character is never split",
               a.left(32767) + "\u00e9z",
               a.left(32767) + "\u2026 (3 more bytes)");
    }
    void resultLength()
    {
        QFETCH(QString, result);
        QTEST(AgentManager::shortenedServerToolResult(result), "sent");
    }
};

TOVRA_TEST_MAIN(McpAgentTest, QCoreApplication)
#include "tst_mcpagent.moc"

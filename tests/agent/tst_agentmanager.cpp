// Turns of the agent loop against the stand-in engine: the prompt, the history
// window, streaming into one row, the speed readout, failures and cancellation.
#include "tests/agent/agentfixture.h"
#include "tests/engine/enginetesthelpers.h"
#include "tests/support/testenvironment.h"

#include <QTcpServer>

using nlohmann::json;

Q_DECLARE_METATYPE(json)

namespace {

const QString toolInstruction
    = QStringLiteral("For explicit system actions only (open app, read/write file, etc.) output "
                     "exactly one line: TOOL_CALL: "
                     "{\"name\":\"toolname\",\"arguments\":{\"key\":\"value\"}}\n"
                     "Tools: list_files, read_file, write_file, delete_file, take_screenshot, "
                     "open_app, close_app, list_open_apps, "
                     "get_system_info, get_clipboard, set_clipboard\n"
                     "NEVER call tools to answer questions. NEVER include tool names, clipboard "
                     "contents, file paths, or system "
                     "info in a normal reply.");

const QString standinReply = "Hello from the stand-in engine.";

json pieces(int count, const char *piece, int delayMs)
{
    return {{"pieces", std::vector<std::string>(count, piece)}, {"line_delay_ms", delayMs}};
}

} // namespace

class AgentManagerTest : public QObject
{
    Q_OBJECT

private slots:
    void init() { failOnUnexpectedWarnings(); }

    void composedPrompt_data()
    {
        columns<QString, QString, QString>("ownPrompt", "userName", "style");
        columns<QString>("expectedHead");
        const QString n, b = AgentState::defaultSystemPrompt, ada = " The user's name is Ada.";
        addRow("nothing set", n, n, n, b);
        addRow("name and detailed", n, "Ada", "detailed", b + ada + " Be thorough and detailed.");
        addRow("concise without a name", n, n, "concise", b + " Be concise and direct.");
        addRow("balanced adds nothing", n, "Ada", "balanced", b + ada);
        addRow("empty name adds nothing", n, "", n, b);
        QTest::newRow("session's own prompt")
            << "Talk like a pirate."
            << "Ada"
            << "concise"
            << "Talk like a pirate." + ada + " Be concise and direct.";
        addRow("session's own empty prompt", "", "Ada", n, ada);
        addRow("session's own empty prompt, nothing else", "", n, n, "");
    }

    void composedPrompt()
    {
        const auto [ownPrompt, userName] = fetch<QString, QString>("ownPrompt", "userName");
        const auto [style, expectedHead] = fetch<QString, QString>("style", "expectedHead");
        AgentFixture f;
        if (!ownPrompt.isNull()) { // a first start has one session, the active one
            QList<ChatSession> sessions = f.state->chatSessions();
            sessions.first().systemPromptOverride = ownPrompt;
            f.state->setChatSessions(sessions);
        }
        if (!userName.isNull())
            Preferences::setString("userName", userName);
        if (!style.isNull())
            Preferences::setString("responseStyle", style);

        const QString expected
            = expectedHead + "\n\nHome: " + QDir::homePath() + u'\n' + toolInstruction;
        QCOMPARE(f.manager->effectiveSystemPrompt(), expected);
        // The request carries the prompt as composed when the turn started.
        QVERIFY(f.turn("Hi"));
        QCOMPARE(f.requestCount(), 1);
        QCOMPARE(AgentFixture::sent(f.engine.requests().at(0)).first(), "system: " + expected);
    }

    void refusedTurns_data()
    {
        columns<QString, bool>("text", "engineRunning");
        addRow("spaces and line breaks", " \n\t \u2028\u00A0", true);
        addRow("empty", QString(), true);
        addRow("engine not running", "Hello", false);
    }

    void refusedTurns()
    {
        const auto [text, engineRunning] = fetch<QString, bool>("text", "engineRunning");
        AgentFixture f;
        f.engineRunning = engineRunning;
        QSignalSpy loading(f.state.get(), &AgentState::isLoadingChanged);
        QVERIFY(f.turn(text));
        QVERIFY(f.messages().isEmpty());
        QCOMPARE(loading.count(), 0);
        QCOMPARE(f.requestCount(), 0);
        QCOMPARE(f.state->activeSession()->title, "New Chat");
    }

    void plainTurn()
    {
        AgentFixture f;
        f.state->setTemperature(0.25);
        f.state->setMaxTokens(77);
        // Which lines hide is the cleaner's own test; here, that the row shows its text.
        // Pieces further apart than a frame are each shown as they come.
        f.engine.enqueue(
            {{"pieces",
              {"Here", " you go.\nTool res", "ults: x\n  TOOL_CALL: not json\nDone", ".\n"}},
             {"line_delay_ms", 60}});
        QSignalSpy inserted(f.state->messageModel(), &QAbstractItemModel::rowsInserted);
        QSignalSpy removed(f.state->messageModel(), &QAbstractItemModel::rowsRemoved);
        QSignalSpy reset(f.state->messageModel(), &QAbstractItemModel::modelReset);
        QStringList shown;
        QList<bool> streaming;
        auto watcher = std::make_unique<QObject>();
        connect(f.state->messageModel(),
                &QAbstractItemModel::dataChanged,
                watcher.get(),
                [&](const QModelIndex &from, const QModelIndex &to) {
                    QCOMPARE(from.row(), 1); // every piece changes only the reply's row
                    QCOMPARE(to.row(), 1);
                    shown.append(from.data(MessageListModel::ContentRole).toString());
                });
        connect(f.state.get(), &AgentState::hasStreamingContentChanged, watcher.get(), [&] {
            streaming.append(f.state->hasStreamingContent());
        });

        f.manager->send("  Say hello  ");
        QVERIFY(f.manager->isBusy() && f.state->isLoading());
        QVERIFY(f.idle());
        watcher.reset();
        // While streaming, the row showed the cleaned text of everything so far; the broken
        // tool-call line gave no call.
        QCOMPARE(streaming, (QList<bool>{true, false})); // once at the first piece, once at the end
        QCOMPARE(shown.mid(0, 4),
                 (QStringList{"Here",
                              "Here you go.\nTool res",
                              "Here you go.\nDone",
                              "Here you go.\nDone."}));
        QCOMPARE(f.contents(), (QStringList{"  Say hello  ", "Here you go.\nDone."}));
        QCOMPARE(f.roles(), (QStringList{Role::user, Role::assistant}));
        QVERIFY(!f.messages().last().toolCalls && f.tools.calls.isEmpty());
        QCOMPARE(inserted.count(), 2);
        QCOMPARE(removed.count() + reset.count(), 0);
        QVERIFY(!f.state->isLoading() && !f.state->historyWasTrimmed());
        QVERIFY(!f.state->hasStreamingContent());

        QCOMPARE(f.requestCount(), 1);
        const json body = f.engine.requests().at(0);
        QCOMPARE(body.at("temperature").get<double>(), 0.25);
        QCOMPARE(body.at("max_tokens").get<int>(), 77);
        QCOMPARE(int(body.at("tools").size()), 14);
        QCOMPARE(AgentFixture::sent(body).at(1), "user:   Say hello  ");
        // The turn is saved: a store loaded afresh has it.
        const auto reloaded = f.reloaded();
        QCOMPARE(reloaded->messages().size(), 2);
        QCOMPARE(reloaded->messages().last().content, "Here you go.\nDone.");
        QCOMPARE(reloaded->chatSessions().first().title, "Say hello");

        // A reply whose every line would be hidden is still shown, without its tool-call line.
        f.engine.enqueue(
            {{"pieces", {"Tool results: all fine\n", "  TOOL_CALL: not json\n", "Dir: /tmp"}}});
        QVERIFY(f.turn("Status?"));
        QCOMPARE(f.messages().last().content, "Tool results: all fine\nDir: /tmp");
        QVERIFY(f.tools.calls.isEmpty());
    }

    // Pieces that come faster than frames are shown together, at most once a frame; the first
    // one at once, and the whole reply before the turn ends.
    void burstOfPieces()
    {
        AgentFixture f;
        f.engine.enqueue({{"repeat", {{"text", "w "}, {"count", 3000}}}});
        QElapsedTimer clock;
        QList<qint64> at;
        QStringList shown;
        const auto update
            = [&](const QModelIndex &row, const QModelIndex &, const QList<int> &roles) {
                  QVERIFY(!roles.contains(MessageListModel::RoleRole));
                  QVERIFY(!roles.contains(MessageListModel::ToolCallsRole));
                  at.append(clock.elapsed());
                  shown.append(row.data(MessageListModel::ContentRole).toString());
              };
        const auto connection
            = connect(f.state->messageModel(), &QAbstractItemModel::dataChanged, update);
        clock.start();
        QVERIFY(f.turn("Go"));
        disconnect(connection);
        QCOMPARE(shown.first(), "w");
        const QString whole = QStringList(3000, "w").join(' ');
        QCOMPARE(shown.last(), whole);
        QCOMPARE(f.messages().last().content, whole);
        QVERIFY2(shown.size() < 100, qPrintable(QString::number(shown.size())));
        // The final flush and the finished message may follow closer.
        for (qsizetype i = 1; i + 2 < at.size(); ++i)
            QVERIFY2(at[i] - at[i - 1] >= 15, qPrintable(QString::number(at[i] - at[i - 1])));
    }

    void servedContext_data()
    {
        columns<bool, QString>("known", "reply");
        addRow("known: the newest that fit go out", true, standinReply);
        addRow("unknown: the engine refuses",
               false,
               "Error: request (N tokens) exceeds the available context size (4096 tokens), "
               "try increasing it");
    }

    // The engine serves less than it was asked for (a model trained on 4,096 tokens); 19
    // messages of 900 characters (within the message window) do not fit, with the tools or
    // without.
    void servedContext()
    {
        QFETCH(bool, known);
        enginetest::setStartup(R"({"n_ctx_train":4096})");
        ServerManager server(enginetest::standinOptions());
        enginetest::run(server.startServer("/models/m.gguf", "M"));
        enginetest::setStartup({});
        QCOMPARE(server.contextSize(), 4096);
        AgentFixture f;
        const auto context = [&] { return known ? server.contextSize() : 0; };
        f.manager = std::make_unique<AgentManager>(f.state.get(),
                                                   EngineAccess{[&] { return server.isRunning(); },
                                                                [&] { return server.port(); },
                                                                context},
                                                   f.tools.runner());
        f.manager->setCompletionSoundCommand({});
        QList<Message> history;
        for (int i = 0; i < 19; ++i)
            history.append(
                Message::make(i % 2 ? Role::assistant : Role::user, QString(900, QChar(u'a' + i))));
        f.state->setMessages(history);
        f.state->syncActiveSession();
        QVERIFY(f.turn("Newest"));
        // The count depends on the prompt, which names the home folder.
        QTEST(QString(f.messages().last().content)
                  .replace(QRegularExpression("request \\(\\d+"), "request (N"),
              "reply");
        QCOMPARE(f.state->historyWasTrimmed(), known);
        enginetest::run(server.stopServer());
    }

    // The last 20 messages go out; system messages and images stay in the conversation but are never sent.
    void historyWindow_data()
    {
        // "extras": system messages and images among them
        columns<int, int, bool>("earlier", "extras", "trimmed");
        addRow("25 earlier", 25, 0, true);
        addRow("20 earlier", 20, 0, true);
        addRow("19 earlier", 19, 0, false);
        addRow("19 earlier with system messages and images", 19, 4, false);
        addRow("only an image earlier", 0, 1, false);
    }

    void historyWindow()
    {
        const auto [earlier, extras] = fetch<int, int>("earlier", "extras");
        AgentFixture f;
        QList<Message> history;
        QStringList expected{"system: " + f.manager->effectiveSystemPrompt()};
        for (int i = 0; i < earlier; ++i) {
            history.append(
                Message::make(i % 2 ? Role::assistant : Role::user, QString("message %1").arg(i)));
            expected.append(history.last().role + ": " + history.last().content);
        }
        expected.append("user: Newest");
        expected.remove(1, std::max<qsizetype>(0, expected.size() - 21));
        const QString extra[]
            = {"data:image/png;base64,iVBORw0KGgo=", "system", "data:image/jpeg;base64,/9j/4AAQ"};
        for (int i = 0; i < extras; ++i)
            history.insert(std::min<qsizetype>(history.size(), i * 3 + 1),
                           Message::make(i % 3 == 1 ? Role::system : Role::assistant, extra[i % 3]));
        f.state->setMessages(history);
        f.state->syncActiveSession();

        QVERIFY(f.turn("Newest"));
        QTEST(f.state->historyWasTrimmed(), "trimmed");
        QCOMPARE(AgentFixture::sent(f.engine.requests().at(0)), expected);
        QCOMPARE(f.messages().size(), history.size() + 2);
    }

    void failures_data()
    {
        // "scripts" null: nothing listens on the engine's port
        columns<json, QString, int>("scripts", "reply", "requests");
        const auto error = [](int status, const std::string &message) {
            return json{{"status", status},
                        {"body", json{{"error", {{"message", message}}}}.dump()}};
        };
        const json notJson = {{"status", 500}, {"body", "oops"}, {"content_type", "text/plain"}};
        const json unsupported = error(400, "tools unsupported"),
                   bare400 = {{"status", 400}, {"body", "{}"}}, fine = {{"pieces", {"Fine."}}};
        addRow("400 retried without tools", json{unsupported, fine}, "Fine.", 2);
        addRow("400 twice", json{unsupported, error(400, "bad request")}, "Error: bad request", 2);
        addRow("400 then 500", json{bare400, notJson}, "Error: Server error 500", 2);
        addRow("500 not retried", json::array({notJson}), "Error: Server error 500", 1);
        const json noMessage = {{"status", 500}, {"body", "{\"error\":{\"code\":1}}"}};
        addRow("500 without a message", json::array({noMessage}), "Error: Server error 500", 1);
        addRow("connection refused", json(), "Error: Connection refused", 0);
        // A reply the engine never finished keeps its text; its tool calls do not run.
        const json call = {{"index", 0}, {"function", {{"name", "get_system_info"}}}};
        addRow("cut short",
               json::array(
                   {{{"pieces", {"Half", " a rep"}}, {"tool_calls", {call}}, {"done", false}}}),
               "Error: The engine stopped before the reply was complete.\n\nHalf a rep",
               1);
    }

    void failures()
    {
        const auto [scripts, requests] = fetch<json, int>("scripts", "requests");
        AgentFixture f;
        QTcpServer closed; // a loopback port where nothing listens
        if (scripts.is_null() && closed.listen(QHostAddress::LocalHost, 0)) {
            f.portOverride = closed.serverPort();
            closed.close();
        } else {
            f.engine.enqueue(scripts);
        }
        QVERIFY(f.turn("Hi"));
        QCOMPARE(f.roles(), (QStringList{Role::user, Role::assistant}));
        QTEST(f.messages().last().content, "reply");
        QVERIFY(!f.state->isLoading());
        QVERIFY(!f.state->hasStreamingContent());
        QTEST(f.reloaded()->messages().last().content, "reply"); // failures are saved too
        const json bodies = f.engine.requests();
        QCOMPARE(int(bodies.size()), requests);
        if (requests > 0)
            QVERIFY(bodies.at(0).contains("tools"));
        if (requests == 2) {
            QVERIFY(!bodies.at(1).contains("tools"));
            QCOMPARE(bodies.at(1).at("messages"), bodies.at(0).at("messages"));
        }
    }

    // A turn stopped by the stop button, a new send, or a change of the shown
    // conversation, while it waits for the first piece, streams, waits for an
    // approval or runs a tool: what arrived stays in the session that asked, and
    // nothing of the turn reaches any session afterwards, in memory or saved. A store
    // destroyed while the turn waits for the user ends the turn; nothing runs.
    void stoppedTurn_data()
    {
        // "asking": the asking session afterwards, empty when it is gone
        columns<QString, QString, QStringList>("stage", "how", "asking");
        const QStringList partial{"One", "Partial"}, asked{"One", ""},
            next{"Next", standinReply}; // a stop leaves the asking session shown
        const QList<std::tuple<const char *, const char *, QStringList>> rows{
            {"before the first piece", "stop", QStringList{"One"} + next},
            {"before the first piece", "send", {"One", "Two", standinReply}},
            {"mid-reply", "stop", partial + next},
            {"mid-reply", "send", partial + QStringList{"Two", standinReply}},
            {"mid-reply", "select", partial},
            {"mid-reply", "new chat", partial},
            {"mid-reply", "delete", {}},
            {"mid-reply", "clear history", {}},
            {"mid-reply", "reset", {}},
            {"approval", "stop", asked + next},
            {"approval", "send", asked + QStringList{"Two", standinReply}},
            {"approval", "select", asked},
            {"approval", "new chat", asked},
            {"approval", "manager gone", asked},
            {"approval", "store gone", {}},
            {"tool", "stop", asked + next},
            {"tool", "select", asked},
            {"tool", "delete", {}},
        };
        for (const auto &[stage, how, asking] : rows)
            QTest::addRow("%s, %s", stage, how) << stage << how << asking;
    }

    void stoppedTurn()
    {
        const auto [stage, how] = fetch<QString, QString>("stage", "how");
        AgentFixture f;
        ChatSession other = ChatSession::make();
        other.messages
            = {Message::make(Role::user, "Earlier"), Message::make(Role::assistant, "Answer")};
        f.state->setChatSessions(QList<ChatSession>(f.state->chatSessions()) << other);
        const QUuid askingID = *f.state->activeSessionID();
        const json call = {{"pieces", {"TOOL_CALL: {\"name\":\"get_clipboard\"}"}}};
        if (stage == "before the first piece")
            f.engine.enqueue({{"pieces", {"Too late"}}, {"first_delay_ms", 3000}});
        else if (stage == "mid-reply")
            f.engine.enqueue(pieces(100, "Partial", 300));
        else if (stage == "approval")
            f.engine.enqueue(json::array({{{"pieces", {"TOOL_CALL: {\"name\":\"open_app\"}"}}}}));
        else
            f.engine.enqueue(call);
        f.tools.held = QStringList{"get_clipboard"};
        f.tools.cannedResults.insert("get_clipboard", "hello"); // the desktop stays untouched
        f.manager->send("One");
        if (stage == "mid-reply")
            QTRY_COMPARE_WITH_TIMEOUT(f.messages().last().content, "Partial", 20000);
        else if (stage == "approval")
            QVERIFY(f.asked());
        else if (stage == "tool")
            QTRY_COMPARE_WITH_TIMEOUT(f.tools.calls.size(), 1, 20000);
        else
            QTRY_COMPARE_WITH_TIMEOUT(f.requestCount(), 1, 20000);
        QVERIFY(f.state->isLoading());

        if (how == "stop") {
            f.manager->stop();
        } else if (how == "send") {
            f.manager->send("Two");
        } else if (how == "select") { // as the sidebar does
            f.state->setActiveSessionID(other.id);
            f.state->setMessages(other.messages);
        } else if (how == "new chat") {
            f.state->startNewChat();
        } else if (how == "delete") {
            f.state->setChatSessions({other});
            f.state->setActiveSessionID(other.id);
            f.state->setMessages(other.messages);
        } else if (how == "clear history") {
            f.state->setChatSessions({});
            f.state->startNewChat();
        } else if (how == "reset") {
            f.state->resetAllData();
        } else if (how == "store gone") {
            f.state.reset();
            QVERIFY(f.idle());
            QVERIFY(f.tools.calls.isEmpty());
            return;
        } else {
            f.manager.reset();
        }
        // Stopping shows at once, and a question of the stopped turn is answered "no".
        QVERIFY(!f.state->hasPendingApproval());
        if (how != "send")
            QVERIFY(!f.state->isLoading() && !(f.manager && f.manager->isBusy()));
        if (how == "manager gone")
            return;

        f.tools.release.start(0);
        if (stage == "tool")
            QTRY_COMPARE_WITH_TIMEOUT(f.tools.results.size(), 1, 20000);
        const QStringList shown = f.contents();
        // A later turn in the shown session is the only other request the engine gets.
        if (how == "send")
            QVERIFY(f.idle());
        else
            QVERIFY(f.turn("Next"));
        QCOMPARE(f.requestCount(), 2);
        QCOMPARE(f.tools.calls.size(), stage == "tool" ? 1 : 0);
        if (how != "send")
            QCOMPARE(f.contents(), shown + QStringList({"Next", standinReply}));
        QStringList history{"system: " + f.manager->effectiveSystemPrompt()};
        for (const Message &message : f.messages().first(f.messages().size() - 1)) {
            if (!message.content.isEmpty())
                history.append(message.role + ": " + message.content);
        }
        QCOMPARE(AgentFixture::sent(f.engine.requests().at(1)), history);

        QStringList stored;
        for (const ChatSession &session : f.state->chatSessions()) {
            if (session.id == askingID) {
                for (const Message &message : session.messages)
                    stored.append(message.content);
            }
        }
        QTEST(stored, "asking");
        QCOMPARE(f.reloaded()->chatSessions(), f.state->chatSessions());
        QCOMPARE(f.state->tokensPerSecond(), 0.0);
        QVERIFY(!f.state->hasStreamingContent());
    }

    // A thinking reply: its row thinks live with an empty answer, then keeps the thinking with
    // how long it took, through a restart; the engine's figures give the speed and the context
    // used. Switched off, every request asks the model not to think, the remote engine's too.
    void thinkingReply_data()
    {
        columns<json, bool, bool>("think", "allowed", "remote");
        const json deltas = {{"text", "hmm "}, {"count", 200}};
        addRow("engine's deltas", deltas, true, false);
        addRow("inline", json{{"text", "hmm "}, {"count", 200}, {"inline", true}}, true, false);
        addRow("opened in the prompt",
               json{{"text", "hmm "}, {"count", 200}, {"inline", true}, {"open", false}},
               true,
               false);
        addRow("remote engine", deltas, true, true);
        addRow("switched off", deltas, false, false);
        addRow("switched off, remote engine", deltas, false, true);
    }

    void thinkingReply()
    {
        const auto [think, allowed, remote] = fetch<json, bool, bool>("think", "allowed", "remote");
        AgentFixture f;
        RemoteClient client;
        client.setServer(f.engine.baseURL(), QString());
        client.setModel("standin-small");
        if (remote)
            f.manager->useRemote(&client);
        f.state->setThinkingEnabled(allowed);
        const json timings = {{"prompt_n", 40},
                              {"cache_n", 2000},
                              {"predicted_n", 201},
                              {"predicted_per_second", 33.5}};
        f.engine.enqueue(
            {{"think", think}, {"pieces", {"Hello."}}, {"line_delay_ms", 2}, {"timings", timings}});
        bool thoughtLive = false;
        auto watcher = std::make_unique<QObject>();
        connect(f.state->messageModel(),
                &QAbstractItemModel::dataChanged,
                watcher.get(),
                [&](const QModelIndex &row) {
                    thoughtLive = thoughtLive
                                  || (row.data(MessageListModel::IsThinkingRole).toBool()
                                      && row.data(MessageListModel::ContentRole) == QString());
                });
        QVERIFY(f.turn("Hi"));
        watcher.reset();
        QCOMPARE(thoughtLive, allowed);
        const QString thought = allowed ? QString("hmm ").repeated(200).trimmed() : QString();
        const Message reply = f.messages().last();
        QCOMPARE(reply.content, "Hello.");
        QCOMPARE(reply.reasoning, thought);
        QCOMPARE(reply.reasoningSeconds.value_or(0) > 0, allowed);
        QVERIFY(!f.state->messageModel()->index(1).data(MessageListModel::IsThinkingRole).toBool());
        QCOMPARE(f.state->tokensPerSecond(), 33.5);
        QCOMPARE(f.state->contextUsed(), 2241);
        const json body = f.engine.requests().at(0);
        QCOMPARE(QString::fromStdString(body.value("chat_template_kwargs", json()).dump()),
                 allowed ? "null" : "{\"enable_thinking\":false}");
        QCOMPARE(f.reloaded()->messages().last(), reply);
        f.state->startNewChat();
        QCOMPARE(f.state->contextUsed(), 0);
    }

    // The speed shows once streaming has lasted the warm-up, and stays for the reset
    // interval, also when the interval ends while a newer turn streams.
    void speedReadout()
    {
        AgentFixture f;
        QSignalSpy speed(f.state.get(), &AgentState::tokensPerSecondChanged);
        f.manager->setSpeedIntervals(std::chrono::hours(1), std::chrono::hours(1));
        f.engine.enqueue(pieces(10, "a", 10));
        QVERIFY(f.turn("Within the warm-up"));
        QCOMPARE(speed.count(), 0);

        f.manager->setSpeedIntervals(std::chrono::milliseconds(0), std::chrono::hours(1));
        f.engine.enqueue(pieces(10, "a", 20));
        QVERIFY(f.turn("Measured"));
        const double measured = f.state->tokensPerSecond();
        QVERIFY2(measured > 1.0 && measured < 1000.0, qPrintable(QString::number(measured)));

        f.manager->setSpeedIntervals(std::chrono::milliseconds(0), std::chrono::milliseconds(50));
        f.engine.enqueue(pieces(10, "a", 20));
        QVERIFY(f.turn("Reset"));
        QVERIFY(f.state->tokensPerSecond() > 0);
        QTRY_COMPARE_WITH_TIMEOUT(f.state->tokensPerSecond(), 0.0, 10000);

        f.engine.enqueue(pieces(10, "a", 20));
        QVERIFY(f.turn("First"));
        f.engine.enqueue(pieces(1000, "p", 20));
        f.manager->send("Second");
        // Long after the first turn's reset interval, the second keeps its readout.
        QTRY_VERIFY_WITH_TIMEOUT(f.messages().last().content.size() > 50, 20000);
        QVERIFY(f.state->isLoading() && f.state->tokensPerSecond() > 0);
        f.manager->stop();
        QCOMPARE(f.state->tokensPerSecond(), 0.0);
    }
};

TOVRA_TEST_MAIN(AgentManagerTest, QCoreApplication)
#include "tst_agentmanager.moc"

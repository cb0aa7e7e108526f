// Turns of the agent loop against the stand-in engine: the prompt, the history
// window, streaming into one row, the speed readout, failures and cancellation.
#include "agentfixture.h"
#include "replytext.h"
#include "testenvironment.h"

#include <QSignalSpy>
#include <QTcpServer>
#include <QtTest>

using nlohmann::json;

namespace {

const QString toolInstruction = QStringLiteral(
    "For explicit system actions only (open app, read/write file, etc.) output exactly one line: TOOL_CALL: "
    "{\"name\":\"toolname\",\"arguments\":{\"key\":\"value\"}}\n"
    "Tools: list_files, read_file, write_file, delete_file, take_screenshot, open_app, close_app, list_open_apps, "
    "get_system_info, get_clipboard, set_clipboard\n"
    "NEVER call tools to answer questions. NEVER include tool names, clipboard contents, file paths, or system "
    "info in a normal reply.");

const QString standinReply = QStringLiteral("Hello from the stand-in engine.");

QList<Message> alternatingMessages(int count)
{
    QList<Message> list;
    for (int i = 0; i < count; ++i)
        list.append(Message::make(i % 2 ? Role::assistant : Role::user, QStringLiteral("message %1").arg(i)));
    return list;
}

void setActiveSessionPrompt(AgentState &state, const std::optional<QString> &prompt)
{
    QList<ChatSession> sessions = state.chatSessions();
    for (ChatSession &session : sessions) {
        if (session.id == state.activeSessionID())
            session.systemPromptOverride = prompt;
    }
    state.setChatSessions(sessions);
}

// A port on loopback where nothing listens.
int closedPort()
{
    QTcpServer server;
    server.listen(QHostAddress::LocalHost, 0);
    return server.serverPort();
}

} // namespace

class AgentManagerTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY2(!StandinEngine::executable().isEmpty(), "STANDIN_ENGINE names the stand-in engine");
        QVERIFY(StandinEngine().isRunning());
    }

    void composedPrompt_data()
    {
        QTest::addColumn<bool>("hasOwnPrompt");
        QTest::addColumn<QString>("ownPrompt");
        QTest::addColumn<QString>("userName"); // null: absent
        QTest::addColumn<QString>("style");    // null: absent
        QTest::addColumn<QString>("expectedHead");
        const QString base = AgentState::defaultSystemPrompt;
        QTest::newRow("nothing set") << false << QString() << QString() << QString() << base;
        QTest::newRow("name and detailed")
            << false << QString() << QStringLiteral("Ada") << QStringLiteral("detailed")
            << base + QStringLiteral(" The user's name is Ada. Be thorough and detailed.");
        QTest::newRow("concise without a name") << false << QString() << QString() << QStringLiteral("concise")
                                                << base + QStringLiteral(" Be concise and direct.");
        QTest::newRow("balanced adds nothing")
            << false << QString() << QStringLiteral("Ada") << QStringLiteral("balanced")
            << base + QStringLiteral(" The user's name is Ada.");
        QTest::newRow("empty name adds nothing") << false << QString() << QStringLiteral("") << QString() << base;
        QTest::newRow("session's own prompt")
            << true << QStringLiteral("Talk like a pirate.") << QStringLiteral("Ada") << QStringLiteral("concise")
            << QStringLiteral("Talk like a pirate. The user's name is Ada. Be concise and direct.");
        QTest::newRow("session's own empty prompt")
            << true << QStringLiteral("") << QStringLiteral("Ada") << QString()
            << QStringLiteral(" The user's name is Ada.");
        QTest::newRow("session's own empty prompt, nothing else") << true << QStringLiteral("") << QString()
                                                                  << QString() << QString();
    }

    void composedPrompt()
    {
        QFETCH(bool, hasOwnPrompt);
        QFETCH(QString, ownPrompt);
        QFETCH(QString, userName);
        QFETCH(QString, style);
        QFETCH(QString, expectedHead);
        AgentFixture f;
        if (hasOwnPrompt)
            setActiveSessionPrompt(*f.state, ownPrompt);
        if (!userName.isNull())
            Preferences::setString(QStringLiteral("userName"), userName);
        if (!style.isNull())
            Preferences::setString(QStringLiteral("responseStyle"), style);

        const QString expected = expectedHead + QStringLiteral("\n\nHome: ") + QDir::homePath() + u'\n' + toolInstruction;
        QCOMPARE(f.manager->effectiveSystemPrompt(), expected);

        // The request carries the prompt as composed when the turn started.
        f.manager->send(QStringLiteral("Hi"));
        QTRY_VERIFY_WITH_TIMEOUT(!f.manager->isBusy(), 20000);
        const json requests = f.engine.requests();
        QCOMPARE(int(requests.size()), 1);
        const auto sent = AgentFixture::sentMessages(requests.at(0));
        QCOMPARE(sent.first(), qMakePair(QStringLiteral("system"), expected));
    }

    void refusedTurns_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("engineRunning");
        QTest::newRow("spaces and line breaks") << QStringLiteral(" \n\t \u2028\u00A0") << true;
        QTest::newRow("empty") << QString() << true;
        QTest::newRow("engine not running") << QStringLiteral("Hello") << false;
    }

    void refusedTurns()
    {
        QFETCH(QString, text);
        QFETCH(bool, engineRunning);
        AgentFixture f;
        f.engineRunning = engineRunning;
        QSignalSpy loading(f.state.get(), &AgentState::isLoadingChanged);
        f.manager->send(text);
        QTRY_VERIFY_WITH_TIMEOUT(!f.manager->isBusy(), 20000);
        QVERIFY(f.messages().isEmpty());
        QCOMPARE(loading.count(), 0);
        QCOMPARE(int(f.engine.requests().size()), 0);
        QCOMPARE(f.state->activeSession()->title, QStringLiteral("New Chat"));
    }

    void plainTurn()
    {
        AgentFixture f;
        f.state->setTemperature(0.25);
        f.state->setMaxTokens(77);
        f.engine.enqueue({{"pieces", {"Hello", " from", " the", " stand-in", " engine."}}});
        MessageListModel *model = f.state->messageModel();
        QSignalSpy inserted(model, &QAbstractItemModel::rowsInserted);
        QSignalSpy removed(model, &QAbstractItemModel::rowsRemoved);
        QSignalSpy reset(model, &QAbstractItemModel::modelReset);
        QSignalSpy changed(model, &QAbstractItemModel::dataChanged);

        f.manager->send(QStringLiteral("  Say hello  "));
        QVERIFY(f.manager->isBusy());
        QVERIFY(f.state->isLoading());
        QTRY_VERIFY_WITH_TIMEOUT(!f.manager->isBusy(), 20000);

        QCOMPARE(f.roles(), (QStringList{Role::user, Role::assistant}));
        QCOMPARE(f.contents(), (QStringList{QStringLiteral("  Say hello  "), standinReply}));
        QVERIFY(!f.messages().last().toolCalls);
        QVERIFY(!f.state->isLoading());
        QCOMPARE(f.state->currentStreamingContent(), QString());
        QVERIFY(!f.state->historyWasTrimmed());

        // Two rows were added; every streamed piece changed only the reply's row.
        QCOMPARE(inserted.count(), 2);
        QCOMPARE(removed.count(), 0);
        QCOMPARE(reset.count(), 0);
        QVERIFY(changed.count() >= 5);
        for (const QList<QVariant> &signal : changed) {
            QCOMPARE(signal.at(0).toModelIndex().row(), 1);
            QCOMPARE(signal.at(1).toModelIndex().row(), 1);
        }

        const json requests = f.engine.requests();
        QCOMPARE(int(requests.size()), 1);
        const json &body = requests.at(0);
        QCOMPARE(body.at("temperature").get<double>(), 0.25);
        QCOMPARE(body.at("max_tokens").get<int>(), 77);
        QVERIFY(body.contains("tools"));
        QCOMPARE(int(body.at("tools").size()), 14);
        const auto sent = AgentFixture::sentMessages(body);
        QCOMPARE(sent.size(), 2);
        QCOMPARE(sent.at(1), qMakePair(Role::user, QStringLiteral("  Say hello  ")));

        // The turn is saved: a store loaded afresh has it.
        AgentState reloaded;
        QCOMPARE(reloaded.messages().size(), 2);
        QCOMPARE(reloaded.messages().last().content, standinReply);
        QCOMPARE(reloaded.chatSessions().first().title, QStringLiteral("Say hello"));
    }

    void streamedTextIsCleaned()
    {
        AgentFixture f;
        f.engine.enqueue({{"pieces",
                           {"Here", " you go.\nTool res", "ults:\n[read_", "file]: secret\nThe clipboard is ",
                            "empty\n--", "-\nDone", ".\n"}},
                          {"line_delay_ms", 0}});
        QStringList shown;
        connect(f.state->messageModel(), &QAbstractItemModel::dataChanged, this,
                [&](const QModelIndex &index) { shown.append(index.data(MessageListModel::ContentRole).toString()); });
        QStringList streamed;
        connect(f.state.get(), &AgentState::currentStreamingContentChanged, this,
                [&] { streamed.append(f.state->currentStreamingContent()); });
        f.manager->send(QStringLiteral("Go"));
        QTRY_VERIFY_WITH_TIMEOUT(!f.manager->isBusy(), 20000);

        // While streaming, the row showed the cleaned text of everything so far.
        QStringList expectedShown;
        for (const QString &soFar : std::as_const(streamed)) {
            if (!soFar.isEmpty())
                expectedShown.append(cleanForDisplay(soFar));
        }
        QCOMPARE(shown.mid(0, expectedShown.size()), expectedShown);
        QCOMPARE(streamed.size() - 1, 7); // the seven pieces, then emptied at the end
        QCOMPARE(f.messages().last().content, QStringLiteral("Here you go.\nDone."));
    }

    void everyLineHiddenStillShown()
    {
        AgentFixture f;
        f.engine.enqueue({{"pieces", {"Tool results: all fine\n", "  TOOL_CALL: not json\n", "Dir: /tmp"}}});
        f.manager->send(QStringLiteral("Status?"));
        QTRY_VERIFY_WITH_TIMEOUT(!f.manager->isBusy(), 20000);
        // The broken tool-call line gave no call and is left out; the rest shows.
        QCOMPARE(f.messages().last().content, QStringLiteral("Tool results: all fine\nDir: /tmp"));
        QVERIFY(f.tools.calls.isEmpty());
    }

    void historyWindow_data()
    {
        QTest::addColumn<int>("earlier");
        QTest::addColumn<int>("systemMessages");
        QTest::addColumn<int>("images");
        QTest::addColumn<bool>("trimmed");
        QTest::newRow("25 earlier") << 25 << 0 << 0 << true;
        QTest::newRow("20 earlier") << 20 << 0 << 0 << true;
        QTest::newRow("19 earlier") << 19 << 0 << 0 << false;
        QTest::newRow("19 earlier with system messages and images") << 19 << 2 << 3 << false;
        QTest::newRow("none earlier") << 0 << 0 << 1 << false;
    }

    void historyWindow()
    {
        QFETCH(int, earlier);
        QFETCH(int, systemMessages);
        QFETCH(int, images);
        QFETCH(bool, trimmed);
        AgentFixture f;
        QList<Message> history = alternatingMessages(earlier);
        for (int i = 0; i < systemMessages; ++i)
            history.insert(i * 2, Message::make(Role::system, QStringLiteral("system %1").arg(i)));
        const QString images64[] = {QStringLiteral("data:image/png;base64,iVBORw0KGgo="),
                                    QStringLiteral("data:image/jpeg;base64,/9j/4AAQ")};
        for (int i = 0; i < images; ++i)
            history.insert(std::min<qsizetype>(history.size(), i * 3 + 1),
                           Message::make(Role::assistant, images64[i % 2]));
        f.state->setMessages(history);
        f.state->syncActiveSession();

        f.manager->send(QStringLiteral("Newest"));
        QTRY_VERIFY_WITH_TIMEOUT(!f.manager->isBusy(), 20000);
        QCOMPARE(f.state->historyWasTrimmed(), trimmed);

        QStringList expected;
        for (const Message &m : alternatingMessages(earlier))
            expected.append(m.content);
        expected.append(QStringLiteral("Newest"));
        expected = expected.mid(std::max<qsizetype>(0, expected.size() - 20));
        const auto sent = AgentFixture::sentMessages(f.engine.requests().at(0));
        QStringList sentContents;
        for (qsizetype i = 1; i < sent.size(); ++i)
            sentContents.append(sent.at(i).second);
        QCOMPARE(sentContents, expected);
        // The images stay in the conversation.
        QCOMPARE(f.messages().size(), history.size() + 2);
    }

    void failures_data()
    {
        QTest::addColumn<QByteArray>("scripts");
        QTest::addColumn<QString>("reply");
        QTest::addColumn<int>("requests");
        const auto error = [](int status, const std::string &message) {
            return json{{"status", status}, {"body", json{{"error", {{"message", message}}}}.dump()}};
        };
        const json notJson = {{"status", 500}, {"body", "oops"}, {"content_type", "text/plain"}};
        const auto scripts = [](const json &list) { return QByteArray::fromStdString(list.dump()); };
        QTest::newRow("400 retried without tools")
            << scripts(json::array({error(400, "tools unsupported"), json{{"pieces", {"Fine."}}}}))
            << QStringLiteral("Fine.") << 2;
        QTest::newRow("400 twice") << scripts(json::array({error(400, "tools unsupported"), error(400, "bad request")}))
                                   << QStringLiteral("Error: bad request") << 2;
        QTest::newRow("400 then 500") << scripts(json::array({json{{"status", 400}, {"body", "{}"}}, notJson}))
                                      << QStringLiteral("Error: Server error 500") << 2;
        QTest::newRow("500 not retried") << scripts(json::array({notJson})) << QStringLiteral("Error: Server error 500")
                                         << 1;
        QTest::newRow("503 with a message") << scripts(json::array({error(503, "Loading model")}))
                                            << QStringLiteral("Error: Loading model") << 1;
    }

    void failures()
    {
        QFETCH(QByteArray, scripts);
        QFETCH(QString, reply);
        QFETCH(int, requests);
        AgentFixture f;
        f.engine.enqueue(json::parse(scripts.toStdString()));
        f.manager->send(QStringLiteral("Hi"));
        QTRY_VERIFY_WITH_TIMEOUT(!f.manager->isBusy(), 20000);
        QCOMPARE(f.contents(), (QStringList{QStringLiteral("Hi"), reply}));
        QVERIFY(!f.state->isLoading());
        QCOMPARE(f.state->currentStreamingContent(), QString());
        const json bodies = f.engine.requests();
        QCOMPARE(int(bodies.size()), requests);
        QVERIFY(bodies.at(0).contains("tools"));
        if (requests == 2) {
            QVERIFY(!bodies.at(1).contains("tools"));
            QCOMPARE(bodies.at(1).at("messages"), bodies.at(0).at("messages"));
        }
        // Failures are saved too.
        QCOMPARE(AgentState().messages().last().content, reply);
    }

    void refusedConnection()
    {
        AgentFixture f;
        f.portOverride = closedPort();
        f.manager->send(QStringLiteral("Anyone there?"));
        QTRY_VERIFY_WITH_TIMEOUT(!f.manager->isBusy(), 20000);
        QCOMPARE(f.roles(), (QStringList{Role::user, Role::assistant}));
        const QString reply = f.messages().last().content;
        QVERIFY2(reply.startsWith(QStringLiteral("Error: ")) && reply.size() > 7, qPrintable(reply));
        QVERIFY(!f.state->isLoading());
        QCOMPARE(f.manager->llmClient()->baseURL(), QStringLiteral("http://127.0.0.1:%1").arg(f.portOverride));
    }

    void stopBeforeFirstPiece()
    {
        AgentFixture f;
        f.engine.enqueue({{"pieces", {"Too late"}}, {"first_delay_ms", 3000}});
        f.manager->send(QStringLiteral("Hi"));
        QTRY_COMPARE_WITH_TIMEOUT(int(f.engine.requests().size()), 1, 20000);
        QVERIFY(f.state->isLoading());
        f.manager->stop();
        // Stopping shows at once; the aborted read ends later.
        QVERIFY(!f.state->isLoading());
        QVERIFY(!f.manager->isBusy());
        QCOMPARE(f.roles(), QStringList{Role::user});
        QTest::qWait(300);
        QCOMPARE(f.roles(), QStringList{Role::user});
        QCOMPARE(f.state->activeSession()->messages.size(), 1);
        QCOMPARE(AgentState().messages().size(), 1);
        QCOMPARE(f.state->tokensPerSecond(), 0.0);
    }

    void stopMidReply()
    {
        AgentFixture f;
        f.engine.enqueue({{"pieces", {"Partial", " answer", " that", " never", " ends", " at", " all"}},
                          {"line_delay_ms", 300}});
        f.manager->send(QStringLiteral("Hi"));
        QTRY_VERIFY_WITH_TIMEOUT(f.messages().last().content.startsWith(QStringLiteral("Partial")), 20000);
        f.manager->stop();
        QVERIFY(!f.state->isLoading());
        QCOMPARE(f.roles(), (QStringList{Role::user, Role::assistant}));
        QVERIFY(f.messages().last().content.startsWith(QStringLiteral("Partial")));
        const QString kept = f.messages().last().content;
        QTest::qWait(800);
        QCOMPARE(f.messages().last().content, kept);
        QCOMPARE(AgentState().messages().last().content, kept);
        QCOMPARE(f.state->tokensPerSecond(), 0.0);
        QCOMPARE(f.state->currentStreamingContent(), QString());
    }

    void newSendCancelsRunningTurn()
    {
        AgentFixture f;
        f.engine.enqueue({{"pieces", {"First", " reply", " goes", " on", " and", " on"}}, {"line_delay_ms", 300}});
        f.manager->send(QStringLiteral("One"));
        QTRY_VERIFY_WITH_TIMEOUT(f.messages().last().content.startsWith(QStringLiteral("First")), 20000);
        f.manager->send(QStringLiteral("Two"));
        QTRY_VERIFY_WITH_TIMEOUT(!f.manager->isBusy(), 20000);
        QCOMPARE(f.roles(), (QStringList{Role::user, Role::assistant, Role::user, Role::assistant}));
        QVERIFY(f.contents().at(1).startsWith(QStringLiteral("First")));
        QCOMPARE(f.contents().at(3), standinReply);
        QVERIFY(!f.state->isLoading());
        // The second request carried the partial first reply as history.
        const auto sent = AgentFixture::sentMessages(f.engine.requests().at(1));
        QCOMPARE(sent.size(), 4);
        QCOMPARE(sent.at(3).second, QStringLiteral("Two"));
    }

    void newSendBeforeFirstPiece()
    {
        AgentFixture f;
        f.engine.enqueue({{"pieces", {"Too late"}}, {"first_delay_ms", 3000}});
        f.manager->send(QStringLiteral("One"));
        QTRY_COMPARE_WITH_TIMEOUT(int(f.engine.requests().size()), 1, 20000);
        f.manager->send(QStringLiteral("Two"));
        QTRY_VERIFY_WITH_TIMEOUT(!f.manager->isBusy(), 20000);
        QTest::qWait(300);
        QCOMPARE(f.contents(), (QStringList{QStringLiteral("One"), QStringLiteral("Two"), standinReply}));
        QCOMPARE(AgentState().messages().size(), 3);
    }

    void speedReadout()
    {
        AgentFixture f;
        // A fast reply takes well under half a second: no speed is shown.
        QSignalSpy speed(f.state.get(), &AgentState::tokensPerSecondChanged);
        f.manager->send(QStringLiteral("Quick"));
        QTRY_VERIFY_WITH_TIMEOUT(!f.manager->isBusy(), 20000);
        QCOMPARE(f.state->tokensPerSecond(), 0.0);
        QCOMPARE(speed.count(), 0);

        // A reply streamed over about two seconds shows pieces per second.
        f.engine.enqueue({{"pieces", {"a", "b", "c", "d", "e", "f", "g", "h", "i", "j"}}, {"line_delay_ms", 100}});
        f.manager->send(QStringLiteral("Slow"));
        QTRY_VERIFY_WITH_TIMEOUT(!f.manager->isBusy(), 20000);
        const double measured = f.state->tokensPerSecond();
        QVERIFY2(measured > 0.5 && measured < 200.0, qPrintable(QString::number(measured)));

        // It stays a while after the reply, then goes back to 0.
        QTest::qWait(2500);
        QCOMPARE(f.state->tokensPerSecond(), measured);
        QTRY_COMPARE_WITH_TIMEOUT(f.state->tokensPerSecond(), 0.0, 10000);
    }

    void speedOfNewTurnNotReset()
    {
        AgentFixture f;
        f.engine.enqueue({{"pieces", {"a", "b", "c", "d", "e", "f", "g", "h"}}, {"line_delay_ms", 100}});
        f.manager->send(QStringLiteral("First"));
        QTRY_VERIFY_WITH_TIMEOUT(!f.manager->isBusy(), 20000);
        QVERIFY(f.state->tokensPerSecond() > 0);

        // A second turn that is still streaming when the first one's readout would go.
        json pieces = json::array();
        for (int i = 0; i < 40; ++i)
            pieces.push_back("p");
        f.engine.enqueue({{"pieces", pieces}, {"line_delay_ms", 100}});
        f.manager->send(QStringLiteral("Second"));
        QTest::qWait(6000);
        QVERIFY(f.state->isLoading());
        QVERIFY(f.state->tokensPerSecond() > 0);
        f.manager->stop();
        QCOMPARE(f.state->tokensPerSecond(), 0.0);
    }
};

TOVRA_TEST_MAIN(AgentManagerTest, QCoreApplication)
#include "tst_agentmanager.moc"

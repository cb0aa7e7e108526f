// The chat store: defaults, saved settings and sessions, titles, import and export; and its
// archive: the exact form, the reading rules, and writes that survive kills and failures.
#include "core/agentstate.h"
#include "core/archive.h"
#include "tests/support/loadedstate.h"
#include "tests/support/storedstate.h"
#include "tests/support/testenvironment.h"

#include <QCoroTask>

#include <nlohmann/json.hpp>

#include <csignal>
#include <sys/resource.h>

namespace {
const char *validSession
    = "{\"id\":\"6F9619FF-8B86-D011-B42D-00C04FC964FF\",\"title\":\"Trip\",\"messages\":["
      "{\"id\":\"A1B2C3D4-0000-4000-8000-000000000001\",\"role\":\"user\",\"content\":\"hi\","
      "\"timestamp\":12.5}],"
      "\"createdAt\":0,\"updatedAt\":1.25,\"isPinned\":false}";

// Every field the archive knows, with fixed ids, so that its exact form can be written down.
ChatSession richSession()
{
    const auto message = [](const char *id, const QString &role, const QString &content) {
        Message message = Message::make(role, content);
        message.id = QUuid(QString::fromLatin1(id));
        message.timestamp = {2.25};
        return message;
    };
    ChatSession session{QUuid(QStringLiteral("6F9619FF-8B86-D011-B42D-00C04FC964FF")),
                        QStringLiteral("\"q\" \\ é\n\t\x01"),
                        {message("A1B2C3D4-0000-4000-8000-000000000001", Role::user, "Open 🚀"),
                         message("A1B2C3D4-0000-4000-8000-000000000002", Role::assistant, ""),
                         message("A1B2C3D4-0000-4000-8000-000000000003", Role::toolResult, "r")},
                        {123456789.123456},
                        {-5.5},
                        QStringLiteral("Be terse."),
                        true};
    session.messages[1].toolCalls
        = QList<ToolCall>{{"call-1",
                           "open_app",
                           {{"name", "Safari"}, {"z", ""}},
                           ToolStatus::Completed,
                           "Opened"},
                          {"call-2", "delete_file", {}, ToolStatus::Denied, std::nullopt}};
    session.messages[1].reasoning = QStringLiteral("Plan:\n\"open\"");
    session.messages[1].reasoningSeconds = 12.345;
    session.messages[2].toolCalls = QList<ToolCall>{};
    return session;
}

ChatSession sessionWith(const QString &title, const QString &userText)
{
    ChatSession session = ChatSession::make();
    session.title = title;
    session.messages = {Message::make(Role::user, userText), Message::make(Role::assistant, "ok")};
    return session;
}
// Runs `write` with files limited to `bytes` (a disk that fills up), failing the write.
template<typename Write>
auto withFileSizeLimit(rlim_t bytes, Write write)
{
    rlimit previous{};
    getrlimit(RLIMIT_FSIZE, &previous);
    const rlimit small{bytes, previous.rlim_max};
    setrlimit(RLIMIT_FSIZE, &small);
    auto result = write();
    setrlimit(RLIMIT_FSIZE, &previous);
    return result;
}

// Runs an export or an import to its end.
AgentState::ChatsTransfer transfer(QCoro::Task<AgentState::ChatsTransfer> task)
{
    std::optional<AgentState::ChatsTransfer> outcome;
    auto waiter = [](QCoro::Task<AgentState::ChatsTransfer> t,
                     std::optional<AgentState::ChatsTransfer> *into) -> QCoro::Task<> {
        *into = co_await std::move(t);
    }(std::move(task), &outcome);
    if (!QTest::qWaitFor([&] { return outcome.has_value(); }, 10000))
        return {0, QStringLiteral("did not finish")};
    return *outcome;
}
} // namespace

class AgentStateTest : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        failOnUnexpectedWarnings();
        clearStoredState();
        std::signal(SIGXFSZ, SIG_IGN); // a write over the file size limit fails, as on a full disk
    }

    void firstStart()
    {
        AgentState state;
        QCOMPARE(state.chatSessions().size(), 1);
        const ChatSession &session = state.chatSessions().first();
        QCOMPARE(session.title, "New Chat");
        QVERIFY(session.messages.isEmpty());
        QCOMPARE(session.createdAt, session.updatedAt);
        QCOMPARE(state.activeSessionID(), session.id);
        QVERIFY(state.activeSession());
        QVERIFY(state.messages().isEmpty());
        QCOMPARE(
            state.systemPrompt(),
            "You are Tovra AI, a helpful AI assistant. Answer any question directly from your "
            "knowledge — coding, math, definitions, explanations, general knowledge. NEVER use "
            "tools to answer questions. NEVER create or guess file paths. NEVER call read_file "
            "unless the user gives you an exact file path like '/Users/someone/file.txt'. Only "
            "use system tools when the user explicitly says to open an app, delete a file, take "
            "a screenshot, or similar direct system commands.");
        QVERIFY(!state.autoLoadModelPath());
        QVERIFY(!state.isLoading());
        QVERIFY(state.thinkingEnabled() && state.showThinking());
        // New chats go first.
        QAbstractItemModelTester
            sessionsTester(state.sessionModel(),
                           QAbstractItemModelTester::FailureReportingMode::QtTest);
        state.startNewChat();
        const QUuid second = *state.activeSessionID();
        state.startNewChat();
        QCOMPARE(state.chatSessions().size(), 3);
        QCOMPARE(state.chatSessions().at(0).id, *state.activeSessionID());
        QCOMPARE(state.chatSessions().at(1).id, second);
    }

    void loadRules_data()
    {
        columns<QVariant, QVariant, qint64>("prompt", "temperature", "maxTokens");
        columns<QString, double, int>("expectedPrompt", "expectedTemperature", "expectedMaxTokens");
        const QString older1
            = "You are Tovra AI, an intelligent macOS assistant. You can control the system, take "
              "screenshots, manage files, and run applications. Always ask for user approval "
              "before taking any action. Be helpful, precise, and safety-conscious.";
        const QString older2
            = "You are Tovra AI, a helpful AI assistant. Answer coding questions, explain "
              "concepts, "
              "help with math, write code, and have general conversations. You also have macOS "
              "tools for system tasks like managing files, taking screenshots, and opening apps — "
              "but only use those tools when the user explicitly asks for a system action. For "
              "everything else, just answer directly.";
        const QString def = AgentState::defaultSystemPrompt;
        addRow("earlier default 1", QVariant(older1), QVariant(0.3), qint64(512), def, 0.3, 512);
        addRow("earlier default 2", QVariant(older2), QVariant(1.5), qint64(1), def, 1.5, 1);
        // 0 is the user's choice and stays; what no slider gives falls back or is clamped.
        QTest::newRow("own prompt, temperature 0")
            << QVariant("Talk like a pirate.") << QVariant(0.0) << qint64(0)
            << "Talk like a pirate." << 0.0 << 2048;
        QTest::newRow("empty prompt is used")
            << QVariant(QString()) << QVariant(-1.0) << qint64(-5) << QString() << 0.7 << 2048;
        addRow("absent prompt, too high", QVariant(), QVariant(3.5), qint64(100000), def, 2.0, 32768);
        addRow("not a number", QVariant(), QVariant("warm"), qint64(32768), def, 0.7, 32768);
    }

    void loadRules()
    {
        const auto [prompt, temperature, maxTokens]
            = fetch<QVariant, QVariant, qint64>("prompt", "temperature", "maxTokens");
        if (prompt.isValid())
            Preferences::setString("systemPrompt", prompt.toString());
        if (temperature.typeId() == QMetaType::QString)
            Preferences::setString("temperature", temperature.toString());
        else if (temperature.isValid())
            Preferences::setDouble("temperature", temperature.toDouble());
        Preferences::setInteger("maxTokens", maxTokens);
        AgentState state;
        QTEST(state.systemPrompt(), "expectedPrompt");
        QTEST(state.temperature(), "expectedTemperature");
        QTEST(state.maxTokens(), "expectedMaxTokens");
    }

    void savedStateComesBack()
    {
        {
            AgentState state;
            state.setSystemPrompt("Short answers.");
            state.setTemperature(0.25);
            state.setMaxTokens(300);
            state.setAutoLoadModelPath("/models/a.gguf");
            state.setAutoLoadModelName("A");
            state.setThinkingEnabled(false);
            state.setShowThinking(false);
            state.appendMessage(Message::make(Role::user, "Remember me"));
            state.syncActiveSession();
            state.startNewChat();
            state.syncActiveSession();
        }
        const auto state = loadedState();
        QCOMPARE(state->systemPrompt(), "Short answers.");
        QCOMPARE(state->temperature(), 0.25);
        QCOMPARE(state->maxTokens(), 300);
        QCOMPARE(state->autoLoadModelPath(), "/models/a.gguf");
        QVERIFY(!Preferences::boolean("thinkingEnabled", true) && !state->thinkingEnabled());
        QVERIFY(!Preferences::boolean("showThinking", true) && !state->showThinking());
        QCOMPARE(state->chatSessions().size(), 2);
        // The first stored session becomes active: the newest one, still empty.
        QCOMPARE(state->activeSessionID(), state->chatSessions().first().id);
        QVERIFY(state->messages().isEmpty());
        QCOMPARE(state->chatSessions().at(1).title, "Remember me");

        state->setAutoLoadModelPath(std::nullopt);
        state->saveSettings();
        QVERIFY(!Preferences::contains("autoLoadModelPath"));
        QVERIFY(Preferences::contains("autoLoadModelName"));
    }

    void titles_data()
    {
        columns<QString, QString>("firstUserText", "title");
        QTest::newRow("six words") << "  Plan   a trip to the  mountains next summer please "
                                   << "Plan a trip to the mountains";
        addRow("line break inside a word", "Hi\nthere friend", "Hi\nthere friend");
        addRow("tab is not a separator", "a\tb c", "a\tb c");
        addRow("only spaces", "    ", QString());
    }

    void titles()
    {
        const auto [firstUserText, title] = fetch<QString, QString>("firstUserText", "title");
        AgentState state;
        state.appendMessage(Message::make(Role::assistant, "Welcome"));
        state.syncActiveSession();
        QCOMPARE(state.activeSession()->title, "New Chat");
        state.appendMessage(Message::make(Role::user, firstUserText));
        state.appendMessage(Message::make(Role::user, "second message words"));
        state.syncActiveSession();
        QCOMPARE(state.activeSession()->title, title);
        QCOMPARE(state.activeSession()->messages, state.messages());
    }

    void renameAndPin()
    {
        AgentState state;
        state.appendMessage(Message::make(Role::user, "first words"));
        state.syncActiveSession();
        const Timestamp updated = state.activeSession()->updatedAt;
        state.renameActiveSession("   \n ");
        QCOMPARE(state.activeSession()->title, "first words");
        state.renameActiveSession("  Kept spaces  ");
        QCOMPARE(state.activeSession()->title, "  Kept spaces  ");
        QCOMPARE(state.activeSession()->updatedAt, updated);
        // A renamed session keeps its title through later syncs.
        state.appendMessage(Message::make(Role::user, "more"));
        state.syncActiveSession();
        QCOMPARE(state.activeSession()->title, "  Kept spaces  ");

        state.togglePin(uuidText(state.activeSession()->id));
        QVERIFY(state.activeSession()->isPinned);
        state.togglePin(QUuid::createUuid());
        state.togglePin(state.activeSession()->id);
        QVERIFY(!state.activeSession()->isPinned);
        QVERIFY(savesFinished(state));
        QCOMPARE(loadedState()->chatSessions().first().title, "  Kept spaces  ");
    }

    // A streamed piece replaces the text of the last message alone, its thinking kept, and
    // saves nothing (that it changes only that row of the list is tst_agentmanager's
    // plainTurn). The row thinks while a reply streams and its thinking has no duration yet.
    void replaceLastMessageContent()
    {
        AgentState state;
        QAbstractItemModelTester tester(state.messageModel(),
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        state.replaceLastMessageContent("ignored");
        QVERIFY(state.messages().isEmpty());

        state.appendMessage(Message::make(Role::user, "q"));
        ToolCall call{"c", "get_clipboard", {}, ToolStatus::Pending, {}};
        state.appendMessage(Message::make(Role::assistant, QString(), QList<ToolCall>{call}));
        state.saveSettings();
        QVERIFY(savesFinished(state));
        const QByteArray archived = *Preferences::data("chatSessions");
        const QModelIndex row = state.messageModel()->index(1);
        state.setIsLoading(true);
        state.setLastMessageReasoning("why", std::nullopt);
        QVERIFY(row.data(MessageListModel::IsThinkingRole).toBool());
        state.setLastMessageReasoning("why not", 1.5);
        QVERIFY(!row.data(MessageListModel::IsThinkingRole).toBool());
        const Message before = state.messages().last();
        state.replaceLastMessageContent("partial");
        const Message after = state.messages().last();
        QCOMPARE(after.content, "partial");
        QCOMPARE(row.data(MessageListModel::ReasoningRole).toString(), "why not");
        QCOMPARE(row.data(MessageListModel::ReasoningSecondsRole).toDouble(), 1.5);
        QCOMPARE(after.role, before.role);
        QCOMPARE(after.toolCalls, before.toolCalls);
        QVERIFY(after.id != before.id);
        QCOMPARE(state.activeSession()->messages, state.messages());
        QCOMPARE(*Preferences::data("chatSessions"), archived);
    }

    void resetAllData()
    {
        Preferences::setBoolean("onboardingComplete", true);
        Preferences::setString("userName", "Ada");
        Preferences::setString("responseStyle", "concise");
        Preferences::setBoolean("firstReplyCelebrated", true);
        Preferences::setBoolean("completionSoundEnabled", false);
        AgentState state;
        state.appendMessage(Message::make(Role::user, "hello"));
        state.syncActiveSession();
        state.startNewChat();
        state.setTemperature(1.2);
        state.setAutoLoadModelPath("/m.gguf");
        state.setThinkingEnabled(false);
        state.setShowThinking(false);
        state.resetAllData();
        QVERIFY(state.thinkingEnabled() && state.showThinking());
        QCOMPARE(state.chatSessions().size(), 1);
        QVERIFY(state.chatSessions().first().messages.isEmpty());
        QCOMPARE(state.activeSessionID(), state.chatSessions().first().id);
        QCOMPARE(state.temperature(), 0.7);
        QVERIFY(!state.autoLoadModelPath());
        for (const char *key : {"onboardingComplete",
                                "userName",
                                "responseStyle",
                                "autoLoadModelPath",
                                "firstReplyCelebrated",
                                "completionSoundEnabled"})
            QVERIFY2(!Preferences::contains(QString::fromLatin1(key)), key);
        QVERIFY(savesFinished(state));
        QCOMPARE(decodeSessions(*Preferences::data("chatSessions"))->size(), 1);
    }

    // An import adds each chat once, with identifiers of its own: a chat already here is
    // left out and counted, a nil or taken identifier is replaced. A failed import or export,
    // or one stopped by the quit, says why and changes nothing.
    void importAddsEachChatOnce()
    {
        QTemporaryDir dir;
        const QString file = dir.filePath("TovraAI_chats.json");
        QList<ChatSession> chats{sessionWith("One", "a"), sessionWith("Two", "b")};
        chats[1].messages[1].reasoning = "b?";
        chats[1].messages[1].reasoningSeconds = 0.5;
        QCOMPARE(writeChatsFile(chats, file), QString());
        AgentState state;
        const QUuid active = *state.activeSessionID();
        const auto imported = [&] {
            const auto outcome = transfer(state.importChats(file));
            return QString("%1 new, %2 here").arg(outcome.count).arg(outcome.alreadyHere);
        };
        QCOMPARE(imported(), "2 new, 0 here");
        QCOMPARE(imported(), "0 new, 2 here");
        QCOMPARE(state.chatSessions().mid(1), chats);
        chats[0].title = "One, renamed";
        chats[1].id = chats[1].messages[0].id = QUuid();
        chats[1].isPinned = true;
        QCOMPARE(writeChatsFile(chats + QList{chats[0]}, file), QString());
        QCOMPARE(imported(), "2 new, 1 here");
        const QList<ChatSession> &now = state.chatSessions();
        QVERIFY(now[3].id != chats[0].id && now[3].messages[1].id != chats[0].messages[1].id);
        QVERIFY(!now[4].id.isNull() && !now[4].messages[0].id.isNull());
        QCOMPARE(state.activeSessionID(), active);
        QVERIFY(savesFinished(state));
        QCOMPARE(decodeSessions(*Preferences::data("chatSessions")), state.chatSessions());

        QCOMPARE(transfer(state.importChats(dir.filePath("missing.json"))).error,
                 "No such file or directory");
        QFile big(dir.filePath("big.json"));
        QVERIFY(big.open(QIODevice::WriteOnly) && big.resize(largestChatsFile + 1));
        QCOMPARE(transfer(state.importChats(big.fileName())).error,
                 "the file is larger than 512 MB");
        const QString out = dir.filePath("out.json");
        QCOMPARE(transfer(state.exportChats(out)).count, 5);
        QCOMPARE(openChatsFile(out).sessions, state.chatSessions());

        const QByteArray long3MB = encodeSessions({sessionWith("Long", QString(3 << 20, u'x'))});
        StopFlag stop;
        stop.raise();
        QVERIFY(!decodeSessions(long3MB, &stop));
        state.stopFileWork();
        QCOMPARE(transfer(state.importChats(file)).error, "the app is quitting");
        state.startNewChat();
        QCOMPARE(transfer(state.exportChats(out)).error, "the app is quitting");
        // A write that cannot complete (here: the file size limit) leaves the file as it was.
        const QList<ChatSession> many(200, richSession());
        QCOMPARE(withFileSizeLimit(4096, [&] { return writeChatsFile(many, out); }),
                 "File too large");
        QCOMPARE(openChatsFile(out).sessions->size(), 5);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files).size(), 3);
    }

    // The saved sessions arrive after construction; until then nothing acts on them and
    // nothing is written. An archive kept inside the settings file moves to its data file.
    void sessionsArriveLater_data()
    {
        QTest::addColumn<bool>("inSettingsFile");
        QTest::newRow("data file") << false;
        QTest::newRow("inside the settings file") << true;
    }

    void sessionsArriveLater()
    {
        QFETCH(bool, inSettingsFile);
        const QList<ChatSession> saved{sessionWith(QStringLiteral("One"), QStringLiteral("a")),
                                       sessionWith(QStringLiteral("Two"), QStringLiteral("b"))};
        const QString dataFile = Preferences::dataFile(QStringLiteral("chatSessions"));
        if (inSettingsFile) {
            QSettings settings;
            settings.setValue(QStringLiteral("chatSessions"), encodeSessions(saved));
            settings.sync();
        } else {
            Preferences::setData(QStringLiteral("chatSessions"), encodeSessions(saved));
        }
        AgentState state;
        QSignalSpy loaded(&state, &AgentState::sessionsLoadedChanged);
        QVERIFY(!state.sessionsLoaded());
        state.startNewChat();
        state.saveSettings();
        QVERIFY(state.chatSessions().isEmpty());
        QVERIFY(!state.activeSessionID());
        QCOMPARE(transfer(state.importChats(dataFile)).error,
                 "the saved chats are still being read");

        QVERIFY(loaded.wait());
        QCOMPARE(state.chatSessions(), saved);
        QCOMPARE(state.activeSessionID(), saved.first().id);
        QCOMPARE(state.messages(), saved.first().messages);
        QCOMPARE(state.sessionArchive()->writeCount(), 0);
        QCOMPARE(QFile::exists(dataFile), !inSettingsFile);

        // A burst is one write of the newest state; finishing writes a waiting save at once.
        state.sessionArchive()->setCoalesceInterval(std::chrono::hours(1));
        for (const char *title : {"a", "b", "Renamed"})
            state.renameActiveSession(QString::fromLatin1(title));
        QCOMPARE(state.sessionArchive()->writeCount(), 0);
        QVERIFY(savesFinished(state));
        QCOMPARE(state.sessionArchive()->writeCount(), 1);
        QCOMPARE(openChatsFile(dataFile).sessions->first().title, QStringLiteral("Renamed"));
        QVERIFY(!QSettings().contains(QStringLiteral("chatSessions")));
        state.sessionArchive()->setCoalesceInterval(std::chrono::milliseconds(0));
        state.togglePin(state.activeSession()->id);
        QTRY_COMPARE(state.sessionArchive()->writeCount(), 2);
        QVERIFY(openChatsFile(dataFile).sessions->first().isPinned);
    }

    // A child that saves in a loop is killed at random moments: each time the archive reads
    // and holds every session the child had reported as written.
    void archiveSurvivesKill()
    {
        const quint32 seed = QRandomGenerator::global()->generate();
        qInfo("kill moments from seed %u", seed);
        QRandomGenerator random(seed);
        const QString dataFile = Preferences::dataFile(QStringLiteral("chatSessions"));
        QStringList reported;
        for (int round = 0; round < 30; ++round) {
            QProcess child;
            child.start(QStringLiteral(SAVING_CHILD));
            QVERIFY(child.waitForStarted());
            // The moment of the kill is this test's input, not a wait for something.
            QTest::qWait(int(random.bounded(50, 400)));
            child.kill();
            QVERIFY(child.waitForFinished());
            const QByteArray out = child.readAllStandardOutput();
            reported += QString::fromLatin1(out.first(out.lastIndexOf('\n') + 1))
                            .split(u'\n', Qt::SkipEmptyParts);
            if (reported.isEmpty())
                continue;
            const auto sessions = openChatsFile(dataFile).sessions;
            QVERIFY2(sessions, qPrintable(QStringLiteral("round %1").arg(round)));
            QStringList ids;
            for (const ChatSession &session : *sessions)
                ids.append(uuidText(session.id));
            for (const QString &id : std::as_const(reported))
                QVERIFY2(ids.contains(id), qPrintable(id));
        }
        QVERIFY(!reported.isEmpty());
    }

    // An archive that cannot be decoded is set aside before a save replaces it; one that cannot
    // be read at all, or whose copy cannot be written in full, is not written over in that
    // run. Each of these, and a save that fails, is told once, naming the files.
    void archiveProblemsAreTold_data()
    {
        columns<QString, QString>("archive", "problem");
        const QString kept = "The saved chats in FILE cannot be read";
        const QString notSaved
            = ". The file is left as it is, and the chats of this run are not saved.";
        addRow("damaged",
               "damaged",
               kept + ". They were copied to COPY, and the app starts without them.");
        addRow("a folder", "folder", kept + " (file to open is a directory)" + notSaved);
        addRow("an I/O error", "/proc/self/mem", kept + " (Input/output error)" + notSaved);
        addRow("copy over the size limit",
               "too big",
               kept + ", and their copy COPY could not be written (File too large)" + notSaved);
        addRow("save fails",
               "blocked",
               "The chats could not be saved to FILE (Filename refers to a directory). The next "
               "change tries again.");
    }

    void archiveProblemsAreTold()
    {
        const auto [archive, problem] = fetch<QString, QString>("archive", "problem");
        const QString dataFile = Preferences::dataFile("chatSessions");
        const auto removed = qScopeGuard([&] { QDir(dataFile).removeRecursively(); });
        const QByteArray damaged = archive == "too big"
                                       ? QByteArray(8192, 'x')
                                       : encodeSessions({sessionWith("Precious", "x")})
                                             .replace(",\"isPinned\":false", "");
        if (archive == "folder")
            QVERIFY(QDir().mkpath(dataFile));
        else if (archive.startsWith('/'))
            QVERIFY(QFile::link(archive, dataFile));
        else if (archive != "blocked")
            QVERIFY(writeTestFile(dataFile, damaged));
        const auto state = withFileSizeLimit(4096, [] { return loadedState(); });
        if (archive == "blocked")
            QVERIFY(QDir().mkpath(dataFile));
        QCOMPARE(state->chatSessions().first().title, "New Chat");
        state->appendMessage(Message::make(Role::user, "new"));
        state->syncActiveSession();
        QVERIFY(savesFinished(*state));
        const QString told = state->archiveError();
        state->clearArchiveError();
        state->saveSettings();
        QVERIFY(savesFinished(*state));
        QVERIFY(!state->hasArchiveError()); // told once
        const auto kept
            = QRegularExpression("chatSessions-unreadable-\\d{8}-\\d{6}\\.json").match(told);
        const QDir data(Paths::appDataDirectory());
        const QString copy = data.filePath(kept.captured());
        QCOMPARE(QString(told).replace(copy, "COPY"), QString(problem).replace("FILE", dataFile));
        QCOMPARE(kept.hasMatch() && readTestFile(copy) != damaged, archive == "too big");
        QCOMPARE(state->sessionArchive()->writeCount() > 0, archive == "damaged");
        QCOMPARE(readTestFile(dataFile) == damaged, archive == "too big");
        if (archive == "damaged") {
            // A second unreadable start in the same second keeps both copies.
            Preferences::setData("chatSessions", QByteArray("not json"));
            QVERIFY(loadedState()->sessionsLoaded());
            QCOMPARE(data.entryList({"chatSessions-unreadable-*"}).size(), 2);
        }
    }

    // Compact, in a fixed key order, escaped as JSON requires; absent fields are left out,
    // an empty list of tool calls is kept, a reply's thinking follows its tool calls. It
    // reads back to the same sessions.
    void exactForm()
    {
        const QList<ChatSession> sessions{richSession(), ChatSession::make()};
        QCOMPARE(decodeSessions(encodeSessions(sessions)), std::optional(sessions));
        const QByteArray bytes = encodeSessions({richSession()});
        // Written with ' for " to stay readable.
        QCOMPARE(
            bytes,
            QByteArray(
                "[{'id':'6F9619FF-8B86-D011-B42D-00C04FC964FF','title':'\\'q\\' \\\\ "
                "é\\n\\t\\u0001',"
                "'messages':[{'id':'A1B2C3D4-0000-4000-8000-000000000001','role':'user',"
                "'content':'Open 🚀','timestamp':2.25},{'id':'A1B2C3D4-0000-4000-8000-000000000002',"
                "'role':'assistant','content':'','timestamp':2.25,'toolCalls':[{'id':'call-1',"
                "'name':'open_app','arguments':{'name':'Safari','z':''},'status':'completed',"
                "'result':'Opened'},{'id':'call-2','name':'delete_file','arguments':{},"
                "'status':'denied'}],'reasoning':'Plan:\\n\\'open\\'','reasoningSeconds':12.345},"
                "{'id':'A1B2C3D4-0000-4000-8000-000000000003',"
                "'role':'tool_result','content':'r','timestamp':2.25,'toolCalls':[]}],"
                "'createdAt':123456789.123456,'updatedAt':-5.5,'systemPromptOverride':'Be terse.',"
                "'isPinned':true}]")
                .replace('\'', '"'));
        QCOMPARE(encodeSessions({}), QByteArray("[]"));
    }

    // Text that has no UTF-8 form is written as U+FFFD, and the document stays
    // valid for any JSON reader.
    void loneSurrogatesBecomeReplacementCharacters()
    {
        ChatSession session = ChatSession::make();
        session.title = QString(QChar(0xD800)) + QStringLiteral("a") + QChar(0xDC00)
                        + QStringLiteral("\u0007😀");
        const QByteArray bytes = encodeSessions({session});
        QVERIFY(nlohmann::json::accept(bytes.toStdString()));
        const auto decoded = decodeSessions(bytes);
        QVERIFY(decoded);
        QCOMPARE(decoded->first().title, QStringLiteral("\uFFFDa\uFFFD\u0007😀"));
        QVERIFY(bytes.contains("\\u0007"));
    }

    void readingRules_data()
    {
        columns<QByteArray, bool>("document", "readable");
        const QByteArray valid = validSession;
        auto replaced = [&](const char *from, const char *to) {
            return "[" + QByteArray(valid).replace(from, to) + "]";
        };
        QTest::newRow("valid") << "[" + valid + "]" << true;
        QTest::newRow("empty array") << QByteArray("[]") << true;
        QTest::newRow("unknown keys ignored")
            << replaced("\"isPinned\"", "\"extra\":[1,{}],\"isPinned\"") << true;
        QTest::newRow("thinking kept, null as absent")
            << replaced("\"timestamp\":12.5",
                        "\"timestamp\":12.5,\"reasoning\":\"hm\",\"reasoningSeconds\":null")
            << true;
        QTest::newRow("thinking not text")
            << replaced("\"timestamp\":12.5", "\"timestamp\":12.5,\"reasoning\":[\"hm\"]") << false;
        QTest::newRow("null prompt is absent")
            << replaced("\"isPinned\"", "\"systemPromptOverride\":null,\"isPinned\"") << true;
        QTest::newRow("lower-case id") << replaced("6F9619FF-8B86-D011-B42D-00C04FC964FF",
                                                   "6f9619ff-8b86-d011-b42d-00c04fc964ff")
                                       << true;
        QTest::newRow("integer date") << replaced("12.5", "12") << true;
        QTest::newRow("missing isPinned") << replaced(",\"isPinned\":false", "") << false;
        QTest::newRow("missing title") << replaced("\"title\":\"Trip\",", "") << false;
        QTest::newRow("null title") << replaced("\"Trip\"", "null") << false;
        QTest::newRow("string date") << replaced("\"createdAt\":0", "\"createdAt\":\"0\"") << false;
        addRow("bad id", replaced("6F9619FF-8B86-D011-B42D-00C04FC964FF", "not-a-uuid"), false);
        // QUuid would read the braced form; the archive holds ids only without braces.
        QTest::newRow("braced id") << replaced("6F9619FF-8B86-D011-B42D-00C04FC964FF",
                                               "{6F9619FF-8B86-D011-B42D-00C04FC964FF}")
                                   << false;
        QTest::newRow("pin as number") << replaced("\"isPinned\":false", "\"isPinned\":0") << false;
        QTest::newRow("status running")
            << replaced("\"timestamp\":12.5",
                        "\"timestamp\":12.5,\"toolCalls\":[{\"id\":\"x\",\"name\":\"n\","
                        "\"arguments\":{},\"status\":\"running\"}]")
            << false;
        QTest::newRow("argument not text")
            << replaced("\"timestamp\":12.5",
                        "\"timestamp\":12.5,\"toolCalls\":[{\"id\":\"x\",\"name\":\"n\","
                        "\"arguments\":{\"a\":1},\"status\":\"pending\"}]")
            << false;
        QTest::newRow("object, not array") << valid << false;
        QTest::newRow("truncated") << ("[" + valid).left(60) << false;
        QTest::newRow("garbage") << QByteArray("\xff\xfe\x00garbage", 10) << false;
        QTest::newRow("empty") << QByteArray() << false;
    }

    void readingRules()
    {
        QFETCH(QByteArray, document);
        QTEST(decodeSessions(document).has_value(), "readable");
    }

    void absentFieldsStayAbsent()
    {
        const QByteArray valid = validSession;
        const auto sessions
            = decodeSessions("["
                             + QByteArray(valid).replace("\"timestamp\":12.5",
                                                         "\"timestamp\":12.5,\"toolCalls\":null")
                             + "]");
        QVERIFY(sessions);
        const ChatSession &session = sessions->first();
        QCOMPARE(session.createdAt.toDateTime(), QDateTime(QDate(2001, 1, 1), QTime(0, 0), Qt::UTC));
        QVERIFY(!session.systemPromptOverride);
        QVERIFY(!session.messages.first().toolCalls); // and so not written (exactForm)
    }
};

TOVRA_TEST_MAIN(AgentStateTest, QCoreApplication)
#include "tst_agentstate.moc"

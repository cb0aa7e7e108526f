#include "agent/enginechoice.h"
#include "core/agentstate.h"
#include "engine/servermanager.h"
#include "ui/chat/chatcontroller.h"
#include "ui/chat/chatlogic.h"
#include "ui/chat/chatoperations.h"

#include "core/archive.h"
#include "platform/preferences.h"

#include "tests/engine/enginetesthelpers.h"
#include "tests/support/loadedstate.h"
#include "tests/support/testenvironment.h"

namespace {
Message message(const QString &role, const QString &content)
{
    return Message::make(role, content);
}

using Action = ChatController::Action;

QStringList roles(const QList<Message> &messages)
{
    QStringList out;
    for (const Message &m : messages)
        out << m.role + u':' + m.content;
    return out;
}
} // namespace

// The chat screen's rules: what may be sent, how names are shortened, what a dropped
// file puts in the box and the conversation cuts.
class ChatLogicTest : public QObject
{
    Q_OBJECT
    QTemporaryDir m_dir;

private slots:
    void init() { failOnUnexpectedWarnings(); }

    void submit_data()
    {
        columns<QString, bool, bool, bool>("text", "isLoading", "isRunning", "isStarting");
        columns<bool, Action>("canSubmit", "action");
        addRow("text, engine running", "Hi", false, true, false, true, Action::Send);
        addRow("padded text", "\n  Hi \n", false, true, false, true, Action::Send);
        addRow("blank", " \n\t \r\n", false, true, false, false, Action::Ignore);
        addRow("empty", "", false, false, false, false, Action::Ignore);
        addRow("while a reply is generated", "Hi", true, true, false, false, Action::Ignore);
        addRow("engine starting", "Hi", false, false, true, true, Action::Queue);
        addRow("no model loaded", "Hi", false, false, false, true, Action::Refuse);
    }

    void submit()
    {
        const auto [text, isLoading] = fetch<QString, bool>("text", "isLoading");
        const auto [isRunning, isStarting, canSubmit]
            = fetch<bool, bool, bool>("isRunning", "isStarting", "canSubmit");
        QCOMPARE(::canSubmit(text, isLoading), canSubmit);
        QTEST(ChatController::decide(text, isLoading, isRunning, isStarting), "action");
    }

    // Text submitted while the engine starts is sent once it runs; it stays in the box, no
    // longer queued, when the whole start (every retry) ends without an engine, or when
    // the user edits it first.
    void queuedText_data()
    {
        columns<QString, QString, QStringList>("startup", "edit", "sent");
        addRow("sent once running", R"({"health_delay_ms":300})", "", QStringList{"hello"});
        // Three attempts: direct file read, then a reduced context, then the advice.
        addRow("every retry fails", R"({"exit":{"signal":"SIGBUS"}})", "", QStringList{});
        addRow("edited first", R"({"health_delay_ms":300})", "hello there", QStringList{});
    }

    void queuedText()
    {
        const auto [startup, edit] = fetch<QString, QString>("startup", "edit");
        AgentState state;
        enginetest::setStartup(startup);
        const auto server = std::make_unique<ServerManager>(enginetest::standinOptions());
        EngineChoice engine(server.get(), nullptr);
        ChatController controller;
        controller.setState(&state);
        controller.setEngine(&engine);
        QStringList seen;
        connect(&controller, &ChatController::queuedTextReady, this, [&](const QString &text) {
            seen << text;
        });
        // isStarting drops after each attempt, yet the text waits for the last one.
        int drops = 0;
        connect(server.get(), &ServerManager::isStartingChanged, this, [&] {
            if (!server->isStarting() && !server->isRunning() && controller.isQueued())
                ++drops;
        });
        QSignalSpy ended(server.get(), &ServerManager::startEnded);

        server->startServer(m_dir.filePath("model.gguf"), "M");
        QVERIFY(server->isStarting());
        QCOMPARE(controller.submit(" hello "), Action::Queue);
        QVERIFY(controller.isQueued());
        if (!edit.isEmpty()) {
            controller.textEdited(" hello\n");
            QVERIFY(controller.isQueued());
            controller.textEdited(edit);
            QVERIFY(!controller.isQueued());
        }
        QVERIFY(ended.wait(15000));
        QTEST(seen, "sent");
        QVERIFY(!controller.isQueued());
        if (!server->isRunning())
            QCOMPARE(drops, 3); // one per attempt; the start ends only after the third
        QCOMPARE(controller.submit("next"), server->isRunning() ? Action::Send : Action::Refuse);
        QCoro::waitFor(server->stopServer());
        enginetest::setStartup({});
    }

    void sendWaitsForTheSessions()
    {
        Preferences::setData("chatSessions", encodeSessions({ChatSession::make()}));
        AgentState state;
        ChatController controller;
        controller.setState(&state);
        QCOMPARE(controller.submit("Hi"), Action::Ignore);
        QCOMPARE(controller.retry(), Action::Ignore);
        QTRY_VERIFY(state.sessionsLoaded());
        QCOMPARE(controller.submit("Hi"), Action::Refuse); // no engine
        Preferences::remove("chatSessions");
    }

    void conversationFlags()
    {
        AgentState state;
        state.startNewChat();
        state.setMessages({message("system", "s"), message("tool_result", "Tool results: x")});
        ChatController controller;
        controller.setState(&state);
        QVERIFY(!controller.hasTurns());
        QSignalSpy turns(&controller, &ChatController::hasTurnsChanged);
        QSignalSpy typing(&controller, &ChatController::isTypingChanged);
        state.appendMessage(message("user", "hi"));
        QVERIFY(controller.hasTurns());

        // Typing until the first piece, of the answer or of thinking that shows; later
        // pieces change nothing.
        state.setIsLoading(true);
        QVERIFY(controller.isTyping());
        state.appendMessage(message("assistant", ""));
        state.setLastMessageReasoning("Hmm", std::nullopt);
        QVERIFY(!controller.isTyping());
        state.setShowThinking(false);
        QVERIFY(controller.isTyping());
        for (int piece = 0; piece < 3; ++piece)
            state.setHasStreamingContent(true);
        QVERIFY(!controller.isTyping());
        QCOMPARE(typing.size(), 4);
        state.setMessages({});
        QVERIFY(!controller.hasTurns());
        QCOMPARE(turns.size(), 2);
    }

    // Short texts the screen derives: model names cut to four words, the speed and context
    // readouts ("!": the warning colour) and the thinking's heading.
    void shortTexts_data()
    {
        columns<QString, QString, QString>("kind", "text", "expected");
        addRow("four words unchanged", "model", "Llama 3.2 3B Instruct", "Llama 3.2 3B Instruct");
        addRow("five words", "model", "Qwen 2.5 7B Instruct Q4_K_M", "Qwen 2.5 7B Q4_K_M");
        addRow("six words", "model", "A B C D E F", "A B C F");
        addRow("one word", "model", "Phi", "Phi");
        addRow("empty", "model", "", "");
        addRow("speed rounds up", "speed", "99.6", "100 tok/s");
        addRow("context", "context", "3174 8192", "3.1k / 8k");
        addRow("context at 90%", "context", "7372 8192", "7.2k / 8k");
        addRow("context above 90%", "context", "7373 8192", "7.2k / 8k !");
        addRow("context size unknown", "context", "512 0", "512");
        addRow("nothing used", "context", "0 8192", "");
        addRow("tens and millions", "context", "10239 1048576", "10k / 1M");
        addRow("thinking", "thought", "live", "Thinking…");
        addRow("thought briefly", "thought", "0.4", "Thought for 1 second");
        addRow("thought", "thought", "12.5", "Thought for 13 seconds");
        addRow("duration unknown", "thought", "", "Thought for a while");
    }

    void shortTexts()
    {
        const auto [kind, text] = fetch<QString, QString>("kind", "text");
        const QStringList numbers = text.split(u' ');
        const int used = numbers.value(0).toInt(), size = numbers.value(1).toInt();
        const QString shown
            = kind == "model"   ? shortModelName(text)
              : kind == "speed" ? ChatLogic::speedText(text.toDouble())
              : kind == "context"
                  ? ChatLogic::contextText(used, size)
                        + (ChatLogic::isContextNearlyFull(used, size) ? " !" : "")
                  : ChatLogic::thinkingTitle(text == "live", text.isEmpty() ? QVariant() : text);
        QTEST(shown, "expected");
    }

    void attachment_data()
    {
        columns<QString, QByteArray, QString>("fileName", "bytes", "inputText");
        columns<QString>("expected");
        const auto row = [](const char *name,
                            const QByteArray &bytes,
                            const char *typed,
                            const QString &expected) {
            addRow(name, QString::fromLatin1(name), bytes, QString::fromLatin1(typed), expected);
        };
        const QByteArray x4000(4000, 'x');
        row("Notes.MD",
            x4000 + "y",
            "",
            "Contents of Notes.MD:\n```\n" + x4000
                + "\n\n[File truncated — 1 more characters]\n```");
        row("a.txt", x4000, "", "Contents of a.txt:\n```\n" + x4000 + "\n```");
        // 4002 characters of two code units each: cut after the 4000th character, not unit.
        const QString accented = QStringLiteral("e\u0301").repeated(4000);
        row("a.py",
            (accented + "e\u0301e\u0301").toUtf8(),
            "",
            "Contents of a.py:\n```\n" + accented + "\n\n[File truncated — 2 more characters]\n```");
        // After typed text, a text file starts a new line and any other file follows a space.
        row("main.cpp", "int x;", "Look:", "Look:\nContents of main.cpp:\n```\nint x;\n```");
        row("photo.png", "\x89PNG", "", "photo.png");
        row("report.pdf", "%PDF", "See", "See report.pdf");
        row("bad.txt", "ok \xff\xfe no", "", "bad.txt"); // not UTF-8
        row(".txt", "secret", "", ".txt");               // hidden, no extension
        row("huge.log", QByteArray(16 * 1024 * 1024 + 1, 'a'), "", "huge.log"); // over 16 MiB
        // No bytes: nothing is written. A file that cannot be read goes in by name, so does a
        // folder; a link that is no file changes nothing.
        row("missing.md", QByteArray(), "", "missing.md");
        row("folder.txt/", QByteArray(), "a", "a folder.txt");
        row("https://example.com/a.txt", QByteArray(), "Hi", "Hi");
    }

    void attachment()
    {
        const auto [fileName, bytes, inputText]
            = fetch<QString, QByteArray, QString>("fileName", "bytes", "inputText");
        const QString path = m_dir.filePath(fileName);
        if (fileName.endsWith(u'/'))
            QVERIFY(QDir().mkpath(path));
        else if (!bytes.isNull())
            QVERIFY(writeTestFile(path, bytes));
        const QUrl url = fileName.contains(u':') ? QUrl(fileName) : QUrl::fromLocalFile(path);
        QTEST(ChatLogic::attachDroppedFile(inputText, url), "expected");
    }

    // Edit drops the message and what follows; retry sends the user message before the
    // reply again. Without a user message before it, or gone, nothing happens. Saved.
    void cuts()
    {
        {
            AgentState state;
            state.startNewChat();
            state.setMessages({message("assistant", "Error: x"),
                               message("user", "one"),
                               message("assistant", "A"),
                               message("user", "two"),
                               message("tool_result", "Tool results: x"),
                               message("assistant", "Error: boom")});
            state.syncActiveSession();
            QStringList ids;
            for (const Message &m : state.messages())
                ids << uuidText(m.id);
            QCOMPARE(ChatLogic::retryFromMessage(&state, ids[5]), QVariant("two"));
            QCOMPARE(roles(state.messages()),
                     QStringList({"assistant:Error: x", "user:one", "assistant:A"}));
            QVERIFY(!ChatLogic::editFromMessage(&state, ids[3]).isValid());
            QVERIFY(!ChatLogic::retryFromMessage(&state, ids[0]).isValid());
            QCOMPARE(ChatLogic::editFromMessage(&state, ids[1]), QVariant("one"));
            QCOMPARE(roles(state.messages()), QStringList{"assistant:Error: x"});
        }
        QCOMPARE(roles(loadedState()->activeSession()->messages), QStringList{"assistant:Error: x"});
    }

    void celebrationOnlyOnceForAGoodReply()
    {
        MessageListModel messages;
        messages.setMessages({message("user", "hi"), message("assistant", "Error: boom")});
        QVERIFY(!ChatLogic::claimFirstReplyCelebration(&messages));
        messages.setMessages({message("user", "hi"), message("assistant", "Hello!")});
        QVERIFY(ChatLogic::claimFirstReplyCelebration(&messages));
        QVERIFY(!ChatLogic::claimFirstReplyCelebration(&messages));
    }
};

TOVRA_TEST_MAIN(ChatLogicTest, QCoreApplication)
#include "tst_chatlogic.moc"

// Tool requests of a reply: approval, running, the results sent back, the
// confirmation, and the completion sound, against the stand-in engine.
#include "agentfixture.h"
#include "testenvironment.h"

#include <QFile>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

using nlohmann::json;

namespace {

const QString confirmation = QStringLiteral("\nIn one or two sentences, briefly confirm what was just done. "
                                            "Don't repeat raw output verbatim.");

json toolCallLine(const QString &name, const json &arguments = json::object())
{
    return {{"pieces", {("TOOL_CALL: " + json({{"name", name.toStdString()}, {"arguments", arguments}}).dump())}}};
}

json reply(const std::string &text)
{
    return {{"pieces", {text}}};
}

// A stand-in player: appends its arguments to a file.
QString writePlayer(const QString &dir, const QString &name, const QString &marker)
{
    const QString path = dir + u'/' + name;
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return {};
    file.write(QStringLiteral("#!/bin/sh\nprintf '%s\\n' \"$*\" >> '%1'\n").arg(marker).toUtf8());
    file.close();
    file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return path;
}

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class AgentToolsTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY2(!StandinEngine::executable().isEmpty(), "STANDIN_ENGINE names the stand-in engine");
        QVERIFY(StandinEngine().isRunning());
    }

    void structuredCallWithoutApproval()
    {
        AgentFixture f;
        f.engine.enqueue(json::array(
            {{{"pieces", json::array()},
              {"tool_calls",
               {{{"index", 0}, {"id", "call_1"}, {"function", {{"name", "get_system_info"}, {"arguments", "{"}}}},
                {{"index", 0}, {"function", {{"arguments", "}"}}}}}}},
             reply("Here is your system info.")}));
        QSignalSpy approvals(f.state.get(), &AgentState::pendingApprovalChanged);
        f.manager->send(QStringLiteral("What system is this?"));
        QTRY_VERIFY_WITH_TIMEOUT(!f.manager->isBusy(), 20000);

        QCOMPARE(approvals.count(), 0);
        QCOMPARE(f.tools.calls.size(), 1);
        QCOMPARE(f.tools.calls.first().id, QStringLiteral("call_1"));
        QCOMPARE(f.roles(), (QStringList{Role::user, Role::assistant, Role::toolResult, Role::assistant}));
        const Message &request = f.messages().at(1);
        QVERIFY(request.toolCalls && request.toolCalls->size() == 1);
        QCOMPARE(request.toolCalls->first().name, QStringLiteral("get_system_info"));
        QCOMPARE(request.toolCalls->first().status, ToolStatus::Pending);
        QVERIFY(!request.toolCalls->first().result);
        const QString results = QStringLiteral("Tool results:\n[get_system_info]: ")
                                + AgentManager::shortenedToolResult(f.tools.results.first());
        QCOMPARE(f.messages().at(2).content, results);
        QCOMPARE(f.messages().at(3).content, QStringLiteral("Here is your system info."));
        QVERIFY(!f.state->isLoading());

        const json bodies = f.engine.requests();
        QCOMPARE(int(bodies.size()), 2);
        QVERIFY(!bodies.at(1).contains("tools"));
        const auto sent = AgentFixture::sentMessages(bodies.at(1));
        QCOMPARE(sent.first().second, f.manager->effectiveSystemPrompt() + confirmation);
        QCOMPARE(sent.last(), qMakePair(Role::user, results));
        QCOMPARE(sent.at(sent.size() - 2), qMakePair(Role::user, QStringLiteral("What system is this?")));
        // Saved at the end of the turn.
        QCOMPARE(AgentState().messages().size(), 4);
    }

    void autoApprovedTools_data()
    {
        QTest::addColumn<QString>("tool");
        QTest::addColumn<bool>("needsApproval");
        QTest::newRow("list_open_apps") << QStringLiteral("list_open_apps") << false;
        QTest::newRow("get_system_info") << QStringLiteral("get_system_info") << false;
        QTest::newRow("get_clipboard") << QStringLiteral("get_clipboard") << false;
        QTest::newRow("list_local_models") << QStringLiteral("list_local_models") << false;
        QTest::newRow("set_clipboard") << QStringLiteral("set_clipboard") << true;
        QTest::newRow("open_app") << QStringLiteral("open_app") << true;
        QTest::newRow("unknown tool") << QStringLiteral("format_disk") << true;
    }

    void autoApprovedTools()
    {
        QFETCH(QString, tool);
        QFETCH(bool, needsApproval);
        AgentFixture f;
        // Those that would touch the desktop answer from the table.
        for (const char *name : {"list_open_apps", "get_clipboard", "set_clipboard", "open_app"})
            f.tools.cannedResults.insert(QString::fromLatin1(name), QStringLiteral("done"));
        f.engine.enqueue(json::array({toolCallLine(tool), reply("Done.")}));
        QSignalSpy approvals(f.state.get(), &AgentState::pendingApprovalChanged);
        f.manager->send(QStringLiteral("Do it"));
        if (needsApproval) {
            QTRY_VERIFY_WITH_TIMEOUT(f.state->hasPendingApproval(), 20000);
            QCOMPARE(f.state->pendingApproval()->name, tool);
            QVERIFY(f.tools.calls.isEmpty());
            f.state->resolveApproval(true);
        }
        QTRY_VERIFY_WITH_TIMEOUT(!f.manager->isBusy(), 20000);
        QCOMPARE(approvals.count() > 0, needsApproval);
        QCOMPARE(f.tools.calls.size(), 1);
        QCOMPARE(f.tools.calls.first().name, tool);
        QVERIFY(f.messages().at(2).content.startsWith(QStringLiteral("Tool results:\n[") + tool + u']'));
        QCOMPARE(f.messages().last().content, QStringLiteral("Done."));
    }

    void approval_data()
    {
        QTest::addColumn<bool>("approved");
        QTest::addColumn<QString>("resultLine");
        QTest::newRow("approved") << true << QStringLiteral("[delete_file]: Moved to Trash: /tmp/old.txt");
        QTest::newRow("denied") << false << QStringLiteral("[delete_file]: Denied by user");
    }

    void approval()
    {
        QFETCH(bool, approved);
        QFETCH(QString, resultLine);
        AgentFixture f;
        f.tools.cannedResults.insert(QStringLiteral("delete_file"), QStringLiteral("Moved to Trash: /tmp/old.txt"));
        f.engine.enqueue(json::array(
            {{{"pieces", {"Deleting it.\n", "TOOL_CALL: {\"name\":\"delete_file\",\"arguments\":{\"path\":\"/tmp/old.txt\"}}"}}},
             reply("All set.")}));
        f.manager->send(QStringLiteral("Delete /tmp/old.txt"));
        QTRY_VERIFY_WITH_TIMEOUT(f.state->hasPendingApproval(), 20000);
        const ToolCall pending = *f.state->pendingApproval();
        QCOMPARE(pending.name, QStringLiteral("delete_file"));
        QCOMPARE(pending.arguments.value(QStringLiteral("path")), QStringLiteral("/tmp/old.txt"));
        // The reply with its request is on screen while the user decides.
        QCOMPARE(f.messages().last().content, QStringLiteral("Deleting it."));
        QVERIFY(f.messages().last().toolCalls);
        QVERIFY(f.state->isLoading());
        QTest::qWait(300);
        QVERIFY(f.manager->isBusy());
        QCOMPARE(int(f.engine.requests().size()), 1);

        f.state->resolveApproval(approved);
        QTRY_VERIFY_WITH_TIMEOUT(!f.manager->isBusy(), 20000);
        QCOMPARE(f.tools.calls.size(), approved ? 1 : 0);
        QCOMPARE(f.messages().at(2).content, QStringLiteral("Tool results:\n") + resultLine);
        QCOMPARE(f.messages().last().content, QStringLiteral("All set."));
        QVERIFY(!f.state->hasPendingApproval());
    }

    void realListFiles()
    {
        AgentFixture f;
        QTemporaryDir folder;
        QFile note(folder.filePath(QStringLiteral("notes.txt")));
        QVERIFY(note.open(QIODevice::WriteOnly));
        note.close();
        f.engine.enqueue(json::array({toolCallLine(QStringLiteral("list_files"),
                                                   {{"directory", folder.path().toStdString()}}),
                                      reply("There is one file.")}));
        f.manager->send(QStringLiteral("What is in my folder?"));
        QTRY_VERIFY_WITH_TIMEOUT(f.state->hasPendingApproval(), 20000);
        f.state->resolveApproval(true);
        QTRY_VERIFY_WITH_TIMEOUT(!f.manager->isBusy(), 20000);
        const QString results = f.messages().at(2).content;
        QVERIFY2(results.startsWith(QStringLiteral("Tool results:\n[list_files]: ")), qPrintable(results));
        QVERIFY2(results.contains(QStringLiteral("notes.txt")), qPrintable(results));
    }

    void resultLength_data()
    {
        QTest::addColumn<QString>("result");
        QTest::addColumn<QString>("sent");
        const QString a400(400, u'a');
        QTest::newRow("400 characters") << a400 << a400;
        QTest::newRow("401 characters") << a400 + u'b' << a400 + QChar(0x2026);
        QTest::newRow("1000 characters") << QString(1000, u'c') << QString(400, u'c') + QChar(0x2026);
        const QString emoji = QStringLiteral("😀");
        QTest::newRow("emoji at the cut is kept whole")
            << QString(399, u'a') + emoji + QStringLiteral("bc") << QString(399, u'a') + emoji + QChar(0x2026);
        QTest::newRow("400 emoji are 400 characters") << emoji.repeated(400) << emoji.repeated(400);
        QTest::newRow("accent and letter are one character")
            << QString(399, u'a') + QStringLiteral("e\u0301") + QStringLiteral("z")
            << QString(399, u'a') + QStringLiteral("e\u0301") + QChar(0x2026);
    }

    void resultLength()
    {
        QFETCH(QString, result);
        QFETCH(QString, sent);
        AgentFixture f;
        f.tools.cannedResults.insert(QStringLiteral("get_clipboard"), result);
        f.engine.enqueue(json::array({toolCallLine(QStringLiteral("get_clipboard")), reply("Read it.")}));
        f.manager->send(QStringLiteral("What did I copy?"));
        QTRY_VERIFY_WITH_TIMEOUT(!f.manager->isBusy(), 20000);
        QCOMPARE(f.messages().at(2).content, QStringLiteral("Tool results:\n[get_clipboard]: ") + sent);
    }

    void screenshot()
    {
        AgentFixture f;
        const QString image = QStringLiteral("data:image/jpeg;base64,/9j/4AAQSkZJRgABAQ==");
        f.tools.cannedResults.insert(QStringLiteral("take_screenshot"), image);
        f.engine.enqueue(json::array({toolCallLine(QStringLiteral("take_screenshot")), reply("Saved it.")}));
        f.manager->send(QStringLiteral("Take a screenshot"));
        QTRY_VERIFY_WITH_TIMEOUT(f.state->hasPendingApproval(), 20000);
        f.state->resolveApproval(true);
        QTRY_VERIFY_WITH_TIMEOUT(!f.manager->isBusy(), 20000);

        QCOMPARE(f.roles(), (QStringList{Role::user, Role::assistant, Role::assistant, Role::toolResult,
                                         Role::assistant}));
        QCOMPARE(f.messages().at(2).content, image);
        static const QRegularExpression line(QStringLiteral(
            R"(^Tool results:\n\[take_screenshot\]: Screenshot captured and saved to Desktop as )"
            R"('Screenshot_\d{4}-\d\d-\d\d_\d\d-\d\d-\d\d\.jpg'\.$)"));
        QVERIFY2(line.match(f.messages().at(3).content).hasMatch(), qPrintable(f.messages().at(3).content));
        QCOMPARE(f.messages().last().content, QStringLiteral("Saved it."));
        // The image is in the conversation (and saved) but never sent to the model.
        QCOMPARE(AgentState().messages().at(2).content, image);
        QVERIFY(!QByteArray::fromStdString(f.engine.requests().dump()).contains("data:image"));
    }

    void callsRunInOrder()
    {
        AgentFixture f;
        f.tools.cannedResults.insert(QStringLiteral("get_clipboard"), QStringLiteral("copied text"));
        f.tools.cannedResults.insert(QStringLiteral("open_app"), QStringLiteral("Opened Notes"));
        f.engine.enqueue(json::array(
            {{{"pieces",
               {"TOOL_CALL: {\"name\":\"get_clipboard\"}\n", "TOOL_CALL: {\"name\":\"delete_file\",\"arguments\":{\"path\":\"/a\"}}\n",
                "TOOL_CALL: {\"name\":\"open_app\",\"arguments\":{\"name\":\"Notes\"}}"}}},
             reply("Done.")}));
        f.manager->send(QStringLiteral("Several things"));
        QTRY_VERIFY_WITH_TIMEOUT(f.state->hasPendingApproval(), 20000);
        QCOMPARE(f.state->pendingApproval()->name, QStringLiteral("delete_file"));
        f.state->resolveApproval(false);
        QTRY_VERIFY_WITH_TIMEOUT(f.state->hasPendingApproval(), 20000);
        QCOMPARE(f.state->pendingApproval()->name, QStringLiteral("open_app"));
        f.state->resolveApproval(true);
        QTRY_VERIFY_WITH_TIMEOUT(!f.manager->isBusy(), 20000);
        QCOMPARE(f.messages().at(1).toolCalls->size(), 3);
        QCOMPARE(f.messages().at(1).content, QString());
        QCOMPARE(f.messages().at(2).content, QStringLiteral("Tool results:\n[get_clipboard]: copied text\n"
                                                            "[delete_file]: Denied by user\n"
                                                            "[open_app]: Opened Notes"));
    }

    void confirmationNeverRunsTools()
    {
        AgentFixture f;
        f.tools.cannedResults.insert(QStringLiteral("get_clipboard"), QStringLiteral("hello"));
        f.engine.enqueue(json::array(
            {toolCallLine(QStringLiteral("get_clipboard")),
             {{"pieces", {"You copied a greeting.\n", "TOOL_CALL: {\"name\":\"get_system_info\"}\n",
                          "Tool results: echoed"}},
              {"tool_calls", json::array({json{{"index", 0}, {"id", "x"},
                                               {"function", {{"name", "list_open_apps"}, {"arguments", "{}"}}}}})}}}));
        f.manager->send(QStringLiteral("Clipboard?"));
        QTRY_VERIFY_WITH_TIMEOUT(!f.manager->isBusy(), 20000);
        QCOMPARE(f.tools.calls.size(), 1);
        QCOMPARE(f.messages().last().content, QStringLiteral("You copied a greeting."));
        QVERIFY(!f.messages().last().toolCalls);
        QCOMPARE(int(f.engine.requests().size()), 2);
    }

    void confirmationFailure()
    {
        AgentFixture f;
        f.tools.cannedResults.insert(QStringLiteral("get_clipboard"), QStringLiteral("hello"));
        f.engine.enqueue(json::array({toolCallLine(QStringLiteral("get_clipboard")),
                                      {{"status", 500}, {"body", "down"}, {"content_type", "text/plain"}}}));
        f.manager->send(QStringLiteral("Clipboard?"));
        QTRY_VERIFY_WITH_TIMEOUT(!f.manager->isBusy(), 20000);
        QCOMPARE(f.roles(), (QStringList{Role::user, Role::assistant, Role::toolResult, Role::assistant}));
        QCOMPARE(f.messages().last().content, QStringLiteral("Error: Server error 500"));
        QVERIFY(!f.state->isLoading());
    }

    void stopWhileAwaitingApproval()
    {
        AgentFixture f;
        f.tools.cannedResults.insert(QStringLiteral("open_app"), QStringLiteral("Opened Notes"));
        f.engine.enqueue(json::array({toolCallLine(QStringLiteral("open_app"), {{"name", "Notes"}}), reply("Opened.")}));
        f.manager->send(QStringLiteral("Open Notes"));
        QTRY_VERIFY_WITH_TIMEOUT(f.state->hasPendingApproval(), 20000);
        f.manager->stop();
        // The question stays until the user answers it.
        QTest::qWait(300);
        QVERIFY(f.state->hasPendingApproval());
        QVERIFY(f.state->isLoading());
        f.state->resolveApproval(true);
        QTRY_VERIFY_WITH_TIMEOUT(!f.state->isLoading(), 20000);
        // The approved tool ran; the stopped turn sent nothing more.
        QCOMPARE(f.tools.calls.size(), 1);
        QCOMPARE(int(f.engine.requests().size()), 1);
        QCOMPARE(f.roles(), (QStringList{Role::user, Role::assistant, Role::toolResult, Role::assistant}));
        QVERIFY(f.messages().last().content.startsWith(QStringLiteral("Error: ")));
    }

    void newTurnWhileAwaitingApproval()
    {
        AgentFixture f;
        f.tools.cannedResults.insert(QStringLiteral("open_app"), QStringLiteral("Opened Notes"));
        f.engine.enqueue(json::array({toolCallLine(QStringLiteral("open_app"), {{"name", "Notes"}}),
                                      reply("Something else entirely.")}));
        f.manager->send(QStringLiteral("Open Notes"));
        QTRY_VERIFY_WITH_TIMEOUT(f.state->hasPendingApproval(), 20000);
        f.manager->send(QStringLiteral("Never mind, tell me a joke"));
        QTRY_VERIFY_WITH_TIMEOUT(!f.manager->isBusy(), 20000);
        const QStringList after = f.contents();
        QCOMPARE(after.last(), QStringLiteral("Something else entirely."));
        QVERIFY(!f.state->isLoading());
        // The older turn's question is answered late: it no longer owns the conversation.
        f.state->resolveApproval(true);
        QTest::qWait(500);
        QVERIFY(f.tools.calls.isEmpty());
        QCOMPARE(f.contents(), after);
        QCOMPARE(int(f.engine.requests().size()), 2);
        QVERIFY(!f.state->isLoading());
    }

    void managerGoneWhileAwaitingApproval()
    {
        AgentFixture f;
        f.engine.enqueue(json::array({toolCallLine(QStringLiteral("open_app"), {{"name", "Notes"}}), reply("Opened.")}));
        f.manager->send(QStringLiteral("Open Notes"));
        QTRY_VERIFY_WITH_TIMEOUT(f.state->hasPendingApproval(), 20000);
        const qsizetype count = f.messages().size();
        f.manager.reset();
        f.state->resolveApproval(true);
        QTest::qWait(300);
        QVERIFY(f.tools.calls.isEmpty());
        QCOMPARE(f.messages().size(), count);
    }

    void completionSound_data()
    {
        QTest::addColumn<QString>("setting"); // "absent", "true", "false", "text", "zero"
        QTest::addColumn<bool>("engineFails");
        QTest::addColumn<bool>("played");
        QTest::newRow("absent") << QStringLiteral("absent") << false << true;
        QTest::newRow("true") << QStringLiteral("true") << false << true;
        QTest::newRow("false") << QStringLiteral("false") << false << false;
        QTest::newRow("not a Boolean: text") << QStringLiteral("text") << false << true;
        QTest::newRow("not a Boolean: zero") << QStringLiteral("zero") << false << true;
        QTest::newRow("failed turn") << QStringLiteral("absent") << true << false;
    }

    void completionSound()
    {
        QFETCH(QString, setting);
        QFETCH(bool, engineFails);
        QFETCH(bool, played);
        AgentFixture f;
        const QString key = QStringLiteral("completionSoundEnabled");
        if (setting == QLatin1String("true"))
            Preferences::setBoolean(key, true);
        else if (setting == QLatin1String("false"))
            Preferences::setBoolean(key, false);
        else if (setting == QLatin1String("text"))
            Preferences::setString(key, QStringLiteral("off"));
        else if (setting == QLatin1String("zero"))
            Preferences::setInteger(key, 0);
        QTemporaryDir dir;
        const QString marker = dir.filePath(QStringLiteral("played"));
        f.manager->setCompletionSoundCommand({writePlayer(dir.path(), QStringLiteral("player"), marker),
                                              {QStringLiteral("Tink")}});
        if (engineFails)
            f.engine.enqueue({{"status", 500}, {"body", "down"}});
        f.manager->send(QStringLiteral("Hi"));
        QTRY_VERIFY_WITH_TIMEOUT(!f.manager->isBusy(), 20000);
        if (played) {
            QTRY_COMPARE_WITH_TIMEOUT(readAll(marker), QByteArray("Tink\n"), 10000);
        } else {
            QTest::qWait(1000);
            QVERIFY(!QFile::exists(marker));
        }
    }

    void systemSoundCommand_data()
    {
        QTest::addColumn<QStringList>("players");
        QTest::addColumn<QString>("soundFile"); // empty: no sound theme
        QTest::addColumn<QString>("program");   // empty: nothing to play with
        QTest::addColumn<QStringList>("arguments");
        const QString oga = QStringLiteral("message.oga");
        const QString wav = QStringLiteral("message.wav");
        QTest::newRow("PulseAudio first") << QStringList{"aplay", "pw-play", "paplay"} << oga << "paplay"
                                          << QStringList{"FILE"};
        QTest::newRow("PipeWire") << QStringList{"pw-play"} << oga << "pw-play" << QStringList{"FILE"};
        QTest::newRow("ALSA cannot play Ogg") << QStringList{"aplay"} << oga << QString() << QStringList{};
        QTest::newRow("ALSA plays WAV") << QStringList{"aplay"} << wav << "aplay" << QStringList{"-q", "FILE"};
        QTest::newRow("no sound theme") << QStringList{"paplay"} << QString() << QString() << QStringList{};
        QTest::newRow("no player") << QStringList{} << oga << QString() << QStringList{};
    }

    void systemSoundCommand()
    {
        QFETCH(QStringList, players);
        QFETCH(QString, soundFile);
        QFETCH(QString, program);
        QFETCH(QStringList, arguments);
        QTemporaryDir dir;
        const QString bin = dir.filePath(QStringLiteral("bin"));
        const QString data = dir.filePath(QStringLiteral("data"));
        const QString marker = dir.filePath(QStringLiteral("played"));
        QVERIFY(QDir().mkpath(bin));
        for (const QString &player : players)
            writePlayer(bin, player, marker);
        QString file;
        if (!soundFile.isEmpty()) {
            const QString stereo = data + QStringLiteral("/sounds/freedesktop/stereo");
            QVERIFY(QDir().mkpath(stereo));
            file = stereo + u'/' + soundFile;
            QFile sound(file);
            QVERIFY(sound.open(QIODevice::WriteOnly));
        }
        const QByteArray oldPath = qgetenv("PATH");
        const QByteArray oldDataDirs = qgetenv("XDG_DATA_DIRS");
        qputenv("PATH", bin.toUtf8());
        qputenv("XDG_DATA_DIRS", data.toUtf8());
        const Sound::Command command = Sound::completionSound();
        qputenv("PATH", oldPath);
        qputenv("XDG_DATA_DIRS", oldDataDirs);

        if (program.isEmpty()) {
            QVERIFY(command.isEmpty());
            QVERIFY(!Sound::play(command));
            return;
        }
        QCOMPARE(command.program, bin + u'/' + program);
        arguments.replaceInStrings(QStringLiteral("FILE"), file);
        QCOMPARE(command.arguments, arguments);
        QVERIFY(Sound::play(command));
        QTRY_COMPARE_WITH_TIMEOUT(readAll(marker), (arguments.join(u' ') + u'\n').toUtf8(), 10000);
    }
};

TOVRA_TEST_MAIN(AgentToolsTest, QCoreApplication)
#include "tst_agenttools.moc"

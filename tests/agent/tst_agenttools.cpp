// Tool requests of a reply: approval, running, the results sent back, the
// confirmation, and the completion sound, against the stand-in engine.
#include "tests/agent/agentfixture.h"
#include "tests/support/testenvironment.h"

using nlohmann::json;

Q_DECLARE_METATYPE(json)

namespace {

json toolCallLine(const QString &name, const json &arguments = json::object())
{
    return {
        {"pieces",
         {("TOOL_CALL: " + json({{"name", name.toStdString()}, {"arguments", arguments}}).dump())}}};
}

json reply(const std::string &text)
{
    return {{"pieces", {text}}};
}

// A stand-in player: appends its arguments to a file.
QString writePlayer(const QString &dir, const QString &name, const QString &marker)
{
    const QString path = dir + u'/' + name;
    const QString script = QStringLiteral("#!/bin/sh\nprintf '%s\\n' \"$*\" >> '%1'\n").arg(marker);
    writeTestFile(path, script.toUtf8());
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return path;
}

} // namespace

class AgentToolsTest : public QObject
{
    Q_OBJECT

private slots:
    void init() { failOnUnexpectedWarnings(); }

    void structuredCallWithoutApproval()
    {
        AgentFixture f;
        const json call = {{"index", 0},
                           {"id", "call_1"},
                           {"function", {{"name", "get_system_info"}, {"arguments", "{}"}}}};
        f.engine.enqueue(json::array({{{"pieces", json::array()}, {"tool_calls", {call}}},
                                      reply("Here is your system info.")}));
        QSignalSpy approvals(f.state.get(), &AgentState::pendingApprovalChanged);
        QVERIFY(f.turn("What system is this?"));

        QCOMPARE(approvals.count(), 0);
        QCOMPARE(f.tools.calls.size(), 1);
        QCOMPARE(f.tools.calls.first().id, "call_1");
        QCOMPARE(f.roles(),
                 (QStringList{Role::user, Role::assistant, Role::toolResult, Role::assistant}));
        const QList<ToolCall> requested = f.messages().at(1).toolCalls.value_or(QList<ToolCall>{});
        QCOMPARE(requested.size(), 1);
        QCOMPARE(requested.first().name, "get_system_info");
        QCOMPARE(requested.first().status, ToolStatus::Pending);
        const QString results = "Tool results:\n[get_system_info]: " + f.tools.results.first();
        QCOMPARE(f.contents().mid(2), (QStringList{results, "Here is your system info."}));
        QVERIFY(!f.state->isLoading());

        // The follow-up: no tools, the confirmation instruction, the results as the last user message.
        const json bodies = f.engine.requests();
        QCOMPARE(int(bodies.size()), 2);
        QVERIFY(!bodies.at(1).contains("tools"));
        const QStringList sent = AgentFixture::sent(bodies.at(1));
        QCOMPARE(sent.first(),
                 "system: " + f.manager->effectiveSystemPrompt()
                     + "\nIn one or two sentences, briefly confirm what was just done. "
                       "Don't repeat raw output verbatim.");
        QCOMPARE(sent.mid(sent.size() - 2),
                 (QStringList{"user: What system is this?", "user: " + results}));
        QCOMPARE(f.reloaded()->messages().size(), 4); // saved at the end of the turn
    }

    void autoApprovedTools_data()
    {
        columns<QString, bool>("tool", "needsApproval");
        // One per rule: a tool that only reads, one that changes something, and an unknown one.
        addRow("list_local_models", "list_local_models", false);
        addRow("set_clipboard", "set_clipboard", true);
        addRow("format_disk", "format_disk", true);
    }

    void autoApprovedTools()
    {
        const auto [tool, needsApproval] = fetch<QString, bool>("tool", "needsApproval");
        AgentFixture f;
        f.tools.cannedResults.insert("set_clipboard", "done"); // it would touch the desktop
        f.engine.enqueue(json::array({toolCallLine(tool), reply("Done.")}));
        QSignalSpy approvals(f.state.get(), &AgentState::pendingApprovalChanged);
        QVERIFY(f.turn("Do it", needsApproval ? QList<bool>{true} : QList<bool>{}));
        QCOMPARE(approvals.count() > 0, needsApproval);
        QCOMPARE(f.tools.calls.size(), 1);
        QVERIFY(f.messages().at(2).content.startsWith("Tool results:\n[" + tool + u']'));
        QCOMPARE(f.messages().last().content, "Done.");
    }

    void resultLength_data()
    {
        columns<QString, QString>("result", "sent");
        const QString a400(400, u'a'), a399(399, u'a'), emoji = "😀", cut(QChar(0x2026));
        addRow("400 characters", a400, a400);
        addRow("emoji at the cut is kept whole", a399 + emoji + "bc", a399 + emoji + cut);
        addRow("400 emoji are 400 characters", emoji.repeated(400), emoji.repeated(400));
        addRow("accent and letter are one character", a399 + "e\u0301z", a399 + "e\u0301" + cut);
    }

    void resultLength()
    {
        QFETCH(QString, result);
        QTEST(AgentManager::shortenedToolResult(result), "sent");
    }

    // Several requests run in order, each one that needs it asked for while the reply stays on screen,
    // however long the user takes; the results go back as one message.
    void approvalsInOrder()
    {
        AgentFixture f;
        f.tools.cannedResults.insert("get_clipboard", QString(401, u'c'));
        f.tools.cannedResults.insert("open_app", "Opened Notes");
        f.engine.enqueue(json::array(
            {{{"pieces",
               {"Doing it.\nTOOL_CALL: {\"name\":\"get_clipboard\"}\n",
                "TOOL_CALL: {\"name\":\"delete_file\",\"arguments\":{\"path\":\"/a\"}}\n",
                "TOOL_CALL: {\"name\":\"open_app\",\"arguments\":{\"app_name\":\"Notes\"}}"}}},
             reply("Done.")}));
        f.manager->send("Several things");
        QVERIFY(f.asked());
        QCOMPARE(f.state->pendingApproval()->name, "delete_file");
        QCOMPARE(f.state->pendingApproval()->arguments, (ToolArguments{{"path", "/a"}}));
        QCOMPARE(f.messages().last().content, "Doing it.");
        QCOMPARE(f.messages().last().toolCalls->size(), 3);
        QVERIFY(f.manager->isBusy() && f.state->isLoading());
        QCOMPARE(f.requestCount(), 1);
        f.state->resolveApproval(false);
        QVERIFY(f.asked());
        QCOMPARE(f.state->pendingApproval()->name, "open_app");
        f.state->resolveApproval(true);
        QVERIFY(f.idle());
        QVERIFY(!f.state->hasPendingApproval());
        QCOMPARE(f.tools.calls.size(), 2);
        QCOMPARE(f.contents().mid(2),
                 (QStringList{"Tool results:\n[get_clipboard]: " + QString(400, u'c') + QChar(0x2026)
                                  + "\n[delete_file]: Denied by user\n[open_app]: Opened Notes",
                              "Done."}));
    }

    void screenshot_data()
    {
        columns<bool>("sees");
        QTest::newRow("text-only model") << false;
        QTest::newRow("model that sees") << true;
    }

    void screenshot()
    {
        QFETCH(bool, sees);
        AgentFixture f;
        f.sees = sees;
        const QString image = "data:image/jpeg;base64,/9j/4AAQSkZJRgABAQ==";
        f.tools.cannedResults.insert("take_screenshot", image);
        f.engine.enqueue(json::array({toolCallLine("take_screenshot"), reply("Saved it.")}));
        QVERIFY(f.turn("Take a screenshot", {true}));
        QCOMPARE(f.roles(),
                 (QStringList{Role::user,
                              Role::assistant,
                              Role::assistant,
                              Role::toolResult,
                              Role::assistant}));
        QCOMPARE(f.messages().at(2).content, image);
        static const QRegularExpression line(
            "^Tool results:\\n\\[take_screenshot\\]: Screenshot captured and saved to "
            "Desktop as 'Screenshot_\\d{4}-\\d\\d-\\d\\d_\\d\\d-\\d\\d-\\d\\d\\.jpg'\\.$");
        QVERIFY2(line.match(f.messages().at(3).content).hasMatch(),
                 qPrintable(f.messages().at(3).content));
        QCOMPARE(f.messages().last().content, "Saved it.");
        // The image is in the conversation (and saved); only a model that sees is sent it,
        // with the results, from the copy kept with them.
        const auto reloaded = f.reloaded();
        QCOMPARE(reloaded->messages().at(2).content, image);
        const QList<Attachment> files = reloaded->messages().at(3).attachments;
        if (!sees) {
            QVERIFY(files.isEmpty());
            QVERIFY(!QByteArray::fromStdString(f.engine.requests().dump()).contains("data:image"));
            return;
        }
        QCOMPARE(files.size(), 1);
        static const QRegularExpression name(
            "^Screenshot_\\d{4}-\\d\\d-\\d\\d_\\d\\d-\\d\\d-\\d\\d\\.jpg$");
        QVERIFY2(name.match(files[0].name).hasMatch(), qPrintable(files[0].name));
        QCOMPARE(readTestFile(files[0].storedPath), QByteArray::fromBase64("/9j/4AAQSkZJRgABAQ=="));
        const json results = f.engine.requests().back()["messages"].back();
        QCOMPARE(QString::fromStdString(results.dump()),
                 QString::fromStdString(
                     json{{"role", "user"},
                          {"content",
                           {{{"type", "text"}, {"text", f.messages().at(3).content.toStdString()}},
                            {{"type", "image_url"}, {"image_url", {{"url", image.toStdString()}}}}}}}
                         .dump()));
    }

    // The reply that asked for a tool goes back with its thinking, within its turn only; each
    // reply keeps its own thinking.
    void thinkingInTheToolLoop()
    {
        AgentFixture f;
        f.tools.cannedResults.insert("get_clipboard", "hello");
        json asking = toolCallLine("get_clipboard");
        asking["reasoning"] = {"Wants the", " clipboard."};
        f.engine.enqueue(
            json::array({asking, {{"reasoning", {"Say it."}}, {"pieces", {"Hello."}}}}));
        QVERIFY(f.turn("Clipboard?"));
        QVERIFY(f.turn("Thanks"));
        const json bodies = f.engine.requests();
        QCOMPARE(int(bodies.size()), 3);
        json followUp = bodies.at(1).at("messages");
        followUp.erase(0); // the system prompt
        QCOMPARE(QString::fromStdString(followUp.dump()),
                 QString(
                     "[{'content':'Clipboard?','role':'user'},{'content':'','reasoning_content':"
                     "'Wants the clipboard.','role':'assistant'},{'content':'Tool results:\\n"
                     "[get_clipboard]: hello','role':'user'}]")
                     .replace(u'\'', u'"'));
        QVERIFY(bodies.at(2).dump().find("reasoning_content") == std::string::npos);
        QCOMPARE(f.column(&Message::reasoning),
                 (QStringList{"", "Wants the clipboard.", "", "Say it.", "", ""}));
    }

    void confirmation_data()
    {
        columns<json, QString>("script", "reply");
        // Tool requests in the confirmation, text or structured, are shown as nothing and never run.
        const json asking
            = {{"pieces",
                {"You copied a greeting.\n",
                 "TOOL_CALL: {\"name\":\"get_system_info\"}\n",
                 "Tool results: echoed"}},
               {"tool_calls",
                json::array(
                    {json{{"index", 0},
                          {"id", "x"},
                          {"function", {{"name", "list_open_apps"}, {"arguments", "{}"}}}}})}};
        addRow("asks for more tools", asking, "You copied a greeting.");
        addRow("fails",
               json{{"status", 500}, {"body", "down"}, {"content_type", "text/plain"}},
               "Error: Server error 500");
        addRow("cut short",
               json{{"pieces", {"You cop"}}, {"done", false}},
               "Error: The engine stopped before the reply was complete.\n\nYou cop");
    }

    void confirmation()
    {
        const auto [script, reply] = fetch<json, QString>("script", "reply");
        AgentFixture f;
        f.tools.cannedResults.insert("get_clipboard", "hello");
        f.engine.enqueue(json::array({toolCallLine("get_clipboard"), script}));
        QVERIFY(f.turn("Clipboard?"));
        QCOMPARE(f.tools.calls.size(), 1);
        QCOMPARE(f.contents(),
                 (QStringList{"Clipboard?", "", "Tool results:\n[get_clipboard]: hello", reply}));
        QVERIFY(!f.messages().last().toolCalls);
        QCOMPARE(f.requestCount(), 2);
        QVERIFY(!f.state->isLoading());
    }

    void completionSound_data()
    {
        // "setting" invalid: the key is absent
        columns<QVariant, bool, bool>("setting", "engineFails", "played");
        addRow("absent", QVariant(), false, true);
        addRow("true", QVariant(true), false, true);
        addRow("false", QVariant(false), false, false);
        addRow("not a Boolean: text", QVariant("off"), false, true);
        addRow("not a Boolean: zero", QVariant(0), false, true);
        addRow("failed turn", QVariant(), true, false);
    }

    void completionSound()
    {
        const auto [setting, engineFails, played]
            = fetch<QVariant, bool, bool>("setting", "engineFails", "played");
        AgentFixture f;
        if (setting.typeId() == QMetaType::Bool)
            Preferences::setBoolean("completionSoundEnabled", setting.toBool());
        else if (setting.typeId() == QMetaType::QString)
            Preferences::setString("completionSoundEnabled", setting.toString());
        else if (setting.isValid())
            Preferences::setInteger("completionSoundEnabled", setting.toInt());
        QTemporaryDir dir;
        const QString marker = dir.filePath("played");
        f.manager->setCompletionSoundCommand({writePlayer(dir.path(), "player", marker), {"Tink"}});
        if (engineFails)
            f.engine.enqueue({{"status", 500}, {"body", "down"}});
        QVERIFY(f.turn("Hi"));
        if (!played) {
            // A later turn that does play is heard alone.
            Preferences::remove("completionSoundEnabled");
            f.manager->setCompletionSoundCommand(
                {writePlayer(dir.path(), "player", marker), {"Next"}});
            QVERIFY(f.turn("Again"));
        }
        QTRY_COMPARE_WITH_TIMEOUT(readTestFile(marker),
                                  QByteArray(played ? "Tink\n" : "Next\n"),
                                  10000);
    }

    // The desktop's message sound through the first player found that can play it.
    void systemSoundCommand_data()
    {
        // "soundFile" empty: no sound theme; "command" empty: nothing to play with
        columns<QString, QString, QString>("players", "soundFile", "command");
        addRow("PulseAudio first", "aplay pw-play paplay", "message.oga", "paplay FILE");
        addRow("PipeWire", "pw-play", "message.oga", "pw-play FILE");
        addRow("ALSA cannot play Ogg", "aplay", "message.oga", "");
        addRow("ALSA plays WAV", "aplay", "message.wav", "aplay -q FILE");
        addRow("no sound theme", "paplay", "", "");
        addRow("no player", "", "message.oga", "");
    }

    void systemSoundCommand()
    {
        auto [players, soundFile, command]
            = fetch<QString, QString, QString>("players", "soundFile", "command");
        QTemporaryDir dir;
        const QString bin = dir.filePath("bin"),
                      stereo = dir.filePath("data/sounds/freedesktop/stereo");
        QVERIFY(QDir().mkpath(bin) && QDir().mkpath(stereo));
        for (const QString &player : players.split(u' ', Qt::SkipEmptyParts))
            writePlayer(bin, player, dir.filePath("played"));
        if (!soundFile.isEmpty())
            QVERIFY(QFile(stereo + u'/' + soundFile).open(QIODevice::WriteOnly));
        const QByteArray oldPath = qgetenv("PATH"), oldDataDirs = qgetenv("XDG_DATA_DIRS");
        qputenv("PATH", bin.toUtf8());
        qputenv("XDG_DATA_DIRS", dir.filePath("data").toUtf8());
        const Sound::Command found = Sound::completionSound();
        qputenv("PATH", oldPath);
        qputenv("XDG_DATA_DIRS", oldDataDirs);

        QCOMPARE(found.isEmpty(), command.isEmpty());
        QCOMPARE(Sound::play(found), !command.isEmpty());
        if (command.isEmpty())
            return;
        command.replace("FILE", stereo + u'/' + soundFile);
        QCOMPARE((QStringList{found.program} + found.arguments).join(u' '), bin + u'/' + command);
        QTRY_COMPARE_WITH_TIMEOUT(readTestFile(dir.filePath("played")),
                                  command.section(u' ', 1).toUtf8() + '\n',
                                  10000);
    }
};

TOVRA_TEST_MAIN(AgentToolsTest, QCoreApplication)
#include "tst_agenttools.moc"

// The settings screen's decisions, and its actions against real stores and folders.
#include "core/agentstate.h"
#include "engine/metalstub.h"
#include "engine/servermanager.h"
#include "models/modelmanager.h"
#include "platform/paths.h"
#include "platform/preferences.h"
#include "tests/fixtures/fileserver.h"
#include "tests/support/loadedstate.h"
#include "tests/support/storedstate.h"
#include "tests/support/testenvironment.h"
#include "ui/settings/settingscontroller.h"

using Controller = SettingsController;
using Block = EngineSetup::Block;
using Phase = Controller::DeletePhase;
using Kind = BrewInstallState::Kind;
Q_DECLARE_METATYPE(Block)
Q_DECLARE_METATYPE(Kind)

namespace {
// A stand-in catalogue model file, under the name the library looks for.
QString placeModelFile(const HFModel &model, const ModelVariant &variant)
{
    const QString path = ModelManager::filePath(model, variant);
    writeTestFile(path, "GGUF");
    return path;
}
} // namespace

class SettingsTest : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        failOnUnexpectedWarnings();
        clearStoredState();
        QDir(Paths::appDataDirectory()).removeRecursively();
    }

    void engineBlock_data()
    {
        columns<bool, bool, bool, bool>("uninstalling", "engine", "fromHomebrew", "brew");
        columns<Kind, Block>("install", "block");
        addRow("uninstalling comes first", true, true, true, true, Kind::Idle, Block::Uninstalling);
        addRow("Homebrew's engine", false, true, true, true, Kind::Idle, Block::HomebrewReady);
        addRow("engine of its own", false, true, false, true, Kind::Failed, Block::Ready);
        addRow("engine, no Homebrew", false, true, false, false, Kind::Idle, Block::Ready);
        addRow("nothing at all", false, false, false, false, Kind::Idle, Block::HomebrewMissing);
        addRow("can install", false, false, false, true, Kind::Idle, Block::Install);
        addRow("installing", false, false, false, true, Kind::Installing, Block::Installing);
        addRow("installed, not found", false, false, false, true, Kind::Succeeded, Block::Installed);
        addRow("failed", false, false, false, true, Kind::Failed, Block::InstallFailed);
    }

    void engineBlock()
    {
        const auto [uninstalling, engine] = fetch<bool, bool>("uninstalling", "engine");
        const auto [fromHomebrew, brew, install]
            = fetch<bool, bool, Kind>("fromHomebrew", "brew", "install");
        QTEST(EngineSetup::blockFor({uninstalling, engine, fromHomebrew, brew, install}), "block");
    }

    void fieldRules_data()
    {
        // "maxTokens" 0: the text is refused
        columns<QString, int>("text", "maxTokens");
        addRow("whole number", "512", 512);
        addRow("spaces around", " 64 ", 64);
        addRow("one", "1", 1);
        addRow("the limit", "32768", 32768);
        addRow("above the limit", "40000", 32768);
        addRow("beyond 64 bits", "99999999999999999999999", 32768);
        addRow("zero", "0", 0);
        addRow("negative", "-5", 0);
        addRow("fraction", "1.5", 0);
        addRow("words", "lots", 0);
        addRow("empty", "", 0);
    }

    // Max Tokens takes what the engine can use; a refused text keeps the value in force.
    void fieldRules()
    {
        const auto [text, maxTokens] = fetch<QString, int>("text", "maxTokens");
        AgentState state;
        state.setMaxTokens(300);
        Controller controller;
        controller.setAgentState(&state);
        QSignalSpy shown(&state, &AgentState::maxTokensChanged);
        QCOMPARE(controller.submitMaxTokens(text), maxTokens > 0);
        QCOMPARE(state.maxTokens(), maxTokens > 0 ? maxTokens : 300);
        QVERIFY(!shown.isEmpty()); // the field shows the value in force again
        QCOMPARE(Preferences::integer("maxTokens"), maxTokens > 0 ? maxTokens : 0);
        const QString hint = maxTokens == 0 ? "Enter a whole number from 1 to 32768."
                             : maxTokens == 32768 && text != "32768"
                                 ? "32768 is the most the engine takes."
                                 : "";
        QCOMPARE(controller.maxTokensHint(), hint);
    }

    // The slider's grid, and 0 surviving a restart, as the thinking switches do.
    void temperature()
    {
        AgentState state;
        Controller controller;
        controller.setAgentState(&state);
        for (const auto &[given, stored] :
             {std::pair{0.73, 0.75}, {2.4, 2.0}, {-1.0, 0.0}, {0.0, 0.0}}) {
            controller.setTemperature(given);
            QCOMPARE(state.temperature(), stored);
        }
        controller.setThinkingEnabled(false);
        controller.setShowThinking(false);
        const AgentState restarted;
        QCOMPARE(restarted.temperature(), 0.0);
        QVERIFY(!restarted.thinkingEnabled() && !restarted.showThinking());
        controller.setThinkingEnabled(true);
        controller.setShowThinking(true);
    }

    // Candidates in catalogue order, then variant order; switching on takes the first,
    // the picker names the remembered one, and both are saved.
    void autoLoad()
    {
        ModelManager models;
        QVERIFY(models.models().size() >= 3);
        const HFModel &first = models.models().at(0);
        const HFModel &third = models.models().at(2);
        const QString thirdPath = placeModelFile(third, third.variants.first());
        const QString firstPath = placeModelFile(first, first.variants.first());
        AgentState state;
        Controller controller;
        controller.setAgentState(&state);
        controller.setModelManager(&models);
        QCOMPARE(controller.autoLoadLabels(), QStringList());
        controller.setAutoLoadEnabled(true); // nothing to pick: nothing happens
        QVERIFY(!state.autoLoadModelPath());

        QSignalSpy changed(&controller, &Controller::autoLoadChanged);
        controller.refresh();
        QVERIFY(!changed.isEmpty());
        QCOMPARE(controller.autoLoadLabels(),
                 (QStringList{"Llama 3.2 3B Instruct Q4_K_M", "Qwen 2.5 3B Instruct Q4_K_M"}));
        QCOMPARE(controller.autoLoadIndex(), -1);
        controller.setAutoLoadEnabled(true);
        QCOMPARE(state.autoLoadModelPath(), firstPath);
        QCOMPARE(Preferences::string("autoLoadModelName"), "Llama 3.2 3B Instruct Q4_K_M");
        controller.chooseAutoLoad(1);
        QCOMPARE(controller.autoLoadIndex(), 1);
        QCOMPARE(Preferences::string("autoLoadModelPath"), thirdPath);
        QCOMPARE(Preferences::string("autoLoadModelName"), "Qwen 2.5 3B Instruct Q4_K_M");
        controller.setAutoLoadEnabled(false);
        QVERIFY(!controller.autoLoadEnabled());
        QVERIFY(!Preferences::contains("autoLoadModelPath"));
        QVERIFY(!Preferences::contains("autoLoadModelName"));
    }

    // The outcome line: what went wrong, or how many chats moved.
    void exportAndImport()
    {
        QTemporaryDir dir;
        auto state = loadedState();
        Controller controller;
        controller.setAgentState(state.get());
        const auto run = [&](void (Controller::*action)(const QUrl &), const QString &file) {
            QSignalSpy changed(&controller, &Controller::transferChanged);
            (controller.*action)(QUrl::fromLocalFile(dir.filePath(file)));
            QTRY_COMPARE(changed.size(), 2); // running, then the outcome
            QVERIFY(!controller.isTransferring());
        };
        run(&Controller::exportChats, "chats.json");
        QCOMPARE(controller.transferMessage(), "Exported 1 chat.");
        QVERIFY(!controller.transferFailed());
        run(&Controller::importChats, "chats.json");
        QCOMPARE(controller.transferMessage(), "Imported 0 chats (1 already here).");
        state->renameActiveSession("Changed since");
        run(&Controller::importChats, "chats.json");
        QCOMPARE(controller.transferMessage(), "Imported 1 chat.");
        run(&Controller::exportChats, "missing/chats.json");
        QCOMPARE(controller.transferMessage(), "Could not export chats: No such file or directory");
        QVERIFY(controller.transferFailed());
        QVERIFY(writeTestFile(dir.filePath("notes.json"), "{\"notes\": []}"));
        run(&Controller::importChats, "notes.json");
        QCOMPARE(controller.transferMessage(),
                 "Could not import chats: the file is not a chat export");
    }

    // Everything goes: a running download and its partial file, the models, the kept copies
    // of unreadable archives, the CPU-only stub, the settings (tst_agentstate has the keys).
    void deleteAllData()
    {
        Preferences::setBoolean("completionSoundEnabled", false);
        ModelManager models;
        const HFModel &model = models.models().first();
        placeModelFile(model, model.variants.first());
        const QString app = Paths::appDataDirectory();
        QVERIFY(
            writeTestFile(QDir(app).filePath("chatSessions-unreadable-20260101-000000.json"), "x"));
        QVERIFY(writeTestFile(QDir(app).filePath("keep.json"), "x"));
        QVERIFY(
            writeTestFile(QDir(*MetalStub::directory()).filePath(MetalStub::libraryName()), "x"));
        // A download that never finishes: the server sends half the file, then stalls.
        const HFModel &other = models.models().at(1);
        QTemporaryDir served;
        QVERIFY(QFile::copy(TOVRA_FIXTURES "/stories260K.gguf",
                            served.filePath(other.variants.first().filename)));
        FileServer server(served.path());
        QVERIFY(server.isRunning());
        qputenv("HF_ENDPOINT", server.baseURL("stall").toUtf8());
        models.startDownload(other, other.variants.first());
        const QString partial = ModelManager::partialFilePath(other, other.variants.first());
        QTRY_VERIFY(QFileInfo(partial).size() > 0);

        auto state = loadedState();
        ServerManagerOptions options;
        options.serverSearchList = {"/nonexistent/llama-server"};
        options.userPath.clear();
        options.brewCandidates = {};
        ServerManager engine(options);
        Controller controller;
        controller.setAgentState(state.get());
        controller.setServerManager(&engine);
        controller.setModelManager(&models);
        controller.setPhaseDurations(std::chrono::milliseconds(10), std::chrono::milliseconds(10));
        QSignalSpy deleted(&controller, &Controller::allDataDeleted);
        controller.deleteAllData();
        QTRY_COMPARE(deleted.size(), 1);
        QTRY_COMPARE(controller.allDeletePhase(), Phase::Idle);

        QCOMPARE(models.activeDownloadCount(), 0);
        QVERIFY(QDir(ModelManager::modelsDirectory()).isEmpty());
        QVERIFY(!QFileInfo::exists(partial));
        QCOMPARE(QDir(app).entryList({"chatSessions-unreadable-*"}, QDir::Files), QStringList());
        QVERIFY(QFileInfo::exists(QDir(app).filePath("keep.json")));
        QVERIFY(!MetalStub::builtDirectory());
        QVERIFY(controller.completionSoundEnabled());
        QVERIFY(std::none_of(models.models().cbegin(),
                             models.models().cend(),
                             [](const HFModel &m) { return m.hasDownloadedVariant(); }));
    }
};

TOVRA_TEST_MAIN(SettingsTest, QGuiApplication)
#include "tst_settingscontroller.moc"

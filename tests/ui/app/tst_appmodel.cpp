#include "agent/agentmanager.h"
#include "core/agentstate.h"
#include "engine/servermanager.h"
#include "models/modelmanager.h"
#include "ui/app/appmodel.h"
#include "ui/components/icons.h"

#include "platform/preferences.h"

#include <QApplication>
#include <QFontMetrics>

#include "tests/engine/enginetesthelpers.h"
#include "tests/support/storedstate.h"
#include "tests/support/testenvironment.h"

namespace {
// The stand-in engine, or an executable that is not there.
ServerManagerOptions engineAt(const QString &path)
{
    ServerManagerOptions options = enginetest::standinOptions();
    options.serverSearchList = {path};
    return options;
}
} // namespace

class AppModelTest : public QObject
{
    Q_OBJECT
    QTemporaryDir m_dir;

private slots:

    void init()
    {
        failOnUnexpectedWarnings();
        clearStoredState();
    }

    // The remembered model starts at launch only with its path, its name and an engine.
    void autoLoad_data()
    {
        columns<bool, bool, bool>("withPath", "withName", "withEngine");
        addRow("all three", true, true, true);
        addRow("nothing remembered", false, false, true);
        addRow("path without name", true, false, true);
        addRow("name without path", false, true, true);
        addRow("engine not installed", true, true, false);
    }

    void autoLoad()
    {
        const auto [withPath, withName, withEngine]
            = fetch<bool, bool, bool>("withPath", "withName", "withEngine");
        const QString modelPath = m_dir.filePath("tiny.gguf");
        QVERIFY(writeTestFile(modelPath, "GGUF"));
        if (withPath)
            Preferences::setString("autoLoadModelPath", modelPath);
        if (withName)
            Preferences::setString("autoLoadModelName", "Tiny Q4_K_M");
        enginetest::ArgsLog args;
        AppModel app(engineAt(withEngine ? StandinEngine::executable() : m_dir.filePath("missing")));
        ServerManager *server = app.serverManager();
        QSignalSpy starting(server, &ServerManager::isStartingChanged);
        const bool starts = withPath && withName && withEngine;
        QCOMPARE(app.autoLoadOnLaunch(), starts);
        if (!starts) {
            QCoreApplication::processEvents();
            QCOMPARE(starting.size(), 0);
            QVERIFY(!server->isRunning());
            QCOMPARE(server->activeModelNameText(), QString());
            return;
        }
        QTRY_VERIFY_WITH_TIMEOUT(server->isRunning(), 30000);
        QCOMPARE(server->activeModelNameText(), "Tiny Q4_K_M");
        QVERIFY(args.lines(server->port()).join(u'\n').contains(modelPath));
        // Leave no engine behind.
        server->stopServer();
        QTRY_VERIFY_WITH_TIMEOUT(!server->isRunning(), 30000);
    }

    // A remote engine remembered as in use: nothing starts the local one at launch and turns
    // go to the remote one, until "This computer" loads the remembered model.
    void remoteEngineAtLaunch()
    {
        Preferences::setString("remoteEngineAddress", "https://127.0.0.1:9");
        Preferences::setString("remoteEngineModel", "standin-small");
        Preferences::setBoolean("remoteEngineInUse", true);
        const QString modelPath = m_dir.filePath("tiny.gguf");
        QVERIFY(writeTestFile(modelPath, "GGUF"));
        Preferences::setString("autoLoadModelPath", modelPath);
        Preferences::setString("autoLoadModelName", "Tiny Q4_K_M");
        AppModel app(engineAt(StandinEngine::executable()));
        QVERIFY(!app.autoLoadOnLaunch());
        QCOMPARE(app.agentManager()->remoteClient(), app.remoteEngine()->client());
        app.remoteEngine()->useThisComputer();
        QCOMPARE(app.agentManager()->remoteClient(), nullptr);
        QTRY_VERIFY_WITH_TIMEOUT(app.engineChoice()->isRunning(), 30000);
        QCOMPARE(app.engineChoice()->modelName(), "Tiny Q4_K_M");
        QCoro::waitFor(app.serverManager()->stopServer());
    }

    void deleteLoadedAndAutoLoadModel_data()
    {
        columns<bool, bool>("loaded", "autoLoad");
        addRow("loaded and auto-load", true, true);
        addRow("loaded only", true, false);
        addRow("auto-load only", false, true);
    }

    // Deleting the loaded model stops the engine; deleting the auto-load model clears both
    // its settings, saved. Another file's setting stays.
    void deleteLoadedAndAutoLoadModel()
    {
        const auto [loaded, autoLoad] = fetch<bool, bool>("loaded", "autoLoad");
        AppModel app(engineAt(StandinEngine::executable()));
        ModelManager *models = app.modelManager();
        const HFModel model = models->models()[0];
        const QString path = ModelManager::filePath(model, model.variants[0]);
        QVERIFY(writeTestFile(path, "GGUF"));
        models->refreshDownloadStatus();

        const QString other = m_dir.filePath("other.gguf");
        AgentState *state = app.agentState();
        state->setAutoLoadModelPath(autoLoad ? path : other);
        state->setAutoLoadModelName("Llama 3.2 3B Instruct Q4_K_M");
        state->saveSettings();
        if (loaded) {
            app.serverManager()->startServer(path, "Llama 3.2 3B Instruct Q4_K_M");
            QTRY_VERIFY_WITH_TIMEOUT(app.serverManager()->isRunning(), 30000);
        }

        models->deleteModel(model, model.variants[0]);
        QTRY_VERIFY_WITH_TIMEOUT(!app.serverManager()->isRunning(), 30000);
        QCOMPARE(app.serverManager()->statusMessage(), "No model loaded");
        const std::optional<QString> kept = autoLoad ? std::nullopt : std::optional(other);
        QCOMPARE(state->autoLoadModelPath(), kept);
        QCOMPARE(Preferences::string("autoLoadModelPath"), kept);
        QCOMPARE(Preferences::string("autoLoadModelName").has_value(), !autoLoad);
    }

    // Each symbol draws a glyph the font has; a name the table lacks is reported.
    void everySymbolHasAGlyph()
    {
        QCOMPARE(Icons::fontFamily(), "Material Icons");
        const QFontMetrics metrics{QFont(Icons::fontFamily())};
        const QStringList names = Icons::symbolNames();
        for (const QString &name : names) {
            const QString glyph = Icons::glyph(name);
            QCOMPARE(glyph.size(), 1);
            QVERIFY2(metrics.inFontUcs4(glyph.at(0).unicode()), qPrintable(name));
        }
        QTest::ignoreMessage(QtWarningMsg, "no glyph for the symbol \"no.such.symbol\"");
        QVERIFY(Icons::glyph("no.such.symbol").isEmpty());
        QVERIFY(Icons::glyph(QString()).isEmpty());
    }
};

TOVRA_TEST_MAIN(AppModelTest, QApplication)
#include "tst_appmodel.moc"

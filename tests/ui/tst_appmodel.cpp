#include "agent/agentmanager.h"
#include "core/agentstate.h"
#include "engine/servermanager.h"
#include "models/modelmanager.h"
#include "ui/appmodel.h"
#include "ui/icons.h"

#include "platform/preferences.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFontMetrics>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QtTest>

#include "tests/support/standinengine.h"
#include "tests/support/testenvironment.h"

namespace {
int freePort()
{
    QTcpServer server;
    server.listen(QHostAddress::LocalHost, 0);
    return server.serverPort();
}

ServerManagerOptions engineAt(const QString &path)
{
    ServerManagerOptions options;
    options.serverSearchList = {path};
    options.port = freePort();
    options.pollInterval = std::chrono::milliseconds(50);
    return options;
}
} // namespace

class AppModelTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void createsManagersAndDefersTheLoop();
    void autoLoadNeedsPathNameAndEngine_data();
    void autoLoadNeedsPathNameAndEngine();
    void autoLoadStartsTheRememberedModel();
    void deleteLoadedAndAutoLoadModel_data();
    void deleteLoadedAndAutoLoadModel();
    void onboardingFlagFollowsTheStore();
    void everySymbolHasAGlyph();

private:
    QTemporaryDir m_dir;
};

void AppModelTest::init()
{
    failOnUnexpectedWarnings();
    for (const char *key :
         {"onboardingComplete", "autoLoadModelPath", "autoLoadModelName", "chatSessions"})
        Preferences::remove(QString::fromLatin1(key));
    Preferences::sync();
}

void AppModelTest::createsManagersAndDefersTheLoop()
{
    AppModel app(engineAt(m_dir.filePath(QStringLiteral("missing"))));
    QVERIFY(app.agentState());
    QVERIFY(app.serverManager());
    QVERIFY(app.modelManager());
    QCOMPARE(AppModel::instance(), &app);
    // The store starts with an active session.
    QVERIFY(app.agentState()->activeSession().has_value());

    QVERIFY(!app.hasAgentManager());
    AgentManager *agent = app.agentManager();
    QVERIFY(agent);
    QVERIFY(app.hasAgentManager());
    QCOMPARE(app.agentManager(), agent);
    QCOMPARE(app.property("agentManager").value<AgentManager *>(), agent);
}

void AppModelTest::autoLoadNeedsPathNameAndEngine_data()
{
    QTest::addColumn<bool>("withPath");
    QTest::addColumn<bool>("withName");
    QTest::addColumn<bool>("withEngine");
    QTest::newRow("nothing remembered") << false << false << true;
    QTest::newRow("path without name") << true << false << true;
    QTest::newRow("name without path") << false << true << true;
    QTest::newRow("engine not installed") << true << true << false;
}

void AppModelTest::autoLoadNeedsPathNameAndEngine()
{
    QFETCH(bool, withPath);
    QFETCH(bool, withName);
    QFETCH(bool, withEngine);
    if (withPath)
        Preferences::setString(QStringLiteral("autoLoadModelPath"),
                               m_dir.filePath(QStringLiteral("m.gguf")));
    if (withName)
        Preferences::setString(QStringLiteral("autoLoadModelName"), QStringLiteral("Tiny Q4_K_M"));
    AppModel app(engineAt(withEngine ? StandinEngine::executable()
                                     : m_dir.filePath(QStringLiteral("missing"))));
    QSignalSpy starting(app.serverManager(), &ServerManager::isStartingChanged);
    QVERIFY(!app.autoLoadOnLaunch());
    QCoreApplication::processEvents();
    QCOMPARE(starting.size(), 0);
    QVERIFY(!app.serverManager()->isRunning());
    QCOMPARE(app.serverManager()->activeModelNameText(), QString());
}

void AppModelTest::autoLoadStartsTheRememberedModel()
{
    const QString modelPath = m_dir.filePath(QStringLiteral("tiny.gguf"));
    QFile model(modelPath);
    QVERIFY(model.open(QIODevice::WriteOnly));
    model.write("GGUF");
    model.close();
    const QString argsLog = m_dir.filePath(QStringLiteral("args.log"));
    qputenv("STANDIN_ARGS_LOG", argsLog.toLocal8Bit());
    Preferences::setString(QStringLiteral("autoLoadModelPath"), modelPath);
    Preferences::setString(QStringLiteral("autoLoadModelName"), QStringLiteral("Tiny Q4_K_M"));

    AppModel app(engineAt(StandinEngine::executable()));
    QVERIFY(app.autoLoadOnLaunch());
    QTRY_VERIFY_WITH_TIMEOUT(app.serverManager()->isRunning(), 30000);
    QCOMPARE(app.serverManager()->activeModelNameText(), QStringLiteral("Tiny Q4_K_M"));
    QFile log(argsLog);
    QVERIFY(log.open(QIODevice::ReadOnly));
    QVERIFY(log.readAll().contains(modelPath.toUtf8()));
    qunsetenv("STANDIN_ARGS_LOG");

    // Leave no engine behind.
    QSignalSpy running(app.serverManager(), &ServerManager::isRunningChanged);
    app.serverManager()->stopServer();
    QTRY_VERIFY_WITH_TIMEOUT(!app.serverManager()->isRunning(), 30000);
}

void AppModelTest::deleteLoadedAndAutoLoadModel_data()
{
    QTest::addColumn<bool>("loaded");
    QTest::addColumn<bool>("autoLoad");
    QTest::newRow("loaded and auto-load") << true << true;
    QTest::newRow("loaded only") << true << false;
    QTest::newRow("auto-load only") << false << true;
}

// Deleting the loaded model stops the engine; deleting the auto-load model clears both
// its settings, saved. Another file's setting stays.
void AppModelTest::deleteLoadedAndAutoLoadModel()
{
    QFETCH(bool, loaded);
    QFETCH(bool, autoLoad);
    AppModel app(engineAt(StandinEngine::executable()));
    ModelManager *models = app.modelManager();
    const HFModel model = models->models()[0];
    const QString path = ModelManager::filePath(model, model.variants[0]);
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write("GGUF") == 4);
    file.close();
    models->refreshDownloadStatus();

    const QString other = m_dir.filePath(QStringLiteral("other.gguf"));
    AgentState *state = app.agentState();
    state->setAutoLoadModelPath(autoLoad ? path : other);
    state->setAutoLoadModelName(QStringLiteral("Llama 3.2 3B Instruct Q4_K_M"));
    state->saveSettings();
    if (loaded) {
        app.serverManager()->startServer(path, QStringLiteral("Llama 3.2 3B Instruct Q4_K_M"));
        QTRY_VERIFY_WITH_TIMEOUT(app.serverManager()->isRunning(), 30000);
    }

    models->deleteModel(model, model.variants[0]);
    QVERIFY(!QFile::exists(path));
    QVERIFY(!models->models()[0].variants[0].isDownloaded);
    QTRY_VERIFY_WITH_TIMEOUT(!app.serverManager()->isRunning(), 30000);
    QCOMPARE(app.serverManager()->statusMessage(), QStringLiteral("No model loaded"));
    const std::optional<QString> kept = autoLoad ? std::nullopt : std::optional(other);
    QCOMPARE(state->autoLoadModelPath(), kept);
    QCOMPARE(Preferences::string(QStringLiteral("autoLoadModelPath")), kept);
    QCOMPARE(Preferences::string(QStringLiteral("autoLoadModelName")).has_value(), !autoLoad);
}

void AppModelTest::onboardingFlagFollowsTheStore()
{
    AppModel app(engineAt(m_dir.filePath(QStringLiteral("missing"))));
    QSignalSpy changed(&app, &AppModel::onboardingCompleteChanged);
    QVERIFY(!app.onboardingComplete());

    app.setOnboardingComplete(true);
    QVERIFY(app.onboardingComplete());
    QCOMPARE(changed.size(), 1);
    QVERIFY(Preferences::boolean(QStringLiteral("onboardingComplete")));

    // A later run reads it back.
    {
        AppModel second(engineAt(m_dir.filePath(QStringLiteral("missing"))));
        QVERIFY(second.onboardingComplete());
    }

    // The store's reset removes the key; the flag follows without a restart.
    app.agentState()->resetAllData();
    QVERIFY(!Preferences::contains(QStringLiteral("onboardingComplete")));
    QTRY_VERIFY(!app.onboardingComplete());
    QCOMPARE(changed.size(), 2);
}

void AppModelTest::everySymbolHasAGlyph()
{
    // Every symbol name the screens use.
    const QStringList used
        = QStringLiteral(
              "app.badge apps.iphone arrow.clockwise arrow.down.doc.fill arrow.up "
              "arrow.up.right bolt.fill brain.head.profile bubble.left.and.bubble.right.fill "
              "camera.viewfinder checkmark checkmark.circle.fill chevron.down chevron.right "
              "chevron.up clock.arrow.circlepath cpu cpu.fill doc.on.doc doc.text "
              "doc.text.fill equal.circle.fill exclamationmark.circle.fill "
              "exclamationmark.triangle.fill folder gear hand.wave.fill info.circle "
              "lock.shield.fill magnifyingglass pencil.circle.fill pin pin.fill pin.slash "
              "slider.horizontal.3 sparkles square.and.arrow.down square.and.arrow.up "
              "square.and.pencil stop.fill terminal.fill text.quote trash "
              "wrench.and.screwdriver.fill xmark.circle xmark.circle.fill")
              .split(u' ');
    QCOMPARE(Icons::symbolNames(), used);
    QCOMPARE(Icons::fontFamily(), QStringLiteral("Material Icons"));
    const QFontMetrics metrics{QFont(Icons::fontFamily())};
    for (const QString &name : used) {
        const QString glyph = Icons::glyph(name);
        QCOMPARE(glyph.size(), 1);
        QVERIFY2(metrics.inFontUcs4(glyph.at(0).unicode()), qPrintable(name));
    }
    QVERIFY(Icons::glyph(QStringLiteral("no.such.symbol")).isEmpty());
}

TOVRA_TEST_MAIN(AppModelTest, QApplication)
#include "tst_appmodel.moc"

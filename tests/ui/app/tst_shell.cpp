#include "platform/preferences.h"
#include "tests/engine/enginetesthelpers.h"
#include "tests/fixtures/fileserver.h"
#include "ui/app/appmodel.h"

#include <memory>

#include "tests/support/qmltestsetup.h"
#include "tests/support/quicktestmain.h"

// The stand-in hub serves the tiny model under a file name; else downloads go nowhere.
class HubStandIn : public QObject
{
    Q_OBJECT
public:
    Q_INVOKABLE bool serve(const QString &fileName)
    {
        if (!m_server)
            m_server = std::make_unique<FileServer>(m_root.path());
        qputenv("HF_ENDPOINT", m_server->baseURL(QStringLiteral("files")).toUtf8());
        return m_server->isRunning()
               && writeTestFile(m_root.filePath(fileName),
                                readTestFile(QStringLiteral(TOVRA_FIXTURES "/stories260K.gguf")));
    }
    Q_INVOKABLE void stop() { qputenv("HF_ENDPOINT", "http://127.0.0.1:9/"); }

private:
    QTemporaryDir m_root;
    std::unique_ptr<FileServer> m_server;
};

// Chooses how the stand-in Homebrew's next run ends.
class BrewStandIn : public QObject
{
    Q_OBJECT
public:
    Q_INVOKABLE void setExitStatus(int status)
    {
        qputenv("STANDIN_BREW_STATUS", QByteArray::number(status));
    }
    // Back to "not installed": an uninstall always ends idle.
    Q_INVOKABLE void resetInstaller()
    {
        AppModel::instance()->serverManager()->uninstallViaHomebrew();
    }
    // Also a stand-in disk: a folder where the chat archive goes makes its saves fail.
    Q_INVOKABLE void blockChatArchive(bool blocked)
    {
        const QString file = Preferences::dataFile(QStringLiteral("chatSessions"));
        QFile::remove(file);
        blocked ? QDir().mkpath(file) : QDir(file).removeRecursively();
    }
};

// The shell's QML wiring, run against a real application object in a private home.
class ShellSetup : public QObject
{
    Q_OBJECT

public slots:
    void applicationAvailable()
    {
        TestEnvironment::setApplicationIdentity();
        ServerManagerOptions options;
        options.serverSearchList = {"/nonexistent/llama-server"};
        options.userPath.clear();
        options.brewCandidates = {TOVRA_FIXTURES "/standin_brew.sh"};
        m_app = std::make_unique<AppModel>(options);
        m_engine = std::make_unique<ServerManager>(enginetest::standinOptions());
    }
    void qmlEngineAvailable(QQmlEngine *engine)
    {
        prepareQmlEngine(engine);
        for (const auto &[name, object] :
             {std::pair<const char *, QObject *>{"brewStandIn", &m_brew},
              {"hubStandIn", &m_hub},
              {"engineStandIn", m_engine.get()}}) {
            QJSEngine::setObjectOwnership(object, QJSEngine::CppOwnership);
            engine->globalObject().setProperty(name, engine->newQObject(object));
        }
    }
    void cleanupTestCase() { m_app.reset(); }

private:
    std::unique_ptr<AppModel> m_app;
    std::unique_ptr<ServerManager> m_engine;
    BrewStandIn m_brew;
    HubStandIn m_hub;
};

TOVRA_QUICK_TEST_MAIN("tst_shell", QUICK_TEST_SOURCE_DIR, ShellSetup)

#include "tst_shell.moc"

#include "platform/preferences.h"
#include "ui/appmodel.h"

#include <memory>

#include "tests/support/qmltestsetup.h"
#include "tests/support/quicktestmain.h"

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
    }
    void qmlEngineAvailable(QQmlEngine *engine)
    {
        prepareQmlEngine(engine);
        QJSEngine::setObjectOwnership(&m_brew, QJSEngine::CppOwnership);
        engine->globalObject().setProperty("brewStandIn", engine->newQObject(&m_brew));
    }
    void cleanupTestCase() { m_app.reset(); }

private:
    std::unique_ptr<AppModel> m_app;
    BrewStandIn m_brew;
};

TOVRA_QUICK_TEST_MAIN("tst_shell", QUICK_TEST_SOURCE_DIR, ShellSetup)

#include "tst_shell.moc"

#include "ui/appmodel.h"

#include <QApplication>
#include <QtQuickTest>

#include <memory>

#include "tests/support/qmltestsetup.h"

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

// QtQuickTest brings its own main; the environment must still be private before the
// application object reads any path.
int main(int argc, char **argv)
{
    TestEnvironment environment;
    // The menu-bar item needs the widgets backend, as in the app.
    QApplication app(argc, argv);
    ShellSetup setup;
    QTEST_SET_MAIN_SOURCE_PATH
    return quick_test_main_with_setup(argc, argv, "tst_shell", QUICK_TEST_SOURCE_DIR, &setup);
}

#include "tst_shell.moc"

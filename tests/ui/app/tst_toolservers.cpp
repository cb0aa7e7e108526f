#include "tests/engine/enginetesthelpers.h"
#include "tests/mcp/mcpfixture.h"
#include "ui/app/appmodel.h"

#include <QJSValue>

#include <httplib.h>

#include <memory>

#include "tests/support/qmltestsetup.h"
#include "tests/support/quicktestmain.h"

// What the tool servers' QML test needs beyond the app: the reference filesystem server's
// command line, a folder with a note, the stand-in engine with its scripts and what it received.
class ToolServerControl : public QObject
{
    Q_OBJECT

public:
    explicit ToolServerControl(AppModel *app)
        : m_app(app)
    {}

    Q_INVOKABLE QString nodeMissing() const { return Mcp::nodeMissing(); }
    Q_INVOKABLE QString filesystemCommand(const QString &folder) const
    {
        return QStringLiteral("node ") + Mcp::script(QStringLiteral("server-filesystem")) + u' '
               + folder;
    }
    // The folder the note is in.
    Q_INVOKABLE QString writeNote(const QString &text) const
    {
        const QString folder = QDir::home().filePath(QStringLiteral("notes"));
        return writeTestFile(folder + QStringLiteral("/notes.txt"), text.toUtf8()) ? folder
                                                                                   : QString();
    }
    Q_INVOKABLE bool writeConfig(const QString &text) const
    {
        return writeTestFile(m_app->toolServers()->configPath(), text.toUtf8());
    }
    Q_INVOKABLE void startEngine() const
    {
        m_app->serverManager()->startServer(QDir::home().filePath(QStringLiteral("model.gguf")),
                                            QStringLiteral("Tovra Stand-in Chat Model Q4"));
    }
    Q_INVOKABLE bool enqueue(const QJSValue &scripts) const
    {
        const QByteArray body
            = QJsonDocument::fromVariant(scripts.toVariant()).toJson(QJsonDocument::Compact);
        const auto result
            = client().Post("/control/enqueue", body.toStdString(), "application/json");
        return result && result->status == 200;
    }
    // The chat requests the engine received, as one text.
    Q_INVOKABLE QString requests() const
    {
        const auto result = client().Get("/control/requests");
        return result ? QString::fromStdString(result->body) : QString();
    }

private:
    httplib::Client client() const
    {
        return httplib::Client("127.0.0.1", m_app->serverManager()->port());
    }

    AppModel *m_app;
};

class ToolServersSetup : public QObject
{
    Q_OBJECT

public slots:
    void applicationAvailable()
    {
        TestEnvironment::setApplicationIdentity();
        m_app
            = std::make_unique<AppModel>(enginetest::standinOptions(std::chrono::milliseconds(100)),
                                         McpRegistryOptions{{}, Mcp::folders(), {}});
        m_app->agentManager()->setCompletionSoundCommand({});
        m_control = std::make_unique<ToolServerControl>(m_app.get());
    }
    void qmlEngineAvailable(QQmlEngine *engine)
    {
        prepareQmlEngine(engine);
        qmlRegisterSingletonInstance("ToolServerTest", 1, 0, "Tools", m_control.get());
    }
    void cleanupTestCase()
    {
        QCoro::waitFor(m_app->serverManager()->stopServer());
        m_control.reset();
        m_app.reset();
    }

private:
    std::unique_ptr<AppModel> m_app;
    std::unique_ptr<ToolServerControl> m_control;
};

// Not named tst_*.qml: the shell test runs every such file here.
TOVRA_QUICK_TEST_MAIN("tst_toolservers",
                      QUICK_TEST_SOURCE_DIR "/toolservers_wiring.qml",
                      ToolServersSetup)

#include "tst_toolservers.moc"

#include "agent/agentmanager.h"
#include "tests/engine/enginetesthelpers.h"
#include "ui/app/appmodel.h"

#include "platform/preferences.h"

#include <QJSValue>
#include <QQuickItem>
#include <QQuickWindow>

#include <httplib.h>

#include <memory>

#include "tests/support/qmltestsetup.h"
#include "tests/support/quicktestmain.h"

// What the chat screen's QML test needs beyond the app: the stand-in engine's start,
// its scripts, and files in the private home.
class EngineControl : public QObject
{
    Q_OBJECT

public:
    explicit EngineControl(AppModel *app)
        : m_app(app)
    {}

    // Starts the stand-in engine through the app's server manager; "startup" is the
    // stand-in's start-up behaviour (JSON), empty for a quick start.
    Q_INVOKABLE void start(const QString &startup)
    {
        enginetest::setStartup(startup);
        m_app->serverManager()->startServer(QDir::home().filePath("model.gguf"),
                                            "Tovra Stand-in Chat Model Q4");
    }
    Q_INVOKABLE void stop() { m_app->serverManager()->stopServer(); }

    // Queues one script (an object) or several (an array) for the next chat requests.
    Q_INVOKABLE bool enqueue(const QJSValue &scripts)
    {
        httplib::Client client("127.0.0.1", m_app->serverManager()->port());
        const QByteArray body
            = QJsonDocument::fromVariant(scripts.toVariant()).toJson(QJsonDocument::Compact);
        const auto result = client.Post("/control/enqueue", body.toStdString(), "application/json");
        return result && result->status == 200;
    }

    Q_INVOKABLE QString homePath() const { return QDir::homePath(); }
    Q_INVOKABLE QString readFile(const QString &path) const
    {
        return QString::fromUtf8(readTestFile(path));
    }
    Q_INVOKABLE bool writeFile(const QString &path, const QString &text) const
    {
        return writeTestFile(path, text.toUtf8());
    }
    // A drag of files from outside the app, as the window system delivers it: it enters
    // over the middle of the item, then drops there.
    Q_INVOKABLE void dragFilesOver(QQuickItem *item, const QStringList &paths)
    {
        QList<QUrl> urls;
        for (const QString &path : paths)
            urls.append(QUrl::fromLocalFile(path));
        m_dragData = std::make_unique<QMimeData>();
        m_dragData->setUrls(urls);
        m_dragPoint = item->mapToScene(QPointF(item->width() / 2, item->height() / 2));
        QDragEnterEvent enter(m_dragPoint.toPoint(),
                              Qt::CopyAction,
                              m_dragData.get(),
                              Qt::LeftButton,
                              Qt::NoModifier);
        QCoreApplication::sendEvent(item->window(), &enter);
    }
    Q_INVOKABLE void dropFiles(QQuickItem *item)
    {
        QDropEvent drop(m_dragPoint,
                        Qt::CopyAction,
                        m_dragData.get(),
                        Qt::LeftButton,
                        Qt::NoModifier);
        QCoreApplication::sendEvent(item->window(), &drop);
    }
    Q_INVOKABLE void resetCelebration() const { Preferences::remove("firstReplyCelebrated"); }

private:
    AppModel *m_app;
    std::unique_ptr<QMimeData> m_dragData;
    QPointF m_dragPoint;
};

class ChatViewSetup : public QObject
{
    Q_OBJECT

public slots:
    void applicationAvailable()
    {
        TestEnvironment::setApplicationIdentity();
        m_app = std::make_unique<AppModel>(
            enginetest::standinOptions(std::chrono::milliseconds(100)));
        m_app->agentManager()->setCompletionSoundCommand({});
        m_control = std::make_unique<EngineControl>(m_app.get());
    }
    void qmlEngineAvailable(QQmlEngine *engine)
    {
        prepareQmlEngine(engine);
        // Test-only helper; the app's own types come from its QML module.
        qmlRegisterSingletonInstance("ChatTest", 1, 0, "Engine", m_control.get());
    }
    void cleanupTestCase()
    {
        m_control.reset();
        m_app.reset();
    }

private:
    std::unique_ptr<AppModel> m_app;
    std::unique_ptr<EngineControl> m_control;
};

// The QML file is named so that the shell test, which runs every tst_*.qml here, leaves it alone.
TOVRA_QUICK_TEST_MAIN("tst_chatview", QUICK_TEST_SOURCE_FILE, ChatViewSetup)

#include "tst_chatview.moc"

#include "ui/app/appmodel.h"

#include "agent/agentmanager.h"
#include "agent/enginechoice.h"
#include "agent/remoteengine.h"
#include "core/agentstate.h"
#include "models/modelmanager.h"

#include "platform/preferencekeys.h"
#include "platform/preferences.h"
#include "platform/quitsignals.h"

#include <QGuiApplication>
#include <QPointer>
#include <QQmlEngine>
#include <QQuickWindow>
#include <QTimer>
#include <QWindow>

namespace {
QPointer<AppModel> s_instance;
} // namespace

AppModel::AppModel(ServerManagerOptions serverOptions,
                   McpRegistryOptions toolServerOptions,
                   QObject *parent)
    : QObject(parent)
    , m_agentState(std::make_unique<AgentState>(nullptr, AgentState::SessionLoading::WhenAsked))
    , m_serverManager(std::make_unique<ServerManager>(std::move(serverOptions)))
    , m_modelManager(std::make_unique<ModelManager>())
    , m_remoteEngine(std::make_unique<RemoteEngine>())
    , m_engineChoice(std::make_unique<EngineChoice>(m_serverManager.get(), m_remoteEngine.get()))
    , m_toolServers(std::make_unique<McpRegistry>(std::move(toolServerOptions)))
    , m_onboardingComplete(Preferences::boolean(PreferenceKey::onboardingComplete, false))
{
    // A deleted model file is let go of: the engine stops when it had it loaded, then
    // the launch setting is cleared when it named it. The file is gone by now.
    connect(m_modelManager.get(), &ModelManager::modelFileRemoved, this, [this](const QString &path) {
        if (m_serverManager->activeModelPath() == path)
            m_serverManager->stopServer();
        if (m_agentState->autoLoadModelPath() == path) {
            m_agentState->setAutoLoadModelPath(std::nullopt);
            m_agentState->setAutoLoadModelName(std::nullopt);
            m_agentState->saveSettings();
        }
    });

    // Turns follow the engine in use; leaving the remote one starts the local one as at launch.
    connect(m_engineChoice.get(), &EngineChoice::isRemoteChanged, this, [this] {
        if (m_agentManager)
            m_agentManager->useRemote(m_engineChoice->remoteClient());
        if (!m_engineChoice->isRemote())
            autoLoadOnLaunch();
    });
    m_remoteEngine->restore();

    // "Delete All Data" reaches what the store does not keep: the onboarding flag is read
    // again (the reset removed it), the remote engine's keys, address and model go, and so do
    // the tool servers' switches and always-allowed tools (mcp.json is the user's and stays).
    connect(m_agentState.get(), &AgentState::allDataReset, this, [this] {
        refreshOnboardingComplete();
        m_remoteEngine->forget();
        m_toolServers->forgetPreferences();
    });

    if (auto *app = qobject_cast<QGuiApplication *>(QCoreApplication::instance())) {
        connect(app,
                &QGuiApplication::applicationStateChanged,
                this,
                [this](Qt::ApplicationState state) {
                    if (state == Qt::ApplicationActive)
                        refreshOnboardingComplete();
                });
    }
    // After the window is created: this runs once the event loop does.
    QTimer::singleShot(0, this, &AppModel::loadSessionsAfterFirstFrame);
    s_instance = this;
}

// Decoding a big archive while the window builds its first frame made that frame about
// twice as slow: the sessions are read once the frame is out (or a second later, when
// no window draws).
void AppModel::loadSessionsAfterFirstFrame()
{
    QQuickWindow *window = nullptr;
    if (qobject_cast<QGuiApplication *>(QCoreApplication::instance())) {
        for (QWindow *candidate : QGuiApplication::topLevelWindows()) {
            if (auto *quick = qobject_cast<QQuickWindow *>(candidate); quick && quick->isVisible())
                window = quick;
        }
    }
    AgentState *state = m_agentState.get();
    if (!window)
        return state->loadSavedSessions();
    connect(window,
            &QQuickWindow::frameSwapped,
            state,
            &AgentState::loadSavedSessions,
            Qt::SingleShotConnection);
    QTimer::singleShot(1000, state, &AgentState::loadSavedSessions);
}

AppModel::~AppModel() = default;

AppModel *AppModel::instance()
{
    return s_instance;
}

AppModel *AppModel::create(QQmlEngine *, QJSEngine *)
{
    AppModel *model = s_instance;
    Q_ASSERT_X(model, "AppModel", "the application object is created before the QML engine");
    QQmlEngine::setObjectOwnership(model, QQmlEngine::CppOwnership);
    return model;
}

AgentManager *AppModel::agentManager()
{
    if (!m_agentManager) {
        const QPointer<ServerManager> server(m_serverManager.get());
        const QPointer<EngineChoice> choice(m_engineChoice.get());
        // The context the engine really serves bounds the history sent to it (0: unknown,
        // as for a remote engine).
        EngineAccess engine{[choice] { return choice && choice->isRunning(); },
                            [server] { return server ? server->port() : 8080; },
                            [server, choice] {
                                return server && choice && !choice->isRemote()
                                           ? server->contextSize()
                                           : 0;
                            },
                            [choice] { return choice && choice->seesImages(); }};
        m_agentManager = std::make_unique<AgentManager>(m_agentState.get(), std::move(engine));
        m_agentManager->useRemote(m_engineChoice->remoteClient());
        m_agentManager->setToolServers(m_toolServers.get());
    }
    return m_agentManager.get();
}

void AppModel::setOnboardingComplete(bool complete)
{
    Preferences::setBoolean(PreferenceKey::onboardingComplete, complete);
    Preferences::sync();
    if (m_onboardingComplete == complete)
        return;
    m_onboardingComplete = complete;
    emit onboardingCompleteChanged();
}

void AppModel::refreshOnboardingComplete()
{
    const bool complete = Preferences::boolean(PreferenceKey::onboardingComplete, false);
    if (m_onboardingComplete == complete)
        return;
    m_onboardingComplete = complete;
    emit onboardingCompleteChanged();
}

bool AppModel::autoLoadOnLaunch()
{
    const auto path = m_agentState->autoLoadModelPath();
    const auto name = m_agentState->autoLoadModelName();
    if (!path || !name || m_engineChoice->isRemote() || !m_serverManager->findServerExecutable())
        return false;
    startServer(*path, *name);
    return true;
}

QCoro::Task<> AppModel::startServer(QString path, QString name)
{
    // The manager reports the outcome through its own state; nothing to do after.
    QPointer<ServerManager> server = m_serverManager.get();
    co_await server->startServer(std::move(path), std::move(name));
}

void AppModel::requestQuit()
{
    quit();
}

QCoro::Task<> AppModel::quit()
{
    if (m_isQuitting)
        co_return;
    m_isQuitting = true;
    if (qobject_cast<QGuiApplication *>(QCoreApplication::instance())) {
        for (QWindow *window : QGuiApplication::topLevelWindows())
            window->hide();
    }
    // An export or import running now ends at its next chunk instead of holding the exit.
    m_agentState->stopFileWork();
    QPointer<AppModel> self(this);
    co_await finishSavesBeforeQuit();
    if (self) {
        // Side by side: neither waits out the other's bound.
        QCoro::Task<> toolServers = m_toolServers->shutdown();
        co_await m_serverManager->shutdown();
        co_await toolServers;
    }
    // exit(), not quit(): quit() would only ask again.
    QCoreApplication::exit(0);
}

QCoro::Task<> AppModel::finishSavesBeforeQuit()
{
    // The archive is written off the UI thread; the last write lands before the exit.
    co_await m_agentState->finishSaves();
}

void AppModel::takeOverQuitRequests()
{
    QCoreApplication *app = QCoreApplication::instance();
    app->installEventFilter(this);
    auto *quitSignals = new QuitSignals(this);
    connect(quitSignals, &QuitSignals::quitRequested, this, &AppModel::requestQuit);
}

bool AppModel::eventFilter(QObject *watched, QEvent *event)
{
    // QCoreApplication::quit(), the platform's quit and the last window closing all arrive here.
    if (watched == QCoreApplication::instance() && event->type() == QEvent::Quit) {
        requestQuit();
        return true;
    }
    return QObject::eventFilter(watched, event);
}

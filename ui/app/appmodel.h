#pragma once

#include "agent/agentmanager.h"
#include "agent/enginechoice.h"
#include "agent/remoteengine.h"
#include "core/agentstate.h"
#include "engine/servermanager.h"
#include "mcp/mcpregistry.h"
#include "models/modelmanager.h"

#include <QObject>
#include <QPointer>
#include <QtQml/qqmlregistration.h>

#include <QCoroTask>

#include <memory>

class QJSEngine;
class QQmlEngine;

// The application object: creates the long-lived managers once, in dependency order,
// and hands them to the windows. The agent loop is created on first use.
class AppModel : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    QML_SINGLETON
    Q_PROPERTY(AgentState *agentState READ agentState CONSTANT)
    Q_PROPERTY(ServerManager *serverManager READ serverManager CONSTANT)
    Q_PROPERTY(ModelManager *modelManager READ modelManager CONSTANT)
    Q_PROPERTY(RemoteEngine *remoteEngine READ remoteEngine CONSTANT)
    // The engine in use, local or remote, as the screens show it.
    Q_PROPERTY(EngineChoice *engineChoice READ engineChoice CONSTANT)
    // The tool servers of mcp.json, started a moment after launch; the loop offers their tools.
    Q_PROPERTY(McpRegistry *toolServers READ toolServers CONSTANT)
    // Reading it creates the loop.
    Q_PROPERTY(AgentManager *agentManager READ agentManager CONSTANT)
    // The preference "onboardingComplete"; false when absent.
    Q_PROPERTY(bool onboardingComplete READ onboardingComplete WRITE setOnboardingComplete NOTIFY
                   onboardingCompleteChanged)

public:
    // Deliberately not default-constructible: Qt 6.4 builds a singleton with its default
    // constructor when there is one, ahead of create(), which would make a second set of managers.
    explicit AppModel(ServerManagerOptions serverOptions,
                      McpRegistryOptions toolServerOptions = {},
                      QObject *parent = nullptr);
    ~AppModel() override;

    // The one instance the process runs with (the last one created).
    static AppModel *instance();
    static AppModel *create(QQmlEngine *, QJSEngine *);

    AgentState *agentState() const { return m_agentState.get(); }
    ServerManager *serverManager() const { return m_serverManager.get(); }
    ModelManager *modelManager() const { return m_modelManager.get(); }
    RemoteEngine *remoteEngine() const { return m_remoteEngine.get(); }
    EngineChoice *engineChoice() const { return m_engineChoice.get(); }
    McpRegistry *toolServers() const { return m_toolServers.get(); }
    AgentManager *agentManager();

    bool onboardingComplete() const { return m_onboardingComplete; }
    void setOnboardingComplete(bool complete);
    // Reads the preference again: the key is also removed by the store's reset.
    Q_INVOKABLE void refreshOnboardingComplete();

    // Starts the engine with the model marked for loading at launch, when both its path
    // and name are known, the engine is installed and no remote engine is in use; otherwise
    // does nothing, silently.
    // Returns whether a start began.
    Q_INVOKABLE bool autoLoadOnLaunch();

    // Quits in order: hides the windows at once, ends the engine within the server manager's
    // shutdown bound and the tool servers side by side (input closed, SIGTERM after 2 s,
    // SIGKILL after 2 more), then leaves the event loop. A call while a quit runs does nothing.
    QCoro::Task<> quit();
    Q_INVOKABLE void requestQuit();
    // Sends every other way of asking the app to quit (the platform's quit command, the last
    // window closing, SIGTERM and SIGINT) through quit(), instead of ending on the spot.
    void takeOverQuitRequests();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

signals:
    void onboardingCompleteChanged();

private:
    QCoro::Task<> startServer(QString path, QString name);
    QCoro::Task<> finishSavesBeforeQuit();
    void loadSessionsAfterFirstFrame();

    // Declaration order is creation order; destruction runs the other way.
    std::unique_ptr<AgentState> m_agentState;
    std::unique_ptr<ServerManager> m_serverManager;
    std::unique_ptr<ModelManager> m_modelManager;
    std::unique_ptr<RemoteEngine> m_remoteEngine;
    std::unique_ptr<EngineChoice> m_engineChoice;
    std::unique_ptr<McpRegistry> m_toolServers;
    std::unique_ptr<AgentManager> m_agentManager;
    bool m_onboardingComplete = false;
    bool m_isQuitting = false;
};

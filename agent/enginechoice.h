#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

class RemoteClient;
class RemoteEngine;
class ServerManager;

// The one owner of "which engine does the app talk to": this computer's llama-server or the
// remote engine chosen in Settings. It is an object of its own rather than more of
// RemoteEngine so that neither side knows the other: ServerManager keeps only the local
// process, RemoteEngine only the remote server, its key and its models. This object holds the
// local engine stopped while the remote one is in use, and publishes what every screen shows
// of the engine in use (whether it runs or starts, the status line, the model's name, and
// "Remote: host") and which client the agent loop's turns go to.
class EngineChoice : public QObject
{
    Q_OBJECT
    // The remote engine is the one in use.
    Q_PROPERTY(bool isRemote READ isRemote NOTIFY isRemoteChanged)
    // The engine in use takes turns.
    Q_PROPERTY(bool isRunning READ isRunning NOTIFY isRunningChanged)
    Q_PROPERTY(bool isStarting READ isStarting NOTIFY isStartingChanged)
    Q_PROPERTY(QString statusMessage READ statusMessage NOTIFY statusMessageChanged)
    // The model in use; empty without one. A remote model the server names by a path
    // ("/models/llama-Q4_K_M.gguf") shows as its file's name without ".gguf".
    Q_PROPERTY(QString modelName READ modelName NOTIFY modelNameChanged)
    // "Remote: host" while the remote engine is in use; empty for this computer's.
    Q_PROPERTY(QString remoteLabel READ remoteLabel NOTIFY remoteLabelChanged)
    // The context, in tokens, one conversation gets from the local engine; 0 when unknown
    // (none runs, or a remote engine is in use).
    Q_PROPERTY(int contextSize READ contextSize NOTIFY contextSizeChanged)
    // The local engine's model sees pictures; false for a remote engine, whose sight the app
    // does not know.
    Q_PROPERTY(bool seesImages READ seesImages NOTIFY seesImagesChanged)

public:
    // Either may be null (a screen under test shows only the local engine).
    EngineChoice(ServerManager *local, RemoteEngine *remote, QObject *parent = nullptr);

    bool isRemote() const { return m_shown.remote; }
    bool isRunning() const { return m_shown.running; }
    bool isStarting() const { return m_shown.starting; }
    QString statusMessage() const { return m_shown.status; }
    QString modelName() const { return m_shown.model; }
    QString remoteLabel() const { return m_shown.remoteLabel; }
    int contextSize() const;
    bool seesImages() const;
    // The running local engine's address ("http://127.0.0.1:8080"); empty while a remote one
    // is in use or none runs.
    QString localBaseURL() const;
    // The client turns go to; nullptr while the local engine is in use.
    RemoteClient *remoteClient() const;

signals:
    void isRemoteChanged();
    void isRunningChanged();
    void isStartingChanged();
    void statusMessageChanged();
    void modelNameChanged();
    void remoteLabelChanged();
    void contextSizeChanged();
    void seesImagesChanged();
    // The local engine's outermost start has ended (see ServerManager::startEnded).
    void startEnded();

private:
    struct Shown
    {
        bool remote = false;
        bool running = false;
        bool starting = false;
        QString status;
        QString model;
        QString remoteLabel;
    };
    Shown current() const;
    void refresh();

    QPointer<ServerManager> m_local;
    QPointer<RemoteEngine> m_remote;
    Shown m_shown;
};

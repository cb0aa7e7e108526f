#pragma once

#include "engine/brewinstallstate.h"
#include "engine/enginelocator.h"
#include "engine/launchsettings.h"

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <QCoroTask>

#include <chrono>
#include <memory>
#include <optional>

class HomebrewInstaller;
class QNetworkAccessManager;
class QProcess;

// Everything a test (or a port of the app) may want to point elsewhere.
struct ServerManagerOptions
{
    QStringList serverSearchList = defaultServerSearchList();
    // Searched for "llama-server" after serverSearchList.
    QString userPath = defaultUserPath();
    QStringList brewCandidates = defaultBrewCandidates();
    std::chrono::milliseconds pollInterval{500};
    // The poll number at which the start-up wait gives up.
    int pollLimit = 120;
    int port = 8080;
    // How long a stop waits for the engine after asking it to terminate, before killing it.
    std::chrono::milliseconds stopGracePeriod{3000};
    // The same at application quit.
    std::chrono::milliseconds shutdownGracePeriod{5000};
    QString compiler = QStringLiteral("/usr/bin/cc");
};

// Owns the one local llama-server process: finds it, starts it with a model,
// waits until it is healthy, retries recognised failures with safer settings,
// watches it, stops it. Installing and removing it through Homebrew is its
// HomebrewInstaller's job; the manager republishes that state for the screens.
// Everything lives on the main thread.
class ServerManager : public QObject
{
    Q_OBJECT
    Q_PROPERTY(bool isRunning READ isRunning NOTIFY isRunningChanged)
    Q_PROPERTY(bool isStarting READ isStarting NOTIFY isStartingChanged)
    Q_PROPERTY(QString statusMessage READ statusMessage NOTIFY statusMessageChanged)
    // Empty when absent.
    Q_PROPERTY(QString activeModelPath READ activeModelPathText NOTIFY activeModelPathChanged)
    Q_PROPERTY(QString activeModelName READ activeModelNameText NOTIFY activeModelNameChanged)
    Q_PROPERTY(QString lastLaunchError READ lastLaunchErrorText NOTIFY lastLaunchErrorChanged)
    Q_PROPERTY(bool hasLastLaunchError READ hasLastLaunchError NOTIFY lastLaunchErrorChanged)
    Q_PROPERTY(BrewInstallState brewInstallState READ brewInstallState NOTIFY brewInstallStateChanged)
    Q_PROPERTY(QString brewOutput READ brewOutput NOTIFY brewOutputChanged)
    Q_PROPERTY(bool isUninstalling READ isUninstalling NOTIFY isUninstallingChanged)
    Q_PROPERTY(int port READ port CONSTANT)
    // "http://127.0.0.1:" and the port.
    Q_PROPERTY(QString baseURL READ baseURL CONSTANT)
    // Re-read after a successful install (engineInstallationChanged).
    Q_PROPERTY(bool isEngineInstalled READ isEngineInstalled NOTIFY engineInstallationChanged)
    Q_PROPERTY(bool isBrewInstalled READ isBrewInstalled NOTIFY engineInstallationChanged)
    // The context, in tokens, that one conversation gets from the running local engine: what
    // its /props reports, else the launch's context length; 0 while none runs.
    Q_PROPERTY(int contextSize READ contextSize NOTIFY contextSizeChanged)
    // The running local engine's model sees pictures (its /props: modalities.vision).
    Q_PROPERTY(bool seesImages READ seesImages NOTIFY seesImagesChanged)

public:
    static const QString noModelLoadedText;

    explicit ServerManager(ServerManagerOptions options = {}, QObject *parent = nullptr);
    explicit ServerManager(QObject *parent)
        : ServerManager(ServerManagerOptions{}, parent)
    {}
    // Kills a still-running engine, which must never outlive the app. The app's quit
    // awaits shutdown() first, which gives the engine its chance to end in order.
    ~ServerManager() override;

    bool isRunning() const { return m_isRunning; }
    bool isStarting() const { return m_isStarting; }
    QString statusMessage() const { return m_statusMessage; }
    std::optional<QString> activeModelPath() const { return m_activeModelPath; }
    QString activeModelPathText() const { return m_activeModelPath.value_or(QString()); }
    std::optional<QString> activeModelName() const { return m_activeModelName; }
    QString activeModelNameText() const { return m_activeModelName.value_or(QString()); }
    std::optional<QString> lastLaunchError() const { return m_lastLaunchError; }
    QString lastLaunchErrorText() const { return m_lastLaunchError.value_or(QString()); }
    bool hasLastLaunchError() const { return m_lastLaunchError.has_value(); }
    BrewInstallState brewInstallState() const;
    QString brewOutput() const;
    bool isUninstalling() const;
    HomebrewInstaller *homebrew() const { return m_homebrew; }
    int port() const { return m_options.port; }
    QString baseURL() const;
    const ServerManagerOptions &options() const { return m_options; }
    int contextSize() const { return m_contextSize; }
    bool seesImages() const { return m_seesImages; }

    // The engine process while one is launched and not yet known dead.
    QProcess *serverProcess() const;

    // Installs llama.cpp with Homebrew, streaming its output into brewOutput.
    QCoro::Task<> installViaHomebrew();
    // Starts the engine with a model; the outermost call returns when the engine is
    // healthy, or the start (with all its automatic retries) has failed.
    QCoro::Task<> startServer(LaunchSettings settings);
    QCoro::Task<> startServer(QString modelPath, QString modelName)
    {
        return startServer(LaunchSettings{std::move(modelPath), std::move(modelName)});
    }
    // Asks the engine to terminate, waits for it without blocking (killing it after
    // the grace period), and resets the published state to "No model loaded".
    QCoro::Task<> stopServer();
    // Stops the engine before Homebrew removes it; always ends idle.
    QCoro::Task<> uninstallViaHomebrew();
    QCoro::Task<bool> checkHealth();
    // For the application's quit path: ends the engine (terminate, up to the shutdown
    // grace period, then kill) and resets the state. Safe to call when nothing runs.
    QCoro::Task<> shutdown();

    // While held, nothing starts the engine (launch, Load, onboarding): another engine serves
    // the app. hold() ends a running one first; release() lets starts through again.
    QCoro::Task<> hold();
    void release() { m_held = false; }

    std::optional<QString> findServerExecutable() const;
    bool isEngineInstalled() const { return findServerExecutable().has_value(); }
    bool isBrewInstalled() const;
    // The engine found is a package of the Homebrew found, which can therefore remove it.
    bool isHomebrewEngine() const;

    // Last 64 KiB of the engine's error stream that the manager keeps.
    static constexpr qsizetype errorTailLimit = 64 * 1024;

signals:
    void isRunningChanged();
    void isStartingChanged();
    void statusMessageChanged();
    void activeModelPathChanged();
    void activeModelNameChanged();
    void lastLaunchErrorChanged();
    void brewInstallStateChanged();
    void brewOutputChanged();
    void isUninstallingChanged();
    // Announced after a successful install: everything that asks whether the engine
    // is installed should ask again.
    void engineInstallationChanged();
    void contextSizeChanged();
    void seesImagesChanged();
    // The outermost startServer call has returned: the engine runs, or the start with
    // all its retries has failed or was stopped. isStarting drops between retries.
    void startEnded();

private:
    struct Launch;

    QCoro::Task<> endLaunch(std::shared_ptr<Launch> launch, std::chrono::milliseconds grace);
    QCoro::Task<> retryAfter(LaunchSettings failed, LaunchExit exit, QString executable);
    void onProcessFinished(const std::shared_ptr<Launch> &launch);
    QCoro::Task<> endEngine(std::chrono::milliseconds gracePeriod);
    void resetToIdle();

    void setIsRunning(bool value);
    void setIsStarting(bool value);
    void setStatusMessage(const QString &value);
    void setActiveModelPath(const std::optional<QString> &value);
    void setActiveModelName(const std::optional<QString> &value);
    void setLastLaunchError(const std::optional<QString> &value);
    void setContextSize(int value);
    void setSeesImages(bool value);

    ServerManagerOptions m_options;
    QNetworkAccessManager *m_network = nullptr;

    bool m_isRunning = false;
    bool m_isStarting = false;
    QString m_statusMessage = noModelLoadedText;
    std::optional<QString> m_activeModelPath;
    std::optional<QString> m_activeModelName;
    std::optional<QString> m_lastLaunchError;
    int m_contextSize = 0;
    bool m_seesImages = false;
    bool m_held = false;
    HomebrewInstaller *m_homebrew = nullptr;

    // The engine launched last, while it is ours to watch.
    std::shared_ptr<Launch> m_launch;
    // Bumped by every start and stop, so that a superseded start (or its pending
    // retry) can tell that it no longer owns the published state.
    quint64 m_generation = 0;
    // startServer calls in progress, retries included.
    int m_startDepth = 0;
};

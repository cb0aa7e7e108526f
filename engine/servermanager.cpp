#include "engine/servermanager.h"

#include "engine/engineprobe.h"
#include "engine/homebrewinstaller.h"
#include "engine/metalstub.h"

#include "platform/assign.h"
#include "platform/processreaper.h"
#include "platform/projectorfiles.h"

#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QProcess>
#include <QScopeGuard>
#include <QStringDecoder>

#include <QCoroTimer>

namespace {

// "Undecodable data counts as empty": the diagnostics show nothing rather than garbage.
QString decodeTrimmed(const QByteArray &data)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = decoder.decode(data);
    if (decoder.hasError())
        return {};
    return text.trimmed();
}

// The kept tail may start inside a multi-byte character; start it at the next whole one.
QByteArray alignedTail(const QByteArray &tail)
{
    qsizetype start = 0;
    while (start < tail.size() && start < 4 && (uchar(tail.at(start)) & 0xC0) == 0x80)
        ++start;
    return tail.mid(start);
}

QString exitSummary(const QProcess &process)
{
    if (process.exitStatus() == QProcess::CrashExit)
        return QStringLiteral("[crash signal %1]").arg(process.exitCode());
    return QStringLiteral("[exit %1]").arg(process.exitCode());
}

QString failureText(const QString &errorText, const QString &summary)
{
    return errorText.isEmpty() ? summary : errorText + QLatin1Char('\n') + summary;
}

} // namespace

// One launched engine process and what has been learnt about it.
struct ServerManager::Launch
{
    ~Launch()
    {
        if (process) {
            process->disconnect();
            process->deleteLater();
        }
    }

    void drainErrorStream()
    {
        if (!process)
            return;
        errorTail += process->readAllStandardError();
        if (errorTail.size() > errorTailLimit) {
            errorTail = errorTail.right(errorTailLimit);
            truncated = true;
        }
    }

    QString errorText()
    {
        drainErrorStream();
        QByteArray tail = errorTail;
        // A cut tail starts mid-line: show whole lines only.
        if (truncated) {
            const qsizetype lineEnd = tail.indexOf('\n');
            tail = lineEnd >= 0 ? tail.mid(lineEnd + 1) : alignedTail(tail);
        }
        return decodeTrimmed(tail);
    }

    QPointer<QProcess> process;
    QByteArray errorTail;
    bool truncated = false;
    // Set once the engine answered healthy; from then on an exit is unexpected.
    bool ready = false;
    // Set when we asked it to end; its exit is then expected.
    bool ending = false;
};

const QString ServerManager::noModelLoadedText = QStringLiteral("No model loaded");

ServerManager::ServerManager(ServerManagerOptions options, QObject *parent)
    : QObject(parent)
    , m_options(std::move(options))
    , m_network(new QNetworkAccessManager(this))
{
    // The engine is always on loopback: a proxy from the environment must never see it.
    m_network->setProxy(QNetworkProxy::NoProxy);

    m_homebrew = new HomebrewInstaller(
        m_options.brewCandidates,
        [self = QPointer(this)]() -> QCoro::Task<> {
            if (self && (self->isRunning() || self->isStarting()))
                co_await self->stopServer();
        },
        this);
    using H = HomebrewInstaller;
    using S = ServerManager;
    for (const auto &[from, to] :
         {std::pair{&H::brewInstallStateChanged, &S::brewInstallStateChanged},
          std::pair{&H::brewOutputChanged, &S::brewOutputChanged},
          std::pair{&H::isUninstallingChanged, &S::isUninstallingChanged},
          std::pair{&H::installationChanged, &S::engineInstallationChanged}})
        connect(m_homebrew, from, this, to);
}

ServerManager::~ServerManager()
{
    // The event loop may be gone: the last chance not to leave the engine behind. A kill
    // is never refused, so the wait for it is short.
    if (m_launch && m_launch->process && m_launch->process->state() != QProcess::NotRunning) {
        QProcess *process = m_launch->process;
        process->disconnect();
        process->kill();
        process->waitForFinished(1000);
    }
}

QString ServerManager::baseURL() const
{
    return QStringLiteral("http://127.0.0.1:%1").arg(m_options.port);
}

QProcess *ServerManager::serverProcess() const
{
    return m_launch ? m_launch->process.data() : nullptr;
}

std::optional<QString> ServerManager::findServerExecutable() const
{
    return ::findServerExecutable(m_options.serverSearchList, m_options.userPath);
}

bool ServerManager::isBrewInstalled() const
{
    return m_homebrew->isBrewInstalled();
}

bool ServerManager::isHomebrewEngine() const
{
    const std::optional<QString> engine = findServerExecutable();
    const std::optional<QString> brew = m_homebrew->findBrew();
    return engine && brew && isHomebrewPackage(*engine, *brew);
}

BrewInstallState ServerManager::brewInstallState() const
{
    return m_homebrew->brewInstallState();
}

QString ServerManager::brewOutput() const
{
    return m_homebrew->brewOutput();
}

bool ServerManager::isUninstalling() const
{
    return m_homebrew->isUninstalling();
}

QCoro::Task<> ServerManager::installViaHomebrew()
{
    return m_homebrew->install();
}

QCoro::Task<> ServerManager::uninstallViaHomebrew()
{
    return m_homebrew->uninstall();
}

// ---- Starting -------------------------------------------------------------------------------

QCoro::Task<> ServerManager::startServer(LaunchSettings settings)
{
    QPointer<ServerManager> self(this);
    ++m_startDepth;
    const auto ended = qScopeGuard([self] {
        if (self && --self->m_startDepth == 0)
            emit self->startEnded();
    });
    if (m_isStarting || m_held)
        co_return;
    if (m_isRunning || m_launch) {
        co_await stopServer();
        // Someone else started meanwhile (theirs wins), or a hold came.
        if (!self || m_isStarting || m_launch || m_held)
            co_return;
    }
    const std::optional<QString> executable
        = settings.serverPath ? settings.serverPath : findServerExecutable();
    if (!executable) {
        setStatusMessage(
            QStringLiteral("AI engine not found — install llama.cpp via Homebrew in Settings"));
        co_return;
    }
    if (!settings.projectorPath)
        settings.projectorPath = ProjectorFiles::beside(settings.modelPath).value_or(QString());
    const quint64 generation = ++m_generation;
    setIsStarting(true);
    setLastLaunchError(std::nullopt);
    setStatusMessage(startingText(settings));

    auto launch = std::make_shared<Launch>();
    auto *process = new QProcess(this);
    launch->process = process;
    process->setProcessEnvironment(engineEnvironment(settings));
    // Both streams are drained from launch on: a full pipe would stall the engine while it
    // loads. Its output is not needed; of its error stream the tail is kept for diagnostics.
    process->setStandardOutputFile(QProcess::nullDevice());
    connect(process, &QProcess::readyReadStandardError, this, [weak = std::weak_ptr<Launch>(launch)] {
        if (auto launch = weak.lock())
            launch->drainErrorStream();
    });
    connect(process, &QProcess::finished, this, [this, weak = std::weak_ptr<Launch>(launch)] {
        if (auto launch = weak.lock())
            onProcessFinished(launch);
    });
    // If the app dies without stopping it, the kernel ends the engine too; otherwise it would
    // keep gigabytes of memory and the port, and the next launch could not start its own.
    endWithApp(process);
    m_launch = launch;

    const QStringList arguments = engineArguments(settings, m_options.port);
    const bool started = co_await startProcess(launch->process, *executable, arguments);
    if (!self)
        co_return;
    if (!started) {
        const QString description = process->errorString();
        if (m_launch == launch)
            m_launch.reset();
        if (m_generation == generation) {
            setIsStarting(false);
            setStatusMessage(QStringLiteral("Launch error: ") + description);
        }
        co_return;
    }

    // Our own stop (or a newer start) owns the state from the moment it begins: an exit it
    // caused is not a failed start.
    const auto superseded = [&] { return !self || m_launch != launch || launch->ending; };

    // The start-up wait.
    for (int poll = 1;; ++poll) {
        co_await QCoro::sleepFor(m_options.pollInterval);
        if (superseded())
            co_return;

        bool exited = !launch->process || launch->process->state() == QProcess::NotRunning;
        if (!exited) {
            const bool healthy = co_await checkHealth();
            if (superseded())
                co_return;
            // A healthy answer from some other process on the port is not ours.
            exited = !launch->process || launch->process->state() == QProcess::NotRunning;
            EngineProbe::EngineProps served;
            if (healthy && !exited) {
                // Known before "Ready", so that the first message is trimmed to what it gets.
                served = co_await EngineProbe::fetchProps(m_network, baseURL());
                if (superseded())
                    co_return;
                exited = !launch->process || launch->process->state() == QProcess::NotRunning;
            }
            if (healthy && !exited) {
                launch->ready = true;
                setContextSize(
                    served.contextSize.value_or(settings.contextSize.value_or(defaultContextSize)));
                setSeesImages(served.vision);
                setIsRunning(true);
                setIsStarting(false);
                setActiveModelPath(settings.modelPath);
                setActiveModelName(settings.modelName);
                setStatusMessage(
                    QStringLiteral("Ready — ") + settings.modelName
                    + (settings.gpuLayers == 0 ? QStringLiteral(" (CPU only)") : QString()));
                co_return;
            }
        }

        if (exited) {
            QProcess *ended = launch->process;
            LaunchExit exit;
            exit.failureText
                = failureText(launch->errorText(),
                              ended ? exitSummary(*ended) : QStringLiteral("[exit -1]"));
            if (ended && ended->exitStatus() == QProcess::CrashExit)
                exit.signal = ended->exitCode();
            m_launch.reset();
            setIsStarting(false);
            co_await retryAfter(std::move(settings), std::move(exit), *executable);
            co_return;
        }

        if (poll % 10 == 0)
            setStatusMessage(
                QStringLiteral("Loading… %1s (large models take up to 60s)").arg(poll / 2));
        if (poll >= m_options.pollLimit) {
            const QString errorText = launch->errorText();
            co_await endLaunch(launch, m_options.stopGracePeriod);
            if (!self || m_launch != launch)
                co_return;
            m_launch.reset();
            setIsStarting(false);
            setLastLaunchError(errorText.isEmpty() ? std::nullopt
                                                   : std::optional<QString>(errorText));
            setStatusMessage(
                QStringLiteral("Timed out — try a smaller model or quantization (Q4_K_M)"));
            co_return;
        }
    }
}

QCoro::Task<> ServerManager::retryAfter(LaunchSettings failed, LaunchExit exit, QString executable)
{
    const NextAttempt next = nextAttempt(failed, exit, executable);
    setStatusMessage(next.status);
    switch (next.kind) {
    case NextAttempt::Kind::Fail:
        setLastLaunchError(exit.failureText);
        co_return;
    case NextAttempt::Kind::GiveUp:
        setLastLaunchError(repeatedCrashAdvice());
        co_return;
    case NextAttempt::Kind::RetryOnCpu: {
        QPointer<ServerManager> self(this);
        const quint64 generation = m_generation;
        co_await MetalStub::build(m_options.compiler);
        if (!self || m_generation != generation || m_isStarting || m_launch)
            co_return; // stopped or replaced while the stub was built
        setStatusMessage(QStringLiteral("Retrying without Metal GPU…"));
        break;
    }
    case NextAttempt::Kind::RetryWithoutMmap:
    case NextAttempt::Kind::RetryWithReducedContext:
        break;
    }
    co_await startServer(next.settings);
}

void ServerManager::onProcessFinished(const std::shared_ptr<Launch> &launch)
{
    launch->drainErrorStream();
    // During the start-up wait the next poll classifies the exit; after our own stop it is expected.
    if (launch != m_launch || !launch->ready || launch->ending)
        return;
    // The engine died while serving: every message would fail against a "Ready" status.
    const QString failure = failureText(launch->errorText(), exitSummary(*launch->process));
    m_launch.reset();
    setContextSize(0);
    setSeesImages(false);
    setIsRunning(false);
    setIsStarting(false);
    setActiveModelPath(std::nullopt);
    setActiveModelName(std::nullopt);
    setLastLaunchError(failure);
    setStatusMessage(QStringLiteral("Engine stopped unexpectedly — see error below"));
}

QCoro::Task<bool> ServerManager::checkHealth()
{
    return EngineProbe::isHealthy(m_network, baseURL());
}

// ---- Stopping -------------------------------------------------------------------------------

QCoro::Task<> ServerManager::endLaunch(std::shared_ptr<Launch> launch,
                                       std::chrono::milliseconds grace)
{
    launch->ending = true;
    QPointer<QProcess> process = launch->process;
    // A real engine streaming a reply finishes its keep-alive interval before it exits,
    // which takes half a minute: wait a little without freezing the screens, then kill.
    co_await endProcess(process, grace);
}

QCoro::Task<> ServerManager::stopServer()
{
    return endEngine(m_options.stopGracePeriod);
}

QCoro::Task<> ServerManager::shutdown()
{
    return endEngine(m_options.shutdownGracePeriod);
}

QCoro::Task<> ServerManager::endEngine(std::chrono::milliseconds gracePeriod)
{
    const quint64 generation = ++m_generation;
    QPointer<ServerManager> self(this);
    if (std::shared_ptr<Launch> launch = m_launch) {
        co_await endLaunch(launch, gracePeriod);
        if (!self)
            co_return;
        if (m_launch == launch)
            m_launch.reset();
        // A start (or another stop) came while this one waited: the state is theirs now.
        if (m_generation != generation)
            co_return;
    }
    resetToIdle();
}

QCoro::Task<> ServerManager::hold()
{
    // From here on nothing starts it.
    m_held = true;
    return endEngine(m_options.stopGracePeriod);
}

void ServerManager::resetToIdle()
{
    setContextSize(0);
    setSeesImages(false);
    setIsRunning(false);
    setIsStarting(false);
    setActiveModelPath(std::nullopt);
    setActiveModelName(std::nullopt);
    setStatusMessage(noModelLoadedText);
}

// ---- Setters --------------------------------------------------------------------------------

void ServerManager::setIsRunning(bool value)
{
    if (assignIfChanged(m_isRunning, value))
        emit isRunningChanged();
}

void ServerManager::setIsStarting(bool value)
{
    if (assignIfChanged(m_isStarting, value))
        emit isStartingChanged();
}

void ServerManager::setStatusMessage(const QString &value)
{
    if (assignIfChanged(m_statusMessage, value))
        emit statusMessageChanged();
}

void ServerManager::setActiveModelPath(const std::optional<QString> &value)
{
    if (assignIfChanged(m_activeModelPath, value))
        emit activeModelPathChanged();
}

void ServerManager::setActiveModelName(const std::optional<QString> &value)
{
    if (assignIfChanged(m_activeModelName, value))
        emit activeModelNameChanged();
}

void ServerManager::setLastLaunchError(const std::optional<QString> &value)
{
    if (assignIfChanged(m_lastLaunchError, value))
        emit lastLaunchErrorChanged();
}

void ServerManager::setContextSize(int value)
{
    if (assignIfChanged(m_contextSize, value))
        emit contextSizeChanged();
}

void ServerManager::setSeesImages(bool value)
{
    if (assignIfChanged(m_seesImages, value))
        emit seesImagesChanged();
}

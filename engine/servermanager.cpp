#include "engine/servermanager.h"

#include "platform/assign.h"

#include "platform/paths.h"

#include <QDir>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QProcess>
#include <QSaveFile>
#include <QScopeGuard>
#include <QStringDecoder>
#include <QUrl>

#include <QCoroNetworkReply>
#include <QCoroProcess>
#include <QCoroSignal>
#include <QCoroTimer>

#include <csignal>

#ifdef Q_OS_LINUX
#include <sys/prctl.h>
#include <unistd.h>
#endif

namespace {

#ifdef Q_OS_LINUX
const QString linuxbrewPrefix = QStringLiteral("/home/linuxbrew/.linuxbrew");
#endif

const QString stubSourceName = QStringLiteral("metal_stub.c");
const QString stubSourceText = QStringLiteral("void ggml_backend_metal_reg(void) {}");
const QString gpuMarker = QStringLiteral("ggml_metal");

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

bool isExecutableFile(const QString &path)
{
    const QFileInfo info(path);
    return info.isFile() && info.isExecutable();
}

QProcessEnvironment homebrewEnvironment()
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("PATH"), homebrewPath());
    return environment;
}

// Waits for a process to end without blocking; true when it has ended.
QCoro::Task<bool> awaitExit(QPointer<QProcess> process, std::chrono::milliseconds timeout)
{
    if (!process || process->state() == QProcess::NotRunning)
        co_return true;
    const auto finished = co_await qCoro(process.data(), &QProcess::finished, timeout);
    co_return finished.has_value() || !process || process->state() == QProcess::NotRunning;
}

// Starts a process and waits, without blocking, until it runs or has failed to start.
// (QCoro's own start() only listens for success and sits out its whole time-out when
// the program cannot be executed.) True when the program was executed, even if it has
// already ended again.
QCoro::Task<bool> startProcess(QPointer<QProcess> process, QString program, QStringList arguments)
{
    process->start(program, arguments);
    while (process && process->state() == QProcess::Starting)
        co_await qCoro(process.data(), &QProcess::stateChanged, std::chrono::seconds(30));
    co_return process
        && !(process->state() == QProcess::NotRunning
             && process->error() == QProcess::FailedToStart);
}

// Appends a process's output to a text as it arrives, keeping characters that
// straddle two reads whole.
class OutputDecoder
{
public:
    // Empty when the chunk does not decode; such a chunk is dropped whole.
    QString decode(const QByteArray &chunk)
    {
        QString text = m_decoder.decode(chunk);
        if (m_decoder.hasError()) {
            m_decoder = QStringDecoder(QStringDecoder::Utf8);
            return {};
        }
        return text;
    }

private:
    QStringDecoder m_decoder{QStringDecoder::Utf8};
};

} // namespace

QStringList defaultServerSearchList()
{
    QStringList list{QStringLiteral("/opt/homebrew/bin/llama-server"),
                     QStringLiteral("/usr/local/bin/llama-server"),
                     QStringLiteral("/opt/homebrew/bin/llama-cli"),
                     QStringLiteral("/usr/local/bin/llama-cli")};
#ifdef Q_OS_LINUX
    list << linuxbrewPrefix + QStringLiteral("/bin/llama-server");
#endif
    return list;
}

QStringList defaultBrewCandidates()
{
    QStringList list{QStringLiteral("/opt/homebrew/bin/brew"),
                     QStringLiteral("/usr/local/bin/brew")};
#ifdef Q_OS_LINUX
    list << linuxbrewPrefix + QStringLiteral("/bin/brew");
#endif
    return list;
}

QString homebrewPath()
{
#ifdef Q_OS_LINUX
    return QStringLiteral("/opt/homebrew/bin:/opt/homebrew/sbin:") + linuxbrewPrefix
           + QStringLiteral("/bin:") + linuxbrewPrefix
           + QStringLiteral("/sbin:/usr/local/bin:/usr/bin:/bin");
#else
    return QStringLiteral("/opt/homebrew/bin:/opt/homebrew/sbin:/usr/local/bin:/usr/bin:/bin");
#endif
}

std::optional<QString> findServerExecutable(const QStringList &searchList)
{
    for (const QString &path : searchList) {
        if (isExecutableFile(path))
            return path;
    }
    return std::nullopt;
}

std::optional<QString> findBrew(const QStringList &candidates)
{
    for (const QString &path : candidates) {
        if (QFileInfo::exists(path))
            return path;
    }
    return std::nullopt;
}

bool isBrewInstalled(const QStringList &candidates)
{
    return findBrew(candidates).has_value();
}

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
}

ServerManager::~ServerManager()
{
    // The event loop may be gone: this is the last chance to not leave the engine behind.
    if (m_launch && m_launch->process && m_launch->process->state() != QProcess::NotRunning) {
        QProcess *process = m_launch->process;
        process->disconnect();
        process->terminate();
        if (!process->waitForFinished(int(m_options.shutdownGracePeriod.count()))) {
            process->kill();
            process->waitForFinished(2000);
        }
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
    return ::findServerExecutable(m_options.serverSearchList);
}

std::optional<QString> ServerManager::findBrew() const
{
    return ::findBrew(m_options.brewCandidates);
}

bool ServerManager::isBrewInstalled() const
{
    return ::isBrewInstalled(m_options.brewCandidates);
}

QString ServerManager::repeatedCrashAdvice()
{
    return QStringLiteral("This model repeatedly crashed with a memory error (signal %1).\n"
                          "\n"
                          "Possible fixes:\n"
                          "• Run 'brew upgrade llama.cpp' in Terminal to update the engine.\n"
                          "• Try a smaller quantization like Q4_K_M or Q3_K_S.\n"
                          "• The model may be too large for available RAM.")
        .arg(SIGBUS);
}

// ---- Starting -------------------------------------------------------------------------------

QCoro::Task<> ServerManager::startServer(QString modelPath,
                                         QString modelName,
                                         std::optional<int> gpuLayers,
                                         std::optional<QString> serverPath,
                                         bool noMmap,
                                         std::optional<int> contextSize)
{
    QPointer<ServerManager> self(this);
    ++m_startDepth;
    const auto ended = qScopeGuard([self] {
        if (self && --self->m_startDepth == 0)
            emit self->startEnded();
    });
    if (m_isStarting)
        co_return;
    if (m_isRunning || m_launch) {
        co_await stopServer();
        // Someone else started meanwhile: theirs wins.
        if (!self || m_isStarting || m_launch)
            co_return;
    }
    const std::optional<QString> executable = serverPath ? serverPath : findServerExecutable();
    if (!executable) {
        setStatusMessage(
            QStringLiteral("AI engine not found — install llama.cpp via Homebrew in Settings"));
        co_return;
    }
    const quint64 generation = ++m_generation;
    setIsStarting(true);
    setLastLaunchError(std::nullopt);

    const bool cpuOnly = gpuLayers.has_value() && *gpuLayers == 0;
    QString suffix;
    if (cpuOnly)
        suffix += QStringLiteral(" (CPU only)");
    if (noMmap)
        suffix += QStringLiteral(" (no-mmap)");
    if (contextSize)
        suffix += QStringLiteral(" (ctx %1)").arg(*contextSize);
    const int contextLength = contextSize.value_or(defaultContextSize);
    setStatusMessage(QStringLiteral("Starting ") + modelName + suffix + QStringLiteral("…"));

    QStringList arguments{QStringLiteral("--model"),
                          modelPath,
                          QStringLiteral("--ctx-size"),
                          QString::number(contextLength),
                          QStringLiteral("--port"),
                          QString::number(m_options.port),
                          QStringLiteral("--host"),
                          QStringLiteral("127.0.0.1"),
                          QStringLiteral("--n-predict"),
                          QStringLiteral("-1")};
    if (gpuLayers)
        arguments << QStringLiteral("--n-gpu-layers") << QString::number(*gpuLayers);
    if (noMmap)
        arguments << QStringLiteral("--no-mmap");

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    if (cpuOnly) {
        const std::optional<QString> stubFolder = metalStubDirectory();
        if (stubFolder && QFileInfo::exists(QDir(*stubFolder).filePath(metalStubLibraryName()))) {
#ifdef Q_OS_MACOS
            environment.insert(QStringLiteral("DYLD_LIBRARY_PATH"), *stubFolder);
#else
            environment.insert(QStringLiteral("LD_LIBRARY_PATH"), *stubFolder);
#endif
        }
    }

    auto launch = std::make_shared<Launch>();
    auto *process = new QProcess(this);
    launch->process = process;
    process->setProcessEnvironment(environment);
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
#ifdef Q_OS_LINUX
    // If the app dies without stopping it, the kernel ends the engine too; otherwise it would
    // keep gigabytes of memory and the port, and the next launch could not start its own.
    const pid_t parentPid = ::getpid();
    process->setChildProcessModifier([parentPid] {
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != parentPid)
            ::_exit(127);
    });
#endif
    m_launch = launch;

    const bool started = co_await startProcess(process, *executable, arguments);
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

    // The start-up wait.
    for (int poll = 1;; ++poll) {
        co_await QCoro::sleepFor(m_options.pollInterval);
        if (!self || m_launch != launch)
            co_return; // stopped (or replaced) by our own stop: not a failed start

        bool exited = !launch->process || launch->process->state() == QProcess::NotRunning;
        if (!exited) {
            const bool healthy = co_await checkHealth();
            if (!self || m_launch != launch)
                co_return;
            // A healthy answer from some other process on the port is not ours.
            exited = !launch->process || launch->process->state() == QProcess::NotRunning;
            if (healthy && !exited) {
                launch->ready = true;
                setIsRunning(true);
                setIsStarting(false);
                setActiveModelPath(modelPath);
                setActiveModelName(modelName);
                setStatusMessage(QStringLiteral("Ready — ") + modelName
                                 + (cpuOnly ? QStringLiteral(" (CPU only)") : QString()));
                co_return;
            }
        }

        if (exited) {
            const QString summary
                = launch->process ? exitSummary(*launch->process) : QStringLiteral("[exit -1]");
            const bool bySignal
                = launch->process && launch->process->exitStatus() == QProcess::CrashExit;
            const int signal = launch->process ? launch->process->exitCode() : 0;
            const QString failure = failureText(launch->errorText(), summary);
            m_launch.reset();
            setIsStarting(false);

            if (!gpuLayers && failure.toLower().contains(gpuMarker)) {
                setStatusMessage(
                    QStringLiteral("GPU incompatible — building CPU-only workaround…"));
                co_await buildMetalStub();
                if (!self || m_generation != generation || m_isStarting || m_launch)
                    co_return; // stopped or replaced while the stub was built
                setStatusMessage(QStringLiteral("Retrying without Metal GPU…"));
                co_await startServer(modelPath, modelName, 0, executable, noMmap, std::nullopt);
            } else if (bySignal && signal == SIGBUS && !noMmap) {
                setStatusMessage(QStringLiteral("Memory error — retrying with direct file read…"));
                co_await startServer(modelPath, modelName, gpuLayers, executable, true, contextSize);
            } else if (bySignal && signal == SIGBUS && contextSize) {
                setLastLaunchError(repeatedCrashAdvice());
                setStatusMessage(QStringLiteral("Failed — model incompatible or too large"));
            } else if (bySignal && signal == SIGBUS) {
                setStatusMessage(
                    QStringLiteral("Memory pressure — retrying with reduced context (%1)…")
                        .arg(reducedContextSize));
                co_await startServer(modelPath,
                                     modelName,
                                     gpuLayers,
                                     executable,
                                     true,
                                     reducedContextSize);
            } else {
                setLastLaunchError(failure);
                setStatusMessage(QStringLiteral("Failed to start — see error below"));
            }
            co_return;
        }

        if (poll % 10 == 0) {
            setStatusMessage(
                QStringLiteral("Loading… %1s (large models take up to 60s)").arg(poll / 2));
        }
        if (poll >= m_options.pollLimit) {
            const QString errorText = launch->errorText();
            launch->ending = true;
            co_await endProcess(launch, m_options.stopGracePeriod);
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

void ServerManager::onProcessFinished(const std::shared_ptr<Launch> &launch)
{
    launch->drainErrorStream();
    // During the start-up wait the next poll classifies the exit; after our own stop it is expected.
    if (launch != m_launch || !launch->ready || launch->ending)
        return;
    // The engine died while serving: every message would fail against a "Ready" status.
    const QString failure = failureText(launch->errorText(), exitSummary(*launch->process));
    m_launch.reset();
    setIsRunning(false);
    setIsStarting(false);
    setActiveModelPath(std::nullopt);
    setActiveModelName(std::nullopt);
    setLastLaunchError(failure);
    setStatusMessage(QStringLiteral("Engine stopped unexpectedly — see error below"));
}

QCoro::Task<bool> ServerManager::checkHealth()
{
    const QUrl url(baseURL() + QStringLiteral("/health"));
    if (!url.isValid())
        co_return false;
    QNetworkRequest request(url);
    // One stuck answer must not hold up the whole start-up wait.
    request.setTransferTimeout(10000);
    QPointer<QNetworkReply> reply = m_network->get(request);
    co_await qCoro(reply.data()).waitForFinished();
    if (!reply)
        co_return false;
    const bool healthy
        = reply->error() == QNetworkReply::NoError
          && reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt() == 200;
    reply->deleteLater();
    co_return healthy;
}

// ---- Stopping -------------------------------------------------------------------------------

QCoro::Task<> ServerManager::endProcess(std::shared_ptr<Launch> launch,
                                        std::chrono::milliseconds grace)
{
    QPointer<QProcess> process = launch->process;
    if (!process || process->state() == QProcess::NotRunning)
        co_return;
    launch->ending = true;
    // A real engine streaming a reply finishes its keep-alive interval before it exits,
    // which takes half a minute: wait a little without freezing the screens, then kill.
    process->terminate();
    if (co_await awaitExit(process, grace))
        co_return;
    if (process)
        process->kill();
    co_await awaitExit(process, std::chrono::milliseconds(5000));
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
        launch->ending = true;
        co_await endProcess(launch, gracePeriod);
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

void ServerManager::resetToIdle()
{
    setIsRunning(false);
    setIsStarting(false);
    setActiveModelPath(std::nullopt);
    setActiveModelName(std::nullopt);
    setStatusMessage(noModelLoadedText);
}

// ---- The CPU-only stub ----------------------------------------------------------------------

std::optional<QString> ServerManager::metalStubDirectory()
{
    const QString base = Paths::appDataDirectory();
    if (base.isEmpty())
        return std::nullopt;
    return QDir(base).filePath(QStringLiteral("metal-stub"));
}

QString ServerManager::metalStubLibraryName()
{
#ifdef Q_OS_MACOS
    return QStringLiteral("libggml-metal.0.dylib");
#else
    return QStringLiteral("libggml-metal.0.so");
#endif
}

QCoro::Task<std::optional<QString>> ServerManager::buildMetalStub()
{
    const std::optional<QString> folder = metalStubDirectory();
    if (!folder)
        co_return std::nullopt;
    const QDir dir(*folder);
    const QString library = dir.filePath(metalStubLibraryName());
    if (QFileInfo::exists(library))
        co_return folder;
    if (!QDir().mkpath(*folder))
        co_return std::nullopt;

    const QString source = dir.filePath(stubSourceName);
    QSaveFile file(source);
    if (!file.open(QIODevice::WriteOnly) || file.write(stubSourceText.toUtf8()) < 0
        || !file.commit())
        co_return std::nullopt;

#ifdef Q_OS_MACOS
    const QStringList arguments{QStringLiteral("-dynamiclib"),
                                QStringLiteral("-install_name"),
                                QStringLiteral("@rpath/") + metalStubLibraryName(),
                                QStringLiteral("-o"),
                                library,
                                source};
#else
    const QStringList arguments{QStringLiteral("-shared"),
                                QStringLiteral("-fPIC"),
                                QStringLiteral("-Wl,-soname,") + metalStubLibraryName(),
                                QStringLiteral("-o"),
                                library,
                                source};
#endif
    // The compiler runs while the screens stay live; its output is not needed.
    QProcess compiler;
    compiler.setStandardOutputFile(QProcess::nullDevice());
    compiler.setStandardErrorFile(QProcess::nullDevice());
    if (!co_await startProcess(&compiler, m_options.compiler, arguments))
        co_return std::nullopt;
    co_await awaitExit(&compiler, std::chrono::minutes(2));
    if (compiler.state() != QProcess::NotRunning) {
        compiler.kill();
        co_await awaitExit(&compiler, std::chrono::milliseconds(5000));
        co_return std::nullopt;
    }
    if (compiler.exitStatus() != QProcess::NormalExit || compiler.exitCode() != 0)
        co_return std::nullopt;
    co_return folder;
}

// ---- Homebrew -------------------------------------------------------------------------------

QCoro::Task<> ServerManager::installViaHomebrew()
{
    const std::optional<QString> brew = findBrew();
    if (!brew) {
        setBrewInstallState(BrewInstallState::failed(
            QStringLiteral("Homebrew not found — visit https://brew.sh to install it first.")));
        co_return;
    }
    setBrewInstallState(BrewInstallState::installing());
    setBrewOutput(QString());

    QPointer<ServerManager> self(this);
    auto *process = new QProcess(this);
    process->setProcessEnvironment(homebrewEnvironment());
    auto outDecoder = std::make_shared<OutputDecoder>();
    auto errDecoder = std::make_shared<OutputDecoder>();
    // Homebrew's output is shown live, both streams in the order they arrive.
    connect(process, &QProcess::readyReadStandardOutput, this, [this, process, outDecoder] {
        const QString text = outDecoder->decode(process->readAllStandardOutput());
        if (!text.isEmpty())
            setBrewOutput(m_brewOutput + text);
    });
    connect(process, &QProcess::readyReadStandardError, this, [this, process, errDecoder] {
        const QString text = errDecoder->decode(process->readAllStandardError());
        if (!text.isEmpty())
            setBrewOutput(m_brewOutput + text);
    });

    const QStringList arguments{QStringLiteral("install"), QStringLiteral("llama.cpp")};
    const bool started = co_await startProcess(process, *brew, arguments);
    if (!self)
        co_return;
    if (!started) {
        setBrewInstallState(BrewInstallState::failed(process->errorString()));
        process->deleteLater();
        co_return;
    }
    co_await awaitExit(process, std::chrono::milliseconds(-1));
    if (!self)
        co_return;
    process->disconnect(this);
    const bool success = process->exitStatus() == QProcess::NormalExit && process->exitCode() == 0;
    const int status = process->exitStatus() == QProcess::NormalExit ? process->exitCode() : -1;
    process->deleteLater();
    if (!success) {
        setBrewInstallState(
            BrewInstallState::failed(QStringLiteral("brew install failed (exit %1)").arg(status)));
        co_return;
    }
    setBrewInstallState(BrewInstallState::succeeded());
    emit engineInstallationChanged();
}

QCoro::Task<> ServerManager::uninstallViaHomebrew()
{
    const std::optional<QString> brew = findBrew();
    if (!brew)
        co_return;
    QPointer<ServerManager> self(this);
    if (m_isRunning || m_isStarting) {
        co_await stopServer();
        if (!self)
            co_return;
    }
    setIsUninstalling(true);

    auto *process = new QProcess(this);
    process->setProcessEnvironment(homebrewEnvironment());
    process->setStandardOutputFile(QProcess::nullDevice());
    process->setStandardErrorFile(QProcess::nullDevice());
    const QStringList arguments{QStringLiteral("uninstall"), QStringLiteral("llama.cpp")};
    const bool started = co_await startProcess(process, *brew, arguments);
    if (!self)
        co_return;
    if (started) {
        co_await awaitExit(process, std::chrono::milliseconds(-1));
        if (!self)
            co_return;
    }
    process->deleteLater();
    setIsUninstalling(false);
    setBrewInstallState(BrewInstallState::idle());
    setBrewOutput(QString());
    emit engineInstallationChanged();
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

void ServerManager::setBrewInstallState(const BrewInstallState &value)
{
    if (m_brewInstallState == value && m_brewInstallState.text() == value.text())
        return;
    m_brewInstallState = value;
    emit brewInstallStateChanged();
}

void ServerManager::setBrewOutput(const QString &value)
{
    if (assignIfChanged(m_brewOutput, value))
        emit brewOutputChanged();
}

void ServerManager::setIsUninstalling(bool value)
{
    if (assignIfChanged(m_isUninstalling, value))
        emit isUninstallingChanged();
}

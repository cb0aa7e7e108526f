#include "engine/homebrewinstaller.h"

#include "platform/assign.h"
#include "platform/processreaper.h"

#include <QPointer>
#include <QProcess>
#include <QStringDecoder>

#include <memory>

namespace {

QProcessEnvironment homebrewEnvironment()
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("PATH"), homebrewPath());
    return environment;
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

const std::chrono::milliseconds untilEnded{-1};
const QStringList installArguments{QStringLiteral("install"), QStringLiteral("llama.cpp")};
const QStringList uninstallArguments{QStringLiteral("uninstall"), QStringLiteral("llama.cpp")};

} // namespace

HomebrewInstaller::HomebrewInstaller(QStringList brewCandidates,
                                     std::function<QCoro::Task<>()> stopEngine,
                                     QObject *parent)
    : QObject(parent)
    , m_brewCandidates(std::move(brewCandidates))
    , m_stopEngine(std::move(stopEngine))
{}

QCoro::Task<> HomebrewInstaller::install()
{
    const std::optional<QString> brew = findBrew();
    if (!brew) {
        setBrewInstallState(BrewInstallState::failed(
            QStringLiteral("Homebrew not found — visit https://brew.sh to install it first.")));
        co_return;
    }
    setBrewInstallState(BrewInstallState::installing());
    setBrewOutput(QString());

    QPointer<HomebrewInstaller> self(this);
    const QPointer<QProcess> process = new QProcess(this);
    process->setProcessEnvironment(homebrewEnvironment());
    // Homebrew's output is shown live, both streams in the order they arrive.
    const auto follow = [this, process = process.data()](auto readyRead, auto readAll) {
        auto decoder = std::make_shared<OutputDecoder>();
        connect(process, readyRead, this, [this, process, decoder, readAll] {
            const QString text = decoder->decode((process->*readAll)());
            if (!text.isEmpty())
                setBrewOutput(m_brewOutput + text);
        });
    };
    follow(&QProcess::readyReadStandardOutput, &QProcess::readAllStandardOutput);
    follow(&QProcess::readyReadStandardError, &QProcess::readAllStandardError);

    const bool started = co_await startProcess(process, *brew, installArguments);
    if (!self)
        co_return;
    if (!started) {
        setBrewInstallState(BrewInstallState::failed(process->errorString()));
        process->deleteLater();
        co_return;
    }
    co_await awaitExit(process, untilEnded);
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
    emit installationChanged();
}

QCoro::Task<> HomebrewInstaller::uninstall()
{
    const std::optional<QString> brew = findBrew();
    if (!brew)
        co_return;
    QPointer<HomebrewInstaller> self(this);
    if (m_stopEngine) {
        co_await m_stopEngine();
        if (!self)
            co_return;
    }
    setIsUninstalling(true);

    const QPointer<QProcess> process = new QProcess(this);
    process->setProcessEnvironment(homebrewEnvironment());
    process->setStandardOutputFile(QProcess::nullDevice());
    process->setStandardErrorFile(QProcess::nullDevice());
    const bool started = co_await startProcess(process, *brew, uninstallArguments);
    if (!self)
        co_return;
    if (started) {
        co_await awaitExit(process, untilEnded);
        if (!self)
            co_return;
    }
    process->deleteLater();
    setIsUninstalling(false);
    setBrewInstallState(BrewInstallState::idle());
    setBrewOutput(QString());
    emit installationChanged();
}

void HomebrewInstaller::setBrewInstallState(const BrewInstallState &value)
{
    if (m_brewInstallState == value && m_brewInstallState.text() == value.text())
        return;
    m_brewInstallState = value;
    emit brewInstallStateChanged();
}

void HomebrewInstaller::setBrewOutput(const QString &value)
{
    if (assignIfChanged(m_brewOutput, value))
        emit brewOutputChanged();
}

void HomebrewInstaller::setIsUninstalling(bool value)
{
    if (assignIfChanged(m_isUninstalling, value))
        emit isUninstallingChanged();
}

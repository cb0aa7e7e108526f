#include "ui/settings/settingscontroller.h"

#include "core/agentstate.h"
#include "core/sessionarchive.h"
#include "engine/enginelocator.h"
#include "engine/metalstub.h"
#include "engine/servermanager.h"
#include "models/modelmanager.h"
#include "platform/assign.h"
#include "platform/paths.h"
#include "platform/sound.h"
#include "platform/wording.h"

#include <QDir>
#include <QRegularExpression>
#include <QStandardPaths>

#include <QCoroTimer>

#include <algorithm>

#include <cmath>

QList<SettingsController::AutoLoadCandidate> SettingsController::autoLoadCandidates(
    const QList<HFModel> &models)
{
    QList<AutoLoadCandidate> found;
    for (const HFModel &model : models) {
        for (const ModelVariant &variant : model.variants) {
            if (variant.isDownloaded)
                found.append({ModelManager::filePath(model, variant),
                              model.displayName + QLatin1Char(' ') + variant.quantization});
        }
    }
    return found;
}

std::optional<int> SettingsController::maxTokensFrom(const QString &text)
{
    bool ok = false;
    const qlonglong value = text.trimmed().toLongLong(&ok);
    if (!ok) {
        // A whole number too long for 64 bits is still a whole number: the most there is.
        static const QRegularExpression digits(QStringLiteral("^\\+?[0-9]+$"));
        if (digits.match(text.trimmed()).hasMatch())
            return maxTokensLimit;
        return std::nullopt;
    }
    if (value < 1)
        return std::nullopt;
    return int(std::min<qlonglong>(value, maxTokensLimit));
}

double SettingsController::snappedTemperature(double value)
{
    if (!std::isfinite(value))
        return AgentState::defaultTemperature;
    const double clamped = std::clamp(value, 0.0, AgentState::maxTemperature);
    return std::round(clamped * 20.0) / 20.0;
}

QString SettingsController::transferText(Transfer kind, const AgentState::ChatsTransfer &outcome)
{
    const bool isExport = kind == Transfer::Export;
    if (!outcome.succeeded())
        return (isExport ? QStringLiteral("Could not export chats: ")
                         : QStringLiteral("Could not import chats: "))
               + outcome.error;
    QString text = outcome.count == 1 ? (isExport ? QStringLiteral("Exported 1 chat")
                                                  : QStringLiteral("Imported 1 chat"))
                                      : (isExport ? QStringLiteral("Exported %1 chats")
                                                  : QStringLiteral("Imported %1 chats"))
                                            .arg(outcome.count);
    if (!isExport && outcome.alreadyHere > 0)
        text += QStringLiteral(" (%1 already here)").arg(outcome.alreadyHere);
    return text + u'.';
}

QString SettingsController::homebrewInstallCommand()
{
    return homebrewInstallerCommand();
}

QString SettingsController::installSubtitle()
{
    return platformWording(QStringLiteral("Installs llama.cpp compiled for your Mac."));
}

QUrl SettingsController::documentsFolder()
{
    return QUrl::fromLocalFile(QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation));
}

QUrl SettingsController::suggestedExportFile()
{
    return QUrl::fromLocalFile(
        QDir(documentsFolder().toLocalFile()).filePath(QStringLiteral("TovraAI_chats.json")));
}

// ---- Managers -------------------------------------------------------------------------------

void SettingsController::setAgentState(AgentState *state)
{
    if (m_agentState == state)
        return;
    if (m_agentState)
        disconnect(m_agentState, nullptr, this, nullptr);
    m_agentState = state;
    if (state) {
        connect(state,
                &AgentState::autoLoadModelPathChanged,
                this,
                &SettingsController::autoLoadChanged);
    }
    emit managersChanged();
    emit autoLoadChanged();
}

void SettingsController::setServerManager(ServerManager *manager)
{
    if (m_serverManager == manager)
        return;
    if (m_serverManager)
        disconnect(m_serverManager, nullptr, this, nullptr);
    m_serverManager = manager;
    if (manager) {
        for (auto change : {&ServerManager::engineInstallationChanged,
                            &ServerManager::brewInstallStateChanged,
                            &ServerManager::isUninstallingChanged}) {
            connect(manager, change, this, &SettingsController::refreshEngineFacts);
        }
    }
    refreshEngineFacts();
    emit managersChanged();
}

void SettingsController::setModelManager(ModelManager *manager)
{
    if (m_modelManager == manager)
        return;
    if (m_modelManager)
        disconnect(m_modelManager->modelList(), nullptr, this, nullptr);
    m_modelManager = manager;
    if (manager) {
        // Downloads finishing or files deleted change the candidates.
        ModelListModel *list = manager->modelList();
        connect(list, &QAbstractItemModel::dataChanged, this, &SettingsController::autoLoadChanged);
        connect(list, &QAbstractItemModel::modelReset, this, &SettingsController::autoLoadChanged);
    }
    emit managersChanged();
    emit autoLoadChanged();
}

void SettingsController::refresh()
{
    if (m_modelManager)
        m_modelManager->refreshDownloadStatus();
    refreshEngineFacts();
    emit autoLoadChanged();
}

void SettingsController::refreshEngineFacts()
{
    EngineSetup::Facts facts;
    QString path;
    if (m_serverManager) {
        const std::optional<QString> engine = m_serverManager->findServerExecutable();
        facts.isUninstalling = m_serverManager->isUninstalling();
        facts.engineInstalled = engine.has_value();
        facts.engineFromHomebrew = m_serverManager->isHomebrewEngine();
        facts.brewInstalled = m_serverManager->isBrewInstalled();
        facts.brew = m_serverManager->brewInstallState().kind();
        path = engine.value_or(QString());
    }
    m_engineFacts = facts;
    m_enginePath = path;
    emit engineChanged();
}

// ---- Inference server -----------------------------------------------------------------------

void SettingsController::stopServer()
{
    if (m_serverManager)
        m_serverManager->stopServer();
}

void SettingsController::installEngine()
{
    if (m_serverManager)
        m_serverManager->installViaHomebrew();
}

void SettingsController::uninstallEngine()
{
    // Only what Homebrew installed: brew cannot remove an engine it does not own.
    if (m_serverManager && engineBlock() == EngineSetup::Block::HomebrewReady)
        m_serverManager->uninstallViaHomebrew();
}

// ---- Startup ----------------------------------------------------------------------------------

QList<SettingsController::AutoLoadCandidate> SettingsController::candidates() const
{
    return m_modelManager ? autoLoadCandidates(m_modelManager->models())
                          : QList<AutoLoadCandidate>{};
}

QStringList SettingsController::autoLoadLabels() const
{
    QStringList labels;
    for (const AutoLoadCandidate &candidate : candidates())
        labels.append(candidate.label);
    return labels;
}

bool SettingsController::autoLoadEnabled() const
{
    return m_agentState && m_agentState->autoLoadModelPath().has_value();
}

int SettingsController::autoLoadIndex() const
{
    if (!m_agentState || !m_agentState->autoLoadModelPath())
        return -1;
    const QList<AutoLoadCandidate> all = candidates();
    for (qsizetype i = 0; i < all.size(); ++i) {
        if (all[i].path == *m_agentState->autoLoadModelPath())
            return int(i);
    }
    return -1;
}

void SettingsController::setAutoLoadEnabled(bool enabled)
{
    if (!m_agentState)
        return;
    if (!enabled) {
        m_agentState->setAutoLoadModelPath(std::nullopt);
        m_agentState->setAutoLoadModelName(std::nullopt);
    } else {
        const QList<AutoLoadCandidate> all = candidates();
        if (all.isEmpty())
            return;
        m_agentState->setAutoLoadModelPath(all.first().path);
        m_agentState->setAutoLoadModelName(all.first().label);
    }
    m_agentState->saveSettings();
    emit autoLoadChanged();
}

void SettingsController::chooseAutoLoad(int index)
{
    const QList<AutoLoadCandidate> all = candidates();
    if (!m_agentState || index < 0 || index >= all.size())
        return;
    m_agentState->setAutoLoadModelPath(all[index].path);
    m_agentState->setAutoLoadModelName(all[index].label);
    m_agentState->saveSettings();
    emit autoLoadChanged();
}

// ---- Generation -----------------------------------------------------------------------------

void SettingsController::setTemperature(double value)
{
    if (!m_agentState)
        return;
    m_agentState->setTemperature(snappedTemperature(value));
    m_agentState->saveSettings();
}

void SettingsController::setThinkingEnabled(bool enabled)
{
    if (!m_agentState)
        return;
    m_agentState->setThinkingEnabled(enabled);
    m_agentState->saveSettings();
}

void SettingsController::setShowThinking(bool show)
{
    if (!m_agentState)
        return;
    m_agentState->setShowThinking(show);
    m_agentState->saveSettings();
}

bool SettingsController::submitMaxTokens(const QString &text)
{
    if (!m_agentState)
        return false;
    const std::optional<int> value = maxTokensFrom(text);
    if (!value) {
        setMaxTokensHint(QStringLiteral("Enter a whole number from 1 to %1.").arg(maxTokensLimit));
        // The field shows the value in force again.
        emit m_agentState->maxTokensChanged();
        return false;
    }
    const bool clamped = text.trimmed() != QString::number(*value) && *value == maxTokensLimit;
    setMaxTokensHint(clamped
                         ? QStringLiteral("%1 is the most the engine takes.").arg(maxTokensLimit)
                         : QString());
    m_agentState->setMaxTokens(*value);
    m_agentState->saveSettings();
    emit m_agentState->maxTokensChanged();
    return true;
}

void SettingsController::setMaxTokensHint(const QString &hint)
{
    if (assignIfChanged(m_maxTokensHint, hint))
        emit maxTokensHintChanged();
}

// ---- Notifications --------------------------------------------------------------------------

bool SettingsController::completionSoundEnabled() const
{
    return Sound::completionSoundEnabled();
}

void SettingsController::setCompletionSoundEnabled(bool enabled)
{
    if (enabled == completionSoundEnabled())
        return;
    Sound::setCompletionSoundEnabled(enabled);
    emit completionSoundEnabledChanged();
}

// ---- Export & Import ------------------------------------------------------------------------

void SettingsController::exportChats(const QUrl &file)
{
    if (m_agentState && !m_isTransferring && file.isLocalFile())
        runTransfer(Transfer::Export, m_agentState->exportChats(file.toLocalFile()));
}

void SettingsController::importChats(const QUrl &file)
{
    if (m_agentState && !m_isTransferring && file.isLocalFile())
        runTransfer(Transfer::Import, m_agentState->importChats(file.toLocalFile()));
}

QCoro::Task<> SettingsController::runTransfer(Transfer kind,
                                              QCoro::Task<AgentState::ChatsTransfer> transfer)
{
    QPointer<SettingsController> self(this);
    setTransfer(true, {}, false);
    const AgentState::ChatsTransfer outcome = co_await std::move(transfer);
    if (self)
        setTransfer(false, transferText(kind, outcome), !outcome.succeeded());
}

void SettingsController::setTransfer(bool running, const QString &message, bool failed)
{
    m_isTransferring = running;
    m_transferMessage = message;
    m_transferFailed = failed;
    emit transferChanged();
}

// ---- Data -----------------------------------------------------------------------------------

void SettingsController::setPhaseDurations(std::chrono::milliseconds clearDelay,
                                           std::chrono::milliseconds doneDuration)
{
    m_clearDelay = clearDelay;
    m_doneDuration = doneDuration;
}

SettingsController::SettingsController(QObject *parent)
    : QObject(parent)
{
    for (QTimer *timer : {&m_chatDoneTimer, &m_allDoneTimer})
        timer->setSingleShot(true);
    connect(&m_chatDoneTimer, &QTimer::timeout, this, [this] {
        setChatDeletePhase(DeletePhase::Idle);
    });
    connect(&m_allDoneTimer, &QTimer::timeout, this, [this] {
        setAllDeletePhase(DeletePhase::Idle);
    });
}

void SettingsController::clearChatHistory()
{
    if (m_agentState && m_agentState->sessionsLoaded() && m_chatDeletePhase == DeletePhase::Idle)
        runClearChatHistory();
}

void SettingsController::deleteAllData()
{
    if (m_agentState && m_agentState->sessionsLoaded() && m_allDeletePhase == DeletePhase::Idle)
        runDeleteAllData();
}

QCoro::Task<> SettingsController::runClearChatHistory()
{
    QPointer<SettingsController> self(this);
    setChatDeletePhase(DeletePhase::Deleting);
    co_await QCoro::sleepFor(m_clearDelay);
    if (!self)
        co_return;
    if (m_agentState) {
        m_agentState->setChatSessions({});
        m_agentState->startNewChat();
        m_agentState->saveSettings();
    }
    setChatDeletePhase(DeletePhase::Done);
    m_chatDoneTimer.start(m_doneDuration);
}

QCoro::Task<> SettingsController::runDeleteAllData()
{
    QPointer<SettingsController> self(this);
    setAllDeletePhase(DeletePhase::Deleting);
    if (m_serverManager)
        co_await m_serverManager->stopServer();
    if (!self)
        co_return;
    if (m_agentState)
        m_agentState->resetAllData();
    emit completionSoundEnabledChanged(); // the reset removed it: on again
    if (m_modelManager)
        m_modelManager->removeAllModels();
    SessionArchive::removeUnreadableCopies(Paths::appDataDirectory());
    MetalStub::remove();
    emit allDataDeleted();
    setAllDeletePhase(DeletePhase::Done);
    m_allDoneTimer.start(m_doneDuration);
}

void SettingsController::setChatDeletePhase(DeletePhase phase)
{
    if (assignIfChanged(m_chatDeletePhase, phase))
        emit chatDeletePhaseChanged();
}

void SettingsController::setAllDeletePhase(DeletePhase phase)
{
    if (assignIfChanged(m_allDeletePhase, phase))
        emit allDeletePhaseChanged();
}

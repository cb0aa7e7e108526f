#pragma once

#include "core/agentstate.h"
#include "engine/enginesetup.h"
#include "engine/servermanager.h"
#include "models/modelmanager.h"

#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QTimer>
#include <QUrl>
#include <QtQml/qqmlregistration.h>

#include <QCoroTask>

#include <chrono>
#include <optional>

struct HFModel;

// The settings screen's decisions: which engine block it shows, the models that can be
// loaded at launch, what the generation fields accept, the export and import with their
// outcome, and the two destructive actions with their phases. The view draws it.
class SettingsController : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(AgentState *agentState READ agentState WRITE setAgentState NOTIFY managersChanged)
    Q_PROPERTY(ServerManager *serverManager READ serverManager WRITE setServerManager NOTIFY
                   managersChanged)
    Q_PROPERTY(
        ModelManager *modelManager READ modelManager WRITE setModelManager NOTIFY managersChanged)
    Q_PROPERTY(EngineSetup::Block engineBlock READ engineBlock NOTIFY engineChanged)
    Q_PROPERTY(QString enginePath READ enginePath NOTIFY engineChanged)
    Q_PROPERTY(QString homebrewInstallCommand READ homebrewInstallCommand CONSTANT)
    Q_PROPERTY(QString installSubtitle READ installSubtitle CONSTANT)
    // "TovraAI_chats.json" in the user's documents folder.
    Q_PROPERTY(QUrl suggestedExportFile READ suggestedExportFile CONSTANT)
    // Where the export and import panels open: the user's documents folder.
    Q_PROPERTY(QUrl documentsFolder READ documentsFolder CONSTANT)
    Q_PROPERTY(QStringList autoLoadLabels READ autoLoadLabels NOTIFY autoLoadChanged)
    Q_PROPERTY(bool autoLoadEnabled READ autoLoadEnabled NOTIFY autoLoadChanged)
    // The candidate whose path is the remembered one; -1 for none.
    Q_PROPERTY(int autoLoadIndex READ autoLoadIndex NOTIFY autoLoadChanged)
    // Why the last Max Tokens text was not taken; empty once one is.
    Q_PROPERTY(QString maxTokensHint READ maxTokensHint NOTIFY maxTokensHintChanged)
    Q_PROPERTY(bool completionSoundEnabled READ completionSoundEnabled WRITE
                   setCompletionSoundEnabled NOTIFY completionSoundEnabledChanged)
    Q_PROPERTY(bool isTransferring READ isTransferring NOTIFY transferChanged)
    // The outcome of the last export or import, for the line under the buttons.
    Q_PROPERTY(QString transferMessage READ transferMessage NOTIFY transferChanged)
    Q_PROPERTY(bool transferFailed READ transferFailed NOTIFY transferChanged)
    Q_PROPERTY(DeletePhase chatDeletePhase READ chatDeletePhase NOTIFY chatDeletePhaseChanged)
    Q_PROPERTY(DeletePhase allDeletePhase READ allDeletePhase NOTIFY allDeletePhaseChanged)

public:
    // The engine block's cases, in the order they are tried.
    enum class DeletePhase { Idle, Deleting, Done };
    Q_ENUM(DeletePhase)

    struct AutoLoadCandidate
    {
        QString path;
        QString label; // display name, a space, quantization
        friend bool operator==(const AutoLoadCandidate &, const AutoLoadCandidate &) = default;
    };
    // Every downloaded variant, in catalogue order and then variant order.
    static QList<AutoLoadCandidate> autoLoadCandidates(const QList<HFModel> &models);

    static constexpr int maxTokensLimit = AgentState::maxTokensLimit;
    // The value a Max Tokens text stands for: a whole number of at least 1, clamped to
    // the limit; absent for anything else.
    static std::optional<int> maxTokensFrom(const QString &text);
    // The slider's value on its 0.05 grid within 0 to 2.
    static double snappedTemperature(double value);

    enum class Transfer { Export, Import };
    // The outcome line: how many chats moved, or why nothing did.
    static QString transferText(Transfer kind, const AgentState::ChatsTransfer &outcome);

    explicit SettingsController(QObject *parent = nullptr);

    AgentState *agentState() const { return m_agentState; }
    void setAgentState(AgentState *state);
    ServerManager *serverManager() const { return m_serverManager; }
    void setServerManager(ServerManager *manager);
    ModelManager *modelManager() const { return m_modelManager; }
    void setModelManager(ModelManager *manager);

    EngineSetup::Block engineBlock() const { return EngineSetup::blockFor(m_engineFacts); }
    QString enginePath() const { return m_enginePath; }
    static QString homebrewInstallCommand();
    static QString installSubtitle();
    static QUrl suggestedExportFile();
    static QUrl documentsFolder();

    QStringList autoLoadLabels() const;
    bool autoLoadEnabled() const;
    int autoLoadIndex() const;
    QString maxTokensHint() const { return m_maxTokensHint; }
    bool completionSoundEnabled() const;
    void setCompletionSoundEnabled(bool enabled);
    bool isTransferring() const { return m_isTransferring; }
    QString transferMessage() const { return m_transferMessage; }
    bool transferFailed() const { return m_transferFailed; }
    DeletePhase chatDeletePhase() const { return m_chatDeletePhase; }
    DeletePhase allDeletePhase() const { return m_allDeletePhase; }

    // The screen was shown: the models folder and the engine are looked at again.
    Q_INVOKABLE void refresh();
    Q_INVOKABLE void stopServer();
    Q_INVOKABLE void installEngine();
    Q_INVOKABLE void uninstallEngine();
    Q_INVOKABLE void setAutoLoadEnabled(bool enabled);
    Q_INVOKABLE void chooseAutoLoad(int index);
    Q_INVOKABLE void setTemperature(double value);
    // "Let models think before answering" and "Show thinking", saved at once.
    Q_INVOKABLE void setThinkingEnabled(bool enabled);
    Q_INVOKABLE void setShowThinking(bool show);
    // Stores the value when the text is one (clamped), else keeps the one in force and
    // says why in maxTokensHint. Returns whether a value was stored.
    Q_INVOKABLE bool submitMaxTokens(const QString &text);
    Q_INVOKABLE void exportChats(const QUrl &file);
    Q_INVOKABLE void importChats(const QUrl &file);
    Q_INVOKABLE void clearChatHistory();
    Q_INVOKABLE void deleteAllData();

    // How long the clear waits before it runs, and how long "done" stays.
    void setPhaseDurations(std::chrono::milliseconds clearDelay,
                           std::chrono::milliseconds doneDuration);

signals:
    void managersChanged();
    void engineChanged();
    void autoLoadChanged();
    void maxTokensHintChanged();
    void completionSoundEnabledChanged();
    void transferChanged();
    void chatDeletePhaseChanged();
    void allDeletePhaseChanged();
    // Everything is gone, the onboarding keys too.
    void allDataDeleted();

private:
    QCoro::Task<> runTransfer(Transfer kind, QCoro::Task<AgentState::ChatsTransfer> transfer);
    QCoro::Task<> runClearChatHistory();
    QCoro::Task<> runDeleteAllData();
    void refreshEngineFacts();
    QList<AutoLoadCandidate> candidates() const;
    void setMaxTokensHint(const QString &hint);
    void setTransfer(bool running, const QString &message, bool failed);
    void setChatDeletePhase(DeletePhase phase);
    void setAllDeletePhase(DeletePhase phase);

    QPointer<AgentState> m_agentState;
    QPointer<ServerManager> m_serverManager;
    QPointer<ModelManager> m_modelManager;
    EngineSetup::Facts m_engineFacts;
    QString m_enginePath;
    QString m_maxTokensHint;
    bool m_isTransferring = false;
    QString m_transferMessage;
    bool m_transferFailed = false;
    DeletePhase m_chatDeletePhase = DeletePhase::Idle;
    DeletePhase m_allDeletePhase = DeletePhase::Idle;
    std::chrono::milliseconds m_clearDelay{600};
    std::chrono::milliseconds m_doneDuration{1500};
    // "Done" shows for a while, then the buttons come back; timers of the controller's own, so
    // that nothing waits on past the controller (or the app) when it goes.
    QTimer m_chatDoneTimer;
    QTimer m_allDoneTimer;
};

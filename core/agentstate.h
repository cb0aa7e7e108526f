#pragma once

#include "core/chatsfile.h"
#include "core/messagelistmodel.h"
#include "core/records.h"
#include "core/sessionarchive.h"

#include <QFutureSynchronizer>
#include <QObject>
#include <QVariantMap>

#include <QCoroTask>

#include <optional>

// The one observable store of the conversation, the saved sessions and the
// generation settings. Lives on the main thread for the whole run.
class AgentState : public QObject
{
    Q_OBJECT
    Q_PROPERTY(MessageListModel *messages READ messageModel CONSTANT)
    Q_PROPERTY(bool isLoading READ isLoading WRITE setIsLoading NOTIFY isLoadingChanged)
    Q_PROPERTY(
        QString systemPrompt READ systemPrompt WRITE setSystemPrompt NOTIFY systemPromptChanged)
    Q_PROPERTY(double temperature READ temperature WRITE setTemperature NOTIFY temperatureChanged)
    Q_PROPERTY(int maxTokens READ maxTokens WRITE setMaxTokens NOTIFY maxTokensChanged)
    Q_PROPERTY(QVariantMap pendingApproval READ pendingApprovalVariant NOTIFY pendingApprovalChanged)
    Q_PROPERTY(bool hasPendingApproval READ hasPendingApproval NOTIFY pendingApprovalChanged)
    // Some of the reply has arrived: changes twice a reply, not with every piece. The text
    // itself is the last message's: the store keeps no second copy of it.
    Q_PROPERTY(bool hasStreamingContent READ hasStreamingContent NOTIFY hasStreamingContentChanged)
    Q_PROPERTY(SessionListModel *chatSessions READ sessionModel CONSTANT)
    // The saved sessions have been read; until then there are none, and no active one.
    Q_PROPERTY(bool sessionsLoaded READ sessionsLoaded NOTIFY sessionsLoadedChanged)
    Q_PROPERTY(QString activeSessionID READ activeSessionIDText NOTIFY activeSessionIDChanged)
    Q_PROPERTY(QString autoLoadModelPath READ autoLoadModelPathText NOTIFY autoLoadModelPathChanged)
    Q_PROPERTY(QString autoLoadModelName READ autoLoadModelNameText NOTIFY autoLoadModelNameChanged)
    Q_PROPERTY(bool historyWasTrimmed READ historyWasTrimmed WRITE setHistoryWasTrimmed NOTIFY
                   historyWasTrimmedChanged)
    Q_PROPERTY(double tokensPerSecond READ tokensPerSecond WRITE setTokensPerSecond NOTIFY
                   tokensPerSecondChanged)
    // Tokens of the model's context the shown conversation filled at its last reply, by the
    // engine's own count; 0 when not known (another conversation, an engine that does not say).
    Q_PROPERTY(int contextUsed READ contextUsed NOTIFY contextUsedChanged)
    // Models may think before answering ("Let models think before answering").
    Q_PROPERTY(bool thinkingEnabled READ thinkingEnabled WRITE setThinkingEnabled NOTIFY
                   thinkingEnabledChanged)
    // Their thinking is shown with the reply ("Show thinking"); it is kept either way.
    Q_PROPERTY(bool showThinking READ showThinking WRITE setShowThinking NOTIFY showThinkingChanged)
    // What the user must know about the saved chats (unreadable, not saved), for an alert
    // naming the files; empty when there is nothing to tell.
    Q_PROPERTY(QString archiveError READ archiveError NOTIFY archiveErrorChanged)
    Q_PROPERTY(bool hasArchiveError READ hasArchiveError NOTIFY archiveErrorChanged)

public:
    static const QString defaultSystemPrompt;
    static constexpr double defaultTemperature = 0.7;
    static constexpr int defaultMaxTokens = 2048;
    static constexpr double maxTemperature = 2.0;
    // The most a reply may ask the engine for.
    static constexpr int maxTokensLimit = 32768;

    // When the saved sessions are read: at construction, or when loadSavedSessions() asks.
    enum class SessionLoading { AtOnce, WhenAsked };

    // Loads the settings. The saved sessions are read off the UI thread and arrive a
    // moment later (sessionsLoaded), with the first one active; with none saved, at once.
    explicit AgentState(QObject *parent = nullptr, SessionLoading loading = SessionLoading::AtOnce);
    ~AgentState() override;
    // Starts reading the saved sessions, once.
    void loadSavedSessions();

    MessageListModel *messageModel() { return &m_messages; }
    const QList<Message> &messages() const { return m_messages.messages(); }
    void setMessages(const QList<Message> &messages);
    void appendMessage(const Message &message);
    void removeLastMessage();

    bool isLoading() const { return m_isLoading; }
    void setIsLoading(bool value);
    QString systemPrompt() const { return m_systemPrompt; }
    void setSystemPrompt(const QString &value);
    double temperature() const { return m_temperature; }
    void setTemperature(double value);
    int maxTokens() const { return m_maxTokens; }
    void setMaxTokens(int value);

    const std::optional<ToolCall> &pendingApproval() const { return m_pendingApproval; }
    bool hasPendingApproval() const { return m_pendingApproval.has_value(); }
    QVariantMap pendingApprovalVariant() const;
    bool isAwaitingApproval() const { return m_awaitingApproval; }

    bool hasStreamingContent() const { return m_hasStreamingContent; }
    void setHasStreamingContent(bool has);

    SessionListModel *sessionModel() { return &m_sessions; }
    const QList<ChatSession> &chatSessions() const { return m_sessions.sessions(); }
    void setChatSessions(const QList<ChatSession> &sessions);
    // Appends sessions after the existing ones (import); the active session stays.
    void appendChatSessions(const QList<ChatSession> &sessions);
    bool sessionsLoaded() const { return m_sessionsLoaded; }
    SessionArchive *sessionArchive() { return &m_archive; }

    std::optional<QUuid> activeSessionID() const { return m_activeSessionID; }
    QString activeSessionIDText() const;
    void setActiveSessionID(const std::optional<QUuid> &id);
    std::optional<ChatSession> activeSession() const;

    std::optional<QString> autoLoadModelPath() const { return m_autoLoadModelPath; }
    QString autoLoadModelPathText() const { return m_autoLoadModelPath.value_or(QString()); }
    void setAutoLoadModelPath(const std::optional<QString> &value);
    std::optional<QString> autoLoadModelName() const { return m_autoLoadModelName; }
    QString autoLoadModelNameText() const { return m_autoLoadModelName.value_or(QString()); }
    void setAutoLoadModelName(const std::optional<QString> &value);

    bool historyWasTrimmed() const { return m_historyWasTrimmed; }
    void setHistoryWasTrimmed(bool value);
    double tokensPerSecond() const { return m_tokensPerSecond; }
    void setTokensPerSecond(double value);
    int contextUsed() const { return m_contextUsed; }
    void setContextUsed(int value);
    bool thinkingEnabled() const { return m_thinkingEnabled; }
    void setThinkingEnabled(bool value);
    bool showThinking() const { return m_showThinking; }
    void setShowThinking(bool value);

    QString archiveError() const { return m_archiveError; }
    bool hasArchiveError() const { return !m_archiveError.isEmpty(); }
    // The alert was seen.
    Q_INVOKABLE void clearArchiveError();

    Q_INVOKABLE void startNewChat();
    // Keeps the last message's thinking.
    void replaceLastMessageContent(const QString &content);
    // Sets the last message's thinking and how long it took (absent: still thinking), in
    // place. Does not save.
    void setLastMessageReasoning(const QString &reasoning, std::optional<double> seconds);
    Q_INVOKABLE void syncActiveSession();
    // Publishes the call as pendingApproval and resumes with the user's decision.
    QCoro::Task<bool> requestApproval(ToolCall call);
    Q_INVOKABLE void resolveApproval(bool approved);
    Q_INVOKABLE void renameActiveSession(const QString &title);
    Q_INVOKABLE void togglePin(const QString &sessionId);
    void togglePin(const QUuid &sessionId);
    Q_INVOKABLE void resetAllData();
    // Writes the settings now and asks for the archive to be written (coalesced, off the
    // UI thread); the archive is left alone until the saved sessions have been read.
    Q_INVOKABLE void saveSettings();
    // Resumes once every archive write asked for is on disk.
    QCoro::Task<> finishSaves();

    // The outcome of an export or an import: how many chats, or why it failed.
    struct ChatsTransfer
    {
        qsizetype count = 0;
        QString error;             // for the user; empty on success
        qsizetype alreadyHere = 0; // chats of an import that were there already
        bool succeeded() const { return error.isEmpty(); }
    };
    // Writes every session to an export file, atomically and off the UI thread.
    QCoro::Task<ChatsTransfer> exportChats(QString filePath);
    // Reads an export file off the UI thread and appends its sessions after the existing
    // ones (each chat once, every identifier unique), then saves; on any failure nothing
    // changes. A file larger than largestChatsFile is refused.
    QCoro::Task<ChatsTransfer> importChats(QString filePath);
    // Ends the export and import jobs at their next chunk, for good: the app is quitting.
    void stopFileWork() { m_fileWorkStop.raise(); }
    // The flag those jobs look at, for other file work on the store's chats.
    StopFlag fileWorkStop() const { return m_fileWorkStop; }
    // Removes, on a worker, the copies of attached files that no chat holds any more: those of
    // the named message folders (an edited or retried message's, once copied again), or (none
    // named) every such folder but the newest. Nothing before the chats are read.
    void removeUnusedAttachments(const QStringList &messageFolders = {});

signals:
    // resetAllData() ran: what other owners keep of the user's data goes too.
    void allDataReset();
    void isLoadingChanged();
    void systemPromptChanged();
    void temperatureChanged();
    void maxTokensChanged();
    void pendingApprovalChanged();
    void hasStreamingContentChanged();
    void activeSessionIDChanged();
    void autoLoadModelPathChanged();
    void autoLoadModelNameChanged();
    void historyWasTrimmedChanged();
    void tokensPerSecondChanged();
    void contextUsedChanged();
    void thinkingEnabledChanged();
    void showThinkingChanged();
    void sessionsLoadedChanged();
    void archiveErrorChanged();
    void approvalDecided(bool approved);
    // Sent before the shown conversation is replaced (another session, a new chat,
    // a deleted session, cleared history, a reset), while it is still the active one.
    void conversationWillChange();

private:
    void loadSettings();
    qsizetype activeSessionIndex() const;
    QCoro::Task<> loadSessions();
    void adoptSessions(const QList<ChatSession> &sessions);
    void addNewChat();

    MessageListModel m_messages;
    SessionListModel m_sessions;
    bool m_isLoading = false;
    QString m_systemPrompt;
    double m_temperature = defaultTemperature;
    int m_maxTokens = defaultMaxTokens;
    std::optional<ToolCall> m_pendingApproval;
    bool m_awaitingApproval = false;
    bool m_approvalDecision = false; // read by the waiting turn once woken
    bool m_hasStreamingContent = false;
    std::optional<QUuid> m_activeSessionID;
    std::optional<QString> m_autoLoadModelPath;
    std::optional<QString> m_autoLoadModelName;
    bool m_historyWasTrimmed = false;
    double m_tokensPerSecond = 0.0;
    int m_contextUsed = 0;
    bool m_thinkingEnabled = true;
    bool m_showThinking = true;
    bool m_sessionsLoaded = false;
    bool m_loadStarted = false;
    QString m_archiveError;
    StopFlag m_fileWorkStop;
    QFutureSynchronizer<void> m_attachmentRemovals; // waited for when the store goes
    // Last: its destructor writes what is still asked for.
    SessionArchive m_archive;
};

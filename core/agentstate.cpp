#include "core/agentstate.h"

#include "core/archive.h"
#include "core/attachmentfiles.h"

#include "platform/assign.h"
#include "platform/paths.h"
#include "platform/preferencekeys.h"
#include "platform/preferences.h"
#include "platform/signalwait.h"

#include <QFileInfo>
#include <QPointer>

#include <QCoroFuture>
#include <QCoroTimer>

namespace {
namespace Key = PreferenceKey;

// Defaults of earlier versions: a stored copy means the user never changed it.
const QString earlierDefaultPrompts[] = {
    QStringLiteral(
        "You are Tovra AI, an intelligent macOS assistant. You can control the system, take "
        "screenshots, manage files, and run applications. Always ask for user approval before "
        "taking any action. Be helpful, precise, and safety-conscious."),
    QStringLiteral(
        "You are Tovra AI, a helpful AI assistant. Answer coding questions, explain concepts, help "
        "with math, write code, and have general conversations. You also have macOS tools for "
        "system tasks like managing files, taking screenshots, and opening apps — but only use "
        "those tools when the user explicitly asks for a system action. For everything else, just "
        "answer directly."),
};

// The first six space-separated words of the first user message.
QString titleFrom(const QString &text)
{
    const QStringList words = text.split(u' ', Qt::SkipEmptyParts);
    return words.mid(0, 6).join(u' ');
}

} // namespace

const QString AgentState::defaultSystemPrompt = QStringLiteral(
    "You are Tovra AI, a helpful AI assistant. Answer any question directly from your knowledge — "
    "coding, "
    "math, definitions, explanations, general knowledge. NEVER use tools to answer questions. "
    "NEVER create "
    "or guess file paths. NEVER call read_file unless the user gives you an exact file path like "
    "'/Users/someone/file.txt'. Only use system tools when the user explicitly says to open an "
    "app, delete a "
    "file, take a screenshot, or similar direct system commands.");

AgentState::AgentState(QObject *parent, SessionLoading loading)
    : QObject(parent)
    , m_systemPrompt(defaultSystemPrompt)
    , m_archive(Key::chatSessions)
{
    loadSettings();
    // The engine's count belongs to the conversation it was made for.
    connect(this, &AgentState::conversationWillChange, this, [this] { setContextUsed(0); });
    connect(&m_archive, &SessionArchive::problem, this, [this](const QString &text) {
        if (assignIfChanged(m_archiveError, text))
            emit archiveErrorChanged();
    });
    if (!m_archive.hasStoredArchive()) {
        m_loadStarted = true;
        m_archive.startEmpty();
        adoptSessions({});
    } else if (loading == SessionLoading::AtOnce) {
        loadSavedSessions();
    }
}

AgentState::~AgentState()
{
    // No one is left to take an export's or an import's outcome.
    stopFileWork();
}

void AgentState::clearArchiveError()
{
    if (assignIfChanged(m_archiveError, QString()))
        emit archiveErrorChanged();
}

void AgentState::loadSavedSessions()
{
    if (!std::exchange(m_loadStarted, true))
        loadSessions();
}

QCoro::Task<> AgentState::loadSessions()
{
    QPointer<AgentState> self(this);
    const QList<ChatSession> sessions = co_await m_archive.load(Paths::appDataDirectory());
    // A small archive may be decoded before it is awaited, and the await then goes on at
    // once: the sessions still arrive from the event loop, never inside the constructor.
    co_await QCoro::sleepFor(std::chrono::milliseconds(0));
    if (self)
        adoptSessions(sessions);
}

void AgentState::adoptSessions(const QList<ChatSession> &sessions)
{
    m_sessions.setSessions(sessions);
    if (!chatSessions().isEmpty()) {
        const ChatSession &first = chatSessions().first();
        m_activeSessionID = first.id;
        emit activeSessionIDChanged();
        m_messages.setMessages(first.messages);
    } else {
        addNewChat();
    }
    m_sessionsLoaded = true;
    emit sessionsLoadedChanged();
    // Copies left by an earlier run: of messages edited, retried or never saved.
    if (QFileInfo::exists(AttachmentFiles::rootFolder()))
        removeUnusedAttachments();
}

void AgentState::setMessages(const QList<Message> &messages)
{
    emit conversationWillChange();
    m_messages.setMessages(messages);
}

void AgentState::appendMessage(const Message &message)
{
    m_messages.append(message);
}

void AgentState::removeLastMessage()
{
    m_messages.removeLast();
}

void AgentState::setIsLoading(bool value)
{
    if (assignIfChanged(m_isLoading, value)) {
        m_messages.setReplyInProgress(value);
        emit isLoadingChanged();
    }
}

void AgentState::setSystemPrompt(const QString &value)
{
    if (assignIfChanged(m_systemPrompt, value))
        emit systemPromptChanged();
}

void AgentState::setTemperature(double value)
{
    if (assignIfChanged(m_temperature, value))
        emit temperatureChanged();
}

void AgentState::setMaxTokens(int value)
{
    if (assignIfChanged(m_maxTokens, value))
        emit maxTokensChanged();
}

QVariantMap AgentState::pendingApprovalVariant() const
{
    if (!m_pendingApproval)
        return {};
    QVariantMap arguments;
    for (auto it = m_pendingApproval->arguments.cbegin(); it != m_pendingApproval->arguments.cend();
         ++it)
        arguments.insert(it.key(), it.value());
    return {
        {QStringLiteral("id"), m_pendingApproval->id},
        {QStringLiteral("name"), m_pendingApproval->name},
        {QStringLiteral("arguments"), arguments},
        {QStringLiteral("status"), toolStatusText(m_pendingApproval->status)},
    };
}

void AgentState::setHasStreamingContent(bool has)
{
    if (assignIfChanged(m_hasStreamingContent, has))
        emit hasStreamingContentChanged();
}

void AgentState::setChatSessions(const QList<ChatSession> &sessions)
{
    // A chat that goes (deleted, the history cleared) takes its attached files' copies along.
    AttachmentFiles::removeForGone(m_sessions.sessions(), sessions);
    if (m_activeSessionID
        && std::none_of(sessions.cbegin(), sessions.cend(), [this](const ChatSession &session) {
               return session.id == *m_activeSessionID;
           }))
        emit conversationWillChange();
    m_sessions.setSessions(sessions);
}

void AgentState::appendChatSessions(const QList<ChatSession> &sessions)
{
    m_sessions.append(sessions);
}

QString AgentState::activeSessionIDText() const
{
    return m_activeSessionID ? uuidText(*m_activeSessionID) : QString();
}

void AgentState::setActiveSessionID(const std::optional<QUuid> &id)
{
    if (id != m_activeSessionID)
        emit conversationWillChange();
    if (assignIfChanged(m_activeSessionID, id))
        emit activeSessionIDChanged();
}

qsizetype AgentState::activeSessionIndex() const
{
    return m_activeSessionID ? m_sessions.indexOf(*m_activeSessionID) : -1;
}

std::optional<ChatSession> AgentState::activeSession() const
{
    const qsizetype index = activeSessionIndex();
    if (index < 0)
        return std::nullopt;
    return chatSessions().at(index);
}

void AgentState::setAutoLoadModelPath(const std::optional<QString> &value)
{
    if (assignIfChanged(m_autoLoadModelPath, value))
        emit autoLoadModelPathChanged();
}

void AgentState::setAutoLoadModelName(const std::optional<QString> &value)
{
    if (assignIfChanged(m_autoLoadModelName, value))
        emit autoLoadModelNameChanged();
}

void AgentState::setHistoryWasTrimmed(bool value)
{
    if (assignIfChanged(m_historyWasTrimmed, value))
        emit historyWasTrimmedChanged();
}

void AgentState::setTokensPerSecond(double value)
{
    if (assignIfChanged(m_tokensPerSecond, value))
        emit tokensPerSecondChanged();
}

void AgentState::setContextUsed(int value)
{
    if (assignIfChanged(m_contextUsed, value))
        emit contextUsedChanged();
}

void AgentState::setThinkingEnabled(bool value)
{
    if (assignIfChanged(m_thinkingEnabled, value))
        emit thinkingEnabledChanged();
}

void AgentState::setShowThinking(bool value)
{
    if (assignIfChanged(m_showThinking, value))
        emit showThinkingChanged();
}

void AgentState::startNewChat()
{
    if (m_sessionsLoaded)
        addNewChat();
}

void AgentState::addNewChat()
{
    emit conversationWillChange();
    const ChatSession session = ChatSession::make();
    m_sessions.insert(0, session);
    setActiveSessionID(session.id);
    m_messages.setMessages({});
}

void AgentState::replaceLastMessageContent(const QString &content)
{
    if (messages().isEmpty())
        return;
    const Message &last = messages().last();
    Message next = Message::make(last.role, content, last.toolCalls);
    next.reasoning = last.reasoning;
    next.reasoningSeconds = last.reasoningSeconds;
    m_messages.replace(messages().size() - 1, next);
    m_sessions.setMessagesQuietly(activeSessionIndex(), messages());
}

void AgentState::setLastMessageReasoning(const QString &reasoning, std::optional<double> seconds)
{
    if (messages().isEmpty())
        return;
    Message next = messages().last();
    next.reasoning = reasoning;
    next.reasoningSeconds = seconds;
    m_messages.replace(messages().size() - 1, next);
    m_sessions.setMessagesQuietly(activeSessionIndex(), messages());
}

void AgentState::syncActiveSession()
{
    const qsizetype index = activeSessionIndex();
    if (index >= 0) {
        ChatSession session = chatSessions().at(index);
        session.messages = messages();
        session.updatedAt = Timestamp::now();
        if (session.title == ChatSession::defaultTitle) {
            const auto firstUser
                = std::find_if(messages().cbegin(), messages().cend(), [](const Message &m) {
                      return m.role == Role::user;
                  });
            if (firstUser != messages().cend())
                session.title = titleFrom(firstUser->content);
        }
        m_sessions.update(index, session);
    }
    saveSettings();
}

QCoro::Task<bool> AgentState::requestApproval(ToolCall call)
{
    m_pendingApproval = std::move(call);
    m_awaitingApproval = true;
    emit pendingApprovalChanged();
    // A store destroyed meanwhile ends the wait with "no", without touching this.
    const bool decided
        = co_await SignalWait(this, &AgentState::approvalDecided, std::chrono::milliseconds(-1));
    if (!decided)
        co_return false;
    co_return m_approvalDecision;
}

void AgentState::resolveApproval(bool approved)
{
    if (m_awaitingApproval) {
        m_awaitingApproval = false;
        m_approvalDecision = approved;
        emit approvalDecided(approved);
    }
    if (m_pendingApproval) {
        m_pendingApproval.reset();
        emit pendingApprovalChanged();
    }
}

void AgentState::renameActiveSession(const QString &title)
{
    if (title.trimmed().isEmpty())
        return;
    const qsizetype index = activeSessionIndex();
    if (index < 0)
        return;
    ChatSession session = chatSessions().at(index);
    session.title = title;
    m_sessions.update(index, session);
    saveSettings();
}

void AgentState::togglePin(const QString &sessionId)
{
    togglePin(QUuid::fromString(sessionId));
}

void AgentState::togglePin(const QUuid &sessionId)
{
    const qsizetype index = m_sessions.indexOf(sessionId);
    if (index < 0)
        return;
    ChatSession session = chatSessions().at(index);
    session.isPinned = !session.isPinned;
    m_sessions.update(index, session);
    saveSettings();
}

void AgentState::resetAllData()
{
    // Sessions read a moment later would bring the chats back.
    if (!m_sessionsLoaded)
        return;
    emit conversationWillChange();
    m_sessions.setSessions({});
    AttachmentFiles::removeAll();
    addNewChat();
    saveSettings();
    setSystemPrompt(defaultSystemPrompt);
    setTemperature(defaultTemperature);
    setMaxTokens(defaultMaxTokens);
    setAutoLoadModelPath(std::nullopt);
    setAutoLoadModelName(std::nullopt);
    setThinkingEnabled(true);
    setShowThinking(true);
    Preferences::remove(Key::onboardingComplete);
    Preferences::remove(Key::userName);
    Preferences::remove(Key::responseStyle);
    Preferences::remove(Key::firstReplyCelebrated); // a fresh start celebrates its first reply again
    Preferences::remove(Key::completionSoundEnabled);
    saveSettings();
    emit allDataReset();
}

void AgentState::loadSettings()
{
    if (const auto prompt = Preferences::string(Key::systemPrompt)) {
        const bool earlierDefault
            = std::find(std::begin(earlierDefaultPrompts), std::end(earlierDefaultPrompts), *prompt)
              != std::end(earlierDefaultPrompts);
        if (!earlierDefault)
            m_systemPrompt = *prompt;
    }
    // 0 is a choice (the most predictable replies); what no slider can give falls back.
    if (const std::optional<double> temperature = Preferences::number(Key::temperature)) {
        if (*temperature >= 0)
            m_temperature = std::min(*temperature, maxTemperature);
    }
    if (const qint64 maxTokens = Preferences::integer(Key::maxTokens); maxTokens >= 1)
        m_maxTokens = int(std::min<qint64>(maxTokens, maxTokensLimit));
    m_autoLoadModelPath = Preferences::string(Key::autoLoadModelPath);
    m_autoLoadModelName = Preferences::string(Key::autoLoadModelName);
    m_thinkingEnabled = Preferences::boolean(Key::thinkingEnabled, true);
    m_showThinking = Preferences::boolean(Key::showThinking, true);
}

void AgentState::saveSettings()
{
    Preferences::setString(Key::systemPrompt, m_systemPrompt);
    Preferences::setDouble(Key::temperature, m_temperature);
    Preferences::setInteger(Key::maxTokens, m_maxTokens);
    if (m_autoLoadModelPath)
        Preferences::setString(Key::autoLoadModelPath, *m_autoLoadModelPath);
    else
        Preferences::remove(Key::autoLoadModelPath);
    if (m_autoLoadModelName)
        Preferences::setString(Key::autoLoadModelName, *m_autoLoadModelName);
    else
        Preferences::remove(Key::autoLoadModelName);
    Preferences::setBoolean(Key::thinkingEnabled, m_thinkingEnabled);
    Preferences::setBoolean(Key::showThinking, m_showThinking);
    Preferences::sync();
    m_archive.save(chatSessions());
}

QCoro::Task<> AgentState::finishSaves()
{
    co_await m_archive.finish();
}

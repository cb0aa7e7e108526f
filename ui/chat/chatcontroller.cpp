#include "ui/chat/chatcontroller.h"

#include "core/agentstate.h"
#include "engine/servermanager.h"
#include "ui/chat/chatlogic.h"

#include "platform/assign.h"

#include <algorithm>

namespace {
bool isTurn(const Message &message)
{
    return message.role != QLatin1String("tool_result") && message.role != QLatin1String("system");
}
} // namespace

ChatController::ChatController(QObject *parent)
    : QObject(parent)
{
    // The last strip has landed by then (delay up to 1 s, fall up to 3.5 s).
    m_celebration.setInterval(5000);
    m_celebration.setSingleShot(true);
    connect(&m_celebration, &QTimer::timeout, this, [this] { setShowConfetti(false); });
}

ChatController::Action ChatController::decide(
    const QString &text, bool isLoading, bool isRunning, bool isStarting, bool hasAttachments)
{
    if ((text.trimmed().isEmpty() && !hasAttachments) || isLoading)
        return Action::Ignore;
    if (isRunning)
        return Action::Send;
    return isStarting ? Action::Queue : Action::Refuse;
}

void ChatController::setState(AgentState *state)
{
    if (m_state == state)
        return;
    for (const auto &connection : std::as_const(m_stateConnections))
        disconnect(connection);
    m_stateConnections.clear();
    m_state = state;
    if (state) {
        // Rows come and go on whole turns; a streamed piece only changes a row's text.
        MessageListModel *messages = state->messageModel();
        for (auto signal : {&MessageListModel::rowsInserted, &MessageListModel::rowsRemoved})
            m_stateConnections << connect(messages, signal, this, &ChatController::updateTurns);
        m_stateConnections << connect(messages,
                                      &MessageListModel::modelReset,
                                      this,
                                      &ChatController::updateTurns)
                           << connect(state,
                                      &AgentState::isLoadingChanged,
                                      this,
                                      &ChatController::onLoadingChanged)
                           << connect(state,
                                      &AgentState::hasStreamingContentChanged,
                                      this,
                                      &ChatController::updateTyping)
                           << connect(state,
                                      &AgentState::showThinkingChanged,
                                      this,
                                      &ChatController::updateTyping)
                           // The first thinking piece: the reply's row shows it.
                           << connect(messages,
                                      &MessageListModel::dataChanged,
                                      this,
                                      &ChatController::updateTyping);
    }
    updateTurns();
    updateTyping();
    emit stateChanged();
}

void ChatController::setEngine(EngineChoice *engine)
{
    if (m_engine == engine)
        return;
    for (const auto &connection : std::as_const(m_engineConnections))
        disconnect(connection);
    m_engineConnections.clear();
    m_engine = engine;
    if (engine) {
        for (auto signal : {&EngineChoice::isRunningChanged, &EngineChoice::startEnded})
            m_engineConnections << connect(engine, signal, this, &ChatController::onEngineChanged);
    }
    emit engineChanged();
}

ChatController::Action ChatController::submit(const QString &text)
{
    // Until the saved sessions are in, a send waits like one during a reply.
    const Action action = decide(text,
                                 m_state && (m_state->isLoading() || !m_state->sessionsLoaded()),
                                 m_engine && m_engine->isRunning(),
                                 m_engine && m_engine->isStarting(),
                                 m_hasAttachments);
    setQueuedText(action == Action::Queue ? text.trimmed() : QString());
    return action;
}

ChatController::Action ChatController::retry() const
{
    if (m_state && (m_state->isLoading() || !m_state->sessionsLoaded()))
        return Action::Ignore;
    if (m_engine && m_engine->isRunning())
        return Action::Send;
    // The cut would lose the message while nothing could send it yet.
    return m_engine && m_engine->isStarting() ? Action::Ignore : Action::Refuse;
}

void ChatController::textEdited(const QString &text)
{
    if (isQueued() && text.trimmed() != m_queuedText)
        setQueuedText(QString());
}

void ChatController::updateTurns()
{
    bool has = false;
    if (m_state)
        has = std::any_of(m_state->messages().cbegin(), m_state->messages().cend(), isTurn);
    if (assignIfChanged(m_hasTurns, has))
        emit hasTurnsChanged();
}

void ChatController::updateTyping()
{
    const bool thinkingShows = m_state && m_state->showThinking() && !m_state->messages().isEmpty()
                               && !m_state->messages().last().reasoning.isEmpty();
    const bool typing
        = m_state && m_state->isLoading() && !m_state->hasStreamingContent() && !thinkingShows;
    if (assignIfChanged(m_isTyping, typing))
        emit isTypingChanged();
}

void ChatController::onLoadingChanged()
{
    updateTyping();
    // The first good reply the user gets is celebrated.
    if (m_state && !m_state->isLoading()
        && ChatLogic::claimFirstReplyCelebration(m_state->messageModel())) {
        setShowConfetti(true);
        m_celebration.start();
    }
}

void ChatController::onEngineChanged()
{
    if (!isQueued() || !m_engine)
        return;
    if (m_engine->isRunning()) {
        const QString text = m_queuedText;
        setQueuedText(QString());
        emit queuedTextReady(text);
    } else if (!m_engine->isStarting()) {
        // The start is over (startEnded) without an engine: the text stays, not queued.
        setQueuedText(QString());
    }
}

void ChatController::setShowConfetti(bool show)
{
    if (assignIfChanged(m_showConfetti, show))
        emit showConfettiChanged();
}

void ChatController::setQueuedText(const QString &text)
{
    const bool was = isQueued();
    m_queuedText = text;
    if (was != isQueued())
        emit isQueuedChanged();
}

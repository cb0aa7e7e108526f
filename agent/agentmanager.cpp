#include "agent/agentmanager.h"

#include "agent/toolserverapproval.h"

#include "core/attachmentfiles.h"
#include "core/replytext.h"
#include "tools/toolcatalogue.h"
#include "tools/toolexecutor.h"

#include <QDateTime>
#include <QStringTokenizer>

#include <nlohmann/json.hpp>

namespace {

QString engineBaseURL(int port)
{
    return QStringLiteral("http://127.0.0.1:") + QString::number(port);
}

bool isBlank(const QString &text)
{
    return ReplyText::trimWhiteSpaceAndLineBreaks(text).isEmpty();
}

// The running of a tool outlives nothing it needs: the executor travels in the frame.
QCoro::Task<QString> executeWith(std::shared_ptr<const ToolExecutor> executor, ToolCall call)
{
    co_return co_await executor->execute(std::move(call));
}

ToolRunner realTools()
{
    auto executor = std::make_shared<const ToolExecutor>();
    return [executor](ToolCall call) { return executeWith(executor, std::move(call)); };
}

} // namespace

ChatError AgentManager::cancelledError()
{
    return ChatError{QStringLiteral("QNetworkReply"), 5, QStringLiteral("Operation canceled"), true};
}

const QString AgentManager::confirmationInstruction
    = QStringLiteral("\nIn one or two sentences, briefly confirm what was just done. Don't repeat "
                     "raw output verbatim.");

AgentManager::AgentManager(AgentState *state,
                           EngineAccess engine,
                           ToolRunner runTool,
                           QObject *parent)
    : QObject(parent)
    , m_state(state)
    , m_engine(std::move(engine))
    , m_runTool(runTool ? std::move(runTool) : realTools())
    , m_completionSound(Sound::completionSound())
{
    m_llmClient = new LLMClient(engineBaseURL(m_engine.port ? m_engine.port() : 8080), this);
    m_toolServers = new McpRegistry(McpRegistryOptions{}, this);
    m_toolServerApproval = new ToolServerApproval(this);
    if (state)
        connect(state,
                &AgentState::pendingApprovalChanged,
                m_toolServerApproval,
                &ToolServerApproval::update);
    m_speedReset.setSingleShot(true);
    m_speedReset.setInterval(std::chrono::seconds(5));
    // A reply belongs to the conversation that asked for it.
    if (state)
        connect(state, &AgentState::conversationWillChange, this, &AgentManager::stop);
    connect(&m_speedReset, &QTimer::timeout, this, [this] {
        // A turn that started meanwhile keeps its own readout.
        if (m_state && !m_state->isLoading())
            m_state->setTokensPerSecond(0.0);
    });
}

AgentManager::~AgentManager()
{
    // A question of a turn that can no longer go on is answered "no".
    if (m_currentTurn)
        cancelTurn(m_currentTurn);
}

void AgentManager::setSpeedIntervals(std::chrono::milliseconds warmUp,
                                     std::chrono::milliseconds reset)
{
    m_speedWarmUp = warmUp;
    m_speedReset.setInterval(reset);
}

// MARK: - Turns

void AgentManager::send(const QString &text)
{
    send(text, {});
}

void AgentManager::send(const QString &text, QList<AttachmentDraft> attachments)
{
    if (m_currentTurn)
        cancelTurn(m_currentTurn);
    auto turn = std::make_shared<Turn>();
    m_currentTurn = turn;
    emit isBusyChanged();
    runTurn(QPointer(this), turn, text, std::move(attachments));
}

void AgentManager::useRemote(RemoteClient *client)
{
    // A turn never switches engines half-way.
    stop();
    m_remote = client;
    m_toolServerApproval->update();
}

void AgentManager::setToolServers(McpRegistry *registry)
{
    if (m_toolServers == registry)
        return;
    stop();
    // The servers of mcp.json end with the registry that started them.
    if (m_toolServers && m_toolServers->parent() == this)
        m_toolServers->deleteLater();
    m_toolServers = registry;
    emit toolServersChanged();
}

void AgentManager::stop()
{
    if (!m_currentTurn) {
        cancelRequests();
        return;
    }
    cancelTurn(m_currentTurn);
    m_currentTurn.reset();
    emit isBusyChanged();
}

void AgentManager::cancelTurn(const TurnPtr &turn)
{
    if (turn->over)
        return;
    turn->over = true;
    // What arrived before the stop is shown, and kept, with the rest.
    m_pieceFrames.flush();
    // The outcome is recorded now, while the turn's messages are still the last ones
    // of the session that asked: the shown conversation may change right after, and
    // the suspended turn resumes later only to find itself over.
    if (m_state) {
        switch (turn->awaiting) {
        case Awaiting::FirstReply:
            failTurn(cancelledError());
            break;
        case Awaiting::Confirmation:
            failConfirmation(cancelledError());
            finishTurn();
            break;
        case Awaiting::Approval:
            endLoading();
            m_state->resolveApproval(false);
            break;
        case Awaiting::Tool:
            // A tool server hears that the call is cancelled; a built-in tool runs to its end.
            // Either way its result goes nowhere.
            if (turn->serverCall)
                turn->serverCall->stop();
            endLoading();
            break;
        case Awaiting::Nothing:
            break;
        }
    }
    cancelRequests();
}

void AgentManager::cancelRequests()
{
    m_llmClient->cancel();
    if (m_remote)
        m_remote->cancel();
}

QCoro::Task<> AgentManager::runTurn(QPointer<AgentManager> self,
                                    TurnPtr turn,
                                    QString text,
                                    QList<AttachmentDraft> attachments)
{
    if (!self)
        co_return;
    co_await self->processTurn(turn, std::move(text), std::move(attachments));
    if (self && self->m_currentTurn == turn) {
        self->m_currentTurn.reset();
        emit self->isBusyChanged();
    }
}

AgentManager::TurnPtr AgentManager::turnForDirectCall()
{
    if (m_currentTurn)
        return m_currentTurn;
    return std::make_shared<Turn>();
}

QCoro::Task<> AgentManager::processMessage(QString text)
{
    return processTurn(turnForDirectCall(), std::move(text));
}

QCoro::Task<> AgentManager::runToolCalls(QList<ToolCall> calls)
{
    return runToolCallsInTurn(turnForDirectCall(), std::move(calls));
}

QCoro::Task<> AgentManager::processTurn(TurnPtr turn,
                                        QString text,
                                        QList<AttachmentDraft> attachments)
{
    QPointer<AgentManager> self(this);
    if (!m_state || (isBlank(text) && attachments.isEmpty())
        || !(m_engine.isRunning && m_engine.isRunning()))
        co_return;

    Message asked = Message::make(Role::user, text);
    // An edited or retried message's files come from its copies: once copied again for this
    // one, they go.
    QStringList earlierCopies;
    for (const AttachmentDraft &draft : std::as_const(attachments)) {
        const QString folder = AttachmentFiles::messageFolderOf(draft.sourcePath);
        if (!folder.isEmpty() && !earlierCopies.contains(folder))
            earlierCopies.append(folder);
    }
    if (!attachments.isEmpty()) {
        // The copies go with the message: its identifier names their folder.
        asked.attachments = co_await AttachmentFiles::store(asked.id, std::move(attachments));
        if (!self || !m_state || turn->over)
            co_return;
    }
    m_state->appendMessage(asked);
    m_state->syncActiveSession();
    if (!earlierCopies.isEmpty())
        m_state->removeUnusedAttachments(earlierCopies);
    m_state->setIsLoading(true);
    m_state->setHasStreamingContent(false);
    m_state->setTokensPerSecond(0.0);
    m_unappliedSpeed.reset();
    m_streamStart.invalidate();
    m_tokenCount = 0;
    m_display.clear();
    m_thinking.clear();
    m_state->appendMessage(Message::make(Role::assistant, QString()));
    m_state->syncActiveSession();
    refreshBaseURL();

    const QString prompt = effectiveSystemPrompt();
    nlohmann::json tools = ToolCatalogue::toolDefinitions();
    if (m_toolServers) {
        for (const nlohmann::json &definition : m_toolServers->toolDefinitions())
            tools.push_back(definition);
    }
    const QList<Message> &all = m_state->messages();
    const QList<Message> history
        = trimmedHistory(all.first(all.size() - 1), historyLimit, historyTokenBudget(prompt, tools));

    ChatResult result = co_await request(turn, history, prompt, tools, Awaiting::FirstReply);
    if (!self || !m_state || turn->over)
        co_return;
    if (!result.ok() && result.error->code == 400 && !tools.empty()
        && (result.error->domain == LLMClient::errorDomain
            || result.error->domain == RemoteClient::errorDomain)) {
        // Engines that reject function calling answer 400: ask again without tools.
        result
            = co_await request(turn, history, prompt, nlohmann::json::array(), Awaiting::FirstReply);
        if (!self || !m_state || turn->over)
            co_return;
    }
    if (!result.ok()) {
        failTurn(*result.error);
        co_return;
    }
    endThinking();
    applyTimings(result.reply.timings, true);

    const ChatReply &reply = result.reply;
    const ExtractedToolCalls extracted = extractToolCalls(reply.content);
    const bool structured = reply.toolCalls.has_value();
    const std::optional<QList<ToolCall>> calls = structured ? reply.toolCalls : extracted.toolCalls;
    QString visible = cleanForDisplay(structured ? reply.content : extracted.remainingText);
    if (visible.isEmpty() && !isBlank(reply.content) && !calls) {
        // Every line was hidden by the display filter: show it all but the tool-call lines.
        QStringList lines;
        for (const QStringView line : QStringTokenizer(reply.content, u'\n')) {
            if (!ReplyText::trimWhiteSpace(line).startsWith(ToolProtocol::callPrefix))
                lines.append(line.toString());
        }
        visible = ReplyText::trimWhiteSpaceAndLineBreaks(lines.join(u'\n')).toString();
    }

    if (!reply.complete) {
        // Half a reply is shown as such, and its tool calls (their arguments maybe cut
        // too) are not run.
        replaceLastMessage(Message::cutShortReply(visible));
        endLoading();
        co_return;
    }
    if (calls && !calls->isEmpty()) {
        replaceLastMessage(Message::make(Role::assistant, visible, calls));
        co_await runToolCallsInTurn(turn, *calls);
        if (!self || !m_state || turn->over)
            co_return;
    } else {
        // Saved by finishTurn() right after.
        replaceLastMessage(Message::make(Role::assistant, visible));
    }
    finishTurn();
}

void AgentManager::refreshBaseURL()
{
    if (m_engine.port)
        m_llmClient->setBaseURL(engineBaseURL(m_engine.port()));
}

// MARK: - Ends of a turn

void AgentManager::replaceLastMessage(const Message &message)
{
    const QList<Message> &messages = m_state->messages();
    if (!messages.isEmpty() && messages.last().role == message.role
        && messages.last().toolCalls == message.toolCalls) {
        // One row changes, and the session's copy follows (the thinking stays with it).
        m_state->replaceLastMessageContent(message.content);
        return;
    }
    Message next = message;
    if (!messages.isEmpty()) {
        // A reply that gains its tool calls keeps the thinking that led to them.
        if (next.reasoning.isEmpty() && next.role == Role::assistant
            && messages.last().role == Role::assistant) {
            next.reasoning = messages.last().reasoning;
            next.reasoningSeconds = messages.last().reasoningSeconds;
        }
        m_state->removeLastMessage();
    }
    m_state->appendMessage(next);
    m_state->syncActiveSession();
}

void AgentManager::finishTurn()
{
    m_state->setIsLoading(false);
    m_state->setHasStreamingContent(false);
    m_state->saveSettings();
    playCompletionSound();
    if (m_state->tokensPerSecond() > 0)
        m_speedReset.start();
}

void AgentManager::failTurn(const ChatError &error)
{
    endThinking(); // thinking that was stopped stays, as a partial reply does
    if (error.cancelled) {
        const QList<Message> &messages = m_state->messages();
        if (!messages.isEmpty() && messages.last().role == Role::assistant
            && isBlank(messages.last().content) && messages.last().reasoning.isEmpty()) {
            m_state->removeLastMessage();
            // The saved session must not keep the placeholder the screen no longer shows.
            m_state->syncActiveSession();
        }
    } else {
        replaceLastMessage(Message::errorReply(error.description));
    }
    endLoading();
}

void AgentManager::endLoading()
{
    m_state->setIsLoading(false);
    m_state->setHasStreamingContent(false);
    m_state->saveSettings();
    m_state->setTokensPerSecond(0.0);
}

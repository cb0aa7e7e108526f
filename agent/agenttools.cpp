// The tools a reply asks for: the user's approval, the run, the results, and the reply that
// confirms them.
#include "agent/agentmanager.h"
#include "core/attachmentfiles.h"
#include "core/replytext.h"
#include "tools/screenshot.h"
#include "tools/toolcatalogue.h"

#include <QDateTime>

#include <nlohmann/json.hpp>

QCoro::Task<> AgentManager::runToolCallsInTurn(TurnPtr turn, QList<ToolCall> calls)
{
    QPointer<AgentManager> self(this);
    QStringList resultLines;
    QList<AttachmentDraft> pictures; // go with the results to a model that sees
    for (const ToolCall &call : calls) {
        if (asksFirst(call)) {
            turn->awaiting = Awaiting::Approval;
            const bool approved = co_await m_state->requestApproval(call);
            if (!self || !m_state || turn->over)
                co_return;
            turn->awaiting = Awaiting::Nothing;
            if (!approved) {
                resultLines.append(u'[' + call.name + QStringLiteral("]: Denied by user"));
                continue;
            }
        }
        turn->awaiting = Awaiting::Tool;
        if (McpRegistry::isServerToolName(call.name)) {
            const McpToolOutput output = co_await runServerTool(turn, call);
            if (!self || !m_state || turn->over)
                co_return;
            turn->awaiting = Awaiting::Nothing;
            for (const QString &image : output.images) {
                const bool png = image.startsWith(QLatin1String("data:image/png"));
                keepToolPicture(image,
                                call.name + (png ? QStringLiteral(".png") : QStringLiteral(".jpg")),
                                pictures);
            }
            resultLines.append(u'[' + call.name + QStringLiteral("]: ")
                               + shortenedServerToolResult(output.text));
            continue;
        }
        const QString result = co_await m_runTool(call);
        if (!self || !m_state || turn->over)
            co_return;
        turn->awaiting = Awaiting::Nothing;
        if (isImage(result)) {
            const QDateTime now = QDateTime::currentDateTime();
            keepToolPicture(result, Screenshot::fileName(now), pictures);
            resultLines.append(screenshotResultLine(call.name, now));
        } else {
            resultLines.append(u'[' + call.name + QStringLiteral("]: ")
                               + shortenedToolResult(result));
        }
    }

    Message results = Message::make(Role::toolResult,
                                    ToolProtocol::resultsPrefix + u'\n' + resultLines.join(u'\n'));
    if (!pictures.isEmpty()) {
        results.attachments = co_await AttachmentFiles::store(results.id, std::move(pictures));
        if (!self || !m_state || turn->over)
            co_return;
    }
    m_state->appendMessage(results);
    m_state->syncActiveSession();
    m_state->appendMessage(Message::make(Role::assistant, QString()));
    m_state->syncActiveSession();
    m_state->setHasStreamingContent(false);
    m_display.clear();
    m_thinking.clear();

    const QString prompt = effectiveSystemPrompt() + confirmationInstruction;
    const QList<Message> &all = m_state->messages();
    const QList<Message> history
        = trimmedHistory(all.first(all.size() - 1),
                         historyLimit,
                         historyTokenBudget(prompt, nlohmann::json::array()));
    const ChatResult result
        = co_await request(turn, history, prompt, nlohmann::json::array(), Awaiting::Confirmation);
    if (!self || !m_state || turn->over)
        co_return;
    endThinking();
    if (result.ok()) {
        applyTimings(result.reply.timings, false);
        // Tool requests in a confirmation are never run.
        const QString text = cleanForDisplay(extractToolCalls(result.reply.content).remainingText);
        replaceLastMessage(result.reply.complete ? Message::make(Role::assistant, text)
                                                 : Message::cutShortReply(text));
    } else {
        failConfirmation(*result.error);
    }
}

bool AgentManager::asksFirst(const ToolCall &call) const
{
    if (m_remote)
        return true;
    if (McpRegistry::isServerToolName(call.name))
        return !(m_toolServers && m_toolServers->isAlwaysAllowed(call.name));
    return ToolCatalogue::needsApproval(call.name);
}

QCoro::Task<McpToolOutput> AgentManager::runServerTool(TurnPtr turn, ToolCall call)
{
    QPointer<McpRegistry> servers = m_toolServers;
    if (!servers)
        co_return McpToolOutput{QStringLiteral("Error: No tool server offers %1 now.").arg(call.name),
                                {},
                                true};
    turn->serverCall = std::make_shared<McpCallStop>();
    McpToolOutput output = co_await servers->call(call.name, call.arguments, turn->serverCall);
    turn->serverCall.reset();
    co_return output;
}

void AgentManager::keepToolPicture(const QString &dataUrl,
                                   const QString &fileName,
                                   QList<AttachmentDraft> &pictures)
{
    // Shown in the chat for the user, and sent to a model that sees with the tool's results.
    m_state->appendMessage(Message::make(Role::assistant, dataUrl));
    m_state->syncActiveSession();
    if (!modelSeesImages())
        return;
    const QByteArray bytes = QByteArray::fromBase64(dataUrl.section(u',', 1).toLatin1());
    if (bytes.isEmpty())
        return;
    pictures.append({fileName, Attachment::image, bytes.size(), {}, bytes, {}});
}

void AgentManager::failConfirmation(const ChatError &error)
{
    endThinking();
    replaceLastMessage(Message::errorReply(error.description));
}

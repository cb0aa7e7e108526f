// The agent loop's streamed pieces (speed, the reply shown once per frame) and the sound
// at a reply's end.
#include "agent/agentmanager.h"
#include "agent/toolserverapproval.h"
#include "core/attachmentfiles.h"
#include "core/replytext.h"
#include "tools/toolcatalogue.h"
#include "tools/toolexecutor.h"
#include <QDateTime>
#include <QStringTokenizer>
#include <nlohmann/json.hpp>

// MARK: - Requests

QCoro::Task<ChatResult> AgentManager::request(
    TurnPtr turn, QList<Message> history, QString systemPrompt, nlohmann::json tools, Awaiting what)
{
    if (turn->over)
        co_return ChatResult{cancelledError(), {}};
    const bool firstReply = what == Awaiting::FirstReply;
    auto onToken = [this, turn, firstReply](const ReplyPiece &piece) {
        // Nothing that arrives after the turn was stopped may reach the conversation.
        if (turn->over)
            return;
        if (piece.isReasoning()) {
            if (firstReply)
                measureSpeed();
            onThinkingPiece(piece);
            return;
        }
        endThinking();
        if (firstReply)
            onFirstReplyPiece(piece.text);
        else
            onPiece(piece.text);
    };
    turn->awaiting = what;
    history = co_await withPictures(std::move(history));
    if (turn->over)
        co_return ChatResult{cancelledError(), {}};
    ChatClient *client = m_remote ? static_cast<ChatClient *>(m_remote.data()) : m_llmClient;
    client->setThinkingAllowed(m_state->thinkingEnabled());
    ChatResult result = co_await client->streamChat(std::move(history),
                                                    std::move(systemPrompt),
                                                    m_state->temperature(),
                                                    m_state->maxTokens(),
                                                    std::move(tools),
                                                    std::move(onToken));
    // The whole reply is on screen before anything reads, parses or saves it.
    if (!turn->over)
        m_pieceFrames.flush();
    turn->awaiting = Awaiting::Nothing;
    co_return result;
}

QCoro::Task<QList<Message>> AgentManager::withPictures(QList<Message> history)
{
    // A model that does not see is sent no pictures; the text still goes.
    if (!modelSeesImages())
        co_return history;
    QStringList paths;
    for (const Message &message : std::as_const(history)) {
        for (const Attachment &attachment : message.attachments) {
            if (attachment.isImage() && !attachment.storedPath.isEmpty())
                paths.append(attachment.storedPath);
        }
    }
    if (paths.isEmpty())
        co_return history;
    const QHash<QString, QString> urls = co_await AttachmentFiles::imageDataUrls(paths);
    for (Message &message : history) {
        for (Attachment &attachment : message.attachments) {
            if (attachment.isImage())
                attachment.dataUrl = urls.value(attachment.storedPath);
        }
    }
    co_return history;
}

// MARK: - Streaming

void AgentManager::onFirstReplyPiece(const QString &piece)
{
    measureSpeed();
    onPiece(piece);
}

// Every piece counts, thinking included: the engine generates both.
void AgentManager::measureSpeed()
{
    if (!m_streamStart.isValid()) {
        m_streamStart.start();
        m_tokenCount = 0;
    }
    ++m_tokenCount;
    const qint64 elapsedNs = m_streamStart.nsecsElapsed();
    // Shown with the piece's frame: a readout that changed with every piece would draw the
    // window more often than the reply does.
    if (elapsedNs > std::chrono::nanoseconds(m_speedWarmUp).count())
        m_unappliedSpeed = double(m_tokenCount) / (double(elapsedNs) / 1e9);
}

void AgentManager::onPiece(const QString &piece)
{
    if (!m_state)
        return;
    // Equal to cleanForDisplay() of the whole reply so far, at the cost of this piece only.
    m_display.append(piece);
    m_piecesUnapplied = m_piecesUnapplied || !piece.isEmpty();
    m_pieceFrames.request();
}

void AgentManager::applyPieces()
{
    if (!m_state)
        return;
    if (m_unappliedSpeed)
        m_state->setTokensPerSecond(*std::exchange(m_unappliedSpeed, std::nullopt));
    if (std::exchange(m_thinking.unapplied, false))
        m_state->setLastMessageReasoning(m_thinking.text, m_thinking.seconds);
    if (!std::exchange(m_piecesUnapplied, false))
        return;
    m_state->setHasStreamingContent(true);
    m_state->replaceLastMessageContent(m_display.display());
}

// MARK: - Sound

void AgentManager::playCompletionSound()
{
    if (Sound::completionSoundEnabled())
        Sound::play(m_completionSound);
}

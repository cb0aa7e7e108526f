// The agent loop's streamed pieces (speed, the reply shown once per frame) and the sound
// at a reply's end.
#include "agent/agentmanager.h"
#include "agent/toolserverapproval.h"
#include "core/replytext.h"
#include "tools/toolcatalogue.h"
#include "tools/toolexecutor.h"
#include <QDateTime>
#include <QStringTokenizer>
#include <nlohmann/json.hpp>

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

// The parts of a turn that models which think before they answer bring: the thinking of a
// reply as it streams, kept with the reply and timed, and the engine's own figures.
//
// Thinking pieces go to the reply's row as they come, its answer still empty; the first piece
// of the answer, or the end of the reply however it ends, gives the thinking its duration.
#include "agent/agentmanager.h"

#include "core/replytext.h"

#include <limits>

void AgentManager::onThinkingPiece(const ReplyPiece &piece)
{
    if (!m_state)
        return;
    if (!m_thinking.clock.isValid())
        m_thinking.clock.start();
    if (piece.kind == ReplyPiece::Kind::EarlierContentIsReasoning) {
        // The answer shown so far was thinking, from the reply's first piece on.
        m_display.clear();
        m_piecesUnapplied = false;
        m_state->setHasStreamingContent(false);
        m_state->replaceLastMessageContent(QString());
        m_thinking.beganNs = 0;
    } else if (m_thinking.beganNs < 0) {
        m_thinking.beganNs = m_thinking.clock.nsecsElapsed();
    }
    m_thinking.text.append(piece.text);
    // Shown with the next frame, like the answer's pieces.
    m_thinking.unapplied = true;
    m_pieceFrames.request();
}

// The answer began, or the reply ended: the thinking gets its duration, once.
void AgentManager::endThinking()
{
    if (!m_state)
        return;
    if (!m_thinking.clock.isValid())
        m_thinking.clock.start(); // the first piece is the answer's
    if (m_thinking.text.isEmpty() || m_thinking.seconds)
        return;
    m_pieceFrames.flush();
    const double seconds = double(m_thinking.clock.nsecsElapsed() - m_thinking.beganNs) / 1e9;
    m_thinking.text = ReplyText::trimWhiteSpaceAndLineBreaks(m_thinking.text).toString();
    // Milliseconds are all a reader needs of it.
    if (!m_thinking.text.isEmpty())
        m_thinking.seconds = std::round(seconds * 1000.0) / 1000.0;
    m_thinking.unapplied = false;
    m_state->setLastMessageReasoning(m_thinking.text, m_thinking.seconds);
}

// The engine counts tokens where the loop counts pieces: its figures win when it sends them.
void AgentManager::applyTimings(const std::optional<EngineTimings> &timings, bool speed)
{
    if (!timings)
        return; // the own count stands
    if (speed && timings->predictedPerSecond > 0)
        m_state->setTokensPerSecond(timings->predictedPerSecond);
    if (timings->contextUsed() > 0)
        m_state->setContextUsed(
            int(std::min<qint64>(timings->contextUsed(), std::numeric_limits<int>::max())));
}

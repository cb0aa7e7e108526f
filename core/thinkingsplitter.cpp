#include "core/thinkingsplitter.h"

#include "core/replytext.h"

namespace {
constexpr QStringView openTag = u"<think>";
constexpr QStringView closeTag = u"</think>";

qsizetype leadingSpace(QStringView text)
{
    qsizetype i = 0;
    while (i < text.size() && ReplyText::isWhiteSpaceOrLineBreak(text.at(i).unicode()))
        ++i;
    return i;
}

// The length of the longest end of `text` that could begin `tag`.
qsizetype partialTagAtEnd(QStringView text, QStringView tag)
{
    for (qsizetype k = std::min(text.size(), tag.size() - 1); k > 0; --k) {
        if (text.endsWith(tag.first(k)))
            return k;
    }
    return 0;
}

void emitPiece(QList<ReplyPiece> &out, ReplyPiece::Kind kind, QStringView text)
{
    if (!text.isEmpty())
        out.append(ReplyPiece{kind, text.toString()});
}
} // namespace

void ThinkingSplitter::feedContent(QStringView piece, QList<ReplyPiece> &out)
{
    if (m_state == State::Answer && !m_skipSpace) {
        emitPiece(out, ReplyPiece::Kind::Content, piece); // the common case: no copy of the rest
        return;
    }
    QString joined = std::exchange(m_held, QString());
    joined.append(piece);
    QStringView text = joined;
    while (true) {
        if (m_skipSpace) {
            text = text.sliced(leadingSpace(text));
            if (text.isEmpty())
                return;
            m_skipSpace = false;
        }
        switch (m_state) {
        case State::Start: {
            const QStringView rest = text.sliced(leadingSpace(text));
            if (rest.startsWith(openTag)) {
                m_state = State::Thinking;
                m_skipSpace = true;
                text = rest.sliced(openTag.size());
                continue;
            }
            if (rest.isEmpty() || openTag.startsWith(rest)) {
                m_held = text.toString(); // white space, or the tag's first characters
                return;
            }
            m_state = State::Searching;
            continue;
        }
        case State::Thinking:
        case State::Searching: {
            const qsizetype close = text.indexOf(closeTag);
            if (m_state == State::Searching) {
                // An answer that writes an opening tag of its own writes about tags.
                const qsizetype open = text.indexOf(openTag);
                if (open >= 0 && (close < 0 || open < close)) {
                    m_state = State::Answer;
                    continue;
                }
            }
            if (close < 0) {
                const qsizetype keep
                    = std::max(partialTagAtEnd(text, closeTag),
                               m_state == State::Searching ? partialTagAtEnd(text, openTag) : 0);
                emitPiece(out,
                          m_state == State::Thinking ? ReplyPiece::Kind::Reasoning
                                                     : ReplyPiece::Kind::Content,
                          text.chopped(keep));
                m_held = text.last(keep).toString();
                return;
            }
            if (m_state == State::Searching)
                out.append(ReplyPiece{ReplyPiece::Kind::EarlierContentIsReasoning, {}});
            emitPiece(out, ReplyPiece::Kind::Reasoning, text.first(close));
            m_state = State::Answer;
            m_skipSpace = true;
            text = text.sliced(close + closeTag.size());
            continue;
        }
        case State::Answer:
            emitPiece(out, ReplyPiece::Kind::Content, text);
            return;
        }
    }
}

void ThinkingSplitter::engineSeparates(QList<ReplyPiece> &out)
{
    if (m_state == State::Start || m_state == State::Searching) {
        flushHeld(ReplyPiece::Kind::Content, out);
        m_state = State::Answer;
    }
}

void ThinkingSplitter::finish(QList<ReplyPiece> &out)
{
    flushHeld(m_state == State::Thinking ? ReplyPiece::Kind::Reasoning : ReplyPiece::Kind::Content,
              out);
}

void ThinkingSplitter::flushHeld(ReplyPiece::Kind kind, QList<ReplyPiece> &out)
{
    emitPiece(out, kind, m_held);
    m_held.clear();
}

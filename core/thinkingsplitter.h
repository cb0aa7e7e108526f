#pragma once

#include <QList>
#include <QString>
#include <QStringView>

// One piece of a streamed reply, in arrival order.
struct ReplyPiece
{
    enum class Kind {
        Content,   // the answer
        Reasoning, // the model's thinking before it answers
        // What was handed out as content so far (`text`) was thinking after all: the chat
        // template opened the thinking part in the prompt, and the reply held only its end.
        EarlierContentIsReasoning,
    };

    Kind kind = Kind::Content;
    QString text;

    bool isReasoning() const { return kind != Kind::Content; }
};

// Separates thinking that a model writes inline in its content ("<think>…</think>") from
// the answer, piece by piece as the content arrives, with the tags split anywhere.
//
// A reply whose content starts (after white space) with "<think>" thinks up to the first
// "</think>". One that shows "</think>" without an opening tag thought from its very start:
// its template had opened the block in the prompt. Once the engine hands the thinking over
// separately, the thinking has ended, or the answer wrote an opening tag of its own, the rest
// is the answer, tags and all. White space
// right after either tag is dropped. A possible start of a tag at the end of a piece waits
// for the next piece, so a piece costs time in proportion to its own length.
class ThinkingSplitter
{
public:
    // A piece of the content as streamed; what it gives is appended to `out`.
    void feedContent(QStringView piece, QList<ReplyPiece> &out);
    // The engine separates the thinking itself: from now on the content is the answer alone.
    void engineSeparates(QList<ReplyPiece> &out);
    // The stream ended: what was held back goes out.
    void finish(QList<ReplyPiece> &out);

private:
    enum class State {
        Start,     // only white space so far
        Thinking,  // inside "<think>"
        Searching, // answer, watching for a lone "</think>"
        Answer,    // answer, no more tags
    };

    void flushHeld(ReplyPiece::Kind kind, QList<ReplyPiece> &out);

    State m_state = State::Start;
    QString m_held;
    bool m_skipSpace = false; // right after a tag
};

// The event-stream decoder takes any bytes, split anywhere, and gives the same
// reply, thinking and answer, whichever way the bytes were split; the pieces it hands
// out add up to that reply.
#include "core/chatstream.h"
#include "core/replytext.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    const size_t step = 1 + data[0] % 17;
    const QByteArrayView bytes(reinterpret_cast<const char *>(data + 1), qsizetype(size - 1));

    // The answer and the thinking as the pieces build them.
    struct Pieces
    {
        QString content, reasoning;
        void add(const ReplyPiece &piece)
        {
            if (piece.kind == ReplyPiece::Kind::EarlierContentIsReasoning)
                reasoning.prepend(std::exchange(content, QString()));
            else
                (piece.isReasoning() ? reasoning : content) += piece.text;
        }
    };
    Pieces whole;
    ChatStreamDecoder once([&](const ReplyPiece &piece) { whole.add(piece); });
    once.feed(bytes);
    const ChatReply a = once.finish();

    Pieces pieces;
    ChatStreamDecoder split([&](const ReplyPiece &piece) { pieces.add(piece); });
    for (qsizetype i = 0; i < bytes.size(); i += qsizetype(step))
        split.feed(bytes.sliced(i, std::min<qsizetype>(qsizetype(step), bytes.size() - i)));
    const ChatReply b = split.finish();

    if (a.content != b.content || whole.content != a.content || pieces.content != b.content)
        std::abort();
    if (a.reasoning != b.reasoning
        || ReplyText::trimWhiteSpaceAndLineBreaks(whole.reasoning) != QStringView(a.reasoning))
        std::abort();
    if (a.toolCalls.has_value() != b.toolCalls.has_value())
        std::abort();
    if (a.toolCalls && a.toolCalls->size() != b.toolCalls->size())
        std::abort();
    return 0;
}

// The event-stream decoder takes any bytes, split anywhere, and gives the same
// reply whichever way the bytes were split.
#include "core/chatstream.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    const size_t step = 1 + data[0] % 17;
    const QByteArrayView bytes(reinterpret_cast<const char *>(data + 1), qsizetype(size - 1));

    QString whole;
    ChatStreamDecoder once([&](const QString &piece) { whole += piece; });
    once.feed(bytes);
    const ChatReply a = once.finish();

    QString pieces;
    ChatStreamDecoder split([&](const QString &piece) { pieces += piece; });
    for (qsizetype i = 0; i < bytes.size(); i += qsizetype(step))
        split.feed(bytes.sliced(i, std::min<qsizetype>(qsizetype(step), bytes.size() - i)));
    const ChatReply b = split.finish();

    if (a.content != b.content || whole != a.content || pieces != b.content)
        std::abort();
    if (a.toolCalls.has_value() != b.toolCalls.has_value())
        std::abort();
    if (a.toolCalls && a.toolCalls->size() != b.toolCalls->size())
        std::abort();
    return 0;
}

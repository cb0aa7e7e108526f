// The response reader takes any bytes, split anywhere, and reads the same
// status and body whichever way they were split.
#include "core/httpresponseparser.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    const qsizetype step = 1 + data[0] % 13;
    const QByteArrayView bytes(reinterpret_cast<const char *>(data + 1), qsizetype(size - 1));
    HttpResponseParser whole;
    QByteArray a;
    whole.feed(bytes, a);
    whole.connectionClosed();
    HttpResponseParser split;
    QByteArray b;
    for (qsizetype i = 0; i < bytes.size(); i += step)
        split.feed(bytes.sliced(i, std::min(step, bytes.size() - i)), b);
    split.connectionClosed();
    if (whole.state() != split.state() || a != b)
        std::abort();
    if (whole.state() != HttpResponseParser::State::Failed && whole.status() != split.status())
        std::abort();
    return 0;
}

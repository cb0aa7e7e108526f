// Any bytes given to the archive reader either fail cleanly or decode to sessions
// that encode and decode back to the same sessions.
#include "core/archive.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const auto sessions = decodeSessions(bytes);
    if (!sessions)
        return 0;
    const QByteArray encoded = encodeSessions(*sessions);
    const auto again = decodeSessions(encoded);
    if (!again || encodeSessions(*again) != encoded)
        std::abort();
    return 0;
}

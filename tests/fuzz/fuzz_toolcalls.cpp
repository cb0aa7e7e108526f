// Tool-call extraction and the display filter take any text without failing,
// and every call they find is well formed.
#include "core/replytext.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    const ExtractedToolCalls extracted = extractToolCalls(text);
    if (extracted.toolCalls) {
        if (extracted.toolCalls->isEmpty())
            std::abort(); // absent, never empty
        for (const ToolCall &call : *extracted.toolCalls) {
            if (QUuid::fromString(call.id).isNull() || call.status != ToolStatus::Pending
                || call.result)
                std::abort();
        }
    }
    if (extracted.remainingText.size() > text.size())
        std::abort();
    if (cleanForDisplay(text).size() > text.size())
        std::abort();
    return 0;
}

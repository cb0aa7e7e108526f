#pragma once

#include "core/records.h"

#include <optional>

// The model's plain-text tool protocol: a line "TOOL_CALL: {json}".
struct ExtractedToolCalls
{
    QString remainingText;
    std::optional<QList<ToolCall>> toolCalls; // absent when no line gave a call
};

ExtractedToolCalls extractToolCalls(const QString &text);
// False for lines that only echo tool chatter (tool lists, results, clipboard talk).
bool isDisplayableLine(QStringView line);
// The reply without its hidden lines, trimmed of white space and line breaks.
QString cleanForDisplay(const QString &text);

namespace ReplyText {
// Horizontal white space: tab and Unicode space separators.
bool isWhiteSpace(char32_t c);
// White space plus line feed, carriage return and the Unicode line breaks.
bool isWhiteSpaceOrLineBreak(char32_t c);
QStringView trimWhiteSpace(QStringView text);
QStringView trimWhiteSpaceAndLineBreaks(QStringView text);
} // namespace ReplyText

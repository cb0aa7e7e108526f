#pragma once

#include "core/records.h"

#include <optional>

#include <QLatin1StringView>

// The model's plain-text tool protocol: it asks for a tool with a line "TOOL_CALL: {json}",
// and the results go back in one message that starts with "Tool results:" and a line feed.
namespace ToolProtocol {
inline constexpr QLatin1StringView callPrefix("TOOL_CALL:");
inline constexpr QLatin1StringView resultsPrefix("Tool results:");
} // namespace ToolProtocol

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

#include "core/replytext.h"

#include "core/toolarguments.h"

#include <QStringTokenizer>

#include <nlohmann/json.hpp>

#include <array>

namespace ReplyText {

bool isWhiteSpace(char32_t c)
{
    return c == U'\t' || QChar::category(c) == QChar::Separator_Space;
}

bool isWhiteSpaceOrLineBreak(char32_t c)
{
    return isWhiteSpace(c) || (c >= 0x0A && c <= 0x0D) || c == 0x85 || c == 0x2028 || c == 0x2029;
}

namespace {
template<typename Predicate>
QStringView trimmed(QStringView text, Predicate isTrimmed)
{
    // Walk by code point so that characters outside the BMP are judged whole.
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end) {
        const bool pair = QChar::isHighSurrogate(text[begin].unicode()) && begin + 1 < end
                          && QChar::isLowSurrogate(text[begin + 1].unicode());
        const char32_t c
            = pair ? QChar::surrogateToUcs4(text[begin], text[begin + 1]) : text[begin].unicode();
        if (!isTrimmed(c))
            break;
        begin += pair ? 2 : 1;
    }
    while (end > begin) {
        const bool pair = QChar::isLowSurrogate(text[end - 1].unicode()) && end - 2 >= begin
                          && QChar::isHighSurrogate(text[end - 2].unicode());
        const char32_t c
            = pair ? QChar::surrogateToUcs4(text[end - 2], text[end - 1]) : text[end - 1].unicode();
        if (!isTrimmed(c))
            break;
        end -= pair ? 2 : 1;
    }
    return text.sliced(begin, end - begin);
}
} // namespace

QStringView trimWhiteSpace(QStringView text)
{
    return trimmed(text, isWhiteSpace);
}

QStringView trimWhiteSpaceAndLineBreaks(QStringView text)
{
    return trimmed(text, isWhiteSpaceOrLineBreak);
}

} // namespace ReplyText

namespace {

constexpr std::array<QLatin1StringView, 13> hiddenPrefixes{
    QLatin1StringView("System tools available"),
    QLatin1StringView("You have tools:"),
    QLatin1StringView("TOOLS:"),
    QLatin1StringView("Available tools:"),
    QLatin1StringView("To call a tool"),
    QLatin1StringView("Call syntax"),
    QLatin1StringView("Home dir:"),
    QLatin1StringView("Dir:"),
    ToolProtocol::resultsPrefix,
    QLatin1StringView("Moved to Trash:"),
    QLatin1StringView("File written successfully"),
    QLatin1StringView("You have confirmed"),
    QLatin1StringView("I have confirmed"),
};

constexpr std::array<QLatin1StringView, 5> clipboardPrefixes{
    QLatin1StringView("Clipboard:"),
    QLatin1StringView("get_clipboard"),
    QLatin1StringView("set_clipboard"),
    QLatin1StringView("Tool result:"),
    QLatin1StringView("Tool output:"),
};

constexpr std::array<QLatin1StringView, 16> bracketedToolNames{
    QLatin1StringView("user_info"),
    QLatin1StringView("list_files"),
    QLatin1StringView("read_file"),
    QLatin1StringView("write_file"),
    QLatin1StringView("delete_file"),
    QLatin1StringView("take_screenshot"),
    QLatin1StringView("open_app"),
    QLatin1StringView("close_app"),
    QLatin1StringView("list_open_apps"),
    QLatin1StringView("get_system_info"),
    QLatin1StringView("get_clipboard"),
    QLatin1StringView("set_clipboard"),
    QLatin1StringView("list_local_models"),
    QLatin1StringView("download_model"),
    QLatin1StringView("set_active_model"),
    QLatin1StringView("search_web"),
};

template<std::size_t N>
bool startsWithAny(QStringView text, const std::array<QLatin1StringView, N> &prefixes)
{
    for (const auto prefix : prefixes) {
        if (text.startsWith(prefix))
            return true;
    }
    return false;
}

bool isBracketedToolResult(QStringView t)
{
    if (!t.startsWith(u'['))
        return false;
    const qsizetype close = t.indexOf(u']');
    if (close < 0 || close + 1 >= t.size() || t[close + 1] != u':')
        return false;
    const QStringView name = t.sliced(1, close - 1);
    for (const auto known : bracketedToolNames) {
        if (name == known)
            return true;
    }
    return false;
}

std::optional<ToolCall> parseToolCallLine(QStringView trimmedLine)
{
    const QByteArray utf8
        = ReplyText::trimWhiteSpace(trimmedLine.sliced(ToolProtocol::callPrefix.size())).toUtf8();
    const auto object = nlohmann::json::parse(utf8.cbegin(), utf8.cend(), nullptr, false);
    if (object.is_discarded() || !object.is_object())
        return std::nullopt;
    const auto name = object.find("name");
    if (name == object.end() || !name->is_string())
        return std::nullopt;
    ToolArguments arguments;
    if (const auto args = object.find("arguments"); args != object.end())
        arguments = argumentsFromJson(*args);
    return ToolCall{newUuidText(),
                    argumentValueText(*name),
                    std::move(arguments),
                    ToolStatus::Pending,
                    std::nullopt};
}

} // namespace

ExtractedToolCalls extractToolCalls(const QString &text)
{
    QList<ToolCall> calls;
    QString kept;
    kept.reserve(text.size());
    bool firstKept = true;
    for (const QStringView line : QStringTokenizer(text, u'\n')) {
        const QStringView t = ReplyText::trimWhiteSpace(line);
        if (t.startsWith(ToolProtocol::callPrefix)) {
            if (auto call = parseToolCallLine(t))
                calls.append(std::move(*call));
            continue;
        }
        if (!firstKept)
            kept.append(u'\n');
        kept.append(line);
        firstKept = false;
    }
    ExtractedToolCalls result;
    result.remainingText = ReplyText::trimWhiteSpaceAndLineBreaks(kept).toString();
    if (!calls.isEmpty())
        result.toolCalls = std::move(calls);
    return result;
}

bool isDisplayableLine(QStringView line)
{
    const QStringView t = ReplyText::trimWhiteSpace(line);
    if (t.startsWith(ToolProtocol::callPrefix))
        return false;
    if (t == u"---")
        return false;
    if (startsWithAny(t, hiddenPrefixes))
        return false;
    if (t.startsWith(u"The clipboard") && (t.contains(u"empty") || t.contains(u"contains")))
        return false;
    if (startsWithAny(t, clipboardPrefixes))
        return false;
    return !isBracketedToolResult(t);
}

QString cleanForDisplay(const QString &text)
{
    QString kept;
    kept.reserve(text.size());
    bool first = true;
    for (const QStringView line : QStringTokenizer(text, u'\n')) {
        if (!isDisplayableLine(line))
            continue;
        if (!first)
            kept.append(u'\n');
        kept.append(line);
        first = false;
    }
    return ReplyText::trimWhiteSpaceAndLineBreaks(kept).toString();
}

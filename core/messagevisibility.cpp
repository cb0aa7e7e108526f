#include "core/messagevisibility.h"

#include "core/records.h"
#include "core/replytext.h"

#include <QStringTokenizer>
#include <QStringView>

#include <algorithm>

namespace {
// No code writes these two now: chats saved by earlier versions hold them as messages
// (a request to confirm a tool's work, and a warning that no model was loaded).
const QString confirmPrefix = QStringLiteral("Briefly confirm what was done");
const QString noModelWarning = QStringLiteral("\u26A0\uFE0F No model loaded");
const QLatin1String imagePrefixes[]
    = {QLatin1String("data:image/jpeg;base64,"), QLatin1String("data:image/png;base64,")};

// Both stop at the first line that decides, so that a streamed reply, asked again with every
// frame, costs its first lines rather than its whole length.
bool isBlank(QStringView text)
{
    return std::all_of(text.cbegin(), text.cend(), [](QChar c) { return c.isSpace(); });
}

bool onlyToolCallLines(QStringView content)
{
    for (QStringView line : QStringTokenizer(content, u'\n')) {
        const QStringView t = line.trimmed();
        if (!t.isEmpty() && !t.startsWith(ToolProtocol::callPrefix))
            return false;
    }
    return true;
}

bool isBase64Alphabet(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '+'
           || c == '/';
}

// Standard Base64 without options: padded to whole quads, nothing outside the
// alphabet (line breaks included), '=' only as the final padding.
std::optional<QByteArray> strictBase64(QStringView text)
{
    if (text.size() % 4 != 0)
        return std::nullopt;
    const QByteArray ascii = text.toLatin1();
    qsizetype padding = 0;
    for (qsizetype i = 0; i < ascii.size(); ++i) {
        const char c = ascii.at(i);
        if (c == '=') {
            ++padding;
            continue;
        }
        if (padding > 0 || !isBase64Alphabet(c) || text.at(i).unicode() > 0x7f)
            return std::nullopt;
    }
    if (padding > 2)
        return std::nullopt;
    auto result = QByteArray::fromBase64Encoding(ascii, QByteArray::AbortOnBase64DecodingErrors);
    if (!result)
        return std::nullopt;
    return *result;
}
} // namespace

bool shouldHideMessage(const QString &role, const QString &content)
{
    if (isBlank(content))
        return true;
    if (role == Role::toolResult || role == Role::system)
        return true;
    if (role == Role::user
        && (content.startsWith(ToolProtocol::resultsPrefix) || content.startsWith(confirmPrefix)))
        return true;
    if (content.contains(noModelWarning))
        return true;
    return role == Role::assistant && onlyToolCallLines(content);
}

bool shouldHideMessage(const Message &message)
{
    return shouldHideMessage(message.role, message.content);
}

std::optional<QByteArray> inlineImageBytes(const QString &content)
{
    for (const QLatin1String prefix : imagePrefixes) {
        if (content.startsWith(prefix))
            return strictBase64(QStringView(content).mid(prefix.size()));
    }
    return std::nullopt;
}

// What the model is told: the system prompt, the history it sees and the
// shortened tool results. Kept apart from the turn loop in agentmanager.cpp.
#include "agent/agentmanager.h"

#include "core/replytext.h"

#include "tools/toolcatalogue.h"

#include "platform/preferencekeys.h"
#include "platform/preferences.h"

#include <QDateTime>
#include <QDir>
#include <QTextBoundaryFinder>

#if defined(Q_OS_MACOS)
#include <pwd.h>
#include <unistd.h>
#endif

namespace {

namespace Key = PreferenceKey;

QString toolInstruction(const QString &toolLine)
{
    return QStringLiteral("For explicit system actions only (open app, read/write file, etc.) "
                          "output exactly one line: ")
           + ToolProtocol::callPrefix
           + QStringLiteral(" {\"name\":\"toolname\",\"arguments\":{\"key\":\"value\"}}\n")
           + toolLine
           + QStringLiteral("\nNEVER call tools to answer questions. NEVER include tool names, "
                            "clipboard contents, file paths, or system info in a normal reply.");
}

const QLatin1StringView imagePrefixes[]
    = {QLatin1StringView("data:image/png;base64,"), QLatin1StringView("data:image/jpeg;base64,")};

} // namespace

bool AgentManager::isImage(const QString &content)
{
    for (const auto prefix : imagePrefixes) {
        if (content.startsWith(prefix))
            return true;
    }
    return false;
}

// MARK: - Prompt and history

QString AgentManager::homeFolder()
{
#if defined(Q_OS_MACOS)
    const passwd *entry = getpwuid(getuid());
    const QString login
        = entry ? QString::fromLocal8Bit(entry->pw_name) : qEnvironmentVariable("USER");
    return QStringLiteral("/Users/") + login;
#else
    return QDir::homePath();
#endif
}

QString AgentManager::effectiveSystemPrompt() const
{
    QString prompt;
    const std::optional<ChatSession> session = m_state ? m_state->activeSession() : std::nullopt;
    if (session && session->systemPromptOverride)
        prompt = *session->systemPromptOverride;
    else if (m_state)
        prompt = m_state->systemPrompt();

    if (const auto name = Preferences::string(Key::userName); name && !name->isEmpty())
        prompt += QStringLiteral(" The user's name is ") + *name + u'.';
    const QString style = Preferences::string(Key::responseStyle).value_or(QString());
    if (style == QLatin1StringView("concise"))
        prompt += QStringLiteral(" Be concise and direct.");
    else if (style == QLatin1StringView("detailed"))
        prompt += QStringLiteral(" Be thorough and detailed.");

    prompt += QStringLiteral("\n\nHome: ") + homeFolder();
    prompt += u'\n' + toolInstruction(promptToolLine());
    return prompt;
}

QList<Message> AgentManager::trimmedHistory(const QList<Message> &messages,
                                            int limit,
                                            std::optional<qsizetype> tokenBudget)
{
    QList<Message> sendable;
    sendable.reserve(messages.size());
    for (const Message &message : messages) {
        if (message.role != Role::system && !isImage(message.content))
            sendable.append(message);
    }
    qsizetype keep = std::min<qsizetype>(sendable.size(), std::max(limit, 0));
    if (tokenBudget) {
        // The newest first, as long as they fit; the last one whatever it costs.
        qsizetype used = 0;
        qsizetype fitting = 0;
        for (; fitting < keep; ++fitting) {
            used += estimatedTokens(
                        LLMClient::textWithDocuments(sendable.at(sendable.size() - 1 - fitting)))
                    + messageOverheadTokens;
            if (used > *tokenBudget && fitting > 0)
                break;
        }
        keep = fitting;
    }
    const bool trimmed = keep < sendable.size();
    if (m_state)
        m_state->setHistoryWasTrimmed(trimmed);
    if (trimmed)
        sendable = sendable.last(keep);
    return sendable;
}

std::optional<qsizetype> AgentManager::historyTokenBudget(const QString &systemPrompt,
                                                          const nlohmann::json &tools) const
{
    const int context = m_remote || !m_engine.contextSize ? 0 : m_engine.contextSize();
    if (context <= 0)
        return std::nullopt;
    const int maxTokens = m_state ? m_state->maxTokens() : AgentState::defaultMaxTokens;
    const qsizetype reply = std::min(maxTokens, context / replyShareOfContext);
    qsizetype fixed = estimatedTokens(systemPrompt) + messageOverheadTokens;
    if (!tools.empty())
        fixed += estimatedTokens(QString::fromStdString(tools.dump()));
    return std::max<qsizetype>(0, context - reply - fixed);
}

qsizetype AgentManager::estimatedTokens(QStringView text)
{
    qsizetype bytes = 0;
    for (const QChar c : text) // a surrogate pair is two units of two bytes: four, as in UTF-8
        bytes += c.unicode() < 0x80 ? 1 : c.unicode() < 0x800 || c.isSurrogate() ? 2 : 3;
    return (bytes + 2) / 3;
}

QString AgentManager::promptToolLine() const
{
    QString line = ToolCatalogue::promptToolLine();
    if (m_toolServers) {
        for (const QString &name : m_toolServers->offeredToolNames())
            line += QStringLiteral(", ") + name;
    }
    return line;
}

// MARK: - Tool results

QString AgentManager::shortenedServerToolResult(const QString &result)
{
    const QByteArray utf8 = result.toUtf8();
    if (utf8.size() <= serverToolResultLimit)
        return result;
    // Back to the start of a character: a cut never splits one.
    qsizetype cut = serverToolResultLimit;
    while (cut > 0 && (uchar(utf8.at(cut)) & 0xC0) == 0x80)
        --cut;
    return QString::fromUtf8(utf8.first(cut))
           + QStringLiteral("\u2026 (%1 more bytes)").arg(utf8.size() - cut);
}

QString AgentManager::screenshotResultLine(const QString &toolName, const QDateTime &when)
{
    return u'[' + toolName
           + QStringLiteral("]: Screenshot captured and saved to Desktop as 'Screenshot_")
           + when.toString(QStringLiteral("yyyy-MM-dd_HH-mm-ss")) + QStringLiteral(".jpg'.");
}

QString AgentManager::shortenedToolResult(const QString &result)
{
    if (result.size() <= toolResultLimit)
        return result;
    // Characters as the user sees them: an emoji or an accented letter is never split.
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, result);
    qsizetype count = 0;
    qsizetype cut = 0;
    while (finder.toNextBoundary() >= 0) {
        ++count;
        if (count == toolResultLimit)
            cut = finder.position();
        if (count > toolResultLimit)
            return result.first(cut) + QChar(0x2026);
    }
    return result;
}

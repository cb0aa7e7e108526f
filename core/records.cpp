#include "core/records.h"

#include <array>

namespace {
// 2001-01-01T00:00:00Z in milliseconds since the Unix epoch.
constexpr qint64 referenceEpochMs = 978307200000LL;

constexpr std::array<std::pair<ToolStatus, const char *>, 6> statusNames{{
    {ToolStatus::Pending, "pending"},
    {ToolStatus::Approved, "approved"},
    {ToolStatus::Executing, "executing"},
    {ToolStatus::Completed, "completed"},
    {ToolStatus::Failed, "failed"},
    {ToolStatus::Denied, "denied"},
}};
} // namespace

Timestamp Timestamp::now()
{
    return fromDateTime(QDateTime::currentDateTimeUtc());
}

Timestamp Timestamp::fromDateTime(const QDateTime &dateTime)
{
    return {double(dateTime.toMSecsSinceEpoch() - referenceEpochMs) / 1000.0};
}

QDateTime Timestamp::toDateTime() const
{
    return QDateTime::fromMSecsSinceEpoch(referenceEpochMs + qint64(std::llround(seconds * 1000.0)),
                                          Qt::UTC);
}

QString toolStatusText(ToolStatus status)
{
    for (const auto &[value, name] : statusNames) {
        if (value == status)
            return QString::fromLatin1(name);
    }
    return {};
}

std::optional<ToolStatus> toolStatusFromText(const QString &text)
{
    for (const auto &[value, name] : statusNames) {
        if (text == QLatin1String(name))
            return value;
    }
    return std::nullopt;
}

QString uuidText(const QUuid &uuid)
{
    return uuid.toString(QUuid::WithoutBraces).toUpper();
}

QString newUuidText()
{
    return uuidText(QUuid::createUuid());
}

Message Message::make(const QString &role,
                      const QString &content,
                      std::optional<QList<ToolCall>> toolCalls)
{
    Message message;
    message.id = QUuid::createUuid();
    message.role = role;
    message.content = content;
    message.timestamp = Timestamp::now();
    message.toolCalls = std::move(toolCalls);
    return message;
}

Message Message::errorReply(const QString &description)
{
    return make(Role::assistant, QStringLiteral("Error: ") + description);
}

Message Message::cutShortReply(const QString &text)
{
    // Ahead of the text: after it, an unclosed code block would swallow the note.
    Message reply = errorReply(QStringLiteral("The engine stopped before the reply was complete."));
    if (!text.trimmed().isEmpty())
        reply.content += QStringLiteral("\n\n") + text;
    return reply;
}

bool Message::isErrorReply(const QString &role, const QString &content)
{
    return role == Role::assistant && content.startsWith(QLatin1String("Error:"));
}

ChatSession ChatSession::make()
{
    const Timestamp now = Timestamp::now();
    return ChatSession{QUuid::createUuid(), defaultTitle, {}, now, now, std::nullopt, false};
}

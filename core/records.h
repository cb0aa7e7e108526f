#pragma once

#include <QDateTime>
#include <QList>
#include <QMap>
#include <QString>
#include <QUuid>

#include <optional>

// A point in time as the chat archive stores it: seconds, with fraction, since
// 2001-01-01 00:00:00 UTC. Kept as the double itself so that stored dates
// survive a load and save unchanged.
struct Timestamp
{
    double seconds = 0.0;

    static Timestamp now();
    static Timestamp fromDateTime(const QDateTime &dateTime);
    QDateTime toDateTime() const;

    friend bool operator==(const Timestamp &, const Timestamp &) = default;
    friend auto operator<=>(const Timestamp &, const Timestamp &) = default;
};

enum class ToolStatus { Pending, Approved, Executing, Completed, Failed, Denied };

QString toolStatusText(ToolStatus status);
std::optional<ToolStatus> toolStatusFromText(const QString &text);

// Upper-case hyphenated text of a fresh random UUID, the form every identifier is written in.
QString newUuidText();
QString uuidText(const QUuid &uuid);

using ToolArguments = QMap<QString, QString>;

struct ToolCall
{
    QString id;
    QString name;
    ToolArguments arguments;
    ToolStatus status = ToolStatus::Pending;
    std::optional<QString> result;

    friend bool operator==(const ToolCall &, const ToolCall &) = default;
};

struct Message
{
    QUuid id;
    QString role;
    QString content;
    Timestamp timestamp;
    std::optional<QList<ToolCall>> toolCalls;
    // What the model thought before it answered (an assistant reply); empty when it did not.
    QString reasoning;
    // How long it thought: from its first thinking piece to the first of the answer (or the
    // end of the reply). Absent while it is still thinking, and when it did not think.
    std::optional<double> reasoningSeconds;

    // A new turn: fresh identifier, the current time.
    static Message make(const QString &role,
                        const QString &content,
                        std::optional<QList<ToolCall>> toolCalls = std::nullopt);
    // A failed turn's reply: "Error: " and what went wrong, stored as such.
    static Message errorReply(const QString &description);
    // A reply the engine never finished: the failure first, then the text that arrived.
    static Message cutShortReply(const QString &text);
    // An assistant reply that reports a failure (the screen offers a retry for it).
    static bool isErrorReply(const QString &role, const QString &content);
    bool isErrorReply() const { return isErrorReply(role, content); }

    friend bool operator==(const Message &, const Message &) = default;
};

struct ChatSession
{
    static inline const QString defaultTitle = QStringLiteral("New Chat");

    QUuid id;
    QString title;
    QList<Message> messages;
    Timestamp createdAt;
    Timestamp updatedAt;
    std::optional<QString> systemPromptOverride;
    bool isPinned = false;

    // A new empty session: fresh identifier, "New Chat", created and updated now.
    static ChatSession make();

    friend bool operator==(const ChatSession &, const ChatSession &) = default;
};

namespace Role {
inline const QString user = QStringLiteral("user");
inline const QString assistant = QStringLiteral("assistant");
inline const QString system = QStringLiteral("system");
inline const QString toolResult = QStringLiteral("tool_result");
} // namespace Role

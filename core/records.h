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

// A file that came with a user's message: a document, whose text the model reads, or a
// picture, which a model that sees is shown. The app keeps its own copy (`storedPath`, in
// the data folder's attachments/<message id>/), so the chat does not depend on the original.
struct Attachment
{
    static inline const QString document = QStringLiteral("document");
    static inline const QString image = QStringLiteral("image");

    QString name;
    QString kind;
    // Of the file as the user chose it, in bytes.
    qint64 size = 0;
    QString storedPath;
    // A document's text as the model gets it (kept, so later turns need not read it again);
    // empty for a picture.
    QString text;
    // A picture as a data URL, filled in just before a request to a model that sees; never
    // stored.
    QString dataUrl;

    bool isImage() const { return kind == image; }

    friend bool operator==(const Attachment &, const Attachment &) = default;
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
    // Files the user attached to this message; empty for most.
    QList<Attachment> attachments;

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

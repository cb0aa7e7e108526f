#include "core/chatsfile.h"

#include "core/archive.h"

#include <QFile>
#include <QMultiHash>

namespace {
constexpr qint64 chunkSize = qint64(1) << 20;

QString tooLargeReason()
{
    return QStringLiteral("the file is larger than 512 MB");
}

// The whole file, or why not; more than `limit` bytes are not read at all.
std::optional<QByteArray> readInChunks(const QString &path,
                                       qint64 limit,
                                       const StopFlag &stop,
                                       QString &error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        error = file.errorString();
        return std::nullopt;
    }
    if (file.size() > limit) {
        error = tooLargeReason();
        return std::nullopt;
    }
    QByteArray bytes;
    bytes.reserve(file.size() + chunkSize);
    qint64 done = 0;
    // A file that does not know its size (a pipe) is read up to the limit as well.
    while (true) {
        if (stop.isRaised()) {
            error = stoppedReason();
            return std::nullopt;
        }
        bytes.resize(done + chunkSize);
        const qint64 read = file.read(bytes.data() + done, chunkSize);
        if (read < 0) {
            error = file.errorString();
            return std::nullopt;
        }
        done += read;
        if (done > limit) {
            error = tooLargeReason();
            return std::nullopt;
        }
        if (read == 0)
            break;
    }
    bytes.truncate(done);
    return bytes;
}

bool sameMessages(const QList<Message> &a, const QList<Message> &b)
{
    return std::equal(a.cbegin(), a.cend(), b.cbegin(), b.cend(), [](const auto &x, const auto &y) {
        return x.role == y.role && x.content == y.content && x.timestamp == y.timestamp
               && x.toolCalls == y.toolCalls && x.reasoning == y.reasoning
               && x.reasoningSeconds == y.reasoningSeconds;
    });
}

// The same chat, whatever identifiers it was given.
bool sameChat(const ChatSession &a, const ChatSession &b)
{
    return a.title == b.title && a.createdAt == b.createdAt && a.updatedAt == b.updatedAt
           && a.systemPromptOverride == b.systemPromptOverride && a.isPinned == b.isPinned
           && sameMessages(a.messages, b.messages);
}
} // namespace

QString writeChatsFile(const QList<ChatSession> &sessions,
                       const QString &filePath,
                       const StopFlag &stop)
{
    return writeFileAtomically(filePath, encodeSessions(sessions), stop);
}

ChatsFile openChatsFile(const QString &filePath, const StopFlag &stop)
{
    QString error;
    const std::optional<QByteArray> bytes = readInChunks(filePath, largestChatsFile, stop, error);
    if (!bytes)
        return {std::nullopt, error};
    auto sessions = decodeSessions(*bytes, &stop);
    if (stop.isRaised())
        return {std::nullopt, stoppedReason()};
    if (!sessions)
        return {std::nullopt, QStringLiteral("the file is not a chat export")};
    return {std::move(sessions), {}};
}

ChatsFile importableChats(const QString &filePath,
                          const QList<ChatSession> &present,
                          const StopFlag &stop)
{
    ChatsFile file = openChatsFile(filePath, stop);
    if (!file.sessions)
        return file;
    QSet<QUuid> taken;
    // Chats by their creation time: the few that share one are compared in full.
    QMultiHash<double, ChatSession> known;
    for (const ChatSession &session : present) {
        taken.insert(session.id);
        for (const Message &message : session.messages)
            taken.insert(message.id);
        known.insert(session.createdAt.seconds, session);
    }
    QList<ChatSession> added;
    for (ChatSession &session : *file.sessions) {
        const auto [first, last] = known.equal_range(session.createdAt.seconds);
        if (std::any_of(first, last, [&](const ChatSession &k) { return sameChat(k, session); })) {
            ++file.alreadyHere;
            continue;
        }
        giveUniqueIds(session, taken);
        known.insert(session.createdAt.seconds, session);
        added.append(std::move(session));
    }
    file.sessions = std::move(added);
    return file;
}

void giveUniqueIds(ChatSession &session, QSet<QUuid> &taken)
{
    if (session.id.isNull() || taken.contains(session.id))
        session.id = QUuid::createUuid();
    taken.insert(session.id);
    // Only what changes is written: the others keep sharing their message list.
    for (qsizetype i = 0; i < session.messages.size(); ++i) {
        const QUuid id = session.messages.at(i).id;
        if (id.isNull() || taken.contains(id))
            session.messages[i].id = QUuid::createUuid();
        taken.insert(session.messages.at(i).id);
    }
}

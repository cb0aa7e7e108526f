#include "ui/sessions/chatexport.h"

#include "core/agentstate.h"
#include "core/messagevisibility.h"
#include "platform/savefile.h"
#include "ui/markdown/markdownblocks.h"

#include <QDir>
#include <QStandardPaths>
#include <QtConcurrent/QtConcurrentRun>

#include <QCoroFuture>

namespace {
// Prose as written; code re-fenced on lines of its own, with its language.
QString messageMarkdown(const QString &content)
{
    QStringList parts;
    const QStringList pieces = content.split(QStringLiteral("```"));
    for (qsizetype i = 0; i < pieces.size(); ++i) {
        if (i % 2 == 0) {
            const QString prose = pieces.at(i).trimmed();
            if (!prose.isEmpty())
                parts.append(prose);
            continue;
        }
        const Block code = codeBlock(pieces.at(i));
        parts.append(QStringLiteral("```") + code.language.value_or(QString()) + u'\n'
                     + displayedCode(code.content) + QStringLiteral("\n```"));
    }
    return parts.join(QStringLiteral("\n\n"));
}

QString exportFile(const ChatSession &session, const QString &path, const StopFlag &stop)
{
    return writeFileAtomically(path, chatMarkdown(session).toUtf8(), stop);
}
} // namespace

QString chatMarkdown(const ChatSession &session)
{
    QString out = QStringLiteral("# ") + session.title + u'\n';
    for (const Message &message : session.messages) {
        if (shouldHideMessage(message))
            continue;
        const bool user = message.role == Role::user;
        out += (user ? QStringLiteral("\n## You\n\n") : QStringLiteral("\n## Tovra AI\n\n"))
               + messageMarkdown(message.content) + u'\n';
    }
    return out;
}

QString chatExportFailureText(const QString &reason)
{
    return QStringLiteral("Could not export the chat: ") + reason;
}

void ChatExporter::setState(AgentState *state)
{
    if (m_state == state)
        return;
    m_state = state;
    emit stateChanged();
}

std::optional<ChatSession> ChatExporter::session(const QString &sessionId) const
{
    if (!m_state)
        return std::nullopt;
    const QUuid id = QUuid::fromString(sessionId);
    for (const ChatSession &session : m_state->chatSessions()) {
        if (session.id != id)
            continue;
        ChatSession copy = session;
        // The open chat's newest messages are on screen before they are in the list.
        if (m_state->activeSessionID() == id)
            copy.messages = m_state->messages();
        return copy;
    }
    return std::nullopt;
}

QUrl ChatExporter::suggestedFile(const QString &sessionId) const
{
    QString name = session(sessionId).value_or(ChatSession{}).title.trimmed();
    // Folder separators and the characters other systems refuse.
    static const QString refused = QStringLiteral("/\\:*?\"<>|");
    for (QChar &c : name) {
        if (refused.contains(c) || c.category() == QChar::Other_Control)
            c = u'-';
    }
    if (name.isEmpty() || name.startsWith(u'.'))
        name.prepend(QStringLiteral("Chat"));
    // A title that already names a Markdown file ("notes.md") is not given a second ".md".
    if (!name.endsWith(QStringLiteral(".md"), Qt::CaseInsensitive))
        name += QStringLiteral(".md");
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    return QUrl::fromLocalFile(QDir(folder).filePath(name));
}

void ChatExporter::exportSession(const QString &sessionId, const QUrl &file)
{
    auto chat = session(sessionId);
    if (!chat)
        emit failed(chatExportFailureText(QStringLiteral("the chat is gone")));
    else if (!file.isLocalFile())
        emit failed(chatExportFailureText(QStringLiteral("not a local file")));
    else
        write(std::move(*chat), file.toLocalFile());
}

QCoro::Task<> ChatExporter::write(ChatSession session, QString path)
{
    QPointer<ChatExporter> self(this);
    const StopFlag stop = m_state ? m_state->fileWorkStop() : StopFlag();
    const QString error = co_await QtConcurrent::run(exportFile, session, path, stop);
    if (!self)
        co_return;
    if (error.isEmpty())
        emit exported(path);
    else
        emit failed(chatExportFailureText(error));
}

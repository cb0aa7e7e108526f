#pragma once

// The heavy user's archive the benchmarks share: sessions of alternating user and
// assistant turns in mixed scripts, every tenth message with a finished tool call.
#include "core/records.h"

#include <QStringList>

#include <random>

inline QList<ChatSession> makeArchive(int sessionCount, int messageCount)
{
    std::mt19937 random(7);
    const QStringList words{"the",   "model", "answer",     "café",      "λ",
                            "code",  "file",  "Swift",      "clipboard", "🚀",
                            "quick", "brown", "fox",        "jumps",     "over",
                            "lazy",  "dog",   "\"quoted\"", "path/to/x", "\n"};
    QList<ChatSession> sessions;
    for (int s = 0; s < sessionCount; ++s) {
        ChatSession session = ChatSession::make();
        session.title = QStringLiteral("Session %1").arg(s);
        for (int m = 0; m < messageCount; ++m) {
            QString text;
            const int length = 20 + int(random() % 60);
            for (int w = 0; w < length; ++w)
                text += words.at(qsizetype(random() % words.size())) + u' ';
            Message message = Message::make(m % 2 ? Role::assistant : Role::user, text);
            if (m % 10 == 9)
                message.toolCalls
                    = QList<ToolCall>{{newUuidText(),
                                       QStringLiteral("list_files"),
                                       {{QStringLiteral("path"), QStringLiteral("~/Documents")}},
                                       ToolStatus::Completed,
                                       QStringLiteral("a.txt\nb/")}};
            session.messages.append(message);
        }
        sessions.append(session);
    }
    return sessions;
}

// Chat archive: 1,000 sessions of 100 messages each. Prints the time to encode,
// save (encode, write to the preference store, flush) and load (read, decode),
// next to the time nlohmann/json alone needs to parse the same bytes.
#include "core/agentstate.h"
#include "core/archive.h"
#include "platform/preferences.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <nlohmann/json.hpp>

#include <cstdio>
#include <functional>
#include <random>

namespace {
QList<ChatSession> makeArchive(int sessionCount, int messageCount)
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

double bestOf(int runs, const std::function<void()> &work)
{
    double best = 1e18;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer timer;
        timer.start();
        work();
        best = std::min(best, timer.nsecsElapsed() / 1e6);
    }
    return best;
}
} // namespace

int main(int argc, char **argv)
{
    QTemporaryDir home;
    qputenv("XDG_CONFIG_HOME", home.filePath(QStringLiteral("config")).toLocal8Bit());
    qputenv("XDG_DATA_HOME", home.filePath(QStringLiteral("data")).toLocal8Bit());
    QCoreApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("Tovra AI"));
    QCoreApplication::setApplicationName(QStringLiteral("Tovra AI"));

    const QList<ChatSession> sessions = makeArchive(1000, 100);
    QByteArray bytes;
    const double encodeMs = bestOf(5, [&] { bytes = encodeSessions(sessions); });
    const double saveMs = bestOf(5, [&] {
        Preferences::setData(QStringLiteral("chatSessions"), encodeSessions(sessions));
        Preferences::sync();
    });
    const double floorMs = bestOf(5, [&] {
        const auto document = nlohmann::json::parse(bytes.cbegin(), bytes.cend());
        if (document.empty())
            std::abort();
    });
    std::optional<QList<ChatSession>> decoded;
    const double decodeMs = bestOf(5, [&] { decoded = decodeSessions(bytes); });
    const double loadMs = bestOf(5, [&] {
        decoded = decodeSessions(*Preferences::data(QStringLiteral("chatSessions")));
    });
    if (!decoded || *decoded != sessions) {
        std::fprintf(stderr, "archive did not round-trip\n");
        return 1;
    }
    // A whole start-up of the store, settings file read included.
    const double storeMs = bestOf(3, [&] { AgentState state; });

    std::printf("archive: 1000 sessions x 100 messages, %.1f MB\n", bytes.size() / 1048576.0);
    std::printf("  encode                 %8.1f ms\n", encodeMs);
    std::printf("  save (encode+write+sync) %6.1f ms   target < 150 ms\n", saveMs);
    std::printf("  json parse alone (floor) %6.1f ms\n", floorMs);
    std::printf("  decode                 %8.1f ms\n", decodeMs);
    std::printf("  load (read+decode)     %8.1f ms   %.2fx floor, target <= 2x\n",
                loadMs,
                loadMs / floorMs);
    std::printf("  store start-up         %8.1f ms\n", storeMs);
    return 0;
}

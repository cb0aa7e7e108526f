// A full chat turn while the stand-in engine streams 1,000 and 20,000 pieces as
// fast as it can: the loop's time per piece at both lengths (a reply's pieces must
// not get dearer as it grows), next to the bare client reading the same stream; and
// the same for a reply that thinks that long first, the engine's way and inline.
#include "agent/agentmanager.h"
#include "core/replytext.h"
#include "tests/support/standinengine.h"
#include "tests/support/testenvironment.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>

#include <QCoroTask>

#include <cstdio>

namespace {

constexpr int runs = 5;

// What the pieces are: the answer, or thinking (the engine's deltas, or inline in "<think>"
// tags) before an answer of one piece.
enum class Shape { Answer, Thinking, InlineThinking };
const QString thinkingAnswer = QStringLiteral("Done.");

nlohmann::json scriptFor(int pieces, Shape shape = Shape::Answer)
{
    if (shape == Shape::Answer)
        return {{"repeat", {{"text", "tok "}, {"count", pieces}}}};
    return {{"think",
             {{"text", "tok "}, {"count", pieces}, {"inline", shape == Shape::InlineThinking}}},
            {"pieces", {thinkingAnswer.toStdString()}}};
}

double bareClientMs(StandinEngine &engine, int pieces)
{
    engine.enqueue(scriptFor(pieces));
    LLMClient client(engine.baseURL());
    int received = 0;
    QElapsedTimer timer;
    timer.start();
    const QList<Message> history{Message::make(Role::user, QStringLiteral("go"))};
    const ChatResult result
        = QCoro::waitFor(client.streamChat(history,
                                           QString(),
                                           0.7,
                                           64,
                                           nlohmann::json::array(),
                                           [&](const ReplyPiece &) { ++received; }));
    const double ms = timer.nsecsElapsed() / 1e6;
    if (!result.ok() || received != pieces) {
        std::fprintf(stderr, "client received %d of %d pieces\n", received, pieces);
        std::exit(1);
    }
    return ms;
}

double turnMs(StandinEngine &engine,
              AgentState &state,
              AgentManager &manager,
              int pieces,
              Shape shape = Shape::Answer)
{
    state.setMessages({});
    state.syncActiveSession();
    engine.enqueue(scriptFor(pieces, shape));
    QEventLoop loop;
    const auto done = QObject::connect(&manager, &AgentManager::isBusyChanged, &loop, [&] {
        if (!manager.isBusy())
            loop.quit();
    });
    QElapsedTimer timer;
    timer.start();
    manager.send(QStringLiteral("go"));
    if (manager.isBusy())
        loop.exec();
    const double ms = timer.nsecsElapsed() / 1e6;
    QObject::disconnect(done);
    const QString streamed = QStringLiteral("tok ").repeated(pieces).trimmed();
    const Message &reply = state.messages().last();
    if (state.messages().size() != 2
        || (shape == Shape::Answer ? reply.content != streamed
                                   : reply.content != thinkingAnswer || reply.reasoning != streamed
                                         || !reply.reasoningSeconds)) {
        std::fprintf(stderr, "the turn did not show the whole reply\n");
        std::exit(1);
    }
    return ms;
}

// For reference: cleaning the whole reply again for every piece.
double plainCleaningMs(int pieces)
{
    QString text;
    QElapsedTimer timer;
    timer.start();
    qsizetype total = 0;
    for (int i = 0; i < pieces; ++i) {
        text += QStringLiteral("tok ");
        total += cleanForDisplay(text).size();
    }
    const double ms = timer.nsecsElapsed() / 1e6;
    return total > 0 ? ms : 0;
}

} // namespace

int main(int argc, char **argv)
{
    TestEnvironment environment; // a private preference store and home
    QCoreApplication app(argc, argv);
    TestEnvironment::setApplicationIdentity();
    StandinEngine engine;
    if (!engine.isRunning()) {
        std::fprintf(stderr, "the stand-in engine did not start\n");
        return 1;
    }
    AgentState state;
    AgentManager manager(&state,
                         EngineAccess{[] { return true; }, [&] { return engine.port(); }},
                         [](ToolCall) -> QCoro::Task<QString> { co_return QString(); });
    manager.setCompletionSoundCommand({});

    const auto bestTurn = [&](int pieces, Shape shape = Shape::Answer) {
        double best = 1e18;
        for (int r = 0; r < runs; ++r)
            best = std::min(best, turnMs(engine, state, manager, pieces, shape));
        return best;
    };
    const auto bestClient = [&](int pieces) {
        double best = 1e18;
        for (int r = 0; r < runs; ++r)
            best = std::min(best, bareClientMs(engine, pieces));
        return best;
    };

    // What a turn costs whatever its length: mostly the archive saved at its fixed points.
    const double fixedTurn = bestTurn(1);
    const double fixedClient = bestClient(1);
    std::printf(
        "agent turn: the stand-in engine streams \"tok \" pieces as fast as it can (best of %d)\n",
        runs);
    double saveMs = 1e18;
    for (int r = 0; r < runs; ++r) {
        QElapsedTimer saving;
        saving.start();
        for (int i = 0; i < 3; ++i)
            state.saveSettings();
        saveMs = std::min(saveMs, saving.nsecsElapsed() / 1e6);
    }
    std::printf("  a one-piece turn: %.1f ms, of which %.1f ms for asking for its three archive "
                "saves (the bare client: %.1f ms)\n",
                fixedTurn,
                saveMs,
                fixedClient);
    std::printf("  %8s  %10s  %10s  %11s  %14s  %15s  %16s\n",
                "pieces",
                "turn ms",
                "client ms",
                "turn/client",
                "turn us/piece",
                "turn us/piece*",
                "client us/piece*");
    double perPiece[2] = {0, 0};
    double plainPerPiece[2] = {0, 0};
    const int lengths[2] = {1000, 20000};
    for (int i = 0; i < 2; ++i) {
        const int pieces = lengths[i];
        const double client = bestClient(pieces);
        const double turn = bestTurn(pieces);
        plainPerPiece[i] = turn * 1000 / pieces;
        perPiece[i] = (turn - fixedTurn) * 1000 / (pieces - 1);
        const double clientPerPiece = (client - fixedClient) * 1000 / (pieces - 1);
        std::printf("  %8d  %10.1f  %10.1f  %10.2fx  %14.2f  %15.2f  %16.2f\n",
                    pieces,
                    turn,
                    client,
                    turn / client,
                    plainPerPiece[i],
                    perPiece[i],
                    clientPerPiece);
    }
    std::printf("  * beyond the one-piece turn\n");
    std::printf("  turn's time per piece at 20,000 / at 1,000: %.2fx, beyond the one-piece turn "
                "%.2fx   (target <= 1.5x)\n",
                plainPerPiece[1] / plainPerPiece[0],
                perPiece[1] / perPiece[0]);
    std::printf("  for reference, re-cleaning the whole reply for every piece: %.1f ms for 1,000, "
                "%.1f ms for 20,000\n",
                plainCleaningMs(1000),
                plainCleaningMs(20000));

    for (const auto &[shape, name] : {std::pair{Shape::Thinking, "reasoning_content deltas"},
                                      std::pair{Shape::InlineThinking, "inline <think> tags"}}) {
        std::printf("agent turn: the same pieces as thinking (%s), then a one-piece answer\n", name);
        std::printf("  %8s  %10s  %14s  %15s\n",
                    "pieces",
                    "turn ms",
                    "turn us/piece",
                    "turn us/piece*");
        double thinkingPerPiece[2] = {0, 0};
        for (int i = 0; i < 2; ++i) {
            const int pieces = lengths[i];
            const double turn = bestTurn(pieces, shape);
            thinkingPerPiece[i] = (turn - fixedTurn) * 1000 / pieces;
            std::printf("  %8d  %10.1f  %14.2f  %15.2f\n",
                        pieces,
                        turn,
                        turn * 1000 / pieces,
                        thinkingPerPiece[i]);
        }
        std::printf("  time per thinking piece at 20,000 / at 1,000, beyond the one-piece turn: "
                    "%.2fx   (target <= 1.5x)\n",
                    thinkingPerPiece[1] / thinkingPerPiece[0]);
    }
    return 0;
}

// Streaming: the stand-in engine sends 20,000 pieces as fast as it can. Prints
// the client's time to consume them next to curl -N reading the same stream.
#include "core/llmclient.h"
#include "tests/support/standinengine.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>

#include <QCoroTask>

#include <cstdio>

namespace {
constexpr int pieces = 20000;
const nlohmann::json script = {{"repeat", {{"text", "tok "}, {"count", pieces}}}};

double clientMs(StandinEngine &engine)
{
    engine.enqueue(script);
    LLMClient client(engine.baseURL());
    int received = 0;
    QElapsedTimer timer;
    timer.start();
    const QList<Message> history{Message::make(Role::user, QStringLiteral("go"))};
    const ChatResult result = QCoro::waitFor(
        client.streamChat(history, QString(), 0.7, 64, nlohmann::json::array(), [&](const QString &) {
            ++received;
        }));
    const double ms = timer.nsecsElapsed() / 1e6;
    if (!result.ok() || received != pieces) {
        std::fprintf(stderr, "client received %d pieces\n", received);
        std::exit(1);
    }
    return ms;
}

double curlMs(StandinEngine &engine)
{
    engine.enqueue(script);
    QProcess curl;
    QElapsedTimer timer;
    timer.start();
    curl.start(QStringLiteral("curl"),
               {QStringLiteral("-sN"),
                QStringLiteral("-o"),
                QStringLiteral("/dev/null"),
                QStringLiteral("-H"),
                QStringLiteral("Content-Type: application/json"),
                QStringLiteral("-d"),
                QStringLiteral("{\"stream\":true}"),
                engine.baseURL() + QStringLiteral("/v1/chat/completions")});
    if (!curl.waitForFinished(120000) || curl.exitCode() != 0) {
        std::fprintf(stderr, "curl failed: %s\n", qPrintable(curl.errorString()));
        std::exit(1);
    }
    return timer.nsecsElapsed() / 1e6;
}
} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    StandinEngine engine;
    if (!engine.isRunning()) {
        std::fprintf(stderr, "the stand-in engine did not start\n");
        return 1;
    }
    double client = 1e18, curl = 1e18;
    for (int i = 0; i < 5; ++i) {
        client = std::min(client, clientMs(engine));
        curl = std::min(curl, curlMs(engine));
    }
    std::printf("stream: %d pieces from the stand-in engine (best of 5)\n", pieces);
    std::printf("  client            %8.1f ms  (%.1f us/piece)\n", client, client * 1000 / pieces);
    std::printf("  curl -N (floor)   %8.1f ms\n", curl);
    std::printf("  ratio             %8.2fx   target <= 1.3x\n", client / curl);
    return 0;
}

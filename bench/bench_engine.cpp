// Does showing a reply take the engine's cores? The stand-in engine, in its CPU-bound mode
// (one worker per core doing fixed arithmetic for every piece, the workers meeting at a
// spinning barrier as llama.cpp's thread pool does), streams 2,000 pieces of a Markdown reply
// into the real main window, and the same stream to curl -N, which only reads. The engine's
// own time per piece (its /metrics) in both cases, and the app's CPU time (getrusage, all
// threads; and the UI thread's alone) per 1,000 pieces. Target: with the app <= 1.1x.
//
// TOVRA_BENCH_LLAMA_SERVER=path also runs a real llama-server with the repository's tiny model
// (TOVRA_BENCH_MODEL for another) and compares its generation speed with the app and with
// curl -N for the same request (target >= 0.9x).
//
// BENCH_ENGINE_WORK fixes the arithmetic per piece (rounds per worker); otherwise it is chosen
// so that a piece takes about 2 ms with nobody else on the machine (500 pieces a second).
// BENCH_ENGINE_ROUNDS sets the number of rounds (curl -N, then the app), 3 by default.

#include "agent/agentmanager.h"
#include "core/agentstate.h"
#include "core/llmclient.h"
#include "engine/servermanager.h"
#include "tools/toolcatalogue.h"
#include "ui/app/appmodel.h"

#include "platform/preferences.h"

#include "bench/benchwindow.h"
#include "bench/measure.h"
#include "tests/support/standinengine.h"
#include "tests/support/testenvironment.h"

#include <QApplication>
#include <QQuickStyle>
#include <QTcpServer>

#include <QCoroTask>

#include <httplib.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <sys/resource.h>
#include <thread>

using nlohmann::json;

namespace {

constexpr int pieceCount = 2000;

double processCpuMs()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto ms = [](const timeval &t) { return t.tv_sec * 1000.0 + t.tv_usec / 1000.0; };
    return ms(usage.ru_utime) + ms(usage.ru_stime);
}

// Other work on the machine takes the engine's cores too: say how busy it was.
QString loadAverage()
{
    QFile file(QStringLiteral("/proc/loadavg"));
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("unknown");
    return QString::fromLatin1(file.readAll()).section(u' ', 0, 2);
}

int freePort()
{
    QTcpServer server;
    server.listen(QHostAddress::LocalHost, 0);
    return server.serverPort();
}

// A reply that gives the Markdown view real work: headings, lists, tables, code.
std::vector<std::string> markdownPieces(int count)
{
    const std::string section
        = "## Step N: setting things up\n\nThis paragraph explains the **important** part, with "
          "`inline code`, a [link](https://example.com) and some *emphasis*.\n\n- first point "
          "with `code`\n- second point\n\n| Item | Count |\n|:-----|------:|\n| apples | 3 |\n\n"
          "```python\ndef step(items):\n    return sum(items)\n```\n\n";
    std::vector<std::string> pieces;
    std::string text;
    while (text.size() < size_t(count) * 10)
        text += section;
    for (int i = 0; i < count; ++i)
        pieces.push_back(text.substr(size_t(i) * 10, 10));
    return pieces;
}

// What the engine counted of its generation: pieces and seconds, from its /metrics.
struct Generation
{
    double pieces = 0;
    double seconds = 0;
    Generation operator-(const Generation &o) const
    {
        return {pieces - o.pieces, seconds - o.seconds};
    }
    double msPerPiece() const { return pieces > 0 ? seconds * 1000.0 / pieces : 0; }
};

Generation metrics(int port)
{
    httplib::Client client("127.0.0.1", port);
    const auto result = client.Get("/metrics");
    Generation g;
    if (!result || result->status != 200)
        return g;
    // Prometheus text: "name value" lines, and comments.
    const QList<QByteArray> lines = QByteArray::fromStdString(result->body).split('\n');
    for (const QByteArray &line : lines) {
        const QList<QByteArray> words = line.split(' ');
        if (words.size() != 2)
            continue;
        if (words[0] == "llamacpp:tokens_predicted_total")
            g.pieces = words[1].toDouble();
        else if (words[0] == "llamacpp:tokens_predicted_seconds_total")
            g.seconds = words[1].toDouble();
    }
    return g;
}

void enqueue(int port, const json &script)
{
    httplib::Client("127.0.0.1", port).Post("/control/enqueue", script.dump(), "application/json");
}

// curl -N posts the body and reads the stream to its end, nothing more.
void plainClient(int port, const json &body)
{
    QProcess curl;
    curl.start(QStringLiteral("curl"),
               {QStringLiteral("-sN"),
                QStringLiteral("-o"),
                QStringLiteral("/dev/null"),
                QStringLiteral("-H"),
                QStringLiteral("Content-Type: application/json"),
                QStringLiteral("--data-binary"),
                QString::fromStdString(body.dump()),
                QStringLiteral("http://127.0.0.1:%1/v1/chat/completions").arg(port)});
    if (!curl.waitForFinished(600000) || curl.exitCode() != 0) {
        std::fprintf(stderr, "curl failed: %s\n", qPrintable(curl.errorString()));
        std::exit(1);
    }
}

struct AppRun
{
    Generation generation;
    double processMs = 0;
    double uiThreadMs = 0;
    qsizetype replyLength = 0;
    int rowUpdates = 0; // of the reply's row
    int frames = 0;
};

// One turn through the agent into the window on screen.
AppRun appTurn(AppModel &app, QQuickWindow *window, int port, const QString &text)
{
    AgentManager *agent = app.agentManager();
    AppRun run;
    const QMetaObject::Connection counters[]
        = {QObject::connect(app.agentState()->messageModel(),
                            &QAbstractItemModel::dataChanged,
                            [&run] { ++run.rowUpdates; }),
           QObject::connect(window, &QQuickWindow::frameSwapped, [&run] { ++run.frames; })};
    // Each run in a chat of its own, as the first reply of a conversation; the last chat's view
    // is taken down before the measurement, which is of the reply alone.
    app.agentState()->startNewChat();
    bench::runEventsFor(200);
    const Generation before = metrics(port);
    const double cpu0 = processCpuMs(), ui0 = bench::threadCpuMs();
    agent->send(text);
    while (agent->isBusy())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    for (const auto &connection : counters)
        QObject::disconnect(connection);
    run.processMs = processCpuMs() - cpu0;
    run.uiThreadMs = bench::threadCpuMs() - ui0;
    run.generation = metrics(port) - before;
    const QString reply = app.agentState()->messages().last().content;
    run.replyLength = reply.size();
    if (reply.startsWith(QStringLiteral("Error:")))
        std::fprintf(stderr, "the app's turn failed: %s\n", qPrintable(reply));
    // Let the last frame go out before the next measurement.
    bench::runEventsFor(300);
    return run;
}

Generation plainRun(int port, const json &body)
{
    const Generation before = metrics(port);
    plainClient(port, body);
    return metrics(port) - before;
}

// The request the app sends for a one-message chat, for curl to send the same.
json requestFor(AppModel &app, const QString &text)
{
    AgentManager *agent = app.agentManager();
    return LLMClient::requestBody({Message::make(Role::user, text)},
                                  agent->effectiveSystemPrompt(),
                                  app.agentState()->temperature(),
                                  app.agentState()->maxTokens(),
                                  ToolCatalogue::toolDefinitions());
}

void startEngine(AppModel &app, const QString &model)
{
    ServerManager *server = app.serverManager();
    QCoro::waitFor(server->startServer(model, QStringLiteral("bench")));
    if (!server->isRunning()) {
        std::fprintf(stderr,
                     "the engine did not start: %s\n%s\n",
                     qPrintable(server->statusMessage()),
                     qPrintable(server->lastLaunchErrorText()));
        std::exit(1);
    }
}

// Rounds per worker that make a piece take about 2 ms of CPU here (500 pieces a second), timed
// on this thread's CPU clock so that other work on the machine does not change it. The rounds
// are the stand-in's own arithmetic.
long long calibratedWork()
{
    constexpr long long rounds = 20000000;
    const double cpu0 = bench::threadCpuMs();
    std::uint64_t x = std::uint64_t(cpu0);
    for (long long i = 0; i < rounds; ++i)
        x = x * 6364136223846793005ULL + 1442695040888963407ULL;
    const double ms = bench::threadCpuMs() - cpu0;
    static std::atomic<std::uint64_t> sink;
    sink = x;
    return (long long) (double(rounds) * 2.0 / std::max(ms, 1e-3));
}

void standinBench(AppModel &app, QQuickWindow *window)
{
    startEngine(app, QStringLiteral("/models/standin.gguf"));
    const int port = app.serverManager()->port();
    const long long work = qEnvironmentVariableIsSet("BENCH_ENGINE_WORK")
                               ? qEnvironmentVariable("BENCH_ENGINE_WORK").toLongLong()
                               : calibratedWork();
    const json script = {{"pieces", markdownPieces(pieceCount)}, {"compute", {{"work", work}}}};
    std::printf("stand-in engine, CPU-bound: %u workers, %lld rounds each per piece, %d pieces; "
                "load average %s\n",
                std::thread::hardware_concurrency(),
                work,
                pieceCount,
                qPrintable(loadAverage()));

    const QString text = QStringLiteral("Write me a long guide.");
    const json body = requestFor(app, text);
    double plainBest = 1e18, appBest = 1e18;
    AppRun best;
    const int rounds = std::max(1, qEnvironmentVariableIntValue("BENCH_ENGINE_ROUNDS"));
    for (int round = 1; round <= (qEnvironmentVariableIsSet("BENCH_ENGINE_ROUNDS") ? rounds : 3);
         ++round) {
        enqueue(port, script);
        const Generation plain = plainRun(port, body);
        enqueue(port, script);
        const AppRun run = appTurn(app, window, port, text);
        std::printf("  round %d: engine per piece with curl -N %.3f ms, with the app %.3f ms "
                    "(%.0f / %.0f pieces; %d row updates, %d frames, UI thread %.2f ms a frame)\n",
                    round,
                    plain.msPerPiece(),
                    run.generation.msPerPiece(),
                    plain.pieces,
                    run.generation.pieces,
                    run.rowUpdates,
                    run.frames,
                    run.uiThreadMs / std::max(1, run.frames));
        plainBest = std::min(plainBest, plain.msPerPiece());
        if (run.generation.pieces == pieceCount && run.generation.msPerPiece() < appBest) {
            appBest = run.generation.msPerPiece();
            best = run;
        }
    }
    const double perThousand = 1000.0 / std::max(1.0, best.generation.pieces);
    std::printf("engine time per piece (best round): curl -N %.3f ms, app %.3f ms: %.3fx "
                "(target <= 1.1x): %s\n",
                plainBest,
                appBest,
                appBest / plainBest,
                appBest <= 1.1 * plainBest ? "met" : "NOT met");
    std::printf("app CPU per 1,000 pieces: %.0f ms, all threads; %.0f ms on the UI thread "
                "(reply %lld characters); load average %s\n",
                best.processMs * perThousand,
                best.uiThreadMs * perThousand,
                qlonglong(best.replyLength),
                qPrintable(loadAverage()));
}

// A real llama-server with a real model: its generation speed, app against curl -N.
void realEngineBench(const QString &engine, const QString &model)
{
    // /metrics is served only when asked for; the app's own command line stays as it is.
    QTemporaryDir dir;
    const QString wrapper = dir.filePath(QStringLiteral("llama-server"));
    writeTestFile(wrapper,
                  QStringLiteral("#!/bin/sh\nexec '%1' \"$@\" --metrics\n").arg(engine).toUtf8());
    QFile::setPermissions(wrapper, QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    ServerManagerOptions options;
    options.serverSearchList = {wrapper};
    options.userPath = {};
    options.port = freePort();
    AppModel app(options);
    QQmlApplicationEngine qml;
    QQuickWindow *window = bench::loadMainWindow(qml);
    app.agentState()->setMaxTokens(400);
    startEngine(app, model);
    const int port = app.serverManager()->port();
    std::printf("real engine %s, model %s: context served %d tokens\n",
                qPrintable(engine),
                qPrintable(model),
                app.serverManager()->contextSize());
    const QString text = QStringLiteral("Tell me a long story about a dragon.");
    const json body = requestFor(app, text);
    for (int round = 1; round <= 2; ++round) {
        const Generation plain = plainRun(port, body);
        const AppRun run = appTurn(app, window, port, text);
        const double plainSpeed = plain.pieces / std::max(plain.seconds, 1e-9);
        const double appSpeed = run.generation.pieces / std::max(run.generation.seconds, 1e-9);
        std::printf("  round %d: curl -N %.0f tok/s, app %.0f tok/s: %.2fx (target >= 0.9x); "
                    "app CPU per 1,000 tokens %.0f ms\n",
                    round,
                    plainSpeed,
                    appSpeed,
                    appSpeed / plainSpeed,
                    run.processMs * 1000.0 / std::max(1.0, run.generation.pieces));
    }
    QCoro::waitFor(app.serverManager()->stopServer());
}

} // namespace

int main(int argc, char **argv)
{
    bench::startWindowBench();
    TestEnvironment environment;
    QApplication application(argc, argv);
    TestEnvironment::setApplicationIdentity();
    QQuickStyle::setStyle(QStringLiteral("Fusion"));
    Preferences::setBoolean(QStringLiteral("onboardingComplete"), true);
    Preferences::setBoolean(QStringLiteral("completionSoundEnabled"), false);
    Preferences::sync();
    {
        ServerManagerOptions options;
        options.serverSearchList = {StandinEngine::executable()};
        options.userPath = {};
        options.port = freePort();
        AppModel app(options);
        QQmlApplicationEngine qml;
        standinBench(app, bench::loadMainWindow(qml));
        QCoro::waitFor(app.serverManager()->stopServer());
    }

    const QString real = qEnvironmentVariable("TOVRA_BENCH_LLAMA_SERVER");
    if (real.isEmpty()) {
        std::printf("real engine: skipped (set TOVRA_BENCH_LLAMA_SERVER=path/to/llama-server)\n");
        return 0;
    }
    const QString model = qEnvironmentVariableIsSet("TOVRA_BENCH_MODEL")
                              ? qEnvironmentVariable("TOVRA_BENCH_MODEL")
                              : QStringLiteral(TOVRA_FIXTURES "/stories260K.gguf");
    realEngineBench(real, model);
    return 0;
}

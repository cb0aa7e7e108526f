// The main window on the offscreen platform: start-up time to the first frame, memory
// after start-up, and the UI thread's time per streamed piece of a long reply.
//
// Start-up is also measured in fresh processes (this program run with --startup), with
// an empty archive and with a heavy user's 1,000 sessions x 100 messages.
//
// A conversation of 200 messages is on screen; a reply thinks for 20,000 characters in
// 2,000 pieces, shown live, then its 20,000-character Markdown answer streams in as 2,000
// pieces. For each piece the figure is the GUI thread's CPU time from the model update
// until the scene graph starts to synchronise, which covers the bindings, the re-parse and
// the layout but not the (software) rendering.

#include "agent/agentmanager.h"
#include "core/agentstate.h"
#include "core/archive.h"
#include "ui/app/appmodel.h"
#include "ui/markdown/markdowndocument.h"

#include "platform/paths.h"
#include "platform/preferences.h"

#include "bench/benchwindow.h"
#include "bench/measure.h"
#include "bench/samplearchive.h"

#include <QAbstractProxyModel>
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QQmlApplicationEngine>
#include <QQuickItem>
#include <QQuickStyle>
#include <QQuickWindow>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <functional>
#include <numeric>

#include "tests/support/testenvironment.h"

namespace {
QString section(int n)
{
    return QStringLiteral(
               "## Step %1: setting things up\n\n"
               "This paragraph explains the **important** part of step %1, with `inline code`, a "
               "[link](https://example.com/%1) and some *emphasis* so that the inline renderer has "
               "work "
               "to do. It goes on for a while to look like a real answer from a model that likes "
               "to talk.\n\n"
               "- first point of step %1 with `code`\n"
               "- second point, a little longer than the first one\n"
               "- third point\n\n"
               "| Item | Count | Note |\n"
               "|:-----|------:|:----:|\n"
               "| apples %1 | 3 | `fresh` |\n"
               "| pears | 12 | **ripe** |\n\n"
               "```python\n"
               "def step_%1(items):\n"
               "    total = 0\n"
               "    for item in items:\n"
               "        total += item * %1\n"
               "    return total\n"
               "```\n\n")
        .arg(n);
}

QString longThinking(qsizetype length)
{
    QString thinking;
    for (int n = 1; thinking.size() < length; ++n) {
        thinking
            += QStringLiteral("Step %1: the user wants a long guide, so I should cover the setup "
                              "first, then the details, and check the numbers twice. ")
                   .arg(n);
        if (n % 4 == 0)
            thinking += QStringLiteral("\n\n");
    }
    return thinking.left(length);
}

QString longReply(qsizetype length)
{
    QString reply;
    for (int n = 1; reply.size() < length; ++n)
        reply += section(n);
    return reply.left(length);
}

// List delegates have no QObject parent: walk the visual tree.
QList<MarkdownDocument *> documentsIn(QQuickItem *item)
{
    QList<MarkdownDocument *> found
        = item->findChildren<MarkdownDocument *>(Qt::FindDirectChildrenOnly);
    for (QQuickItem *child : item->childItems())
        found += documentsIn(child);
    return found;
}

QList<ChatSession> seedArchive()
{
    ChatSession session = ChatSession::make();
    session.title = QStringLiteral("Long conversation");
    for (int i = 0; i < 100; ++i) {
        session.messages.append(
            Message::make(Role::user,
                          QStringLiteral("Question number %1: how does this work?").arg(i)));
        session.messages.append(Message::make(Role::assistant, section(i).left(600)));
    }
    return {session};
}

// Loads the main window once and returns the milliseconds from the application object's
// creation to the first frame.
qint64 firstFrameMs(QQmlApplicationEngine &engine, QElapsedTimer &startup)
{
    bench::loadMainWindow(engine);
    return startup.elapsed();
}

// Child mode: one start-up with the archive file given (empty: none); prints the figure.
int startupOnly(int argc, char **argv, const QString &archiveFile)
{
    TestEnvironment environment;
    QApplication app(argc, argv);
    TestEnvironment::setApplicationIdentity();
    QQuickStyle::setStyle(QStringLiteral("Fusion"));
    const bool withServers = archiveFile == QLatin1String("tool-servers");
    if (withServers) {
        // Three local tool servers, as a user who brought some has them.
        const std::string everything
            = TOVRA_NODE_MODULES "/@modelcontextprotocol/server-everything/dist/index.js";
        const std::string files
            = TOVRA_NODE_MODULES "/@modelcontextprotocol/server-filesystem/dist/index.js";
        const nlohmann::json servers = {
            {"mcpServers",
             {{"one", {{"command", "node"}, {"args", {everything, "stdio"}}}},
              {"two", {{"command", "node"}, {"args", {everything, "stdio"}}}},
              {"files", {{"command", "node"}, {"args", {files, QDir::homePath().toStdString()}}}}}}};
        QFile config(QDir(Paths::appConfigDirectory()).filePath(QStringLiteral("mcp.json")));
        if (!config.open(QIODevice::WriteOnly))
            return 1;
        config.write(QByteArray::fromStdString(servers.dump()));
    } else if (!archiveFile.isEmpty()) {
        QFile file(archiveFile);
        if (!file.open(QIODevice::ReadOnly))
            return 1;
        Preferences::setData(QStringLiteral("chatSessions"), file.readAll());
    }
    Preferences::setBoolean(QStringLiteral("onboardingComplete"), true);
    Preferences::sync();
    QElapsedTimer startup;
    startup.start();
    AppModel appModel{ServerManagerOptions{}};
    QQmlApplicationEngine engine;
    const qint64 frameMs = firstFrameMs(engine, startup);
    while (!appModel.agentState()->sessionsLoaded())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    // With servers, the second figure is when all three are ready.
    const auto ready = [&] {
        const QStringList states = roleTexts(*appModel.agentManager()->toolServers()->serverModel(),
                                             McpServerListModel::StateRole);
        return states.size() == 3 && states.count(QStringLiteral("ready")) == 3;
    };
    while (withServers && !ready())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    std::printf("%lld %lld\n", frameMs, startup.elapsed());
    return 0;
}

struct Startup
{
    qint64 firstFrameMs = 0;
    qint64 sessionsInMs = 0;
};

// Median times of fresh processes started with the archive file given.
Startup medianStartup(const QString &archiveFile, int runs)
{
    QList<qint64> frames;
    QList<qint64> sessions;
    for (int i = 0; i < runs; ++i) {
        QProcess child;
        child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        child.start(QCoreApplication::applicationFilePath(),
                    {QStringLiteral("--startup"), archiveFile});
        if (!child.waitForFinished(120000) || child.exitCode() != 0)
            std::exit(1);
        const QList<QByteArray> figures = child.readAllStandardOutput().trimmed().split(' ');
        frames.append(figures.value(0).toLongLong());
        sessions.append(figures.value(1).toLongLong());
    }
    std::sort(frames.begin(), frames.end());
    std::sort(sessions.begin(), sessions.end());
    return {frames.at(runs / 2), sessions.at(runs / 2)};
}

void compareStartups()
{
    QTemporaryDir dir;
    const QString big = dir.filePath(QStringLiteral("big.json"));
    QFile file(big);
    if (!file.open(QIODevice::WriteOnly))
        std::exit(1);
    const QByteArray bytes = encodeSessions(makeArchive(1000, 100));
    file.write(bytes);
    file.close();
    const Startup empty = medianStartup(QString(), 3);
    const Startup heavy = medianStartup(big, 3);
    std::printf("start-up to first frame, fresh process (median of 3): empty archive %lld ms, "
                "1000 x 100 archive (%.1f MB) %lld ms: %.2fx (target <= 1.5x)\n",
                empty.firstFrameMs,
                bytes.size() / 1048576.0,
                heavy.firstFrameMs,
                double(heavy.firstFrameMs) / double(std::max<qint64>(empty.firstFrameMs, 1)));
    std::printf("  the sessions are in after %lld ms (empty archive: %lld ms)\n",
                heavy.sessionsInMs,
                empty.sessionsInMs);
    if (QFileInfo::exists(TOVRA_NODE_MODULES)) {
        const Startup servers = medianStartup(QStringLiteral("tool-servers"), 3);
        std::printf("start-up with three tool servers in mcp.json: first frame %lld ms (%.2fx of "
                    "none); all "
                    "three ready after %lld ms\n",
                    servers.firstFrameMs,
                    double(servers.firstFrameMs) / double(std::max<qint64>(empty.firstFrameMs, 1)),
                    servers.sessionsInMs);
    }
}

} // namespace

int main(int argc, char **argv)
{
    if (argc == 3 && qstrcmp(argv[1], "--startup") == 0)
        return startupOnly(argc, argv, QString::fromLocal8Bit(argv[2]));
    bench::startWindowBench();
    TestEnvironment environment;
    QApplication app(argc, argv);
    TestEnvironment::setApplicationIdentity();
    QQuickStyle::setStyle(QStringLiteral("Fusion"));
    // BENCH_UI_PIECES shortens the stream and skips the start-up runs, for a quick look.
    const int quickPieces = qEnvironmentVariableIntValue("BENCH_UI_PIECES");

    Preferences::setData(QStringLiteral("chatSessions"), encodeSessions(seedArchive()));
    Preferences::setBoolean(QStringLiteral("onboardingComplete"), true);
    Preferences::sync();

    QElapsedTimer startup;
    startup.start();
    AppModel appModel{ServerManagerOptions{}};
    QQmlApplicationEngine engine;
    QQuickWindow *window = bench::loadMainWindow(engine);
    const qint64 firstFrameMs = startup.elapsed();
    bool swapped = false;
    QObject::connect(
        window, &QQuickWindow::frameSwapped, window, [&] { swapped = true; }, Qt::DirectConnection);
    while (!appModel.agentState()->sessionsLoaded())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    // Let deferred work (list positioning, late bindings) settle before measuring memory.
    bench::runEventsFor(500);
    const long rssKiB = bench::statusBytes("VmRSS") / 1024;

    AgentState *state = appModel.agentState();
    std::printf("conversation on screen: %lld messages\n", qlonglong(state->messages().size()));
    std::printf("start-up to first frame: %lld ms (application object and window)\n", firstFrameMs);
    std::printf("memory after start-up: %.1f MiB resident (target <= 100 MiB): %s\n",
                rssKiB / 1024.0,
                rssKiB <= 100 * 1024 ? "met" : "NOT met");

    // The agent loop's way: a user turn, an empty placeholder, then the text so far per piece.
    state->appendMessage(Message::make(Role::user, QStringLiteral("Write me a long guide.")));
    state->appendMessage(Message::make(Role::assistant, QString()));
    // A reply is being generated: the screen's indicators watch the streamed text too.
    state->setIsLoading(true);

    QHash<MarkdownDocument *, int> parsesBefore;
    for (MarkdownDocument *document : documentsIn(window->contentItem()))
        parsesBefore.insert(document, document->parseCount());

    bool synchronising = false;
    double cpuAtSync = 0;
    QObject::connect(
        window,
        &QQuickWindow::beforeSynchronizing,
        window,
        [&] {
            if (!synchronising) {
                synchronising = true;
                cpuAtSync = bench::threadCpuMs();
            }
        },
        Qt::DirectConnection);

    struct Figures
    {
        QList<double> cpu;
        QList<double> wall;
        QList<double> update;
    };
    // Each piece through the model, then up to the frame's layout and to its swap.
    const auto stream = [&](int count, const std::function<void(int)> &piece) {
        Figures figures;
        for (int i = 1; i <= count; ++i) {
            synchronising = false;
            swapped = false;
            QElapsedTimer wall;
            wall.start();
            const double cpu0 = bench::threadCpuMs();
            piece(i);
            figures.update.append(bench::threadCpuMs() - cpu0);
            // A piece that changes nothing visible (white space) would not schedule a frame.
            window->update();
            while (!synchronising)
                QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
            figures.cpu.append(cpuAtSync - cpu0);
            figures.wall.append(double(wall.nsecsElapsed()) / 1.0e6);
            while (!swapped)
                QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        }
        return figures;
    };

    const QString reply = longReply(20000);
    const QString thinking = longThinking(20000);
    const int pieces = quickPieces >= 200 ? quickPieces : 2000;
    const qsizetype pieceLength = reply.size() / pieces;
    // The agent loop's way: the thinking so far per piece, then its duration.
    const Figures thought = stream(pieces, [&](int i) {
        state->setLastMessageReasoning(thinking.left(i * pieceLength), std::nullopt);
    });
    state->setLastMessageReasoning(thinking.left(pieces * pieceLength), 42.0);
    const Figures answered = stream(pieces, [&](int i) {
        state->setHasStreamingContent(true);
        state->replaceLastMessageContent(reply.left(i * pieceLength));
    });

    if (qEnvironmentVariableIsSet("BENCH_UI_GRAB"))
        window->grabWindow().save(qEnvironmentVariable("BENCH_UI_GRAB"));
    int streamingParses = 0;
    const QList<MarkdownDocument *> documentsAfter = documentsIn(window->contentItem());
    for (MarkdownDocument *document : documentsAfter) {
        if (document->text() == reply)
            streamingParses = document->parseCount();
    }
    // Rows that stayed on screen (list items of rows scrolled away are destroyed).
    int otherParses = 0;
    int otherRows = 0;
    for (auto it = parsesBefore.cbegin(); it != parsesBefore.cend(); ++it) {
        if (documentsAfter.contains(it.key()) && it.key()->text() != reply) {
            ++otherRows;
            otherParses += it.key()->parseCount() - it.value();
        }
    }

    const auto mean = [](const QList<double> &values, qsizetype from, qsizetype count) {
        const auto begin = values.cbegin() + from;
        return std::accumulate(begin, begin + count, 0.0) / double(count);
    };
    const auto percentile = [](QList<double> values, double p) {
        std::sort(values.begin(), values.end());
        return values.at(qsizetype(p * double(values.size() - 1)));
    };
    const auto report = [&](const char *what, const Figures &figures) {
        const double start = mean(figures.cpu, 0, 100);
        const double end = mean(figures.cpu, pieces - 100, 100);
        std::printf("%s, UI thread per piece (update + layout), first 100 pieces: %.3f ms mean, "
                    "%.3f ms p95\n",
                    what,
                    start,
                    percentile(figures.cpu.mid(0, 100), 0.95));
        std::printf("%s, UI thread per piece (update + layout), last 100 pieces:  %.3f ms mean, "
                    "%.3f ms p95\n",
                    what,
                    end,
                    percentile(figures.cpu.mid(pieces - 100), 0.95));
        std::printf("%s, wall time per piece to layout done (incl. frame scheduling), last 100: "
                    "%.3f ms mean\n",
                    what,
                    mean(figures.wall, pieces - 100, 100));
        std::printf("%s, end / start: %.2f (target <= 1.5), end target < 1 ms: %s\n",
                    what,
                    end / start,
                    end < 1.0 && end <= 1.5 * start ? "met" : "NOT met");
        std::printf("%s, UI thread per piece, model update part only, first / last 100: %.3f / "
                    "%.3f ms\n",
                    what,
                    mean(figures.update, 0, 100),
                    mean(figures.update, pieces - 100, 100));
    };
    std::printf("streamed reply: %lld characters of thinking, then %lld of answer, each in %d "
                "pieces\n",
                qlonglong(thinking.size()),
                qlonglong(reply.size()),
                pieces);
    report("thinking (shown live)", thought);
    report("answer", answered);
    std::printf("parses of the streaming reply: %d; re-parses of %d other rows kept on screen "
                "during the stream: %d\n",
                streamingParses,
                otherRows,
                otherParses);
    // Last: the heavy archive these build would otherwise stay in this process's memory
    // figure above.
    if (quickPieces == 0)
        compareStartups();
    return 0;
}

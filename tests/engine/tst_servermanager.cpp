// Starting the engine against real stand-in processes: the command line, the status texts,
// every recognised failure kind and both retry chains. Stopping it: without freezing the app,
// by force when it lingers, and never leaving it behind when the app quits or dies.
#include "tests/engine/enginetesthelpers.h"
#include "tests/support/testenvironment.h"

#include "core/chatsfile.h"
#include "engine/metalstub.h"
#include "platform/preferences.h"

using namespace enginetest;

namespace {

const QString model = QStringLiteral("/models/qwen.gguf");
const QString name = QStringLiteral("Qwen 2.5 3B Instruct Q4_K_M");
const QString failed = QStringLiteral("Failed to start — see error below");
const QString memoryError = QStringLiteral("Memory error — retrying with direct file read…");
const QString memoryPressure
    = QStringLiteral("Memory pressure — retrying with reduced context (2048)…");
const QString gpu = QStringLiteral("GPU incompatible — building CPU-only workaround…");
const QString incompatible = QStringLiteral("Failed — model incompatible or too large");
const QString retryGpu = QStringLiteral("Retrying without Metal GPU…");
const QString cpu = QStringLiteral(" (CPU only)");

QString line(int ctx, const QString &tail = {})
{
    return QStringLiteral("--model /models/qwen.gguf --ctx-size %1 --port PORT --host 127.0.0.1 "
                          "--n-predict -1 --parallel 1")
               .arg(ctx)
           + (tail.isEmpty() ? QString() : QLatin1Char(' ') + tail);
}
QString starting(const QString &marks = {})
{
    return QStringLiteral("Starting %1%2…").arg(name, marks);
}
QString ready(const QString &marks = {})
{
    return QStringLiteral("Ready — %1%2").arg(name, marks);
}
LaunchSettings settings(std::optional<int> gpuLayers = {},
                        bool noMmap = false,
                        std::optional<int> contextSize = {})
{
    return LaunchSettings{model, name, gpuLayers, std::nullopt, noMmap, contextSize};
}

// Every status text the manager shows, in order.
struct StatusLog
{
    explicit StatusLog(ServerManager &manager)
    {
        QObject::connect(&manager, &ServerManager::statusMessageChanged, &manager, [this, &manager] {
            texts << manager.statusMessage();
        });
    }
    // True when `expected` occur in this order (others may come between).
    bool containsInOrder(const QStringList &expected) const
    {
        qsizetype at = 0;
        for (const QString &text : expected) {
            if ((at = texts.indexOf(text, at)) < 0)
                return false;
            ++at;
        }
        return true;
    }
    QStringList texts;
};

} // namespace
Q_DECLARE_METATYPE(LaunchSettings)

class ServerManagerTest : public QObject
{
    Q_OBJECT

private slots:
    void init() { failOnUnexpectedWarnings(); }
    void cleanup()
    {
        setStartup({});
        QDir(MetalStub::directory().value()).removeRecursively();
    }

    // Which failure leads to which next attempt, on the edges the start rows below do not reach.
    void retryRule_data()
    {
        // "signal" 0: an ordinary exit
        columns<LaunchSettings, QString, int, int>("failed", "failure", "signal", "kind");
        columns<LaunchSettings>("next");
        using K = NextAttempt::Kind;
        const QString metal = QStringLiteral("GGML_METAL_INIT: error\n[exit 1]");
        const auto retry = [](LaunchSettings next) {
            next.serverPath = QStringLiteral("/bin/engine");
            return next;
        };
        QTest::newRow("metal (any case) with default gpu use: cpu, default context, same mmap")
            << settings({}, true, 4096) << metal << 0 << int(K::RetryOnCpu)
            << retry(settings(0, true));
        QTest::newRow("metal after a crash signal still goes to the cpu")
            << settings() << "ggml_metal_graph_compute: failed" << SIGABRT << int(K::RetryOnCpu)
            << retry(settings(0));
        QTest::newRow("metal with gpu layers given is a plain failure")
            << settings(12) << metal << 0 << int(K::Fail) << settings(12);
        QTest::newRow("metal on a cpu-only start is a plain failure")
            << settings(0) << metal << 0 << int(K::Fail) << settings(0);
        QTest::newRow("bus error with mmap: without, context kept")
            << settings(12, false, 4096) << "[crash signal]" << SIGBUS << int(K::RetryWithoutMmap)
            << retry(settings(12, true, 4096));
        QTest::newRow("bus error without mmap, explicit context: give up")
            << settings({}, true, 4096) << "" << SIGBUS << int(K::GiveUp)
            << settings({}, true, 4096);
    }

    void retryRule()
    {
        const auto [failed, failure] = fetch<LaunchSettings, QString>("failed", "failure");
        const auto [signal, kind, next] = fetch<int, int, LaunchSettings>("signal", "kind", "next");
        const LaunchExit exit{failure, signal ? std::optional(signal) : std::nullopt};
        const NextAttempt attempt = nextAttempt(failed, exit, QStringLiteral("/bin/engine"));
        QCOMPARE(int(attempt.kind), kind);
        QVERIFY(attempt.settings == next);
    }

    void start_data()
    {
        // "startup": the stand-in's behaviour per attempt; "statuses": in order, the last one
        // final; "error": "-" for none; "attempts": the command line of each
        columns<QString, LaunchSettings, QStringList>("startup", "first", "statuses");
        columns<QString, QStringList>("error", "attempts");
        QStringList timedOut{starting()};
        for (int seconds = 5; seconds <= 60; seconds += 5)
            timedOut << QStringLiteral("Loading… %1s (large models take up to 60s)").arg(seconds);
        timedOut << QStringLiteral("Timed out — try a smaller model or quantization (Q4_K_M)");
        const QString advice
            = QStringLiteral("This model repeatedly crashed with a memory error (signal %1).\n"
                             "\n"
                             "Possible fixes:\n"
                             "• Run 'brew upgrade llama.cpp' in Terminal to update the engine.\n"
                             "• Try a smaller quantization like Q4_K_M or Q3_K_S.\n"
                             "• The model may be too large for available RAM.")
                  .arg(SIGBUS);

        const QStringList once{line(8192)}, failedOnly{failed};
        addRow("defaults", "", settings(), QStringList{starting(), ready()}, "-", once);
        // /props would say 1024; without it the launch's context stands.
        addRow("no /props",
               R"({"no_props":true,"n_ctx_train":1024})",
               settings(),
               QStringList{starting(), ready()},
               "-",
               once);
        QTest::newRow("cpu only, no mmap, small context")
            << "" << settings(0, true, 2048)
            << QStringList{starting(" (CPU only) (no-mmap) (ctx 2048)"), ready(cpu)} << "-"
            << QStringList{line(2048, "--n-gpu-layers 0 --no-mmap")};
        LaunchSettings seeing = settings();
        seeing.projectorPath = QStringLiteral("/models/mmproj-qwen-f16.gguf");
        addRow("with the model's projector",
               "",
               seeing,
               QStringList{starting(), ready()},
               "-",
               QStringList{line(8192, "--mmproj /models/mmproj-qwen-f16.gguf")});
        const QString exit1 = R"({"exit":{"status":1}})";
        addRow("exit 1, silent", exit1, settings(), failedOnly, "[exit 1]", once);
        QTest::newRow("exit 2 with error text")
            << R"({"exit":{"after_ms":100,"status":2,"stderr":"\n  error: failed to load model\n\n"}})"
            << settings() << failedOnly << "error: failed to load model\n[exit 2]" << once;
        QTest::newRow("killed by signal 9")
            << R"({"exit":{"after_ms":100,"signal":"SIGKILL"}})" << settings() << failedOnly
            << "[crash signal 9]" << once;
        QTest::newRow("undecodable error text counts as empty")
            << R"({"exit":{"status":3,"stderr":"bad byte: ","stderr_bytes":[255]}})" << settings()
            << failedOnly << "[exit 3]" << once;
        QTest::newRow("time-out with error text")
            << R"({"never_healthy":true,"stderr":"llama_model_load: loading tensors\n"})"
            << settings() << timedOut << "llama_model_load: loading tensors" << once;
        addRow("time-out, silent", R"({"never_healthy":true})", settings(), timedOut, "-", once);
        QTest::newRow("bus error every time: two retries, then the advice")
            << R"({"exit":{"after_ms":50,"signal":"SIGBUS"}})" << settings()
            << QStringList{memoryError,
                           starting(" (no-mmap)"),
                           memoryPressure,
                           starting(" (no-mmap) (ctx 2048)"),
                           incompatible}
            << advice << QStringList{line(8192), line(8192, "--no-mmap"), line(2048, "--no-mmap")};
        QTest::newRow("gpu chain into the memory chain")
            << R"([{"when":"--n-gpu-layers 0 --no-mmap"},{"when":"--n-gpu-layers 0","exit":{"signal":"SIGBUS"}},
                  {"exit":{"status":1,"stderr":"ggml_metal_init: error"}}])"
            << settings()
            << QStringList{gpu, retryGpu, memoryError, starting(" (CPU only) (no-mmap)"), ready(cpu)}
            << "-"
            << QStringList{line(8192),
                           line(8192, "--n-gpu-layers 0"),
                           line(8192, "--n-gpu-layers 0 --no-mmap")};
    }

    void start()
    {
        const auto [startup, first] = fetch<QString, LaunchSettings>("startup", "first");
        const auto [statuses, error] = fetch<QStringList, QString>("statuses", "error");
        const std::optional<QString> expectedError
            = error == QLatin1String("-") ? std::nullopt : std::optional(error);
        ArgsLog args;
        setStartup(startup);
        ServerManager manager(standinOptions(std::chrono::milliseconds(20)));
        StatusLog status(manager);
        QSet<qint64> pids; // of every attempt
        connect(&manager, &ServerManager::statusMessageChanged, this, [&] {
            if (manager.serverProcess())
                pids << manager.serverProcess()->processId();
        });
        run(manager.startServer(first));

        QCOMPARE(manager.statusMessage(), statuses.last());
        QVERIFY2(status.containsInOrder(statuses), qPrintable(status.texts.join(" | ")));
        QCOMPARE(manager.lastLaunchError(), expectedError);
        QTEST(args.lines(manager.port()), "attempts");
        QVERIFY(!manager.isStarting());
        const bool isReady = statuses.last().startsWith(QStringLiteral("Ready"));
        QCOMPARE(manager.isRunning(), isReady);
        QCOMPARE(manager.activeModelPath(), isReady ? std::optional(model) : std::nullopt);
        QCOMPARE(manager.activeModelName(), isReady ? std::optional(name) : std::nullopt);
        QCOMPARE(manager.serverProcess() != nullptr, isReady);
        // One slot: the conversation gets the whole context asked for.
        QCOMPARE(manager.contextSize(), isReady ? first.contextSize.value_or(8192) : 0);
        // The stand-in sees when it was given a projector, as /props tells.
        QCOMPARE(manager.seesImages(), isReady && first.projectorPath.has_value());

        run(manager.stopServer());
        QTRY_VERIFY(std::all_of(pids.cbegin(), pids.cend(), processGone));
        QCOMPARE(manager.statusMessage(), QStringLiteral("No model loaded"));
        QVERIFY(!manager.isRunning());
        QCOMPARE(manager.activeModelPath(), std::nullopt);
        QCOMPARE(manager.serverProcess(), nullptr);
        QCOMPARE(manager.lastLaunchError(), expectedError); // a stop keeps the last error
        QCOMPARE(manager.contextSize(), 0);
    }

    void cpuOnlyStub_data()
    {
        QTest::addColumn<bool>("compilerWorks");
        QTest::newRow("built and loaded") << true;
        QTest::newRow("cannot be built: the retry runs without it") << false;
    }

    // The CPU-only retry builds a real stub library and hands it to the engine through
    // the loader's search path; the stand-in refuses to start without it.
    void cpuOnlyStub()
    {
        QFETCH(bool, compilerWorks);
        ArgsLog args;
        setStartup(R"([{"when":"--n-gpu-layers 0","require_stub":true},
                       {"exit":{"status":1,"stderr":"ggml_metal_init: found device"}}])");
        ServerManagerOptions options = standinOptions();
        if (!compilerWorks)
            options.compiler = QStringLiteral("/bin/false");
        ServerManager manager(options);
        run(manager.startServer(model, name));
        QCOMPARE(args.lines(manager.port()).size(), 2);
        if (!compilerWorks) {
            QCOMPARE(manager.statusMessage(), failed);
            QCOMPARE(manager.lastLaunchErrorText(),
                     "ggml_metal_init: error: could not create the GPU device\n"
                     "ggml_backend_metal_reg: failed to initialise the Metal back-end\n[exit 1]");
            return;
        }
        QCOMPARE(manager.statusMessage(), ready(cpu));
        const QDir folder(MetalStub::directory().value());
        QVERIFY(folder.path().endsWith(QStringLiteral("Tovra AI/metal-stub")));
        QVERIFY(QFileInfo(folder.filePath(QStringLiteral("libggml-metal.0.so"))).isFile());
        QCOMPARE(readTestFile(folder.filePath(QStringLiteral("metal_stub.c"))),
                 QByteArray("void ggml_backend_metal_reg(void) {}"));
        run(manager.stopServer());

        // A second build finds the library and does not run the compiler again.
        QCOMPARE(QCoro::waitFor(MetalStub::build(QStringLiteral("/bin/false"))),
                 std::optional<QString>(folder.path()));
    }

    // An engine logs megabytes while loading: an undrained pipe would stall it (and this
    // start would time out instead of failing), and only the tail of the log is kept.
    void floodedErrorStreamKeepsTheTail()
    {
        setStartup(
            R"({"stderr_flood":2097152,"exit":{"status":1,"stderr":"error: out of memory"}})");
        ServerManager manager(standinOptions());
        run(manager.startServer(model, name));
        QCOMPARE(manager.statusMessage(), failed);
        const QString error = manager.lastLaunchErrorText();
        QVERIFY(error.endsWith(QStringLiteral("error: out of memory\n[exit 1]")));
        QVERIFY(error.startsWith(QStringLiteral("llama_model_loader: - kv  42:")));
        QVERIFY(error.size() > 60 * 1024);
        QVERIFY(error.size() <= ServerManager::errorTailLimit + QStringLiteral("\n[exit 1]").size());
    }

    // No automatic restart, but no "Ready" either.
    void diesAfterReady()
    {
        setStartup(
            R"({"after_healthy":{"after_ms":300,"status":134,"stderr":"GGML_ASSERT(n > 0)\n"}})");
        ServerManager manager(standinOptions());
        run(manager.startServer(model, name));
        QVERIFY(manager.isRunning());
        QSignalSpy running(&manager, &ServerManager::isRunningChanged);

        QTRY_COMPARE_WITH_TIMEOUT(manager.statusMessage(),
                                  QStringLiteral("Engine stopped unexpectedly — see error below"),
                                  10000);
        QVERIFY(!manager.isRunning());
        QVERIFY(!manager.isStarting());
        QCOMPARE(running.size(), 1);
        QCOMPARE(manager.activeModelPath(), std::nullopt);
        QCOMPARE(manager.activeModelName(), std::nullopt);
        QCOMPARE(manager.lastLaunchError(), QStringLiteral("GGML_ASSERT(n > 0)\n[exit 134]"));
        QCOMPARE(manager.serverProcess(), nullptr);
        QCOMPARE(manager.contextSize(), 0);
    }

    // The fixed places first, then (on Linux) the user's PATH; an engine found nowhere,
    // and one that cannot be launched.
    void findingTheEngine()
    {
        QTemporaryDir dir;
        const QString notExecutable = dir.filePath(QStringLiteral("llama-server"));
        QVERIFY(QFile(notExecutable).open(QIODevice::WriteOnly));
        const QString absent = dir.filePath(QStringLiteral("absent"));
        const QString onPath = dir.filePath(QStringLiteral("bin/llama-server"));
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("bin")));
        const QString standin = StandinEngine::executable();
        QVERIFY(QFile::link(standin, onPath));
        const QString path = QStringLiteral("relative:%1:%2").arg(dir.path(), dir.filePath("bin"));
        QCOMPARE(findServerExecutable({absent, notExecutable, dir.path(), standin}, path), standin);
        QCOMPARE(findServerExecutable({absent}, path), onPath);
        QCOMPARE(findServerExecutable({absent}, dir.path()), std::nullopt);
        QCOMPARE(defaultServerSearchList().first(),
                 QStringLiteral("/opt/homebrew/bin/llama-server"));

        // The app's own search reads PATH, and the engine found there starts.
        const QByteArray savedPath = qgetenv("PATH");
        qputenv("PATH", dir.filePath("bin").toLocal8Bit() + ':' + savedPath);
        const QString userPath = ServerManagerOptions().userPath;
        qputenv("PATH", savedPath);
        QCOMPARE(userPath.section(QLatin1Char(':'), 0, 0), dir.filePath("bin"));
        ServerManagerOptions options = standinOptions();
        options.serverSearchList = {absent};
        ServerManagerOptions fromPath = options;
        fromPath.userPath = userPath;
        ServerManager found(fromPath);
        run(found.startServer(model, name));
        QCOMPARE(found.statusMessage(), ready());
        run(found.stopServer());

        ServerManager missing(options);
        QVERIFY(!missing.isEngineInstalled());
        QSignalSpy startingChanges(&missing, &ServerManager::isStartingChanged);
        run(missing.startServer(model, name));
        QCOMPARE(missing.statusMessage(),
                 QStringLiteral(
                     "AI engine not found — install llama.cpp via Homebrew in Settings"));
        QCOMPARE(startingChanges.size(), 0);

        ServerManager manager(standinOptions());
        LaunchSettings unlaunchable = settings();
        unlaunchable.serverPath = notExecutable;
        run(manager.startServer(unlaunchable));
        const QString status = manager.statusMessage();
        QVERIFY2(status.startsWith(QStringLiteral("Launch error: ")) && status.size() > 14,
                 qPrintable(status));
        QVERIFY(!manager.isStarting());
        QCOMPARE(manager.serverProcess(), nullptr);
    }

    // A second start while one is starting is ignored; a start while running stops the
    // running engine first.
    void overlappingStarts()
    {
        ArgsLog args;
        setStartup(R"({"health_delay_ms":800})");
        ServerManager manager(standinOptions());
        StatusLog status(manager);
        auto first = manager.startServer(model, name);
        QVERIFY(manager.isStarting());
        QSignalSpy startingChanges(&manager, &ServerManager::isStartingChanged);
        const qsizetype shown = status.texts.size();
        run(manager.startServer(QStringLiteral("/models/other.gguf"), QStringLiteral("Other")));
        QCOMPARE(status.texts.size(), shown);
        QCOMPARE(startingChanges.size(), 0);
        run(std::move(first));
        QCOMPARE(manager.statusMessage(), ready());
        QCOMPARE(args.lines(manager.port()).size(), 1);

        const qint64 firstPid = manager.serverProcess()->processId();
        status.texts.clear();
        run(manager.startServer(QStringLiteral("/models/other.gguf"), QStringLiteral("Other")));
        QVERIFY(status.containsInOrder({QStringLiteral("No model loaded"),
                                        QStringLiteral("Starting Other…"),
                                        QStringLiteral("Ready — Other")}));
        QVERIFY(processGone(firstPid));
        QCOMPARE(manager.activeModelPath(), QStringLiteral("/models/other.gguf"));
        QCOMPARE(args.lines(manager.port()).size(), 2);
        run(manager.stopServer());
    }

    // A stop during the start-up wait is not a failed start: no crash summary, no retry and
    // no stub build, even though the stopped engine's output asks for the CPU-only retry. The
    // polls come fast so that one lands between the engine's exit and the stop's own return.
    void stopDuringStartUp()
    {
        setStartup(R"({"never_healthy":true,"stderr":"ggml_metal_init: found device\n"})");
        for (int round = 0; round < 5; ++round) {
            ServerManager manager(standinOptions(std::chrono::milliseconds(0)));
            StatusLog status(manager);
            auto start = manager.startServer(model, name);
            QTRY_VERIFY(manager.serverProcess()
                        && manager.serverProcess()->state() == QProcess::Running);
            const qint64 pid = manager.serverProcess()->processId();
            run(manager.stopServer());
            run(std::move(start));
            QVERIFY(processGone(pid));
            QCOMPARE(status.texts.last(), QStringLiteral("No model loaded"));
            QCOMPARE(manager.lastLaunchError(), std::nullopt);
            QVERIFY(!manager.isStarting() && !manager.isRunning());
            QVERIFY(!QFileInfo::exists(MetalStub::directory().value()));
        }
    }

    void lingeringEngine_data()
    {
        QTest::addColumn<bool>("startAnother");
        QTest::newRow("stop") << false;
        QTest::newRow("another model loads during the stop") << true;
    }

    // A real engine streaming a reply takes about 30 s to honour a terminate request: the
    // stop kills it after 3 s without freezing the app.
    void lingeringEngine()
    {
        QFETCH(bool, startAnother);
        setStartup(R"({"ignore_sigterm":true})");
        ServerManager manager(standinOptions());
        run(manager.startServer(model, name));
        const qint64 pid = manager.serverProcess()->processId();
        int ticks = 0;
        QTimer ticker;
        connect(&ticker, &QTimer::timeout, this, [&] { ++ticks; });
        ticker.start(50);
        QElapsedTimer clock;
        clock.start();
        auto stop = manager.stopServer();
        setStartup({});
        if (startAnother)
            run(manager.startServer(QStringLiteral("/models/other.gguf"), QStringLiteral("Other")));
        run(std::move(stop));
        const qint64 elapsed = clock.elapsed();

        QVERIFY(processGone(pid));
        QVERIFY2(elapsed >= 2500 && elapsed < 15000, qPrintable(QString::number(elapsed)));
        QVERIFY2(ticks >= 20, qPrintable(QString::number(ticks))); // the event loop kept turning
        QCOMPARE(manager.statusMessage(),
                 startAnother ? QStringLiteral("Ready — Other") : QStringLiteral("No model loaded"));
        QCOMPARE(manager.serverProcess() != nullptr, startAnother);
        run(manager.stopServer());
    }

    // None of the ways an app ends may leave the engine behind, and the app's own quit is
    // quick: within the shutdown bound (plus half a second) for an engine that ignores the
    // request to terminate, and within a second, so without a kill, for one that honours it.
    // Unless it is killed, the app writes the archive save it was asked for last.
    void appEnds_data()
    {
        // "signal": sent to the app, 0 for none; "withinMs": after the signal, 0 when not timed
        columns<QString, bool, int, int, int>("mode", "lingering", "signal", "boundMs", "withinMs");
        QTest::newRow("quit on SIGTERM") << "app" << false << int(SIGTERM) << 5000 << 1000;
        QTest::newRow("quit on SIGINT") << "app" << false << int(SIGINT) << 5000 << 1000;
        addRow("quit on SIGTERM, lingering engine", "app", true, int(SIGTERM), 1000, 1500);
        QTest::newRow("quit without shutdown") << "destroy" << false << 0 << 5000 << 0;
        addRow("quit without shutdown, lingering engine", "destroy", true, 0, 5000, 0);
        QTest::newRow("app killed") << "wait" << false << int(SIGKILL) << 5000 << 0;
        addRow("app killed, lingering engine", "wait", true, int(SIGKILL), 5000, 0);
    }

    void appEnds()
    {
        const auto [mode, lingering] = fetch<QString, bool>("mode", "lingering");
        const auto [signal, boundMs, withinMs]
            = fetch<int, int, int>("signal", "boundMs", "withinMs");
        setStartup(lingering ? QStringLiteral(R"({"ignore_sigterm":true})") : QString());
        const QString archive = Preferences::dataFile(QStringLiteral("chatSessions"));
        QFile::remove(archive);
        QProcess host;
        host.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        host.start(qEnvironmentVariable("ENGINE_HOST"),
                   {mode,
                    QString::number(freePort()),
                    StandinEngine::executable(),
                    QString::number(boundMs)});
        QVERIFY(host.waitForStarted(10000));
        QTRY_VERIFY_WITH_TIMEOUT(host.canReadLine() || host.state() == QProcess::NotRunning, 20000);
        const QByteArray line = host.readLine().trimmed();
        const qint64 enginePid = line.mid(11).toLongLong();
        QVERIFY2(line.startsWith("ENGINE_PID ") && enginePid > 0, line.constData());

        QElapsedTimer clock;
        clock.start();
        if (signal) {
            QVERIFY(!processGone(enginePid));
            ::kill(pid_t(host.processId()), signal);
        }
        QVERIFY(host.state() == QProcess::NotRunning || host.waitForFinished(20000));
        const qint64 elapsed = clock.elapsed();
        if (signal != SIGKILL) {
            QCOMPARE(host.exitStatus(), QProcess::NormalExit);
            QCOMPARE(host.exitCode(), 0);
        }
        if (withinMs) {
            QVERIFY2(elapsed < withinMs, qPrintable(QString::number(elapsed)));
            QVERIFY(processGone(enginePid));
        }
        QTRY_VERIFY_WITH_TIMEOUT(processGone(enginePid), 10000);
        const auto saved = openChatsFile(archive).sessions;
        QCOMPARE(saved && saved->first().title == QStringLiteral("Saved at the end"),
                 signal != SIGKILL);
    }
};

TOVRA_TEST_MAIN(ServerManagerTest, QCoreApplication)
#include "tst_servermanager.moc"

// Starting the engine against real stand-in processes: the command line, the
// status texts, every recognised failure kind and both retry chains.
#include "tests/engine/enginetesthelpers.h"
#include "tests/support/testenvironment.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTest>

using namespace enginetest;

namespace {

const QString model = QStringLiteral("/models/qwen.gguf");
const QString name = QStringLiteral("Qwen 2.5 3B Instruct Q4_K_M");
const QString failed = QStringLiteral("Failed to start — see error below");

QString line(int ctx, const QString &tail = {})
{
    return QStringLiteral("--model /models/qwen.gguf --ctx-size %1 --port PORT --host 127.0.0.1 "
                          "--n-predict -1")
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
std::optional<int> optionalInt(int value)
{
    return value < 0 ? std::nullopt : std::optional<int>(value);
}
std::optional<QString> orNone(const QString &text)
{
    return text == QLatin1String("-") ? std::nullopt : std::optional(text);
}

// One start: the stand-in's behaviour per attempt, the first start's adjustments (-1 for
// none), the status texts in order (the last is the final one), the error ("-" for none)
// the command line of every attempt, and the health poll interval.
struct Start
{
    QString startup;
    int gpuLayers;
    bool noMmap;
    int contextSize;
    QStringList statuses;
    QString error;
    QStringList attempts;
    int pollMs = 50;
};

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
Q_DECLARE_METATYPE(Start)

class ServerStartTest : public QObject
{
    Q_OBJECT

private slots:
    void init() { failOnUnexpectedWarnings(); }
    void cleanup()
    {
        setStartup({});
        QDir(ServerManager::metalStubDirectory().value()).removeRecursively();
    }

    void start_data()
    {
        QTest::addColumn<Start>("row");
        const QString memoryError
            = QStringLiteral("Memory error — retrying with direct file read…");
        const QString memoryPressure
            = QStringLiteral("Memory pressure — retrying with reduced context (2048)…");
        const QString gpu = QStringLiteral("GPU incompatible — building CPU-only workaround…");
        const QString retryGpu = QStringLiteral("Retrying without Metal GPU…");
        const QString incompatible = QStringLiteral("Failed — model incompatible or too large");
        const QString cpu = QStringLiteral(" (CPU only)");
        const QString advice = ServerManager::repeatedCrashAdvice();
        QStringList timedOut{starting()};
        for (int seconds = 5; seconds <= 60; seconds += 5)
            timedOut << QStringLiteral("Loading… %1s (large models take up to 60s)").arg(seconds);
        timedOut << QStringLiteral("Timed out — try a smaller model or quantization (Q4_K_M)");

        QTest::newRow("defaults") << Start{"",
                                           -1,
                                           false,
                                           -1,
                                           {starting(), ready()},
                                           "-",
                                           {line(8192)}};
        QTest::newRow("cpu only, no mmap, small context")
            << Start{"",
                     0,
                     true,
                     2048,
                     {starting(" (CPU only) (no-mmap) (ctx 2048)"), ready(cpu)},
                     "-",
                     {line(2048, "--n-gpu-layers 0 --no-mmap")}};
        QTest::newRow("some gpu layers") << Start{"",
                                                  12,
                                                  false,
                                                  4096,
                                                  {starting(" (ctx 4096)"), ready()},
                                                  "-",
                                                  {line(4096, "--n-gpu-layers 12")}};
        // An engine logs megabytes while loading; an undrained pipe would stall it.
        QTest::newRow("flooded error stream") << Start{R"({"stderr_flood":2097152})",
                                                       -1,
                                                       false,
                                                       -1,
                                                       {starting(), ready()},
                                                       "-",
                                                       {line(8192)}};

        QTest::newRow("exit 1, silent")
            << Start{R"({"exit":{"status":1}})", -1, false, -1, {failed}, "[exit 1]", {line(8192)}};
        QTest::newRow("exit 2 with error text") << Start{
            R"({"exit":{"after_ms":100,"status":2,"stderr":"\n  error: failed to load model '/models/qwen.gguf'\n\n"}})",
            -1,
            false,
            -1,
            {failed},
            "error: failed to load model '/models/qwen.gguf'\n[exit 2]",
            {line(8192)}};
        QTest::newRow("killed by signal 9")
            << Start{R"({"exit":{"after_ms":100,"signal":"SIGKILL"}})",
                     -1,
                     false,
                     -1,
                     {failed},
                     "[crash signal 9]",
                     {line(8192)}};
        QTest::newRow("segmentation fault")
            << Start{R"({"exit":{"signal":"SIGSEGV","stderr":"oops"}})",
                     -1,
                     false,
                     -1,
                     {failed},
                     QStringLiteral("oops\n[crash signal %1]").arg(SIGSEGV),
                     {line(8192)}};
        QTest::newRow("undecodable error text counts as empty")
            << Start{R"({"exit":{"status":3,"stderr":"bad byte: ","stderr_bytes":[255]}})",
                     -1,
                     false,
                     -1,
                     {failed},
                     "[exit 3]",
                     {line(8192)}};

        QTest::newRow("time-out with error text")
            << Start{R"({"never_healthy":true,"stderr":"llama_model_load: loading tensors\n"})",
                     -1,
                     false,
                     -1,
                     timedOut,
                     "llama_model_load: loading tensors",
                     {line(8192)},
                     20};
        QTest::newRow("time-out, silent")
            << Start{R"({"never_healthy":true})", -1, false, -1, timedOut, "-", {line(8192)}, 20};

        // Bus errors: the memory chain.
        const QString bus = QStringLiteral(R"({"exit":{"after_ms":50,"signal":"SIGBUS"}})");
        QTest::newRow("bus error every time: two retries, then the advice")
            << Start{bus,
                     -1,
                     false,
                     -1,
                     {memoryError,
                      starting(" (no-mmap)"),
                      memoryPressure,
                      starting(" (no-mmap) (ctx 2048)"),
                      incompatible},
                     advice,
                     {line(8192), line(8192, "--no-mmap"), line(2048, "--no-mmap")}};
        QTest::newRow("bus error, explicit context kept on the first retry")
            << Start{bus,
                     -1,
                     false,
                     4096,
                     {memoryError, incompatible},
                     advice,
                     {line(4096), line(4096, "--no-mmap")}};
        QTest::newRow("bus error without mmap and explicit context: no retry")
            << Start{bus, -1, true, 4096, {incompatible}, advice, {line(4096, "--no-mmap")}};
        QTest::newRow("bus error, then healthy without mmap")
            << Start{R"([{"when":"--no-mmap"},{"exit":{"signal":"SIGBUS"}}])",
                     -1,
                     false,
                     -1,
                     {memoryError, ready()},
                     "-",
                     {line(8192), line(8192, "--no-mmap")}};

        // The GPU chain.
        const QString metal = QStringLiteral(
            R"([{"when":"--n-gpu-layers 0"},{"exit":{"status":1,"stderr":"GGML_METAL_INIT: error: failed to allocate"}}])");
        QTest::newRow("metal failure (upper case), CPU-only retry drops the context")
            << Start{metal,
                     -1,
                     false,
                     4096,
                     {gpu, retryGpu, starting(cpu), ready(cpu)},
                     "-",
                     {line(4096), line(8192, "--n-gpu-layers 0")}};
        QTest::newRow("metal failure keeps no-mmap")
            << Start{metal,
                     -1,
                     true,
                     -1,
                     {gpu, retryGpu, ready(cpu)},
                     "-",
                     {line(8192, "--no-mmap"), line(8192, "--n-gpu-layers 0 --no-mmap")}};
        QTest::newRow("metal text on a start with gpu layers given is just a failure")
            << Start{metal,
                     12,
                     false,
                     -1,
                     {failed},
                     "GGML_METAL_INIT: error: failed to allocate\n[exit 1]",
                     {line(8192, "--n-gpu-layers 12")}};
        QTest::newRow("metal text after a crash signal") << Start{
            R"({"exit":{"signal":"SIGABRT","stderr":"ggml_metal_graph_compute: command buffer 0 failed"}})",
            0,
            false,
            -1,
            {failed},
            QStringLiteral("ggml_metal_graph_compute: command buffer 0 failed\n[crash signal %1]")
                .arg(SIGABRT),
            {line(8192, "--n-gpu-layers 0")}};
        QTest::newRow("gpu chain into the memory chain") << Start{
            R"([{"when":"--n-gpu-layers 0 --no-mmap"},{"when":"--n-gpu-layers 0","exit":{"signal":"SIGBUS"}},
                        {"exit":{"status":1,"stderr":"ggml_metal_init: error"}}])",
            -1,
            false,
            -1,
            {gpu, retryGpu, memoryError, starting(" (CPU only) (no-mmap)"), ready(cpu)},
            "-",
            {line(8192), line(8192, "--n-gpu-layers 0"), line(8192, "--n-gpu-layers 0 --no-mmap")}};
    }

    void start()
    {
        QFETCH(Start, row);
        ArgsLog args;
        setStartup(row.startup);
        ServerManager manager(standinOptions(std::chrono::milliseconds(row.pollMs)));
        StatusLog status(manager);
        QSet<qint64> pids; // of every attempt
        connect(&manager, &ServerManager::statusMessageChanged, this, [&] {
            if (manager.serverProcess())
                pids << manager.serverProcess()->processId();
        });
        run(manager.startServer(model,
                                name,
                                optionalInt(row.gpuLayers),
                                std::nullopt,
                                row.noMmap,
                                optionalInt(row.contextSize)));

        QCOMPARE(manager.statusMessage(), row.statuses.last());
        QVERIFY2(status.containsInOrder(row.statuses),
                 qPrintable(status.texts.join(QStringLiteral(" | "))));
        QCOMPARE(manager.lastLaunchError(), orNone(row.error));
        QCOMPARE(args.lines(manager.port()), row.attempts);
        QVERIFY(!manager.isStarting());
        const bool isReady = row.statuses.last().startsWith(QStringLiteral("Ready"));
        QCOMPARE(manager.isRunning(), isReady);
        QCOMPARE(manager.activeModelPath(), isReady ? std::optional(model) : std::nullopt);
        QCOMPARE(manager.activeModelName(), isReady ? std::optional(name) : std::nullopt);
        QCOMPARE(manager.serverProcess() != nullptr, isReady);

        run(manager.stopServer());
        QTRY_VERIFY(std::all_of(pids.cbegin(), pids.cend(), processGone));
        QCOMPARE(manager.statusMessage(), QStringLiteral("No model loaded"));
        QVERIFY(!manager.isRunning());
        QCOMPARE(manager.activeModelPath(), std::nullopt);
        QCOMPARE(manager.serverProcess(), nullptr);
        QCOMPARE(manager.lastLaunchError(), orNone(row.error)); // a stop keeps the last error
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
            QVERIFY(manager.lastLaunchErrorText().startsWith(
                QStringLiteral("ggml_metal_init: error: could not create")));
            QVERIFY(manager.lastLaunchErrorText().endsWith(QStringLiteral("\n[exit 1]")));
            return;
        }
        QCOMPARE(manager.statusMessage(), ready(QStringLiteral(" (CPU only)")));
        const QDir folder(ServerManager::metalStubDirectory().value());
        QVERIFY(folder.path().endsWith(QStringLiteral("Tovra AI/metal-stub")));
        QVERIFY(QFileInfo(folder.filePath(ServerManager::metalStubLibraryName())).isFile());
        QFile source(folder.filePath(QStringLiteral("metal_stub.c")));
        QVERIFY(source.open(QIODevice::ReadOnly));
        QCOMPARE(source.readAll(), QByteArray("void ggml_backend_metal_reg(void) {}"));
        run(manager.stopServer());

        // A second build finds the library and does not run the compiler again.
        options.compiler = QStringLiteral("/bin/false");
        ServerManager again(options);
        QCOMPARE(QCoro::waitFor(again.buildMetalStub()), std::optional<QString>(folder.path()));
    }

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

    void diesAfterReady_data()
    {
        QTest::addColumn<QString>("startup");
        QTest::addColumn<QString>("error");
        QTest::newRow("killed") << R"({"after_healthy":{"after_ms":300,"signal":"SIGKILL"}})"
                                << "[crash signal 9]";
        QTest::newRow("assertion")
            << R"({"after_healthy":{"after_ms":300,"status":134,"stderr":"GGML_ASSERT(n > 0) failed\n"}})"
            << "GGML_ASSERT(n > 0) failed\n[exit 134]";
    }

    // No automatic restart, but no "Ready" either.
    void diesAfterReady()
    {
        QFETCH(QString, startup);
        QFETCH(QString, error);
        setStartup(startup);
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
        QCOMPARE(manager.lastLaunchError(), error);
        QCOMPARE(manager.serverProcess(), nullptr);
    }

    // The search list, an engine found nowhere, and one that cannot be launched.
    void findingTheEngine()
    {
        QTemporaryDir dir;
        const QString notExecutable = dir.filePath(QStringLiteral("llama-server"));
        QFile file(notExecutable);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        const QString absent = dir.filePath(QStringLiteral("absent"));
        const QStringList list{absent,
                               notExecutable,
                               dir.path(),
                               StandinEngine::executable(),
                               QStringLiteral("/bin/sh")};
        QCOMPARE(findServerExecutable(list), StandinEngine::executable());
        QCOMPARE(defaultServerSearchList().first(),
                 QStringLiteral("/opt/homebrew/bin/llama-server"));

        ServerManagerOptions options = standinOptions();
        options.serverSearchList = {absent};
        ServerManager missing(options);
        QVERIFY(!missing.isEngineInstalled());
        QSignalSpy startingChanges(&missing, &ServerManager::isStartingChanged);
        run(missing.startServer(model, name));
        QCOMPARE(missing.statusMessage(),
                 QStringLiteral(
                     "AI engine not found — install llama.cpp via Homebrew in Settings"));
        QCOMPARE(startingChanges.size(), 0);

        ServerManager manager(standinOptions());
        run(manager.startServer(model, name, std::nullopt, notExecutable));
        const QString status = manager.statusMessage();
        QVERIFY2(status.startsWith(QStringLiteral("Launch error: ")) && status.size() > 14,
                 qPrintable(status));
        QVERIFY(!manager.isStarting());
        QCOMPARE(manager.serverProcess(), nullptr);
    }

    // A second start while one is starting is ignored; a start while running stops the
    // running engine first; a stop during the start-up wait ends that start quietly.
    void startsAndStopsOverlapping()
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

        setStartup(R"({"health_delay_ms":60000})");
        run(manager.stopServer());
        auto slow = manager.startServer(model, name);
        QTRY_VERIFY(manager.serverProcess()
                    && manager.serverProcess()->state() == QProcess::Running);
        const qint64 slowPid = manager.serverProcess()->processId();
        run(manager.stopServer());
        QVERIFY(processGone(slowPid));
        run(std::move(slow));
        QTest::qWait(300);
        QCOMPARE(manager.statusMessage(), QStringLiteral("No model loaded"));
        QVERIFY(!manager.isStarting() && !manager.isRunning());
        QCOMPARE(manager.lastLaunchError(), std::nullopt);

        setStartup({});
        run(manager.startServer(model, name));
        QVERIFY(manager.isRunning());
        run(manager.stopServer());
    }
};

TOVRA_TEST_MAIN(ServerStartTest, QCoreApplication)
#include "tst_serverstart.moc"

// Starting the engine against real stand-in processes: the command line, the
// status texts, every recognised failure kind and both retry chains.
#include "enginetesthelpers.h"
#include "testenvironment.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTest>

using namespace enginetest;

namespace {

const QString model = QStringLiteral("/models/qwen.gguf");
const QString name = QStringLiteral("Qwen 2.5 3B Instruct Q4_K_M");
const QString fixed = QStringLiteral("--model /models/qwen.gguf --ctx-size %1 --port PORT --host 127.0.0.1 --n-predict -1");

QString line(int ctx, const QString &tail = {})
{
    return fixed.arg(ctx) + (tail.isEmpty() ? QString() : QLatin1Char(' ') + tail);
}

std::optional<int> optionalInt(int value)
{
    return value < 0 ? std::nullopt : std::optional<int>(value);
}

// Every status text the manager shows, in order.
struct StatusLog
{
    explicit StatusLog(ServerManager &manager)
    {
        QObject::connect(&manager, &ServerManager::statusMessageChanged, &manager,
                         [this, &manager] { texts << manager.statusMessage(); });
    }
    // True when `expected` occur in this order (others may come between).
    bool containsInOrder(const QStringList &expected) const
    {
        qsizetype at = 0;
        for (const QString &text : expected) {
            at = texts.indexOf(text, at);
            if (at < 0)
                return false;
            ++at;
        }
        return true;
    }
    QStringList texts;
};

} // namespace

class ServerStartTest : public QObject
{
    Q_OBJECT

private slots:
    void cleanup()
    {
        setStartup({});
        QDir(ServerManager::metalStubDirectory().value()).removeRecursively();
    }

    void commandLine_data()
    {
        QTest::addColumn<int>("gpuLayers");
        QTest::addColumn<bool>("noMmap");
        QTest::addColumn<int>("contextSize");
        QTest::addColumn<QString>("starting");
        QTest::addColumn<QString>("ready");
        QTest::addColumn<QString>("arguments");

        QTest::newRow("defaults") << -1 << false << -1 << QStringLiteral("Starting %1…").arg(name)
                                  << QStringLiteral("Ready — %1").arg(name) << line(8192);
        QTest::newRow("cpu only, no mmap, small context")
            << 0 << true << 2048 << QStringLiteral("Starting %1 (CPU only) (no-mmap) (ctx 2048)…").arg(name)
            << QStringLiteral("Ready — %1 (CPU only)").arg(name) << line(2048, QStringLiteral("--n-gpu-layers 0 --no-mmap"));
        QTest::newRow("some gpu layers") << 12 << false << 4096 << QStringLiteral("Starting %1 (ctx 4096)…").arg(name)
                                         << QStringLiteral("Ready — %1").arg(name)
                                         << line(4096, QStringLiteral("--n-gpu-layers 12"));
    }

    void commandLine()
    {
        QFETCH(int, gpuLayers);
        QFETCH(bool, noMmap);
        QFETCH(int, contextSize);
        QFETCH(QString, starting);
        QFETCH(QString, ready);
        QFETCH(QString, arguments);

        ArgsLog args;
        ServerManager manager(standinOptions());
        StatusLog status(manager);
        run(manager.startServer(model, name, optionalInt(gpuLayers), std::nullopt, noMmap, optionalInt(contextSize)));

        QCOMPARE(status.texts.first(), starting);
        QCOMPARE(manager.statusMessage(), ready);
        QVERIFY(manager.isRunning());
        QVERIFY(!manager.isStarting());
        QCOMPARE(manager.activeModelPath(), model);
        QCOMPARE(manager.activeModelName(), name);
        QCOMPARE(manager.lastLaunchError(), std::nullopt);
        QCOMPARE(args.lines(manager.port()), QStringList{arguments});

        const qint64 pid = manager.serverProcess()->processId();
        run(manager.stopServer());
        QVERIFY(processGone(pid));
        QCOMPARE(manager.statusMessage(), QStringLiteral("No model loaded"));
        QVERIFY(!manager.isRunning());
        QCOMPARE(manager.activeModelPath(), std::nullopt);
        QCOMPARE(manager.serverProcess(), nullptr);
    }

    // Each row: the stand-in's behaviour per attempt, the first start's adjustments,
    // and what the whole chain must end in.
    void failures_data()
    {
        QTest::addColumn<QString>("startup");
        QTest::addColumn<int>("gpuLayers");
        QTest::addColumn<bool>("noMmap");
        QTest::addColumn<int>("contextSize");
        QTest::addColumn<QString>("finalStatus");
        QTest::addColumn<QString>("error"); // "-" for absent
        QTest::addColumn<QStringList>("attempts");
        QTest::addColumn<QStringList>("statuses");

        const QString failed = QStringLiteral("Failed to start — see error below");
        const QString memoryError = QStringLiteral("Memory error — retrying with direct file read…");
        const QString memoryPressure = QStringLiteral("Memory pressure — retrying with reduced context (2048)…");
        const QString gpu = QStringLiteral("GPU incompatible — building CPU-only workaround…");
        const QString retryGpu = QStringLiteral("Retrying without Metal GPU…");
        const QString incompatible = QStringLiteral("Failed — model incompatible or too large");
        const QString ready = QStringLiteral("Ready — %1").arg(name);
        const QString readyCpu = QStringLiteral("Ready — %1 (CPU only)").arg(name);

        QTest::newRow("exit 1, silent") << R"({"exit":{"status":1}})" << -1 << false << -1 << failed
                                        << "[exit 1]" << QStringList{line(8192)} << QStringList{failed};
        QTest::newRow("exit 2 with error text")
            << R"({"exit":{"after_ms":100,"status":2,"stderr":"\n  error: failed to load model '/models/qwen.gguf'\n\n"}})"
            << -1 << false << -1 << failed << "error: failed to load model '/models/qwen.gguf'\n[exit 2]"
            << QStringList{line(8192)} << QStringList{failed};
        QTest::newRow("killed by signal 9") << R"({"exit":{"after_ms":100,"signal":"SIGKILL"}})" << -1 << false << -1
                                            << failed << "[crash signal 9]" << QStringList{line(8192)}
                                            << QStringList{failed};
        QTest::newRow("segmentation fault") << R"({"exit":{"signal":"SIGSEGV","stderr":"oops"}})" << -1 << false
                                            << -1 << failed << QStringLiteral("oops\n[crash signal %1]").arg(SIGSEGV)
                                            << QStringList{line(8192)} << QStringList{failed};
        QTest::newRow("undecodable error text counts as empty")
            << R"({"exit":{"status":3,"stderr":"bad byte: ","stderr_bytes":[255]}})" << -1 << false << -1 << failed << "[exit 3]"
            << QStringList{line(8192)} << QStringList{failed};

        // Bus errors: the memory chain.
        const QString bus = QStringLiteral(R"({"exit":{"after_ms":50,"signal":"SIGBUS"}})");
        QTest::newRow("bus error every time: two retries, then the advice")
            << bus << -1 << false << -1 << incompatible << ServerManager::repeatedCrashAdvice()
            << QStringList{line(8192), line(8192, QStringLiteral("--no-mmap")), line(2048, QStringLiteral("--no-mmap"))}
            << QStringList{memoryError, QStringLiteral("Starting %1 (no-mmap)…").arg(name), memoryPressure,
                           QStringLiteral("Starting %1 (no-mmap) (ctx 2048)…").arg(name), incompatible};
        QTest::newRow("bus error, explicit context kept on the first retry")
            << bus << -1 << false << 4096 << incompatible << ServerManager::repeatedCrashAdvice()
            << QStringList{line(4096), line(4096, QStringLiteral("--no-mmap"))}
            << QStringList{memoryError, incompatible};
        QTest::newRow("bus error without mmap and explicit context: no retry")
            << bus << -1 << true << 4096 << incompatible << ServerManager::repeatedCrashAdvice()
            << QStringList{line(4096, QStringLiteral("--no-mmap"))} << QStringList{incompatible};
        QTest::newRow("bus error, then healthy without mmap")
            << R"([{"when":"--no-mmap"},{"exit":{"signal":"SIGBUS"}}])" << -1 << false << -1 << ready << "-"
            << QStringList{line(8192), line(8192, QStringLiteral("--no-mmap"))} << QStringList{memoryError, ready};

        // The GPU chain.
        const QString metal = QStringLiteral(
            R"([{"when":"--n-gpu-layers 0"},{"exit":{"status":1,"stderr":"GGML_METAL_INIT: error: failed to allocate"}}])");
        QTest::newRow("metal failure (upper case), CPU-only retry drops the context")
            << metal << -1 << false << 4096 << readyCpu << "-"
            << QStringList{line(4096), line(8192, QStringLiteral("--n-gpu-layers 0"))}
            << QStringList{gpu, retryGpu, QStringLiteral("Starting %1 (CPU only)…").arg(name), readyCpu};
        QTest::newRow("metal failure keeps no-mmap")
            << metal << -1 << true << -1 << readyCpu << "-"
            << QStringList{line(8192, QStringLiteral("--no-mmap")), line(8192, QStringLiteral("--n-gpu-layers 0 --no-mmap"))}
            << QStringList{gpu, retryGpu, readyCpu};
        QTest::newRow("metal text on a start with gpu layers given is just a failure")
            << metal << 12 << false << -1 << failed << "GGML_METAL_INIT: error: failed to allocate\n[exit 1]"
            << QStringList{line(8192, QStringLiteral("--n-gpu-layers 12"))} << QStringList{failed};
        QTest::newRow("metal text after a crash signal")
            << R"({"exit":{"signal":"SIGABRT","stderr":"ggml_metal_graph_compute: command buffer 0 failed"}})" << 0
            << false << -1 << failed
            << QStringLiteral("ggml_metal_graph_compute: command buffer 0 failed\n[crash signal %1]").arg(SIGABRT)
            << QStringList{line(8192, QStringLiteral("--n-gpu-layers 0"))} << QStringList{failed};
        QTest::newRow("gpu chain into the memory chain")
            << R"([{"when":"--n-gpu-layers 0 --no-mmap"},{"when":"--n-gpu-layers 0","exit":{"signal":"SIGBUS"}},
                   {"exit":{"status":1,"stderr":"ggml_metal_init: error"}}])"
            << -1 << false << -1 << readyCpu << "-"
            << QStringList{line(8192), line(8192, QStringLiteral("--n-gpu-layers 0")),
                           line(8192, QStringLiteral("--n-gpu-layers 0 --no-mmap"))}
            << QStringList{gpu, retryGpu, memoryError, QStringLiteral("Starting %1 (CPU only) (no-mmap)…").arg(name),
                           readyCpu};
    }

    void failures()
    {
        QFETCH(QString, startup);
        QFETCH(int, gpuLayers);
        QFETCH(bool, noMmap);
        QFETCH(int, contextSize);
        QFETCH(QString, finalStatus);
        QFETCH(QString, error);
        QFETCH(QStringList, attempts);
        QFETCH(QStringList, statuses);

        ArgsLog args;
        setStartup(startup.toStdString());
        ServerManager manager(standinOptions());
        StatusLog status(manager);
        run(manager.startServer(model, name, optionalInt(gpuLayers), std::nullopt, noMmap, optionalInt(contextSize)));

        QCOMPARE(manager.statusMessage(), finalStatus);
        QVERIFY2(status.containsInOrder(statuses), qPrintable(status.texts.join(QStringLiteral(" | "))));
        QCOMPARE(manager.lastLaunchError(), error == QStringLiteral("-") ? std::nullopt : std::optional<QString>(error));
        QCOMPARE(args.lines(manager.port()), attempts);
        QVERIFY(!manager.isStarting());
        QCOMPARE(manager.isRunning(), finalStatus.startsWith(QStringLiteral("Ready")));
        if (!manager.isRunning()) {
            QCOMPARE(manager.serverProcess(), nullptr);
            QCOMPARE(manager.activeModelPath(), std::nullopt);
        }
        run(manager.stopServer());
    }

    // The CPU-only retry builds a real stub library and hands it to the engine through
    // the loader's search path; here the stand-in refuses to start without it.
    void cpuOnlyStubIsBuiltAndLoaded()
    {
        ArgsLog args;
        setStartup(R"([{"when":"--n-gpu-layers 0","require_stub":true},
                       {"exit":{"status":1,"stderr":"ggml_metal_init: found device"}}])");
        ServerManager manager(standinOptions());
        run(manager.startServer(model, name));

        QCOMPARE(manager.statusMessage(), QStringLiteral("Ready — %1 (CPU only)").arg(name));
        const QDir folder(ServerManager::metalStubDirectory().value());
        QVERIFY(folder.path().endsWith(QStringLiteral("Tovra AI/metal-stub")));
        QVERIFY(QFileInfo(folder.filePath(ServerManager::metalStubLibraryName())).isFile());
        QFile source(folder.filePath(QStringLiteral("metal_stub.c")));
        QVERIFY(source.open(QIODevice::ReadOnly));
        QCOMPARE(source.readAll(), QByteArray("void ggml_backend_metal_reg(void) {}"));
        QCOMPARE(args.lines(manager.port()).size(), 2);
        run(manager.stopServer());

        // A second build finds the library and does not run the compiler again.
        ServerManagerOptions options = standinOptions();
        options.compiler = QStringLiteral("/bin/false");
        ServerManager again(options);
        QCOMPARE(QCoro::waitFor(again.buildMetalStub()), std::optional<QString>(folder.path()));
    }

    // Without the stub the retry still runs, without the library path; the engine then
    // fails for good.
    void stubThatCannotBeBuilt()
    {
        ArgsLog args;
        setStartup(R"([{"when":"--n-gpu-layers 0","require_stub":true},{"exit":{"status":1,"stderr":"ggml_metal_init"}}])");
        ServerManagerOptions options = standinOptions();
        options.compiler = QStringLiteral("/bin/false");
        ServerManager manager(options);
        QCOMPARE(QCoro::waitFor(manager.buildMetalStub()), std::nullopt);
        run(manager.startServer(model, name));

        QCOMPARE(manager.statusMessage(), QStringLiteral("Failed to start — see error below"));
        QVERIFY(manager.lastLaunchErrorText().startsWith(QStringLiteral("ggml_metal_init: error: could not create")));
        QVERIFY(manager.lastLaunchErrorText().endsWith(QStringLiteral("\n[exit 1]")));
        QCOMPARE(args.lines(manager.port()).size(), 2);
    }

    void timeOut_data()
    {
        QTest::addColumn<QString>("startup");
        QTest::addColumn<QString>("error");
        QTest::newRow("with error text") << R"({"never_healthy":true,"stderr":"llama_model_load: loading tensors\n"})"
                                         << "llama_model_load: loading tensors";
        QTest::newRow("silent") << R"({"never_healthy":true})" << "-";
    }

    void timeOut()
    {
        QFETCH(QString, startup);
        QFETCH(QString, error);
        setStartup(startup.toStdString());
        ServerManager manager(standinOptions(std::chrono::milliseconds(20)));
        StatusLog status(manager);
        qint64 pid = 0;
        connect(&manager, &ServerManager::statusMessageChanged, &manager, [&] {
            if (manager.serverProcess() && pid == 0)
                pid = manager.serverProcess()->processId();
        });
        run(manager.startServer(model, name));

        const QStringList expected{QStringLiteral("Starting %1…").arg(name),
                                   QStringLiteral("Loading… 5s (large models take up to 60s)"),
                                   QStringLiteral("Loading… 10s (large models take up to 60s)"),
                                   QStringLiteral("Loading… 15s (large models take up to 60s)"),
                                   QStringLiteral("Loading… 20s (large models take up to 60s)"),
                                   QStringLiteral("Loading… 25s (large models take up to 60s)"),
                                   QStringLiteral("Loading… 30s (large models take up to 60s)"),
                                   QStringLiteral("Loading… 35s (large models take up to 60s)"),
                                   QStringLiteral("Loading… 40s (large models take up to 60s)"),
                                   QStringLiteral("Loading… 45s (large models take up to 60s)"),
                                   QStringLiteral("Loading… 50s (large models take up to 60s)"),
                                   QStringLiteral("Loading… 55s (large models take up to 60s)"),
                                   QStringLiteral("Loading… 60s (large models take up to 60s)"),
                                   QStringLiteral("Timed out — try a smaller model or quantization (Q4_K_M)")};
        QCOMPARE(status.texts, expected);
        QCOMPARE(manager.lastLaunchError(), error == QStringLiteral("-") ? std::nullopt : std::optional<QString>(error));
        QVERIFY(!manager.isStarting());
        QVERIFY(!manager.isRunning());
        QCOMPARE(manager.serverProcess(), nullptr);
        QVERIFY(pid > 0);
        QTRY_VERIFY(processGone(pid));
    }

    // An engine logs several megabytes while loading; an undrained pipe would stall it.
    void floodedErrorStreamStillStarts()
    {
        setStartup(R"({"stderr_flood":2097152})");
        ServerManager manager(standinOptions());
        run(manager.startServer(model, name));
        QCOMPARE(manager.statusMessage(), QStringLiteral("Ready — %1").arg(name));
        run(manager.stopServer());
    }

    void floodedErrorStreamKeepsTheTail()
    {
        setStartup(R"({"stderr_flood":2097152,"exit":{"status":1,"stderr":"error: out of memory"}})");
        ServerManager manager(standinOptions());
        run(manager.startServer(model, name));
        QCOMPARE(manager.statusMessage(), QStringLiteral("Failed to start — see error below"));
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
        QTest::newRow("killed") << R"({"after_healthy":{"after_ms":300,"signal":"SIGKILL"}})" << "[crash signal 9]";
        QTest::newRow("assertion") << R"({"after_healthy":{"after_ms":300,"status":134,"stderr":"GGML_ASSERT(n > 0) failed\n"}})"
                                   << "GGML_ASSERT(n > 0) failed\n[exit 134]";
    }

    // No automatic restart, but no "Ready" either.
    void diesAfterReady()
    {
        QFETCH(QString, startup);
        QFETCH(QString, error);
        setStartup(startup.toStdString());
        ServerManager manager(standinOptions());
        run(manager.startServer(model, name));
        QVERIFY(manager.isRunning());
        QSignalSpy running(&manager, &ServerManager::isRunningChanged);

        QTRY_COMPARE_WITH_TIMEOUT(manager.statusMessage(),
                                  QStringLiteral("Engine stopped unexpectedly — see error below"), 10000);
        QVERIFY(!manager.isRunning());
        QVERIFY(!manager.isStarting());
        QCOMPARE(running.size(), 1);
        QCOMPARE(manager.activeModelPath(), std::nullopt);
        QCOMPARE(manager.activeModelName(), std::nullopt);
        QCOMPARE(manager.lastLaunchError(), error);
        QCOMPARE(manager.serverProcess(), nullptr);
    }

    void engineMissingOnlyChangesTheStatus()
    {
        ServerManagerOptions options = standinOptions();
        setStartup(R"({"exit":{"status":1}})");
        ServerManager manager(options);
        run(manager.startServer(model, name));
        QCOMPARE(manager.lastLaunchError(), QStringLiteral("[exit 1]"));

        ServerManagerOptions missing = options;
        missing.serverSearchList = {QStringLiteral("/nonexistent/llama-server")};
        ServerManager other(missing);
        QCOMPARE(other.findServerExecutable(), std::nullopt);
        QVERIFY(!other.isEngineInstalled());
        QSignalSpy starting(&other, &ServerManager::isStartingChanged);
        run(other.startServer(model, name));
        QCOMPARE(other.statusMessage(), QStringLiteral("AI engine not found — install llama.cpp via Homebrew in Settings"));
        QCOMPARE(starting.size(), 0);
    }

    void searchListOrder()
    {
        QTemporaryDir dir;
        const QString notExecutable = dir.filePath(QStringLiteral("llama-server"));
        QFile file(notExecutable);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        const QStringList list{dir.filePath(QStringLiteral("absent")), notExecutable, dir.path(),
                               StandinEngine::executable(), QStringLiteral("/bin/sh")};
        QCOMPARE(findServerExecutable(list), StandinEngine::executable());
        QCOMPARE(findServerExecutable({}), std::nullopt);
        QCOMPARE(defaultServerSearchList().first(), QStringLiteral("/opt/homebrew/bin/llama-server"));
    }

    void launchError()
    {
        QTemporaryDir dir;
        const QString notExecutable = dir.filePath(QStringLiteral("llama-server"));
        QFile file(notExecutable);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        ServerManager manager(standinOptions());
        run(manager.startServer(model, name, std::nullopt, notExecutable));
        QVERIFY2(manager.statusMessage().startsWith(QStringLiteral("Launch error: ")), qPrintable(manager.statusMessage()));
        QVERIFY(manager.statusMessage().size() > 14);
        QVERIFY(!manager.isStarting());
        QCOMPARE(manager.serverProcess(), nullptr);
    }

    void secondStartWhileStartingIsIgnored()
    {
        ArgsLog args;
        setStartup(R"({"health_delay_ms":800})");
        ServerManager manager(standinOptions());
        auto first = manager.startServer(model, name);
        QVERIFY(manager.isStarting());
        StatusLog status(manager);
        QSignalSpy starting(&manager, &ServerManager::isStartingChanged);
        run(manager.startServer(QStringLiteral("/models/other.gguf"), QStringLiteral("Other")));
        QVERIFY(status.texts.isEmpty());
        QCOMPARE(starting.size(), 0);
        run(std::move(first));
        QCOMPARE(manager.statusMessage(), QStringLiteral("Ready — %1").arg(name));
        QCOMPARE(args.lines(manager.port()).size(), 1);
        run(manager.stopServer());
    }

    void startWhileRunningStopsFirst()
    {
        ArgsLog args;
        ServerManager manager(standinOptions());
        run(manager.startServer(model, name));
        const qint64 firstPid = manager.serverProcess()->processId();
        StatusLog status(manager);
        run(manager.startServer(QStringLiteral("/models/other.gguf"), QStringLiteral("Other")));

        QCOMPARE(status.texts, (QStringList{QStringLiteral("No model loaded"), QStringLiteral("Starting Other…"),
                                            QStringLiteral("Ready — Other")}));
        QVERIFY(processGone(firstPid));
        QCOMPARE(manager.activeModelPath(), QStringLiteral("/models/other.gguf"));
        QCOMPARE(args.lines(manager.port()).size(), 2);
        run(manager.stopServer());
    }

    // A stop during the start-up wait ends that start quietly: the user asked for it.
    void stopDuringStartupWait()
    {
        setStartup(R"({"health_delay_ms":60000})");
        ServerManager manager(standinOptions());
        auto start = manager.startServer(model, name);
        QTRY_VERIFY(manager.serverProcess() && manager.serverProcess()->state() == QProcess::Running);
        const qint64 pid = manager.serverProcess()->processId();
        run(manager.stopServer());
        QVERIFY(processGone(pid));
        run(std::move(start));
        QTest::qWait(300);
        QCOMPARE(manager.statusMessage(), QStringLiteral("No model loaded"));
        QVERIFY(!manager.isStarting());
        QVERIFY(!manager.isRunning());
        QCOMPARE(manager.lastLaunchError(), std::nullopt);

        // The manager can start again afterwards.
        setStartup({});
        run(manager.startServer(model, name));
        QVERIFY(manager.isRunning());
        run(manager.stopServer());
    }

    // The health check is a plain GET against the port; a 503 while loading is not healthy.
    void healthCheck()
    {
        ServerManagerOptions options = standinOptions();
        ServerManager manager(options);
        QCOMPARE(manager.baseURL(), QStringLiteral("http://127.0.0.1:%1").arg(options.port));
        QVERIFY(!QCoro::waitFor(manager.checkHealth()));

        setStartup(R"({"never_healthy":true})");
        {
            StandinEngine loading({}, QProcessEnvironment::systemEnvironment());
            ServerManagerOptions at = options;
            at.port = loading.port();
            ServerManager probe(at);
            QVERIFY(!QCoro::waitFor(probe.checkHealth()));
        }
        setStartup({});
        StandinEngine healthy;
        ServerManagerOptions at = options;
        at.port = healthy.port();
        ServerManager probe(at);
        QVERIFY(QCoro::waitFor(probe.checkHealth()));
    }
};

TOVRA_TEST_MAIN(ServerStartTest, QCoreApplication)
#include "tst_serverstart.moc"

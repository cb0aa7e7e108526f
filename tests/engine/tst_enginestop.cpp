// Stopping the engine: without freezing the app, by force when it lingers, and
// never leaving it behind when the app quits or dies.
#include "enginetesthelpers.h"
#include "testenvironment.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

using namespace enginetest;

namespace {
const QString model = QStringLiteral("/models/m.gguf");
const QString name = QStringLiteral("M");
} // namespace

class EngineStopTest : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { setStartup({}); }

    // A real engine streaming a reply takes about 30 s to honour a terminate request.
    void lingeringEngineIsKilledWithoutFreezing()
    {
        setStartup(R"({"ignore_sigterm":true})");
        ServerManager manager(standinOptions());
        run(manager.startServer(model, name));
        QVERIFY(manager.isRunning());
        const qint64 pid = manager.serverProcess()->processId();

        int ticks = 0;
        QTimer ticker;
        connect(&ticker, &QTimer::timeout, this, [&] { ++ticks; });
        ticker.start(50);
        QElapsedTimer clock;
        clock.start();
        run(manager.stopServer());
        const qint64 elapsed = clock.elapsed();

        QVERIFY(processGone(pid));
        QVERIFY2(elapsed >= 2500 && elapsed < 15000, qPrintable(QString::number(elapsed)));
        // The event loop kept turning while the stop waited.
        QVERIFY2(ticks >= 20, qPrintable(QString::number(ticks)));
        QCOMPARE(manager.statusMessage(), QStringLiteral("No model loaded"));
        QVERIFY(!manager.isRunning());
        QCOMPARE(manager.serverProcess(), nullptr);
    }

    // Loading another model while the previous engine is still being stopped.
    void startDuringALingeringStop()
    {
        setStartup(R"({"ignore_sigterm":true})");
        ServerManager manager(standinOptions());
        run(manager.startServer(model, name));
        const qint64 pid = manager.serverProcess()->processId();
        auto stop = manager.stopServer();
        setStartup({});
        run(manager.startServer(QStringLiteral("/models/other.gguf"), QStringLiteral("Other")));
        run(std::move(stop));
        QVERIFY(processGone(pid));
        QCOMPARE(manager.statusMessage(), QStringLiteral("Ready — Other"));
        QVERIFY(manager.isRunning());
        QCOMPARE(manager.activeModelName(), QStringLiteral("Other"));
        run(manager.stopServer());
    }

    void stopKeepsTheLastLaunchError()
    {
        setStartup(R"({"exit":{"status":1,"stderr":"error: bad model"}})");
        ServerManager manager(standinOptions());
        run(manager.startServer(model, name));
        QCOMPARE(manager.lastLaunchError(), QStringLiteral("error: bad model\n[exit 1]"));
        QSignalSpy status(&manager, &ServerManager::statusMessageChanged);
        run(manager.stopServer());
        QCOMPARE(manager.statusMessage(), QStringLiteral("No model loaded"));
        QCOMPARE(status.size(), 1);
        QCOMPARE(manager.lastLaunchError(), QStringLiteral("error: bad model\n[exit 1]"));
        // Stopping with nothing running is harmless.
        run(manager.stopServer());
        QCOMPARE(manager.statusMessage(), QStringLiteral("No model loaded"));
    }

    void shutdownEndsTheEngine()
    {
        ServerManager manager(standinOptions());
        run(manager.startServer(model, name));
        const qint64 pid = manager.serverProcess()->processId();
        run(manager.shutdown());
        QVERIFY(processGone(pid));
        QVERIFY(!manager.isRunning());
        QCOMPARE(manager.statusMessage(), QStringLiteral("No model loaded"));
    }

    // The ways an app ends; none may leave the engine behind.
    void appEnds_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<QString>("startup");
        QTest::newRow("orderly shutdown") << "shutdown" << "";
        QTest::newRow("orderly shutdown, lingering engine") << "shutdown" << R"({"ignore_sigterm":true})";
        QTest::newRow("quit without shutdown") << "destroy" << "";
        QTest::newRow("quit without shutdown, lingering engine") << "destroy" << R"({"ignore_sigterm":true})";
        QTest::newRow("app killed") << "wait" << "";
        QTest::newRow("app killed, lingering engine") << "wait" << R"({"ignore_sigterm":true})";
    }

    void appEnds()
    {
        QFETCH(QString, mode);
        QFETCH(QString, startup);
        setStartup(startup.toStdString());
        QProcess host;
        host.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        host.start(qEnvironmentVariable("ENGINE_HOST"),
                   {mode, QString::number(freePort()), StandinEngine::executable()});
        QVERIFY(host.waitForStarted(10000));
        QTRY_VERIFY_WITH_TIMEOUT(host.canReadLine() || host.state() == QProcess::NotRunning, 20000);
        const QByteArray line = host.readLine().trimmed();
        QVERIFY2(line.startsWith("ENGINE_PID "), line.constData());
        const qint64 enginePid = line.mid(11).toLongLong();
        QVERIFY(enginePid > 0);

        if (mode == QLatin1String("wait")) {
            QVERIFY(!processGone(enginePid));
            ::kill(pid_t(host.processId()), SIGKILL);
        }
        QVERIFY(host.state() == QProcess::NotRunning || host.waitForFinished(20000));
        if (mode != QLatin1String("wait")) {
            QCOMPARE(host.exitStatus(), QProcess::NormalExit);
            QCOMPARE(host.exitCode(), 0);
        }
        QTRY_VERIFY_WITH_TIMEOUT(processGone(enginePid), 10000);
    }
};

TOVRA_TEST_MAIN(EngineStopTest, QCoreApplication)
#include "tst_enginestop.moc"

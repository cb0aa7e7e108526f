// Stopping the engine: without freezing the app, by force when it lingers, and
// never leaving it behind when the app quits or dies.
#include "core/archive.h"
#include "tests/engine/enginetesthelpers.h"
#include "tests/support/testenvironment.h"

#include "platform/preferences.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
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
    void init() { failOnUnexpectedWarnings(); }
    void cleanup() { setStartup({}); }

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
        QTest::addColumn<QString>("mode");
        QTest::addColumn<bool>("lingering");
        QTest::addColumn<int>("signal"); // sent to the app; 0: none
        QTest::addColumn<int>("boundMs");
        QTest::addColumn<int>("withinMs"); // of the signal; 0: not timed
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
        QFETCH(QString, mode);
        QFETCH(bool, lingering);
        QFETCH(int, signal);
        QFETCH(int, boundMs);
        QFETCH(int, withinMs);
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

TOVRA_TEST_MAIN(EngineStopTest, QCoreApplication)
#include "tst_enginestop.moc"

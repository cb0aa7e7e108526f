// Stopping the engine: without freezing the app, by force when it lingers, and
// never leaving it behind when the app quits or dies.
#include "tests/engine/enginetesthelpers.h"
#include "tests/support/testenvironment.h"

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

    // None of the ways an app ends may leave the engine behind.
    void appEnds_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<QString>("startup");
        const QString lingering = QStringLiteral(R"({"ignore_sigterm":true})");
        const std::pair<const char *, const char *> ends[] = {{"shutdown", "orderly shutdown"},
                                                              {"destroy", "quit without shutdown"},
                                                              {"wait", "app killed"}};
        for (const auto &[mode, label] : ends) {
            QTest::addRow("%s", label) << mode << QString();
            QTest::addRow("%s, lingering engine", label) << mode << lingering;
        }
    }

    void appEnds()
    {
        QFETCH(QString, mode);
        QFETCH(QString, startup);
        setStartup(startup);
        QProcess host;
        host.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        host.start(qEnvironmentVariable("ENGINE_HOST"),
                   {mode, QString::number(freePort()), StandinEngine::executable()});
        QVERIFY(host.waitForStarted(10000));
        QTRY_VERIFY_WITH_TIMEOUT(host.canReadLine() || host.state() == QProcess::NotRunning, 20000);
        const QByteArray line = host.readLine().trimmed();
        const qint64 enginePid = line.mid(11).toLongLong();
        QVERIFY2(line.startsWith("ENGINE_PID ") && enginePid > 0, line.constData());

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

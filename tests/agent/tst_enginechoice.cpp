// What the screens show of the engine in use: this computer's (the stand-in engine) in each of
// its states, or a remote one restored from the preferences as at launch (no server needed:
// nothing is sent until a turn).
#include "agent/enginechoice.h"
#include "agent/remoteengine.h"
#include "platform/preferencekeys.h"
#include "platform/preferences.h"
#include "tests/engine/enginetesthelpers.h"

#include <QGuiApplication>

class EngineChoiceTest : public QObject
{
    Q_OBJECT

private slots:
    void init() { failOnUnexpectedWarnings(); }

    void shown_data()
    {
        columns<QString, QString, QString, QString, QString, bool>("engine",
                                                                   "model",
                                                                   "status",
                                                                   "modelName",
                                                                   "remoteLabel",
                                                                   "isRunning");
        addRow("local idle", "idle", "", "No model loaded", "", "", false);
        addRow("local starting", "starting", "Tiny Q4_K_M", "Starting Tiny Q4_K_M…", "", "", false);
        addRow("local running",
               "running",
               "Tiny Q4_K_M",
               "Ready — Tiny Q4_K_M",
               "Tiny Q4_K_M",
               "",
               true);
        addRow("remote",
               "remote",
               "standin-small",
               "Remote: 127.0.0.1 — standin-small",
               "standin-small",
               "Remote: 127.0.0.1",
               true);
        addRow("remote server path",
               "remote",
               "/models/foo/bar-Q4_K_M.gguf",
               "Remote: 127.0.0.1 — bar-Q4_K_M",
               "bar-Q4_K_M",
               "Remote: 127.0.0.1",
               true);
        addRow("remote hub id",
               "remote",
               "meta-llama/Llama-3.2-3B-Instruct",
               "Remote: 127.0.0.1 — meta-llama/Llama-3.2-3B-Instruct",
               "meta-llama/Llama-3.2-3B-Instruct",
               "Remote: 127.0.0.1",
               true);
    }

    // While the remote engine is in use the local one does not start; leaving it lets it.
    void shown()
    {
        const auto [engine, model] = fetch<QString, QString>("engine", "model");
        const bool remoteInUse = engine == "remote";
        Preferences::setString(PreferenceKey::remoteEngineAddress, "https://127.0.0.1:9");
        Preferences::setString(PreferenceKey::remoteEngineModel, model);
        Preferences::setBoolean(PreferenceKey::remoteEngineInUse, remoteInUse);
        ServerManager local(enginetest::standinOptions());
        RemoteEngine remote(QStringLiteral("Tovra AI tests"));
        EngineChoice choice(&local, &remote);
        QSignalSpy remoteChanged(&choice, &EngineChoice::isRemoteChanged);
        QCoro::waitFor(remote.restore());
        QCOMPARE(remoteChanged.size(), remoteInUse ? 1 : 0);
        QCOMPARE(choice.remoteClient(), remoteInUse ? remote.client() : nullptr);
        if (engine != "idle")
            local.startServer(QStringLiteral("/models/tiny.gguf"), model);
        QCOMPARE(choice.isStarting(), !remoteInUse && engine != "idle");
        if (engine == "running")
            QTRY_VERIFY_WITH_TIMEOUT(local.isRunning(), 30000);
        QCOMPARE(choice.isStarting(), engine == "starting");

        QTEST(choice.statusMessage(), "status");
        QTEST(choice.modelName(), "modelName");
        QTEST(choice.remoteLabel(), "remoteLabel");
        QTEST(choice.isRunning(), "isRunning");
        QCOMPARE(choice.isRemote(), remoteInUse);
        QCOMPARE(local.serverProcess() != nullptr, !remoteInUse && engine != "idle");

        if (remoteInUse) {
            remote.useThisComputer();
            QCOMPARE(choice.statusMessage(), "No model loaded");
            QCOMPARE(choice.remoteClient(), nullptr);
            local.startServer(QStringLiteral("/models/tiny.gguf"), QStringLiteral("Tiny"));
            QVERIFY(local.serverProcess());
        }
        QCoro::waitFor(local.shutdown());
        // A start still waiting out its half-second health poll wakes, finds the engine gone
        // and ends, so no suspended start outlives the test.
        QTest::qWait(800);
    }
};

TOVRA_TEST_MAIN(EngineChoiceTest, QGuiApplication)
#include "tst_enginechoice.moc"

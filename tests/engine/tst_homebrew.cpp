// Installing and removing the engine through a stand-in Homebrew script.
#include "enginetesthelpers.h"
#include "testenvironment.h"

#include <QCoreApplication>
#include <QDir>
#include <QSignalSpy>
#include <QTest>

using namespace enginetest;

namespace {

// Two candidate places for brew in a temp folder; the stand-in goes where asked.
class BrewPlaces
{
public:
    BrewPlaces()
    {
        qputenv("STANDIN_BREW_LOG", logPath().toLocal8Bit());
        qunsetenv("STANDIN_BREW_STATUS");
        qunsetenv("STANDIN_BREW_GATE");
    }
    QStringList candidates() const { return {m_dir.filePath(QStringLiteral("a/brew")), m_dir.filePath(QStringLiteral("b/brew"))}; }
    QString place(int index, bool executable = true) const
    {
        const QString path = candidates().at(index);
        QDir().mkpath(QFileInfo(path).path());
        QFile::copy(qEnvironmentVariable("STANDIN_BREW"), path);
        QFile::Permissions permissions = QFile::ReadOwner | QFile::WriteOwner;
        if (executable)
            permissions |= QFile::ExeOwner;
        QFile::setPermissions(path, permissions);
        return path;
    }
    QString logPath() const { return m_dir.filePath(QStringLiteral("brew.log")); }
    QStringList log() const
    {
        QFile file(logPath());
        if (!file.open(QIODevice::ReadOnly))
            return {};
        return QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }
    QString gatePath() const { return m_dir.filePath(QStringLiteral("gate")); }

private:
    QTemporaryDir m_dir;
};

ServerManagerOptions optionsWith(const BrewPlaces &places)
{
    ServerManagerOptions options = standinOptions();
    options.brewCandidates = places.candidates();
    return options;
}

const QString fullOutput =
    QStringLiteral("==> Fetching llama.cpp\nWarning: building from source\n==> Pouring llama.cpp\n");

} // namespace

class HomebrewTest : public QObject
{
    Q_OBJECT

private slots:
    void install_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("state");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("reevaluations");
        QTest::newRow("success") << 0 << "succeeded" << "" << 1;
        QTest::newRow("failure") << 1 << "failed" << "brew install failed (exit 1)" << 0;
        QTest::newRow("other failure") << 42 << "failed" << "brew install failed (exit 42)" << 0;
    }

    void install()
    {
        QFETCH(int, status);
        QFETCH(QString, state);
        QFETCH(QString, text);
        QFETCH(int, reevaluations);

        BrewPlaces places;
        places.place(0);
        qputenv("STANDIN_BREW_STATUS", QByteArray::number(status));
        ServerManager manager(optionsWith(places));
        QSignalSpy installation(&manager, &ServerManager::engineInstallationChanged);
        QStringList states;
        connect(&manager, &ServerManager::brewInstallStateChanged, this,
                [&] { states << manager.brewInstallState().kindName(); });
        run(manager.installViaHomebrew());

        QCOMPARE(states, (QStringList{QStringLiteral("installing"), state}));
        QCOMPARE(manager.brewInstallState().text(), text);
        QCOMPARE(manager.brewInstallState(),
                 state == QStringLiteral("failed") ? BrewInstallState::failed(text) : BrewInstallState::succeeded());
        // Both streams, in arrival order, nothing added between.
        QCOMPARE(manager.brewOutput(), fullOutput);
        QCOMPARE(installation.size(), reevaluations);
        QCOMPARE(places.log(), (QStringList{QStringLiteral("ARGS install llama.cpp"), QStringLiteral("PATH ") + homebrewPath()}));
    }

    void outputArrivesWhileBrewRuns()
    {
        BrewPlaces places;
        places.place(0);
        qputenv("STANDIN_BREW_GATE", places.gatePath().toLocal8Bit());
        ServerManager manager(optionsWith(places));
        auto install = manager.installViaHomebrew();
        QTRY_COMPARE_WITH_TIMEOUT(manager.brewOutput(), QStringLiteral("==> Fetching llama.cpp\n"), 10000);
        QVERIFY(manager.brewInstallState().isInstalling());
        QFile gate(places.gatePath());
        QVERIFY(gate.open(QIODevice::WriteOnly));
        gate.close();
        run(std::move(install));
        QVERIFY(manager.brewInstallState().isSucceeded());
        QCOMPARE(manager.brewOutput(), fullOutput);
    }

    void newInstallClearsTheOutput()
    {
        BrewPlaces places;
        places.place(0);
        ServerManager manager(optionsWith(places));
        run(manager.installViaHomebrew());
        run(manager.installViaHomebrew());
        QCOMPARE(manager.brewOutput(), fullOutput);
    }

    void brewMissing()
    {
        BrewPlaces places;
        ServerManager manager(optionsWith(places));
        QVERIFY(!manager.isBrewInstalled());
        QCOMPARE(manager.findBrew(), std::nullopt);
        run(manager.installViaHomebrew());
        QCOMPARE(manager.brewInstallState(),
                 BrewInstallState::failed(QStringLiteral("Homebrew not found — visit https://brew.sh to install it first.")));
        QCOMPARE(manager.brewOutput(), QString());

        QSignalSpy uninstalling(&manager, &ServerManager::isUninstallingChanged);
        run(manager.uninstallViaHomebrew());
        QCOMPARE(uninstalling.size(), 0);
        QVERIFY(manager.brewInstallState().isFailed());
    }

    void secondCandidateIsUsed()
    {
        BrewPlaces places;
        const QString path = places.place(1);
        QCOMPARE(findBrew(places.candidates()), path);
        QVERIFY(isBrewInstalled(places.candidates()));
        ServerManager manager(optionsWith(places));
        run(manager.installViaHomebrew());
        QVERIFY(manager.brewInstallState().isSucceeded());
        QCOMPARE(places.log().first(), QStringLiteral("ARGS install llama.cpp"));
    }

    // Homebrew's presence is existence only; one that cannot run fails at launch.
    void launchFailure()
    {
        BrewPlaces places;
        places.place(0, false);
        ServerManager manager(optionsWith(places));
        QVERIFY(manager.isBrewInstalled());
        run(manager.installViaHomebrew());
        QVERIFY(manager.brewInstallState().isFailed());
        QVERIFY(!manager.brewInstallState().text().isEmpty());
        QVERIFY(!manager.brewInstallState().text().startsWith(QStringLiteral("brew install failed")));
        QCOMPARE(manager.brewOutput(), QString());

        run(manager.uninstallViaHomebrew());
        QVERIFY(manager.brewInstallState().isIdle());
        QVERIFY(!manager.isUninstalling());
    }

    void uninstall_data()
    {
        QTest::addColumn<int>("status");
        QTest::newRow("accepted") << 0;
        QTest::newRow("rejected") << 1;
    }

    // The loaded engine is stopped before Homebrew removes it; the outcome is always idle.
    void uninstall()
    {
        QFETCH(int, status);
        BrewPlaces places;
        places.place(0);
        ServerManager manager(optionsWith(places));
        run(manager.installViaHomebrew());
        run(manager.startServer(QStringLiteral("/models/m.gguf"), QStringLiteral("M")));
        QVERIFY(manager.isRunning());
        const qint64 enginePid = manager.serverProcess()->processId();

        qputenv("STANDIN_BREW_STATUS", QByteArray::number(status));
        QStringList events;
        bool engineGoneAtUninstall = false;
        connect(&manager, &ServerManager::statusMessageChanged, this, [&] { events << manager.statusMessage(); });
        connect(&manager, &ServerManager::isUninstallingChanged, this, [&] {
            events << QStringLiteral("uninstalling %1").arg(manager.isUninstalling());
            if (manager.isUninstalling())
                engineGoneAtUninstall = processGone(enginePid);
        });
        run(manager.uninstallViaHomebrew());

        QCOMPARE(events, (QStringList{QStringLiteral("No model loaded"), QStringLiteral("uninstalling 1"),
                                      QStringLiteral("uninstalling 0")}));
        QVERIFY(engineGoneAtUninstall);
        QVERIFY(!manager.isRunning());
        QVERIFY(manager.brewInstallState().isIdle());
        QCOMPARE(manager.brewOutput(), QString());
        QCOMPARE(places.log().mid(2), (QStringList{QStringLiteral("ARGS uninstall llama.cpp"),
                                                   QStringLiteral("PATH ") + homebrewPath()}));
    }

    void stateValues()
    {
        QCOMPARE(BrewInstallState(), BrewInstallState::idle());
        QVERIFY(BrewInstallState::failed(QStringLiteral("a")) != BrewInstallState::failed(QStringLiteral("b")));
        QCOMPARE(BrewInstallState::failed(QStringLiteral("a")), BrewInstallState::failed(QStringLiteral("a")));
        QVERIFY(BrewInstallState::installing() != BrewInstallState::succeeded());
        QCOMPARE(QVariant::fromValue(BrewInstallState::failed(QStringLiteral("x"))).value<BrewInstallState>().text(),
                 QStringLiteral("x"));
    }
};

TOVRA_TEST_MAIN(HomebrewTest, QCoreApplication)
#include "tst_homebrew.moc"

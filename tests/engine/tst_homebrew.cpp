// Installing and removing the engine through a stand-in Homebrew script.
#include "tests/engine/enginetesthelpers.h"
#include "tests/support/testenvironment.h"

using namespace enginetest;

namespace {

// Two candidate places for brew in a temp folder; the stand-in goes where asked.
class BrewPlaces
{
public:
    BrewPlaces()
    {
        qputenv("STANDIN_BREW_LOG", path("brew.log").toLocal8Bit());
        qunsetenv("STANDIN_BREW_STATUS");
        qunsetenv("STANDIN_BREW_GATE");
    }
    QString path(const char *name) const { return m_dir.filePath(QLatin1String(name)); }
    QStringList candidates() const { return {path("a/brew"), path("b/brew")}; }
    QString place(int index, bool executable = true) const
    {
        const QString target = candidates().at(index);
        QDir().mkpath(QFileInfo(target).path());
        QFile::copy(qEnvironmentVariable("STANDIN_BREW"), target);
        QFile::setPermissions(target,
                              QFile::ReadOwner | QFile::WriteOwner
                                  | (executable ? QFile::ExeOwner : QFile::Permissions()));
        return target;
    }
    QStringList log() const
    {
        return QString::fromUtf8(readTestFile(path("brew.log")))
            .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }
    ServerManagerOptions options() const
    {
        ServerManagerOptions options = standinOptions();
        options.brewCandidates = candidates();
        return options;
    }

private:
    QTemporaryDir m_dir;
};

// What the stand-in records for one run: its arguments and the PATH it was given.
QStringList brewRun(const QString &command)
{
    return {QStringLiteral("ARGS %1 llama.cpp").arg(command),
#ifdef Q_OS_LINUX
            QStringLiteral(
                "PATH /opt/homebrew/bin:/opt/homebrew/sbin:/home/linuxbrew/.linuxbrew/bin:"
                "/home/linuxbrew/.linuxbrew/sbin:/usr/local/bin:/usr/bin:/bin")};
#else
            QStringLiteral(
                "PATH /opt/homebrew/bin:/opt/homebrew/sbin:/usr/local/bin:/usr/bin:/bin")};
#endif
}

const QString fullOutput = QStringLiteral(
    "==> Fetching llama.cpp\nWarning: building from source\n==> Pouring llama.cpp\n");

} // namespace

class HomebrewTest : public QObject
{
    Q_OBJECT

private slots:
    void init() { failOnUnexpectedWarnings(); }
    void install_data()
    {
        // "candidate": where the stand-in goes, -1 for nowhere; "text": empty for success, "*" for
        // the platform's own
        columns<int, bool, int, QString>("candidate", "executable", "status", "text");
        addRow("success, from the second candidate", 1, true, 0, "");
        addRow("failure", 0, true, 1, "brew install failed (exit 1)");
        const QString noBrew = "Homebrew not found — visit https://brew.sh to install it first.";
        addRow("missing", -1, true, 0, noBrew);
        // Homebrew's presence is existence only: one that cannot run fails at launch.
        addRow("cannot run", 0, false, 0, "*");
    }

    void install()
    {
        const auto [candidate, executable] = fetch<int, bool>("candidate", "executable");
        auto [status, text] = fetch<int, QString>("status", "text");

        BrewPlaces places;
        const QString placed = candidate < 0 ? QString() : places.place(candidate, executable);
        QCOMPARE(findBrew(places.candidates()).value_or(QString()), placed);
        qputenv("STANDIN_BREW_STATUS", QByteArray::number(status));
        ServerManager manager(places.options());
        QCOMPARE(manager.isBrewInstalled(), candidate >= 0);
        QSignalSpy installation(&manager, &ServerManager::engineInstallationChanged);
        QStringList states;
        connect(&manager, &ServerManager::brewInstallStateChanged, this, [&] {
            states << manager.brewInstallState().kindName();
        });
        run(manager.installViaHomebrew());

        const bool ok = text.isEmpty();
        const bool ran = candidate >= 0 && executable;
        if (text == QLatin1String("*")) {
            text = manager.brewInstallState().text();
            QVERIFY2(!text.isEmpty() && !text.startsWith(QStringLiteral("brew")), qPrintable(text));
        }
        QCOMPARE(manager.brewInstallState(),
                 ok ? BrewInstallState::succeeded() : BrewInstallState::failed(text));
        QStringList expectedStates{ok ? QStringLiteral("succeeded") : QStringLiteral("failed")};
        if (candidate >= 0)
            expectedStates.prepend(QStringLiteral("installing"));
        QCOMPARE(states, expectedStates);
        // Both streams, in arrival order, nothing added between.
        QCOMPARE(manager.brewOutput(), ran ? fullOutput : QString());
        QCOMPARE(installation.size(), ok ? 1 : 0);
        QCOMPARE(places.log(), ran ? brewRun(QStringLiteral("install")) : QStringList());

        // An uninstall ends idle even when Homebrew cannot run; without Homebrew it does nothing.
        QSignalSpy uninstalling(&manager, &ServerManager::isUninstallingChanged);
        run(manager.uninstallViaHomebrew());
        QCOMPARE(manager.brewInstallState().isIdle(), candidate >= 0);
        QCOMPARE(uninstalling.size(), candidate >= 0 ? 2 : 0);
    }

    // Output shows while brew runs and a new install starts with empty output; the loaded
    // engine is stopped before Homebrew removes it. (A rejected uninstall ending idle is in
    // install().)
    void installThenUninstall()
    {
        BrewPlaces places;
        places.place(0);
        qputenv("STANDIN_BREW_GATE", places.path("gate").toLocal8Bit());
        ServerManager manager(places.options());
        auto install = manager.installViaHomebrew();
        QTRY_COMPARE_WITH_TIMEOUT(manager.brewOutput(),
                                  QStringLiteral("==> Fetching llama.cpp\n"),
                                  10000);
        QVERIFY(manager.brewInstallState().isInstalling());
        QVERIFY(QFile(places.path("gate")).open(QIODevice::WriteOnly));
        run(std::move(install));
        QVERIFY(manager.brewInstallState().isSucceeded());
        QCOMPARE(manager.brewOutput(), fullOutput);
        run(manager.installViaHomebrew());
        QCOMPARE(manager.brewOutput(), fullOutput);

        run(manager.startServer(QStringLiteral("/models/m.gguf"), QStringLiteral("M")));
        QVERIFY(manager.isRunning());
        const qint64 enginePid = manager.serverProcess()->processId();
        QStringList events;
        bool engineGoneAtUninstall = false;
        connect(&manager, &ServerManager::statusMessageChanged, this, [&] {
            events << manager.statusMessage();
        });
        connect(&manager, &ServerManager::isUninstallingChanged, this, [&] {
            events << QStringLiteral("uninstalling %1").arg(manager.isUninstalling());
            if (manager.isUninstalling())
                engineGoneAtUninstall = processGone(enginePid);
        });
        run(manager.uninstallViaHomebrew());

        QCOMPARE(events,
                 (QStringList{QStringLiteral("No model loaded"),
                              QStringLiteral("uninstalling 1"),
                              QStringLiteral("uninstalling 0")}));
        QVERIFY(engineGoneAtUninstall);
        QVERIFY(!manager.isRunning());
        QVERIFY(manager.brewInstallState().isIdle());
        QCOMPARE(manager.brewOutput(), QString());
        QCOMPARE(places.log(),
                 brewRun(QStringLiteral("install")) + brewRun(QStringLiteral("install"))
                     + brewRun(QStringLiteral("uninstall")));
    }

    // Only an engine that Homebrew keeps in its Cellar is Homebrew's to uninstall.
    void homebrewOwnership_data()
    {
        // "linkTo": the file the engine links to, or empty
        columns<QString, QString, QString, bool>("brew", "engine", "linkTo", "homebrews");
        const QString cellar = "p/Cellar/llama.cpp/1/bin/llama-server";
        const QString brew = "p/bin/brew", engine = "p/bin/llama-server";
        addRow("linked from the Cellar", brew, engine, cellar, true);
        addRow("built into the prefix", brew, engine, "", false);
        addRow("somewhere else", brew, "q/bin/llama-server", "", false);
        addRow("brew outside a bin folder", "p/brew", engine, cellar, false);
    }

    void homebrewOwnership()
    {
        const auto [brew, engine, linkTo]
            = fetch<QString, QString, QString>("brew", "engine", "linkTo");
        QTemporaryDir dir;
        const auto executable = [&](const QString &relative) {
            const QString path = dir.filePath(relative);
            QVERIFY(writeTestFile(path, {}));
            QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        };
        executable(brew);
        if (linkTo.isEmpty()) {
            executable(engine);
        } else {
            executable(linkTo);
            QDir().mkpath(QFileInfo(dir.filePath(engine)).path());
            QVERIFY(QFile::link(dir.filePath(linkTo), dir.filePath(engine)));
        }
        ServerManagerOptions options = standinOptions();
        options.serverSearchList = {dir.filePath(engine)};
        options.userPath.clear();
        options.brewCandidates = {dir.filePath(brew)};
        const ServerManager manager(options);
        QVERIFY(manager.isEngineInstalled());
        QTEST(manager.isHomebrewEngine(), "homebrews");
    }
};

TOVRA_TEST_MAIN(HomebrewTest, QCoreApplication)
#include "tst_homebrew.moc"

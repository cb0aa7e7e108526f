#include "tests/tools/toolrun.h"

#include "platform/applicationcontrol.h"
#include "platform/desktopentries.h"
#include "platform/xdgapplicationcontrol.h"
#include "tests/support/testenvironment.h"

#include <QCoroTask>

#include <csignal>
#include <sys/types.h>

namespace {

const QString fixtures = QStringLiteral(TOVRA_FIXTURES);
const QString applications = fixtures + QStringLiteral("/applications");

ToolServices macServices(const QString &osascript = fixtures + QStringLiteral("/osascript"))
{
    return {std::make_shared<MacApplicationControl>(AppleScriptExecutor(osascript)), nullptr, {}};
}

ToolServices xdgServices(const QString &folder = applications)
{
    return {std::make_shared<XdgApplicationControl>(QStringList{folder}), nullptr, {}};
}

QStringList readList(const QString &path, QChar separator)
{
    QStringList items = QString::fromUtf8(readTestFile(path)).split(separator);
    if (items.last().isEmpty())
        items.removeLast();
    return items;
}

QByteArray desktopEntry(const QString &name, const QString &exec, const QByteArray &extra = {})
{
    return "[Desktop Entry]\nType=Application\nName=" + name.toUtf8() + "\n" + extra
           + "Exec=" + exec.toUtf8() + "\n";
}

const QString python = QStringLiteral("import sys; print('ready', flush=True); sys.stdin.read()");

// How a process was started, as far as the desktop's launch hint goes.
enum class Launch { None, AsEntry, Inherited, AsOther };

// Ended with the test function, whatever it left running.
class ChildProcess : public QProcess
{
public:
    ~ChildProcess() override
    {
        kill();
        waitForFinished(20000);
    }
};

// A wrongly signalled process would end within moments: nothing in them handles SIGTERM.
bool survives(QProcess &process)
{
    return process.state() == QProcess::Running && !process.waitForFinished(300);
}
} // namespace

class ApplicationsTest : public QObject
{
    Q_OBJECT

private:
    const QString m_log = QDir::home().filePath("osascript.log");
    const QString m_record = QDir::home().filePath("standin-app.record");
    QList<qint64> m_started;
    QString m_python; // empty when the machine has none
    QString m_bin = QDir::home().filePath("bin");

    void start(QProcess &process,
               const QStringList &command,
               const QProcessEnvironment &environment = QProcessEnvironment::systemEnvironment(),
               bool printsReady = true)
    {
        process.setProcessEnvironment(environment);
        process.start(command.first(), command.mid(1));
        QVERIFY2(process.waitForStarted(), qPrintable(command.join(u' ')));
        // The others print a line once they run their final program and wait.
        QVERIFY(!printsReady || process.waitForReadyRead(20000));
    }

    void startPython(QProcess &process)
    {
        if (!m_python.isEmpty())
            start(process, {"python3", "-c", python});
    }

private slots:
    void initTestCase()
    {
        qputenv("STANDIN_OSASCRIPT_LOG", m_log.toUtf8());
        qputenv("STANDIN_APP_RECORD", m_record.toUtf8());
        // A folder first on PATH: python3 by that name (the real one, not a version manager's
        // shim, so that entries and processes resolve to one executable), a private copy of sh
        // and a script of its own.
        QVERIFY(QDir().mkpath(m_bin));
        m_python
            = QStandardPaths::findExecutable("python3", {"/usr/bin", "/usr/local/bin", "/bin"});
        QVERIFY(m_python.isEmpty() || QFile::link(m_python, m_bin + "/python3"));
        QVERIFY(QFile::copy(QFileInfo("/bin/sh").canonicalFilePath(), m_bin + "/tovra-private-app"));
        const QString script = m_bin + "/tovra-script";
        QVERIFY(writeTestFile(script, "#!/bin/sh\necho ready\nread line\n"));
        QVERIFY(QFile::setPermissions(script, QFile::permissions(script) | QFile::ExeOwner));
        qputenv("PATH", (m_bin + ":" + fixtures + ":" + qEnvironmentVariable("PATH")).toUtf8());
        QVERIFY(QDir::setCurrent(QDir::homePath()));
    }

    void init()
    {
        failOnUnexpectedWarnings();
        QFile::remove(m_log);
        qunsetenv("STANDIN_OSASCRIPT_OUTPUT");
        qunsetenv("STANDIN_OSASCRIPT_ERROR");
    }

    void cleanup()
    {
        for (const qint64 pid : std::as_const(m_started)) {
            if (!processGone(pid))
                ::kill(pid_t(pid), SIGKILL);
        }
        m_started.clear();
    }

    // --- macOS: scripts through the stand-in osascript ---

    // The name always arrives as one AppleScript string literal, or not at all.
    void macOpenAndClose_data()
    {
        // "literal" empty: refused before osascript runs
        columns<QString, QString>("name", "literal");
        addRow("plain", "Safari", "\"Safari\"");
        addRow("quotes", "My \"App\"", "\"My \\\"App\\\"\"");
        addRow("backslashes", "C:\\Apps\\", "\"C:\\\\Apps\\\\\"");
        addRow("empty", "", "\"\"");
        addRow("closes the quote, runs a shell",
               "Evil\" & (do shell script \"touch /tmp/pwned\") & \"",
               "\"Evil\\\" & (do shell script \\\"touch /tmp/pwned\\\") & \\\"\"");
        addRow("ends the tell early", "Finder\" to quit --", "\"Finder\\\" to quit --\"");
        addRow("escaped quote attempt", "x\\\" to quit --", "\"x\\\\\\\" to quit --\"");
        addRow("only quotes", "\"\"\"\"", "\"\\\"\\\"\\\"\\\"\"");
        addRow("unicode and guillemets", "Café «data» ¬", "\"Café «data» ¬\"");
        addRow("line feed", "Safari\" to activate\ntell application \"Finder\" to quit", "");
        addRow("carriage return", "Safari\rdo shell script \"id\"", "");
        addRow("line separator", QString("Safari") + QChar(0x2028) + "x", "");
        addRow("nul", QString("Safari") + QChar(0) + "x", "");
    }

    void macOpenAndClose()
    {
        const auto [name, literal] = fetch<QString, QString>("name", "literal");
        qputenv("STANDIN_OSASCRIPT_OUTPUT", "ignored result");
        for (const auto &[tool, verb, suffix] : {std::tuple{"open_app", "Opened ", " to activate"},
                                                 std::tuple{"close_app", "Closed ", " to quit"}}) {
            QFile::remove(m_log);
            QCOMPARE(runTool(macServices(), tool, {{"app_name", name}}),
                     literal.isEmpty()
                         ? "Error: An application name cannot contain line breaks or control "
                           "characters"
                         : verb + name);
            QCOMPARE(readList(m_log, QChar(0)),
                     (literal.isEmpty()
                          ? QStringList()
                          : QStringList{"-e", "tell application " + literal + suffix}));
        }
    }

    void macFailures()
    {
        const QString error = "0:33: execution error: Can’t get application \"Nope\". (-1728)";
        qputenv("STANDIN_OSASCRIPT_ERROR", error.toUtf8());
        QCOMPARE(runTool(macServices(), "open_app", {{"app_name", "Nope"}}), "Error: " + error);
        QCOMPARE(runTool(macServices(), "list_open_apps"), "Error: " + error);
        QCOMPARE(runTool(macServices(QDir::home().filePath("no-such-osascript")),
                         "close_app",
                         {{"app_name", "Safari"}}),
                 "Error: Could not create script");
    }

    void macListOpenApps_data()
    {
        columns<QByteArray, QString>("printed", "result");
        QTest::newRow("sorted by code unit")
            << QByteArray("[\"Safari\",\"Finder\",\"Ärger\",\"Mail\",\"finder\"]")
            << "Finder\nMail\nSafari\nfinder\nÄrger";
        QTest::newRow("none") << QByteArray("[]") << "";
        // The script's output as printed, lines kept, the last line break dropped.
        QTest::newRow("not a list") << QByteArray("garbage\nmore")
                                    << "Error: Unexpected list of applications: garbage\nmore";
    }

    void macListOpenApps()
    {
        QFETCH(QByteArray, printed);
        qputenv("STANDIN_OSASCRIPT_OUTPUT", printed);
        QTEST(runTool(macServices(), "list_open_apps"), "result");
        const QStringList arguments = readList(m_log, QChar(0));
        QCOMPARE(arguments.size(), 4);
        QCOMPARE(arguments.mid(0, 3), (QStringList{"-l", "JavaScript", "-e"}));
        QVERIFY(arguments[3].contains("NSApplicationActivationPolicyRegular"));
    }

    // --- Linux: XDG desktop entries ---

    void splitExec_data()
    {
        // "arguments" empty: refused
        columns<QString, QStringList>("exec", "arguments");
        const QStringList refused;
        addRow("field codes dropped", "gedit %U", QStringList{"gedit"});
        QTest::newRow("all codes")
            << "app %f %F %u %U %i %c %k %d %D %n %N %v %m -x" << QStringList{"app", "-x"};
        addRow("percent kept", "app 100%% --a=%f", QStringList{"app", "100%", "--a="});
        const QStringList spaced{"/opt/My App/run", "--title", "a b"};
        addRow("quoted spaces", "\"/opt/My App/run\" --title \"a b\"", spaced);
        QTest::newRow("quoted escapes")
            << "app \"\\\"q\\\" \\$HOME \\` \\\\\"" << QStringList{"app", "\"q\" $HOME ` \\"};
        addRow("quoted field code kept", "app \"%f\"", QStringList{"app", "%f"});
        const QStringList shell{"app", ";rm${IFS}-rf", "$(id)", "|", "x"};
        addRow("shell syntax is data", "app ;rm${IFS}-rf $(id) | x", shell);
        addRow("extra spaces", "  app   -a  ", QStringList{"app", "-a"});
        addRow("unbalanced quote", "app \"open", refused);
        addRow("empty", "", refused);
        addRow("only a field code", "%U", refused);
    }

    void splitExec()
    {
        const auto [exec, arguments] = fetch<QString, QStringList>("exec", "arguments");
        const auto split = DesktopEntries::splitExec(exec);
        QCOMPARE(split.value_or(QStringList{}), arguments);
        QCOMPARE(bool(split), !arguments.isEmpty());
    }

    void desktopEntries()
    {
        QStringList names;
        const QList<DesktopEntry> entries = DesktopEntries::load({applications});
        for (const DesktopEntry &entry : entries)
            names.append(entry.name + (entry.visible ? "" : " (no display)"));
        // Hidden=true, Type=Link and a missing TryExec leave entries out.
        QCOMPARE(names,
                 (QStringList{"Missing Program", "Standin Editor", "Standin Helper (no display)"}));
        QCOMPARE(entries[1].id, "tovra-standin-editor.desktop");
        QCOMPARE(entries[1].command,
                 (QStringList{"tovra-standin-app",
                              "--flag",
                              "two words",
                              "say \"hi\"",
                              ";touch${IFS}pwned",
                              "100%"}));

        // An entry of the same ID in an earlier folder wins, even one that hides the application.
        QTemporaryDir earlier;
        QVERIFY(writeTestFile(earlier.filePath("tovra-standin-editor.desktop"),
                              desktopEntry("Standin Editor", "tovra-standin-app", "Hidden=true\n")));
        QVERIFY(writeTestFile(earlier.filePath("vendor/tool.desktop"),
                              desktopEntry("Vendor Tool", "tovra-standin-app")));
        QStringList ids;
        for (const DesktopEntry &entry : DesktopEntries::load({earlier.path(), applications}))
            ids.append(entry.id);
        QCOMPARE(ids,
                 (QStringList{"vendor-tool.desktop",
                              "tovra-missing-program.desktop",
                              "tovra-standin-helper.desktop"}));
    }

    void xdgOpenListClose()
    {
        const ToolServices services = xdgServices();
        QCOMPARE(runTool(services, "list_open_apps"), "");
        // Bystanders: a python3, and the entry's own program started by someone else (the hidden
        // helper runs it too, so the program alone does not name the entry).
        ChildProcess python, sameProgram;
        startPython(python);
        QProcessEnvironment quiet = QProcessEnvironment::systemEnvironment();
        quiet.remove("STANDIN_APP_RECORD");
        start(sameProgram, {"tovra-standin-app", "--flag"}, quiet, false);
        QCOMPARE(runTool(services, "list_open_apps"), "");
        QCOMPARE(runTool(services, "close_app", {{"app_name", "Standin Editor"}}),
                 "Error: Application is not running: Standin Editor");

        // Matched without regard to case; the message repeats the name as given.
        QCOMPARE(runTool(services, "open_app", {{"app_name", "standin EDITOR"}}),
                 "Opened standin EDITOR");
        QTRY_VERIFY_WITH_TIMEOUT(readList(m_record, u'\n').size() > 1, 20000);
        const QStringList lines = readList(m_record, u'\n');
        const qint64 pid = lines.first().toLongLong();
        m_started.append(pid);
        // Started without a shell: the arguments arrive exactly, shell syntax unexpanded.
        QCOMPARE(lines.mid(1),
                 (QStringList{"--flag", "two words", "say \"hi\"", ";touch${IFS}pwned", "100%"}));
        QVERIFY(!QFile::exists(QDir::home().filePath("pwned")));

        QCOMPARE(runTool(services, "list_open_apps"), "Standin Editor");
        QCOMPARE(runTool(services, "close_app", {{"app_name", "Standin Editor"}}),
                 "Closed Standin Editor");
        QTRY_VERIFY_WITH_TIMEOUT(processGone(pid), 20000);
        QVERIFY(survives(python) && survives(sameProgram));
        QCOMPARE(runTool(services, "list_open_apps"), "");
        QCOMPARE(runTool(services, "close_app", {{"app_name", "Standin Editor"}}),
                 "Error: Application is not running: Standin Editor");
    }

    // Which running processes are an entry's. "python3" is the real one, "tovra-private-app"
    // a private copy of sh that no other program runs, "tovra-script" a "#!/bin/sh" script.
    void xdgWhatNamesTheEntry_data()
    {
        // "secondExec": another entry beside it, if any
        columns<QString, QString, QStringList, int>("exec", "secondExec", "process", "launch");
        columns<bool>("owned");
        const QString shExec = "sh -c \"echo ready; read line\"";
        const QString privateExec = "tovra-private-app --alpha %U";
        const QStringList python{"python3", "-c", ::python};
        const QStringList sh{"sh", "-c", "echo ready; read line"};
        const QStringList privateApp{"tovra-private-app", "-c", "echo ready; read line"};
        const int none = int(Launch::None);
        addRow("python3 entry, some python3 runs", "python3 %U", "", python, none, false);
        addRow("sh -c entry, the same command runs", shExec, "", sh, none, false);
        const QString envExec = "env tovra-private-app -c \"echo ready; read line\"";
        addRow("env entry, its program runs", envExec, "", privateApp, none, false);
        addRow("a program of its own", privateExec, "", privateApp, none, true);
        const QString beta = "tovra-private-app --beta";
        addRow("a program two entries run", privateExec, beta, privateApp, none, false);
        addRow("a script of its own", "tovra-script %U", "", QStringList{"tovra-script"}, none, true);
        addRow("launched as the entry", shExec, "", sh, int(Launch::AsEntry), true);
        addRow("launch hint inherited", shExec, "", sh, int(Launch::Inherited), false);
        addRow("launched as another entry", shExec, "", sh, int(Launch::AsOther), false);
    }

    void xdgWhatNamesTheEntry()
    {
        const auto [exec, secondExec] = fetch<QString, QString>("exec", "secondExec");
        auto [process, launch, owned] = fetch<QStringList, int, bool>("process", "launch", "owned");
        if (process.first() == "python3" && m_python.isEmpty())
            QSKIP("no python3 on this machine");
        QTemporaryDir dir(QDir::home().filePath("entries-XXXXXX"));
        const QString entry = dir.filePath("tovra-launched.desktop");
        QVERIFY(writeTestFile(entry, desktopEntry("Tovra Launched", exec)));
        if (!secondExec.isEmpty())
            QVERIFY(writeTestFile(dir.filePath("tovra-second.desktop"),
                                  desktopEntry("Tovra Second", secondExec)));
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        if (Launch(launch) != Launch::None) {
            environment.insert("GIO_LAUNCHED_DESKTOP_FILE",
                               Launch(launch) == Launch::AsOther
                                   ? dir.filePath("tovra-other.desktop")
                                   : entry);
            // Inherited: the hint names the process that was launched, not this one.
            environment.insert("GIO_LAUNCHED_DESKTOP_FILE_PID",
                               QString::number(QCoreApplication::applicationPid()));
            // Otherwise the process is the launched one: the pid is its own.
            if (Launch(launch) != Launch::Inherited)
                process = QStringList{"sh",
                                      "-c",
                                      "export GIO_LAUNCHED_DESKTOP_FILE_PID=$$; exec \"$0\" \"$@\""}
                          + process;
        }
        ChildProcess bystander, candidate;
        startPython(bystander);
        start(candidate, process, environment);

        const ToolServices services = xdgServices(dir.path());
        QCOMPARE(runTool(services, "list_open_apps"), owned ? "Tovra Launched" : "");
        QCOMPARE(runTool(services, "close_app", {{"app_name", "Tovra Launched"}}),
                 owned ? "Closed Tovra Launched"
                       : "Error: Application is not running: Tovra Launched");
        if (owned) {
            QVERIFY(candidate.waitForFinished(20000));
            QCOMPARE(candidate.exitStatus(), QProcess::CrashExit); // ended by the signal
        } else {
            QVERIFY(survives(candidate));
        }
        QVERIFY(survives(bystander));
    }

    void xdgFailures()
    {
        // Hidden, link and action entries are not applications; names with shell syntax start nothing.
        QFile::remove(m_record);
        for (const QString name : {"No Such App",
                                   "Removed App",
                                   "Standin Link",
                                   "Zzz Action Name",
                                   "Standin Editor\"; touch pwned; \"",
                                   "$(touch pwned)",
                                   "Standin Editor\nStandin Helper"}) {
            QCOMPARE(runTool(xdgServices(), "open_app", {{"app_name", name}}),
                     "Error: Application not found: " + name);
            QCOMPARE(runTool(xdgServices(), "close_app", {{"app_name", name}}),
                     "Error: Application not found: " + name);
        }
        QCOMPARE(runTool(xdgServices(), "open_app", {{"app_name", "Missing Program"}}),
                 "Error: Application program not found: tovra-no-such-program-anywhere");
        QTest::qWait(50);
        QVERIFY(!QFile::exists(QDir::home().filePath("pwned")));
        QVERIFY(!QFile::exists(m_record));
    }
};

TOVRA_TEST_MAIN(ApplicationsTest, QCoreApplication)
#include "tst_applications.moc"

#include "toolexecutor.h"

#include "platform/applicationcontrol.h"
#include "platform/desktopentries.h"
#include "platform/xdgapplicationcontrol.h"
#include "testenvironment.h"

#include <QCoroTask>
#include <QtTest>

#include <csignal>
#include <sys/types.h>

namespace {

const QString fixtures = QStringLiteral(TOOLS_FIXTURES);
const QString applications = fixtures + QStringLiteral("/applications");

QString run(const ToolServices &services, const QString &tool, const ToolArguments &arguments = {})
{
    const ToolExecutor executor(services);
    return QCoro::waitFor(executor.execute(ToolCall{QStringLiteral("id"), tool, arguments}));
}

ToolServices macServices(const QString &osascript = fixtures + QStringLiteral("/osascript"))
{
    return {std::make_shared<MacApplicationControl>(AppleScriptExecutor(osascript)), nullptr, {}};
}

ToolServices xdgServices()
{
    return {std::make_shared<XdgApplicationControl>(QStringList{applications}), nullptr, {}};
}

// Reads an AppleScript string literal at the start of `text`; the rest goes to `rest`.
std::optional<QString> readLiteral(const QString &text, QString *rest)
{
    if (!text.startsWith(QLatin1Char('"')))
        return std::nullopt;
    QString value;
    for (qsizetype i = 1; i < text.size(); ++i) {
        if (text[i] == QLatin1Char('\\') && i + 1 < text.size()) {
            value += text[++i];
        } else if (text[i] == QLatin1Char('"')) {
            *rest = text.mid(i + 1);
            return value;
        } else {
            value += text[i];
        }
    }
    return std::nullopt;
}

bool isRunning(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return false;
    // "pid (name) S ...": a zombie has ended, it only waits to be reaped.
    const QByteArray line = stat.readAll();
    const qsizetype close = line.lastIndexOf(')');
    return close > 0 && line.size() > close + 2 && line.at(close + 2) != 'Z';
}

} // namespace

class ApplicationsTest : public QObject
{
    Q_OBJECT

private:
    QString m_log;
    QString m_record;
    QList<qint64> m_started;

    QStringList recordedArguments() const
    {
        QFile file(m_log);
        if (!file.open(QIODevice::ReadOnly))
            return {};
        QStringList arguments = QString::fromUtf8(file.readAll()).split(QChar(0));
        if (!arguments.isEmpty() && arguments.last().isEmpty())
            arguments.removeLast();
        return arguments;
    }

    QStringList record() const
    {
        QFile file(m_record);
        if (!file.open(QIODevice::ReadOnly))
            return {};
        QStringList lines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'));
        lines.removeLast();
        return lines;
    }

private slots:
    void initTestCase()
    {
        m_log = QDir::home().filePath("osascript.log");
        m_record = QDir::home().filePath("standin-app.record");
        qputenv("STANDIN_OSASCRIPT_LOG", m_log.toUtf8());
        qputenv("STANDIN_APP_RECORD", m_record.toUtf8());
        qputenv("PATH", (fixtures + ":" + qEnvironmentVariable("PATH")).toUtf8());
        QVERIFY(QDir::setCurrent(QDir::homePath()));
    }

    void init()
    {
        QFile::remove(m_log);
        qunsetenv("STANDIN_OSASCRIPT_OUTPUT");
        qunsetenv("STANDIN_OSASCRIPT_ERROR");
    }

    void cleanup()
    {
        for (const qint64 pid : std::as_const(m_started)) {
            if (isRunning(pid))
                ::kill(pid_t(pid), SIGKILL);
        }
        m_started.clear();
    }

    // --- macOS: scripts through osascript ---

    void macOpenAndClose_data()
    {
        QTest::addColumn<QString>("tool");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("result");
        QTest::addColumn<QString>("script");
        QTest::newRow("open") << "open_app" << "Safari" << "Opened Safari" << R"(tell application "Safari" to activate)";
        QTest::newRow("close") << "close_app" << "Safari" << "Closed Safari" << R"(tell application "Safari" to quit)";
        QTest::newRow("quote escaped") << "open_app" << R"(My "App")" << R"(Opened My "App")"
                                       << "tell application \"My \\\"App\\\"\" to activate";
        QTest::newRow("backslash escaped") << "close_app" << "C:\\Apps\\" << "Closed C:\\Apps\\"
                                           << "tell application \"C:\\\\Apps\\\\\" to quit";
        QTest::newRow("empty name kept") << "open_app" << "" << "Opened " << R"(tell application "" to activate)";
    }

    void macOpenAndClose()
    {
        QFETCH(QString, tool);
        QFETCH(QString, name);
        QFETCH(QString, result);
        QFETCH(QString, script);
        qputenv("STANDIN_OSASCRIPT_OUTPUT", "ignored result");
        QCOMPARE(run(macServices(), tool, {{"app_name", name}}), result);
        QCOMPARE(recordedArguments(), (QStringList{"-e", script}));
    }

    void macHostileNamesStayData_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("closes the quote and runs a shell")
            << "Evil\" & (do shell script \"touch /tmp/tovra-pwned\") & \"";
        QTest::newRow("ends the tell early") << "Finder\" to quit --";
        QTest::newRow("escaped quote attempt") << "x\\\" to quit --";
        QTest::newRow("trailing backslash") << "Evil\\";
        QTest::newRow("only quotes") << R"("""")";
        QTest::newRow("unicode and guillemets") << "Café «data» ¬";
    }

    void macHostileNamesStayData()
    {
        QFETCH(QString, name);
        for (const auto &[tool, suffix] : {std::pair{"open_app", " to activate"}, std::pair{"close_app", " to quit"}}) {
            QVERIFY(run(macServices(), tool, {{"app_name", name}}).endsWith(name));
            const QStringList arguments = recordedArguments();
            QCOMPARE(arguments.size(), 2);
            const QString prefix = "tell application ";
            QVERIFY(arguments[1].startsWith(prefix));
            QString rest;
            const auto literal = readLiteral(arguments[1].mid(prefix.size()), &rest);
            QVERIFY(literal);
            QCOMPARE(*literal, name);
            QCOMPARE(rest, QString::fromUtf8(suffix));
        }
    }

    void macLineBreaksRefused_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("line feed") << "Safari\" to activate\ntell application \"Finder\" to quit";
        QTest::newRow("carriage return") << "Safari\rdo shell script \"id\"";
        QTest::newRow("line separator") << QString("Safari") + QChar(0x2028) + "x";
        QTest::newRow("nul") << QString("Safari") + QChar(0) + "x";
    }

    void macLineBreaksRefused()
    {
        QFETCH(QString, name);
        for (const char *tool : {"open_app", "close_app"}) {
            const QString result = run(macServices(), tool, {{"app_name", name}});
            QCOMPARE(result, "Error: An application name cannot contain line breaks or control characters");
            QVERIFY(!QFile::exists(m_log)); // osascript never ran
        }
    }

    void macScriptError()
    {
        qputenv("STANDIN_OSASCRIPT_ERROR", "0:33: execution error: Can’t get application \"Nope\". (-1728)");
        QCOMPARE(run(macServices(), "open_app", {{"app_name", "Nope"}}),
                 "Error: 0:33: execution error: Can’t get application \"Nope\". (-1728)");
        QCOMPARE(run(macServices(), "list_open_apps"),
                 "Error: 0:33: execution error: Can’t get application \"Nope\". (-1728)");
    }

    void macWithoutOsascript()
    {
        const ToolServices services = macServices(QDir::home().filePath("no-such-osascript"));
        QCOMPARE(run(services, "close_app", {{"app_name", "Safari"}}), "Error: Could not create script");
    }

    void macRunGivesTheResultText_data()
    {
        QTest::addColumn<QByteArray>("printed");
        QTest::addColumn<QString>("result");
        QTest::newRow("one line") << QByteArray("hello") << "hello";
        QTest::newRow("several lines") << QByteArray("a\nb") << "a\nb";
        QTest::newRow("nothing") << QByteArray() << "";
    }

    void macRunGivesTheResultText()
    {
        QFETCH(QByteArray, printed);
        QFETCH(QString, result);
        if (!printed.isEmpty())
            qputenv("STANDIN_OSASCRIPT_OUTPUT", printed);
        const AppleScriptExecutor executor(fixtures + "/osascript");
        const ServiceResult<QString> output = QCoro::waitFor(executor.run("return 1"));
        QVERIFY(output.ok());
        QCOMPARE(output.value(), result);
    }

    void macListOpenApps_data()
    {
        QTest::addColumn<QByteArray>("printed");
        QTest::addColumn<QString>("result");
        QTest::newRow("sorted by code unit")
            << QByteArray(R"(["Safari","Finder","Ärger","Mail","finder"])") << "Finder\nMail\nSafari\nfinder\nÄrger";
        QTest::newRow("none") << QByteArray("[]") << "";
        QTest::newRow("not a list") << QByteArray("garbage") << "Error: Unexpected list of applications: garbage";
    }

    void macListOpenApps()
    {
        QFETCH(QByteArray, printed);
        QFETCH(QString, result);
        qputenv("STANDIN_OSASCRIPT_OUTPUT", printed);
        QCOMPARE(run(macServices(), "list_open_apps"), result);
        const QStringList arguments = recordedArguments();
        QCOMPARE(arguments.size(), 4);
        QCOMPARE(arguments.mid(0, 3), (QStringList{"-l", "JavaScript", "-e"}));
        QVERIFY(arguments[3].contains("NSApplicationActivationPolicyRegular"));
    }

    // --- Linux: XDG desktop entries ---

    void splitExec_data()
    {
        QTest::addColumn<QString>("exec");
        QTest::addColumn<QStringList>("arguments");
        QTest::newRow("field codes dropped") << "gedit %U" << QStringList{"gedit"};
        QTest::newRow("all codes") << "app %f %F %u %U %i %c %k %d %D %n %N %v %m -x" << QStringList{"app", "-x"};
        QTest::newRow("percent kept") << "app 100%% --a=%f" << QStringList{"app", "100%", "--a="};
        QTest::newRow("quoted spaces") << R"("/opt/My App/run" --title "a b")" << QStringList{"/opt/My App/run", "--title", "a b"};
        QTest::newRow("quoted escapes") << "app \"\\\"q\\\" \\$HOME \\` \\\\\"" << QStringList{"app", "\"q\" $HOME ` \\"};
        QTest::newRow("quoted field code kept") << R"(app "%f")" << QStringList{"app", "%f"};
        QTest::newRow("shell syntax is data") << "app ;rm${IFS}-rf $(id) | x" << QStringList{"app", ";rm${IFS}-rf", "$(id)", "|", "x"};
        QTest::newRow("extra spaces") << "  app   -a  " << QStringList{"app", "-a"};
    }

    void splitExec()
    {
        QFETCH(QString, exec);
        QFETCH(QStringList, arguments);
        const auto split = DesktopEntries::splitExec(exec);
        QVERIFY(split);
        QCOMPARE(*split, arguments);
    }

    void splitExecRefuses_data()
    {
        QTest::addColumn<QString>("exec");
        QTest::newRow("unbalanced quote") << "app \"open";
        QTest::newRow("empty") << "";
        QTest::newRow("only a field code") << "%U";
    }

    void splitExecRefuses()
    {
        QFETCH(QString, exec);
        QVERIFY(!DesktopEntries::splitExec(exec));
    }

    void desktopEntries()
    {
        const QList<DesktopEntry> entries = DesktopEntries::load({applications});
        QStringList names;
        for (const DesktopEntry &entry : entries)
            names.append(entry.name + (entry.visible ? "" : " (no display)"));
        // Hidden=true, Type=Link and a missing TryExec leave entries out.
        QCOMPARE(names, (QStringList{"Missing Program", "Standin Editor", "Standin Helper (no display)"}));
        QCOMPARE(entries[1].id, "tovra-standin-editor.desktop");
        QCOMPARE(entries[1].command,
                 (QStringList{"tovra-standin-app", "--flag", "two words", R"(say "hi")", ";touch${IFS}pwned", "100%"}));
    }

    void desktopEntryPrecedence()
    {
        // An entry of the same ID in an earlier folder wins, even one that hides the application.
        QTemporaryDir earlier;
        QFile file(earlier.filePath("tovra-standin-editor.desktop"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("[Desktop Entry]\nType=Application\nName=Standin Editor\nHidden=true\nExec=tovra-standin-app\n");
        file.close();
        QDir(earlier.path()).mkpath("vendor");
        QFile nested(earlier.filePath("vendor/tool.desktop"));
        QVERIFY(nested.open(QIODevice::WriteOnly));
        nested.write("[Desktop Entry]\nType=Application\nName=Vendor Tool\nExec=tovra-standin-app\n");
        nested.close();
        QStringList ids;
        for (const DesktopEntry &entry : DesktopEntries::load({earlier.path(), applications}))
            ids.append(entry.id);
        QCOMPARE(ids, (QStringList{"vendor-tool.desktop", "tovra-missing-program.desktop", "tovra-standin-helper.desktop"}));
    }

    void xdgOpenListClose()
    {
        const ToolServices services = xdgServices();
        QCOMPARE(run(services, "list_open_apps"), "");

        // Matched without regard to case; the message repeats the name as given.
        QCOMPARE(run(services, "open_app", {{"app_name", "standin EDITOR"}}), "Opened standin EDITOR");
        QTRY_VERIFY_WITH_TIMEOUT(record().size() > 1, 20000);
        const QStringList lines = record();
        const qint64 pid = lines.first().toLongLong();
        m_started.append(pid);
        // Started without a shell: the arguments arrive exactly, shell syntax unexpanded.
        QCOMPARE(lines.mid(1), (QStringList{"--flag", "two words", R"(say "hi")", ";touch${IFS}pwned", "100%"}));
        QVERIFY(!QFile::exists(QDir::home().filePath("pwned")));
        QVERIFY(!QFile::exists(QDir::home().filePath("touch")));

        // The hidden helper runs the same program but is not a visible entry.
        QCOMPARE(run(services, "list_open_apps"), "Standin Editor");
        QCOMPARE(XdgApplicationControl::processesRunning(
                     QFileInfo(fixtures + "/tovra-standin-app").canonicalFilePath()),
                 QList<qint64>{pid});

        // Another program keeps running when the application is closed.
        QProcess bystander;
        bystander.start("sleep", {"30"});
        QVERIFY(bystander.waitForStarted());

        QCOMPARE(run(services, "close_app", {{"app_name", "Standin Editor"}}), "Closed Standin Editor");
        QTRY_VERIFY_WITH_TIMEOUT(!isRunning(pid), 20000);
        QCOMPARE(run(services, "list_open_apps"), "");
        QCOMPARE(bystander.state(), QProcess::Running);
        bystander.kill();
        bystander.waitForFinished();

        QCOMPARE(run(services, "close_app", {{"app_name", "Standin Editor"}}),
                 "Error: Application is not running: Standin Editor");
    }

    void xdgCommandArgumentsDecideOwnership_data()
    {
        // "@interpreter@" is a private copy of sh (an interpreter no other program runs),
        // "@script@" a "#!/bin/sh" script; both stand-ins wait on their input until ended.
        QTest::addColumn<QString>("exec");
        QTest::addColumn<QString>("program");
        QTest::addColumn<QStringList>("ownArguments");
        QTest::addColumn<QStringList>("otherArguments");
        QTest::addColumn<bool>("otherBelongs");
        const QString interpreter = "@interpreter@";
        const QString script = "@script@";
        QTest::newRow("interpreter and script")
            << "@interpreter@ @script@ --alpha %U" << interpreter << QStringList{script, "--alpha"}
            << QStringList{script, "--beta"} << false;
        QTest::newRow("opened files follow the arguments")
            << "@interpreter@ @script@ --alpha %U" << interpreter << QStringList{script, "--alpha", "notes.txt"}
            << QStringList{script} << false;
        QTest::newRow("launcher option first")
            << "@interpreter@ -e @script@ %f" << interpreter << QStringList{"-e", script}
            << QStringList{script, "-e"} << false;
        QTest::newRow("order matters")
            << "@interpreter@ @script@ one two" << interpreter << QStringList{script, "one", "two", "three"}
            << QStringList{script, "two", "one"} << false;
        QTest::newRow("quoted argument stays whole")
            << "@interpreter@ @script@ \"two words\"" << interpreter << QStringList{script, "two words"}
            << QStringList{script, "two", "words"} << false;
        QTest::newRow("script with arguments") << "@script@ --alpha" << script << QStringList{"--alpha"}
                                               << QStringList{"--beta"} << false;
        QTest::newRow("script without arguments") << "@script@ %U" << script << QStringList{"--alpha"}
                                                  << QStringList{} << true;
        QTest::newRow("interpreter without arguments")
            << "@interpreter@ %U" << interpreter << QStringList{script, "--alpha"} << QStringList{script, "--beta"}
            << true;
    }

    void xdgCommandArgumentsDecideOwnership()
    {
        QFETCH(QString, exec);
        QFETCH(QString, program);
        QFETCH(QStringList, ownArguments);
        QFETCH(QStringList, otherArguments);
        QFETCH(bool, otherBelongs);

        QTemporaryDir dir(QDir::home().filePath("launched-XXXXXX"));
        QVERIFY(dir.isValid());
        const QString interpreter = dir.filePath("tovra-interpreter");
        QVERIFY(QFile::copy(QFileInfo("/bin/sh").canonicalFilePath(), interpreter));
        const QString script = dir.filePath("tovra-script");
        QFile scriptFile(script);
        QVERIFY(scriptFile.open(QIODevice::WriteOnly));
        // No trap: SIGTERM ends it at once, so a wrongly signalled bystander shows without delay.
        scriptFile.write("#!/bin/sh\nread line\n");
        scriptFile.close();
        QVERIFY(scriptFile.setPermissions(scriptFile.permissions() | QFile::ExeOwner));
        const auto substitute = [&](QString text, const QString &quote) {
            text.replace("@interpreter@", quote + interpreter + quote);
            return text.replace("@script@", quote + script + quote);
        };
        const auto substituteAll = [&](QStringList list) {
            for (QString &item : list)
                item = substitute(item, {});
            return list;
        };
        QDir(dir.path()).mkpath("applications");
        QFile entry(dir.filePath("applications/tovra-launched.desktop"));
        QVERIFY(entry.open(QIODevice::WriteOnly));
        entry.write("[Desktop Entry]\nType=Application\nName=Tovra Launched\nExec=");
        entry.write(substitute(exec, "\"").toUtf8() + "\n");
        entry.close();
        const ToolServices services{std::make_shared<XdgApplicationControl>(QStringList{dir.filePath("applications")}),
                                    nullptr, {}};

        QProcess other;
        other.start(substitute(program, {}), substituteAll(otherArguments));
        QVERIFY(other.waitForStarted());
        m_started.append(other.processId());
        if (!otherBelongs) {
            // Only the process with other arguments runs: the entry is not open.
            QCOMPARE(run(services, "list_open_apps"), "");
            QCOMPARE(run(services, "close_app", {{"app_name", "Tovra Launched"}}),
                     "Error: Application is not running: Tovra Launched");
        }

        QProcess own;
        own.start(substitute(program, {}), substituteAll(ownArguments));
        QVERIFY(own.waitForStarted());
        m_started.append(own.processId());
        QCOMPARE(run(services, "list_open_apps"), "Tovra Launched");
        QCOMPARE(run(services, "close_app", {{"app_name", "Tovra Launched"}}), "Closed Tovra Launched");
        QVERIFY(own.waitForFinished(20000));
        QCOMPARE(own.exitStatus(), QProcess::CrashExit); // ended by the signal

        if (otherBelongs) {
            QVERIFY(other.waitForFinished(20000));
        } else {
            QVERIFY(!other.waitForFinished(300));
            QCOMPARE(run(services, "list_open_apps"), "");
            other.kill();
            QVERIFY(other.waitForFinished(20000));
        }
    }

    void xdgFailures_data()
    {
        QTest::addColumn<QString>("tool");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("result");
        QTest::newRow("unknown") << "open_app" << "No Such App" << "Error: Application not found: No Such App";
        QTest::newRow("close unknown") << "close_app" << "No Such App" << "Error: Application not found: No Such App";
        QTest::newRow("hidden entry") << "open_app" << "Removed App" << "Error: Application not found: Removed App";
        QTest::newRow("link entry") << "open_app" << "Standin Link" << "Error: Application not found: Standin Link";
        QTest::newRow("action name") << "open_app" << "Zzz Action Name" << "Error: Application not found: Zzz Action Name";
        QTest::newRow("program missing") << "open_app" << "Missing Program"
                                         << "Error: Application program not found: tovra-no-such-program-anywhere";
        QTest::newRow("shell in name") << "open_app" << "Standin Editor\"; touch pwned; \""
                                       << "Error: Application not found: Standin Editor\"; touch pwned; \"";
        QTest::newRow("substitution in name") << "open_app" << "$(touch pwned)"
                                              << "Error: Application not found: $(touch pwned)";
        QTest::newRow("line break in name") << "close_app" << "Standin Editor\nStandin Helper"
                                            << "Error: Application not found: Standin Editor\nStandin Helper";
    }

    void xdgFailures()
    {
        QFETCH(QString, tool);
        QFETCH(QString, name);
        QFETCH(QString, result);
        QFile::remove(m_record);
        QCOMPARE(run(xdgServices(), tool, {{"app_name", name}}), result);
        QVERIFY(!QFile::exists(QDir::home().filePath("pwned")));
        QTest::qWait(50);
        QVERIFY(!QFile::exists(m_record));
    }
};

TOVRA_TEST_MAIN(ApplicationsTest, QCoreApplication)
#include "tst_applications.moc"

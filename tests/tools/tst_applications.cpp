#include "tools/toolexecutor.h"

#include "platform/applicationcontrol.h"
#include "platform/desktopentries.h"
#include "platform/xdgapplicationcontrol.h"
#include "tests/support/testenvironment.h"

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

ToolServices xdgServices(const QString &folder = applications)
{
    return {std::make_shared<XdgApplicationControl>(QStringList{folder}), nullptr, {}};
}

QStringList readList(const QString &path, QChar separator)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QStringList items = QString::fromUtf8(file.readAll()).split(separator);
    if (items.last().isEmpty())
        items.removeLast();
    return items;
}

void writeFile(const QString &path, const QByteArray &text)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(text) == text.size());
}

// Reads an AppleScript string literal at the start of `text`; the rest goes to `rest`.
std::optional<QString> readLiteral(const QString &text, QString *rest)
{
    if (!text.startsWith(u'"'))
        return std::nullopt;
    QString value;
    for (qsizetype i = 1; i < text.size(); ++i) {
        if (text[i] == u'\\' && i + 1 < text.size()) {
            value += text[++i];
        } else if (text[i] == u'"') {
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
    // "pid (name) S ...": a zombie has ended, it only waits to be reaped.
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    const QByteArray line = stat.open(QIODevice::ReadOnly) ? stat.readAll() : QByteArray();
    const qsizetype close = line.lastIndexOf(')');
    return close > 0 && line.size() > close + 2 && line.at(close + 2) != 'Z';
}

} // namespace

class ApplicationsTest : public QObject
{
    Q_OBJECT

private:
    const QString m_log = QDir::home().filePath("osascript.log");
    const QString m_record = QDir::home().filePath("standin-app.record");
    QList<qint64> m_started;

private slots:
    void initTestCase()
    {
        qputenv("STANDIN_OSASCRIPT_LOG", m_log.toUtf8());
        qputenv("STANDIN_APP_RECORD", m_record.toUtf8());
        qputenv("PATH", (fixtures + ":" + qEnvironmentVariable("PATH")).toUtf8());
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
            if (isRunning(pid))
                ::kill(pid_t(pid), SIGKILL);
        }
        m_started.clear();
    }

    // --- macOS: scripts through the stand-in osascript ---

    // The name always arrives as one AppleScript string literal, or not at all.
    void macOpenAndClose_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("refused");
        QTest::newRow("plain") << "Safari" << false;
        QTest::newRow("quotes") << "My \"App\"" << false;
        QTest::newRow("backslashes") << "C:\\Apps\\" << false;
        QTest::newRow("empty") << "" << false;
        QTest::newRow("closes the quote, runs a shell")
            << "Evil\" & (do shell script \"touch /tmp/pwned\") & \"" << false;
        QTest::newRow("ends the tell early") << "Finder\" to quit --" << false;
        QTest::newRow("escaped quote attempt") << "x\\\" to quit --" << false;
        QTest::newRow("only quotes") << "\"\"\"\"" << false;
        QTest::newRow("unicode and guillemets") << "Café «data» ¬" << false;
        QTest::newRow("line feed")
            << "Safari\" to activate\ntell application \"Finder\" to quit" << true;
        QTest::newRow("carriage return") << "Safari\rdo shell script \"id\"" << true;
        QTest::newRow("line separator") << QString("Safari") + QChar(0x2028) + "x" << true;
        QTest::newRow("nul") << QString("Safari") + QChar(0) + "x" << true;
    }

    void macOpenAndClose()
    {
        QFETCH(QString, name);
        QFETCH(bool, refused);
        qputenv("STANDIN_OSASCRIPT_OUTPUT", "ignored result");
        for (const auto &[tool, verb, suffix] : {std::tuple{"open_app", "Opened ", " to activate"},
                                                 std::tuple{"close_app", "Closed ", " to quit"}}) {
            QFile::remove(m_log);
            const QString result = run(macServices(), tool, {{"app_name", name}});
            if (refused) {
                QCOMPARE(
                    result,
                    "Error: An application name cannot contain line breaks or control characters");
                QVERIFY(!QFile::exists(m_log)); // osascript never ran
                continue;
            }
            QCOMPARE(result, verb + name);
            const QStringList arguments = readList(m_log, QChar(0));
            QCOMPARE(arguments.size(), 2);
            QCOMPARE(arguments[0], "-e");
            const QString prefix = "tell application ";
            QVERIFY(arguments[1].startsWith(prefix));
            QString rest;
            const auto literal = readLiteral(arguments[1].mid(prefix.size()), &rest);
            QVERIFY(literal);
            QCOMPARE(*literal, name);
            QCOMPARE(rest, QString::fromUtf8(suffix));
        }
    }

    void macFailures()
    {
        const QString error = "0:33: execution error: Can’t get application \"Nope\". (-1728)";
        qputenv("STANDIN_OSASCRIPT_ERROR", error.toUtf8());
        QCOMPARE(run(macServices(), "open_app", {{"app_name", "Nope"}}), "Error: " + error);
        QCOMPARE(run(macServices(), "list_open_apps"), "Error: " + error);
        QCOMPARE(run(macServices(QDir::home().filePath("no-such-osascript")),
                     "close_app",
                     {{"app_name", "Safari"}}),
                 "Error: Could not create script");
    }

    void macRunGivesTheResultText()
    {
        const AppleScriptExecutor executor(fixtures + "/osascript");
        for (const QByteArray &printed : {QByteArray("hello"), QByteArray("a\nb"), QByteArray()}) {
            qputenv("STANDIN_OSASCRIPT_OUTPUT", printed);
            const ServiceResult<QString> output = QCoro::waitFor(executor.run("return 1"));
            QVERIFY(output.ok());
            QCOMPARE(output.value(), QString::fromUtf8(printed));
        }
    }

    void macListOpenApps_data()
    {
        QTest::addColumn<QByteArray>("printed");
        QTest::addColumn<QString>("result");
        QTest::newRow("sorted by code unit")
            << QByteArray("[\"Safari\",\"Finder\",\"Ärger\",\"Mail\",\"finder\"]")
            << "Finder\nMail\nSafari\nfinder\nÄrger";
        QTest::newRow("none") << QByteArray("[]") << "";
        QTest::newRow("not a list")
            << QByteArray("garbage") << "Error: Unexpected list of applications: garbage";
    }

    void macListOpenApps()
    {
        QFETCH(QByteArray, printed);
        QFETCH(QString, result);
        qputenv("STANDIN_OSASCRIPT_OUTPUT", printed);
        QCOMPARE(run(macServices(), "list_open_apps"), result);
        const QStringList arguments = readList(m_log, QChar(0));
        QCOMPARE(arguments.size(), 4);
        QCOMPARE(arguments.mid(0, 3), (QStringList{"-l", "JavaScript", "-e"}));
        QVERIFY(arguments[3].contains("NSApplicationActivationPolicyRegular"));
    }

    // --- Linux: XDG desktop entries ---

    void splitExec_data()
    {
        QTest::addColumn<QString>("exec");
        QTest::addColumn<QStringList>("arguments"); // empty: refused
        QTest::newRow("field codes dropped") << "gedit %U" << QStringList{"gedit"};
        QTest::newRow("all codes")
            << "app %f %F %u %U %i %c %k %d %D %n %N %v %m -x" << QStringList{"app", "-x"};
        QTest::newRow("percent kept") << "app 100%% --a=%f" << QStringList{"app", "100%", "--a="};
        QTest::newRow("quoted spaces") << "\"/opt/My App/run\" --title \"a b\""
                                       << QStringList{"/opt/My App/run", "--title", "a b"};
        QTest::newRow("quoted escapes")
            << "app \"\\\"q\\\" \\$HOME \\` \\\\\"" << QStringList{"app", "\"q\" $HOME ` \\"};
        QTest::newRow("quoted field code kept") << "app \"%f\"" << QStringList{"app", "%f"};
        QTest::newRow("shell syntax is data")
            << "app ;rm${IFS}-rf $(id) | x"
            << QStringList{"app", ";rm${IFS}-rf", "$(id)", "|", "x"};
        QTest::newRow("extra spaces") << "  app   -a  " << QStringList{"app", "-a"};
        QTest::newRow("unbalanced quote") << "app \"open" << QStringList{};
        QTest::newRow("empty") << "" << QStringList{};
        QTest::newRow("only a field code") << "%U" << QStringList{};
    }

    void splitExec()
    {
        QFETCH(QString, exec);
        QFETCH(QStringList, arguments);
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
        writeFile(earlier.filePath("tovra-standin-editor.desktop"),
                  "[Desktop Entry]\nType=Application\nName=Standin "
                  "Editor\nHidden=true\nExec=tovra-standin-app\n");
        QDir(earlier.path()).mkpath("vendor");
        writeFile(earlier.filePath("vendor/tool.desktop"),
                  "[Desktop Entry]\nType=Application\nName=Vendor Tool\nExec=tovra-standin-app\n");
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
        QCOMPARE(run(services, "list_open_apps"), "");

        // Matched without regard to case; the message repeats the name as given.
        QCOMPARE(run(services, "open_app", {{"app_name", "standin EDITOR"}}),
                 "Opened standin EDITOR");
        QTRY_VERIFY_WITH_TIMEOUT(readList(m_record, u'\n').size() > 1, 20000);
        const QStringList lines = readList(m_record, u'\n');
        const qint64 pid = lines.first().toLongLong();
        m_started.append(pid);
        // Started without a shell: the arguments arrive exactly, shell syntax unexpanded.
        QCOMPARE(lines.mid(1),
                 (QStringList{"--flag", "two words", "say \"hi\"", ";touch${IFS}pwned", "100%"}));
        QVERIFY(!QFile::exists(QDir::home().filePath("pwned")));

        // The hidden helper runs the same program but is not a visible entry.
        QCOMPARE(run(services, "list_open_apps"), "Standin Editor");
        QCOMPARE(XdgApplicationControl::processesRunning(
                     QFileInfo(fixtures + "/tovra-standin-app").canonicalFilePath()),
                 QList<qint64>{pid});

        QProcess bystander; // another program keeps running
        bystander.start("sleep", {"30"});
        QVERIFY(bystander.waitForStarted());
        QCOMPARE(run(services, "close_app", {{"app_name", "Standin Editor"}}),
                 "Closed Standin Editor");
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
        // "I" is a private copy of sh (an interpreter no other program runs), "S" a "#!/bin/sh" script;
        // both wait on their input until ended. The first item of each list is the program started.
        QTest::addColumn<QString>("exec");
        QTest::addColumn<QStringList>("own");
        QTest::addColumn<QStringList>("other");
        QTest::addColumn<bool>("otherBelongs");
        QTest::newRow("interpreter and script")
            << "I S --alpha %U" << QStringList{"I", "S", "--alpha"}
            << QStringList{"I", "S", "--beta"} << false;
        QTest::newRow("opened files follow the arguments")
            << "I S --alpha %U" << QStringList{"I", "S", "--alpha", "notes.txt"}
            << QStringList{"I", "S"} << false;
        QTest::newRow("launcher option first")
            << "I -e S %f" << QStringList{"I", "-e", "S"} << QStringList{"I", "S", "-e"} << false;
        QTest::newRow("order matters")
            << "I S one two" << QStringList{"I", "S", "one", "two", "three"}
            << QStringList{"I", "S", "two", "one"} << false;
        QTest::newRow("quoted argument stays whole")
            << "I S \"two words\"" << QStringList{"I", "S", "two words"}
            << QStringList{"I", "S", "two", "words"} << false;
        QTest::newRow("script with arguments")
            << "S --alpha" << QStringList{"S", "--alpha"} << QStringList{"S", "--beta"} << false;
        QTest::newRow("script without arguments")
            << "S %U" << QStringList{"S", "--alpha"} << QStringList{"S"} << true;
        QTest::newRow("interpreter without arguments") << "I %U" << QStringList{"I", "S", "--alpha"}
                                                       << QStringList{"I", "S", "--beta"} << true;
    }

    void xdgCommandArgumentsDecideOwnership()
    {
        QFETCH(QString, exec);
        QFETCH(QStringList, own);
        QFETCH(QStringList, other);
        QFETCH(bool, otherBelongs);

        QTemporaryDir dir(QDir::home().filePath("launched-XXXXXX"));
        QVERIFY(dir.isValid() && QDir(dir.path()).mkpath("applications"));
        const QString interpreter = dir.filePath("tovra-interpreter");
        QVERIFY(QFile::copy(QFileInfo("/bin/sh").canonicalFilePath(), interpreter));
        const QString script = dir.filePath("tovra-script");
        // No trap: SIGTERM ends it at once, so a wrongly signalled bystander shows without delay.
        writeFile(script, "#!/bin/sh\nread line\n");
        QVERIFY(QFile::setPermissions(script, QFile::permissions(script) | QFile::ExeOwner));
        const auto resolve = [&](const QString &item, const QString &quote = {}) {
            return item == "I"   ? quote + interpreter + quote
                   : item == "S" ? quote + script + quote
                                 : item;
        };
        QStringList execItems = exec.split(u' ');
        for (QString &item : execItems)
            item = resolve(item, "\"");
        writeFile(dir.filePath("applications/tovra-launched.desktop"),
                  "[Desktop Entry]\nType=Application\nName=Tovra Launched\nExec="
                      + execItems.join(u' ').toUtf8() + "\n");
        const ToolServices services = xdgServices(dir.filePath("applications"));
        const auto start = [&](QProcess &process, QStringList command) {
            for (QString &item : command)
                item = resolve(item);
            process.start(command.first(), command.mid(1));
            m_started.append(process.waitForStarted() ? process.processId() : 0);
        };

        QProcess otherProcess;
        start(otherProcess, other);
        if (!otherBelongs) { // only the process with other arguments runs: the entry is not open
            QCOMPARE(run(services, "list_open_apps"), "");
            QCOMPARE(run(services, "close_app", {{"app_name", "Tovra Launched"}}),
                     "Error: Application is not running: Tovra Launched");
        }
        QProcess ownProcess;
        start(ownProcess, own);
        QCOMPARE(run(services, "list_open_apps"), "Tovra Launched");
        QCOMPARE(run(services, "close_app", {{"app_name", "Tovra Launched"}}),
                 "Closed Tovra Launched");
        QVERIFY(ownProcess.waitForFinished(20000));
        QCOMPARE(ownProcess.exitStatus(), QProcess::CrashExit); // ended by the signal
        QCOMPARE(otherProcess.waitForFinished(otherBelongs ? 20000 : 300), otherBelongs);
        if (!otherBelongs) {
            QCOMPARE(run(services, "list_open_apps"), "");
            otherProcess.kill();
            QVERIFY(otherProcess.waitForFinished(20000));
        }
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
            QCOMPARE(run(xdgServices(), "open_app", {{"app_name", name}}),
                     "Error: Application not found: " + name);
            QCOMPARE(run(xdgServices(), "close_app", {{"app_name", name}}),
                     "Error: Application not found: " + name);
        }
        QCOMPARE(run(xdgServices(), "open_app", {{"app_name", "Missing Program"}}),
                 "Error: Application program not found: tovra-no-such-program-anywhere");
        QTest::qWait(50);
        QVERIFY(!QFile::exists(QDir::home().filePath("pwned")));
        QVERIFY(!QFile::exists(m_record));
    }
};

TOVRA_TEST_MAIN(ApplicationsTest, QCoreApplication)
#include "tst_applications.moc"

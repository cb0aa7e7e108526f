#include "tests/tools/toolrun.h"
#include "tools/fileactions.h"
#include "tools/systemactions.h"
#include "tools/toolcatalogue.h"

#include "platform/systeminfo.h"
#include "platform/wording.h"
#include "tests/support/testenvironment.h"

#include <QCoroTask>
#include <QGuiApplication>

#include <nlohmann/json.hpp>

#include <sys/stat.h>
#include <unistd.h>

using nlohmann::json;

namespace {

QString inHome(const QString &relative)
{
    return QDir::home().filePath(relative);
}

void makeSized(const QString &path, qint64 size)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadWrite) && file.resize(size)); // sparse
}

} // namespace

class ToolExecutorTest : public QObject
{
    Q_OBJECT

private slots:
    void init() { failOnUnexpectedWarnings(); }
    void initTestCase()
    {
        // Everything lives in the private home of the test, on the same file system as its Trash.
        QVERIFY(writeTestFile(inHome("docs/notes.txt"), "Grüße\nline two\n"));
        QVERIFY(writeTestFile(inHome("docs/empty.txt"), ""));
        QVERIFY(writeTestFile(inHome("docs/latin1.txt"), "caf\xe9"));
        QVERIFY(writeTestFile(inHome("docs/latin1-mid.txt"), "caf\xe9 au lait"));
        QVERIFY(writeTestFile(inHome("docs/bom.txt"), "\xef\xbb\xbfhi"));
        QVERIFY(writeTestFile(inHome("docs/locked.txt"), "secret"));
        QFile::setPermissions(inHome("docs/locked.txt"), {});
        QDir().mkpath(inHome("docs/folder"));
        QVERIFY(::mkfifo(qPrintable(inHome("docs/fifo")), 0600) == 0);
        QVERIFY(QFile::link("link-target.txt", inHome("docs/link.txt")));
        makeSized(inHome("docs/exact.bin"), FileActions::maxReadBytes);
        makeSized(inHome("docs/huge.bin"), FileActions::maxReadBytes + 1);
        QVERIFY(QDir::setCurrent(inHome("docs")));
    }

    // The request form: every parameter a required string, "required" in catalogue order.
    // Texts are written for macOS; elsewhere "macOS" reads "desktop" and "Mac" "computer".
    void definitionsAndWording()
    {
        const json definitions = ToolCatalogue::toolDefinitions();
        QCOMPARE(definitions.size(), size_t(14));
        QCOMPARE(QString::fromStdString(definitions.at(2).dump()),
                 R"({"function":{"description":"Write content to a file.","name":"write_file",)"
                 R"("parameters":{"properties":{"content":{"description":"The content to write",)"
                 R"("type":"string"},"path":{"description":"The absolute file path",)"
                 R"("type":"string"}},"required":["path","content"],"type":"object"}},)"
                 R"("type":"function"})");
        QCOMPARE(ToolCatalogue::displaySubtitle("get_system_info"),
                 "Get desktop system information");
        const QString mac = "A macOS app on any Mac, not a Macintosh.";
        QCOMPARE(platformWording(mac, false), "A desktop app on any computer, not a Macintosh.");
        QCOMPARE(platformWording(mac, true), mac);
        // Names are matched exactly: an unknown one is its own title, with no subtitle.
        for (const QString name : {"Open_App", ""}) {
            QVERIFY(!ToolCatalogue::isKnownTool(name));
            QCOMPARE(ToolCatalogue::displayTitle(name), name);
            QCOMPARE(ToolCatalogue::displaySubtitle(name), QString());
        }
    }

    // Every fixed answer: unknown names, argument messages, pointer tools, file results and errors.
    void results_data()
    {
        columns<QString, ToolArguments, QString>("tool", "arguments", "result");
        const auto row
            = [](const char *tag,
                 const QString &tool,
                 const ToolArguments &arguments,
                 const QString &result) { QTest::newRow(tag) << tool << arguments << result; };
        const ToolArguments notes{{"path", inHome("docs/notes.txt")}};
        for (const QString name : {"Read_File", "GET_CLIPBOARD", " read_file", "run_shell", ""})
            QTest::addRow("unknown '%s'", qPrintable(name))
                << name << notes << "Unknown tool: " + name;

        row("read_file, no path", "read_file", {}, "Missing 'path' argument");
        row("read_file, key in other case", "read_file", {{"Path", "x"}}, "Missing 'path' argument");
        const QString pathOrContent = "Missing 'path' or 'content' argument";
        row("write_file, no content", "write_file", {{"path", "never.txt"}}, pathOrContent);
        row("write_file, no path", "write_file", {{"content", "x"}}, pathOrContent);

        const QString download = "Use the Models tab to download models from HuggingFace.";
        row("download, stray argument", "download_model", {{"url", "http://x"}}, download);
        const QString load = "Use the Models tab to load a model.";
        row("activate, none", "set_active_model", {}, load);
        row("no models in the app folder", "list_local_models", {}, "No models downloaded yet");

        const QString text = "Grüße\nline two\n";
        // File answers quote the path as given ("%1").
        const auto file
            = [&](const char *tag, const char *tool, const QString &path, QString result) {
                  const QString key = tool == QLatin1String("list_files") ? "directory" : "path";
                  row(tag, tool, {{key, path}}, result.replace("%1", path));
              };
        file("read absolute", "read_file", inHome("docs/notes.txt"), text);
        file("read with tilde", "read_file", "~/docs/notes.txt", text);
        file("read relative to the current folder", "read_file", "notes.txt", text);
        file("read empty file", "read_file", "~/docs/empty.txt", "");
        file("byte order mark kept", "read_file", "~/docs/bom.txt", QChar(0xFEFF) + QString("hi"));
        const QString notFound = "Error: File not found: %1";
        file("read missing, quoted as given", "read_file", "~/docs/nothing.txt", notFound);
        file("read missing, relative", "read_file", "nothing.txt", notFound);
        file("read folder", "read_file", "~/docs/folder", "Error: Is a directory: %1");
        const QString notText = "Error: File is not valid UTF-8 text: %1";
        file("read not UTF-8", "read_file", "~/docs/latin1.txt", notText);
        file("read not UTF-8 inside", "read_file", "~/docs/latin1-mid.txt", notText);
        const QString tooLarge = "Error: File too large to read: %1";
        file("read over 16 MiB", "read_file", "~/docs/huge.bin", tooLarge);
        file("read endless device", "read_file", "/dev/zero", "Error: Not a regular file: %1");
        file("list missing", "list_files", "~/no-such-folder", "Error: Folder not found: %1");
        file("list a file", "list_files", "~/docs/notes.txt", "Error: Not a folder: %1");
        file("delete missing", "delete_file", "~/gone.txt", notFound);
        file("delete empty path", "delete_file", "", notFound);
        // A file stands where a folder would have to be; writing onto a folder leaves it alone.
        row("write under a file",
            "write_file",
            {{"path", "~/docs/notes.txt/inner.txt"}, {"content", "x"}},
            "Error: Could not create the folder for ~/docs/notes.txt/inner.txt");
        row("write onto a FIFO",
            "write_file",
            {{"path", "~/docs/fifo"}, {"content", "x"}},
            "Error: Not a regular file: ~/docs/fifo");
        row("write onto a folder",
            "write_file",
            {{"path", "~/docs/folder"}, {"content", "x"}},
            "Error: Could not write ~/docs/folder: Filename refers to a directory");
    }

    void results()
    {
        const auto [tool, arguments] = fetch<QString, ToolArguments>("tool", "arguments");
        QTEST(runTool({}, tool, arguments), "result");
        QVERIFY(!QFile::exists(inHome("docs/never.txt")));
        QCOMPARE(readTestFile(inHome("docs/notes.txt")), QByteArray("Grüße\nline two\n"));
        QVERIFY(QFileInfo(inHome("docs/folder")).isDir());
    }

    void readFileEdges()
    {
        const QString exact = runTool({}, "read_file", {{"path", "~/docs/exact.bin"}});
        QCOMPARE(exact.size(), FileActions::maxReadBytes);
        QCOMPARE(exact.front(), QChar(0));
        if (::geteuid() == 0)
            QSKIP("root reads files whatever their permissions");
        const QString locked = runTool({}, "read_file", {{"path", "~/docs/locked.txt"}});
        QVERIFY2(locked.startsWith("Error: Could not read ~/docs/locked.txt: "), qPrintable(locked));
    }

    void writeFile_data()
    {
        columns<QString, QString, QString>("path", "written", "content");
        addRow("missing folders are created", "~/out/a/b/c.txt", inHome("out/a/b/c.txt"), "deep");
        addRow("empty content, empty file", "~/out/empty.txt", inHome("out/empty.txt"), "");
        QTest::newRow("relative") << "relative-out.txt" << inHome("docs/relative-out.txt") << "rel";
        addRow("replaces", "~/docs/replace-me.txt", inHome("docs/replace-me.txt"), "new ✓");
        addRow("through a link", "~/docs/link.txt", inHome("docs/link-target.txt"), "linked");
    }

    void writeFile()
    {
        const auto [path, written, content]
            = fetch<QString, QString, QString>("path", "written", "content");
        QVERIFY(writeTestFile(inHome("docs/replace-me.txt"), "old old old old"));
        QVERIFY(writeTestFile(inHome("docs/link-target.txt"), "old"));
        QCOMPARE(runTool({}, "write_file", {{"path", path}, {"content", content}}),
                 "File written successfully to " + path);
        QVERIFY(QFileInfo(written).isFile());
        QCOMPARE(readTestFile(written), content.toUtf8());
        QVERIFY(QFileInfo(inHome("docs/link.txt")).isSymLink());
    }

    void listFiles_data()
    {
        columns<QStringList, QStringList, QString>("files", "folders", "result");
        QTest::newRow("hidden skipped, folder marked")
            << QStringList{".hidden", "README"} << QStringList{"src", ".git"} << "README\nsrc/";
        QTest::newRow("code-unit order, upper case first")
            << QStringList{"b.txt", "B.txt", "a"} << QStringList{"Z"} << "B.txt\nZ/\na\nb.txt";
        QTest::newRow("sorted after the slash is added")
            << QStringList{"ab.c"} << QStringList{"ab"} << "ab.c\nab/";
        QTest::newRow("empty") << QStringList{} << QStringList{} << "(empty)";
        QTest::newRow("only hidden") << QStringList{".DS_Store"} << QStringList{} << "(empty)";
    }

    void listFiles()
    {
        const auto [files, folders] = fetch<QStringList, QStringList>("files", "folders");
        const QString dir = inHome(QStringLiteral("listing/") + QTest::currentDataTag());
        QDir().mkpath(dir);
        for (const QString &file : files)
            QVERIFY(writeTestFile(dir + "/" + file, "x"));
        for (const QString &folder : folders)
            QDir().mkpath(dir + "/" + folder);
        QTEST(runTool({}, "list_files", {{"directory", dir}}), "result");
        QVERIFY(runTool({}, "list_files", {{"directory", "~"}}).split('\n').contains("docs/"));
    }

    void deleteMovesToTrash_data()
    {
        QTest::addColumn<bool>("folder");
        QTest::newRow("trash-me.txt") << false;
        QTest::newRow("trash-folder") << true;
    }

    void deleteMovesToTrash()
    {
        QFETCH(bool, folder);
        const QString name = QTest::currentDataTag();
        const QString path = inHome(name);
        QVERIFY(writeTestFile(folder ? path + "/inside.txt" : path, "kept"));
        QCOMPARE(runTool({}, "delete_file", {{"path", "~/" + name}}), "Moved to Trash: ~/" + name);
        QVERIFY(!QFileInfo::exists(path));
        // The freedesktop Trash of this home: the item under files/, its record under info/.
        const QString trash
            = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + "/Trash";
        QCOMPARE(readTestFile(trash + "/files/" + name + (folder ? "/inside.txt" : "")),
                 QByteArray("kept"));
        QVERIFY(readTestFile(trash + "/info/" + name + ".trashinfo").contains("[Trash Info]"));
    }

    void systemInfo()
    {
        const QStringList lines
            = runTool({}, "get_system_info", {{"verbose", "true"}}).split('\n'); // arguments ignored
        QCOMPARE(lines.size(), 4);
        // Qt reads the same PRETTY_NAME of os-release.
        QCOMPARE(lines[0], "Linux: " + QSysInfo::prettyProductName());
        QVERIFY2(QRegularExpression("^RAM: \\d+\\.\\dGB$").match(lines[1]).hasMatch(),
                 qPrintable(lines[1]));
        QVERIFY2(QRegularExpression("^Disk: \\d+GB free of \\d+GB$").match(lines[2]).hasMatch(),
                 qPrintable(lines[2]));
        QCOMPARE(lines[3], QString("CPU: %1 cores").arg(QThread::idealThreadCount()));
    }

    void systemInfoReport_data()
    {
        // "free" negative: unknown
        columns<quint64, qint64, qint64, QString>("memory", "free", "total", "figures");
        const qint64 gb = qint64(1) << 30;
        addRow("whole", quint64(16 * gb), 100 * gb, 500 * gb, "16.0GB\nDisk: 100GB free of 500GB");
        // Halves round as printf rounds them: to even.
        QTest::newRow("fractions")
            << quint64(gb + gb / 4) << gb / 4 << 3 * gb / 2 << "1.2GB\nDisk: 0GB free of 2GB";
        QTest::newRow("rounding up") << quint64(gb + gb * 3 / 4) << gb * 3 / 4 << 5 * gb / 2
                                     << "1.8GB\nDisk: 1GB free of 2GB";
        addRow("disk unknown", quint64(8 * gb), qint64(-1), 500 * gb, "8.0GB\nDisk: Unknown");
    }

    void systemInfoReport()
    {
        const auto [memory, free] = fetch<quint64, qint64>("memory", "free");
        const auto [total, figures] = fetch<qint64, QString>("total", "figures");
        const auto freeBytes = free < 0 ? std::nullopt : std::optional<qint64>(free);
        QCOMPARE(SystemActions::systemInfoReport("Linux: X", memory, freeBytes, total, 8),
                 "Linux: X\nRAM: " + figures + "\nCPU: 8 cores");
    }

    void osReleaseName_data()
    {
        columns<QByteArray, QString>("text", "name");
        QTest::newRow("quoted") << QByteArray(
            "NAME=\"Debian\"\nPRETTY_NAME=\"Debian GNU/Linux 12 (bookworm)\"\n")
                                << "Debian GNU/Linux 12 (bookworm)";
        QTest::newRow("bare") << QByteArray("PRETTY_NAME=Arch\n") << "Arch";
        addRow("escaped quote", QByteArray("PRETTY_NAME=\"My \\\"OS\\\"\""), "My \"OS\"");
        QTest::newRow("absent") << QByteArray("NAME=x\n") << "";
    }

    void osReleaseName()
    {
        QFETCH(QByteArray, text);
        QTEST(SystemInfo::prettyNameFromOsRelease(text), "name");
    }

    void localModels()
    {
        const QString models = inHome("models-test");
        const ToolServices services{nullptr, nullptr, models};
        QDir().mkpath(models);
        QCOMPARE(runTool(services, "list_local_models"), "No models downloaded yet");
        // Only *.gguf files one folder down, not hidden, count.
        for (const char *file : {"loose.gguf",
                                 "org_big/readme.md",
                                 "org_big/UPPER.GGUF",
                                 "org_big/.partial.gguf",
                                 ".hidden_org/secret.gguf"})
            QVERIFY(writeTestFile(models + "/" + file, "x"));
        makeSized(models + "/org_big/big-Q4.gguf", qint64(1) << 30);
        makeSized(models + "/org_a/a-Q8.gguf", 3 << 20);
        QCOMPARE(runTool(services, "list_local_models"), "a-Q8.gguf (0.0 GB)\nbig-Q4.gguf (1.0 GB)");
    }
};

TOVRA_TEST_MAIN(ToolExecutorTest, QGuiApplication)
#include "tst_toolexecutor.moc"

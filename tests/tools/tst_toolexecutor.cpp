#include "fileactions.h"
#include "systemactions.h"
#include "toolexecutor.h"

#include "platform/systeminfo.h"
#include "testenvironment.h"

#include <QClipboard>
#include <QCoroTask>
#include <QGuiApplication>
#include <QImage>
#include <QMimeData>
#include <QRegularExpression>
#include <QtTest>

#include <unistd.h>

namespace {

QString run(const QString &tool, const ToolArguments &arguments = {}, ToolServices services = {})
{
    const ToolExecutor executor(std::move(services));
    return QCoro::waitFor(executor.execute(ToolCall{QStringLiteral("call-1"), tool, arguments}));
}

void writeBytes(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(bytes), bytes.size());
}

QByteArray readBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

} // namespace

class ToolExecutorTest : public QObject
{
    Q_OBJECT

private:
    QString home() const { return QDir::homePath(); }
    QString inHome(const QString &relative) const { return QDir(home()).filePath(relative); }

private slots:
    void initTestCase()
    {
        // Everything lives in the private home of the test, on the same file system as its Trash.
        writeBytes(inHome("docs/notes.txt"), "Grüße\nline two\n");
        writeBytes(inHome("docs/empty.txt"), "");
        writeBytes(inHome("docs/latin1.txt"), "caf\xe9");
        writeBytes(inHome("docs/latin1-mid.txt"), "caf\xe9 au lait");
        writeBytes(inHome("docs/bom.txt"), "\xef\xbb\xbfhi");
        writeBytes(inHome("docs/locked.txt"), "secret");
        QFile::setPermissions(inHome("docs/locked.txt"), {});
        QDir().mkpath(inHome("docs/folder"));
        QFile exact(inHome("docs/exact.bin"));
        QVERIFY(exact.open(QIODevice::WriteOnly) && exact.resize(FileActions::maxReadBytes));
        QFile huge(inHome("docs/huge.bin"));
        QVERIFY(huge.open(QIODevice::WriteOnly) && huge.resize(FileActions::maxReadBytes + 1));
        QVERIFY(QDir::setCurrent(inHome("docs")));
    }

    void unknownTools_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("differs in case") << "Read_File";
        QTest::newRow("all upper case") << "GET_CLIPBOARD";
        QTest::newRow("surrounding space") << " read_file";
        QTest::newRow("not a tool") << "run_shell";
        QTest::newRow("empty") << "";
    }

    void unknownTools()
    {
        QFETCH(QString, name);
        QCOMPARE(run(name, {{"path", inHome("docs/notes.txt")}}), "Unknown tool: " + name);
    }

    void missingArguments_data()
    {
        QTest::addColumn<QString>("tool");
        QTest::addColumn<ToolArguments>("arguments");
        QTest::addColumn<QString>("message");
        QTest::newRow("read_file, none") << "read_file" << ToolArguments{} << "Missing 'path' argument";
        QTest::newRow("read_file, key in other case")
            << "read_file" << ToolArguments{{"Path", "x"}} << "Missing 'path' argument";
        QTest::newRow("delete_file") << "delete_file" << ToolArguments{{"file", "x"}} << "Missing 'path' argument";
        QTest::newRow("write_file, no content")
            << "write_file" << ToolArguments{{"path", "never.txt"}} << "Missing 'path' or 'content' argument";
        QTest::newRow("write_file, no path")
            << "write_file" << ToolArguments{{"content", "x"}} << "Missing 'path' or 'content' argument";
        QTest::newRow("write_file, none") << "write_file" << ToolArguments{} << "Missing 'path' or 'content' argument";
        QTest::newRow("list_files, path instead of directory")
            << "list_files" << ToolArguments{{"path", "/"}} << "Missing 'directory' argument";
        QTest::newRow("open_app") << "open_app" << ToolArguments{{"name", "Safari"}} << "Missing 'app_name' argument";
        QTest::newRow("close_app") << "close_app" << ToolArguments{} << "Missing 'app_name' argument";
        QTest::newRow("set_clipboard") << "set_clipboard" << ToolArguments{} << "Missing 'text' argument";
    }

    void missingArguments()
    {
        QFETCH(QString, tool);
        QFETCH(ToolArguments, arguments);
        QFETCH(QString, message);
        QCOMPARE(run(tool, arguments), message);
        QVERIFY(!QFile::exists(inHome("docs/never.txt")));
    }

    void pointerTools_data()
    {
        QTest::addColumn<QString>("tool");
        QTest::addColumn<ToolArguments>("arguments");
        QTest::addColumn<QString>("result");
        const QString download = "Use the Models tab to download models from HuggingFace.";
        const QString activate = "Use the Models tab to load a model.";
        QTest::newRow("download, named") << "download_model" << ToolArguments{{"model_name", "Qwen"}} << download;
        QTest::newRow("download, no argument") << "download_model" << ToolArguments{} << download;
        QTest::newRow("download, stray argument") << "download_model" << ToolArguments{{"url", "http://x"}} << download;
        QTest::newRow("activate, named") << "set_active_model" << ToolArguments{{"model_name", "Qwen"}} << activate;
        QTest::newRow("activate, no argument") << "set_active_model" << ToolArguments{} << activate;
    }

    void pointerTools()
    {
        QFETCH(QString, tool);
        QFETCH(ToolArguments, arguments);
        QFETCH(QString, result);
        const QString models = inHome("pointer-models");
        QDir().mkpath(models);
        QCOMPARE(run(tool, arguments, {nullptr, nullptr, models}), result);
        QVERIFY(QDir(models).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot));
    }

    void readFile_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("result");
        const QString docs = inHome("docs");
        QTest::newRow("absolute") << docs + "/notes.txt" << QString("Grüße\nline two\n");
        QTest::newRow("tilde") << "~/docs/notes.txt" << QString("Grüße\nline two\n");
        QTest::newRow("relative to the current folder") << "notes.txt" << QString("Grüße\nline two\n");
        QTest::newRow("empty file") << "~/docs/empty.txt" << QString("");
        QTest::newRow("missing, quoted with its tilde") << "~/docs/nothing.txt" << "Error: File not found: ~/docs/nothing.txt";
        QTest::newRow("missing, relative") << "nothing.txt" << "Error: File not found: nothing.txt";
        QTest::newRow("folder") << "~/docs/folder" << "Error: Is a directory: ~/docs/folder";
        QTest::newRow("not UTF-8") << "~/docs/latin1.txt" << "Error: File is not valid UTF-8 text: ~/docs/latin1.txt";
        QTest::newRow("not UTF-8 inside") << "~/docs/latin1-mid.txt" << "Error: File is not valid UTF-8 text: ~/docs/latin1-mid.txt";
        QTest::newRow("byte order mark kept") << "~/docs/bom.txt" << QString(QChar(0xFEFF)) + "hi";
        QTest::newRow("over 16 MiB") << "~/docs/huge.bin" << "Error: File too large to read: ~/docs/huge.bin";
        QTest::newRow("device that never ends") << "/dev/zero" << "Error: Not a regular file: /dev/zero";
    }

    void readFile()
    {
        QFETCH(QString, path);
        QFETCH(QString, result);
        QCOMPARE(run("read_file", {{"path", path}}), result);
    }

    void readFileAtTheSizeLimit()
    {
        const QString text = run("read_file", {{"path", "~/docs/exact.bin"}});
        QCOMPARE(text.size(), FileActions::maxReadBytes);
        QCOMPARE(text.front(), QChar(0));
    }

    void readUnreadableFile()
    {
        if (::geteuid() == 0)
            QSKIP("root reads files whatever their permissions");
        const QString result = run("read_file", {{"path", "~/docs/locked.txt"}});
        QVERIFY2(result.startsWith("Error: Could not read ~/docs/locked.txt: "), qPrintable(result));
    }

    void writeFile_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("written");
        QTest::addColumn<QString>("content");
        QTest::newRow("missing folders are created") << "~/out/a/b/c.txt" << inHome("out/a/b/c.txt") << "deep";
        QTest::newRow("empty content, empty file") << "~/out/empty.txt" << inHome("out/empty.txt") << "";
        QTest::newRow("relative") << "relative-out.txt" << inHome("docs/relative-out.txt") << "rel";
        QTest::newRow("replaces") << "~/docs/replace-me.txt" << inHome("docs/replace-me.txt") << "new ✓";
    }

    void writeFile()
    {
        QFETCH(QString, path);
        QFETCH(QString, written);
        QFETCH(QString, content);
        writeBytes(inHome("docs/replace-me.txt"), "old old old old");
        QCOMPARE(run("write_file", {{"path", path}, {"content", content}}), "File written successfully to " + path);
        QCOMPARE(readBytes(written), content.toUtf8());
    }

    void writeFileFails()
    {
        // A file stands where a folder would have to be.
        const QString result = run("write_file", {{"path", "~/docs/notes.txt/inner.txt"}, {"content", "x"}});
        QVERIFY2(result.startsWith("Error: "), qPrintable(result));
        QVERIFY(result.contains("~/docs/notes.txt/inner.txt"));
        QCOMPARE(readBytes(inHome("docs/notes.txt")), QByteArray("Grüße\nline two\n"));
        // Writing onto a folder leaves the folder alone.
        QVERIFY(run("write_file", {{"path", "~/docs/folder"}, {"content", "x"}}).startsWith("Error: "));
        QVERIFY(QFileInfo(inHome("docs/folder")).isDir());
    }

    void listFiles_data()
    {
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<QStringList>("folders");
        QTest::addColumn<QString>("result");
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
        QFETCH(QStringList, files);
        QFETCH(QStringList, folders);
        QFETCH(QString, result);
        const QString dir = inHome(QStringLiteral("listing/") + QTest::currentDataTag());
        QDir().mkpath(dir);
        for (const QString &file : files)
            writeBytes(dir + "/" + file, "x");
        for (const QString &folder : folders)
            QDir().mkpath(dir + "/" + folder);
        QCOMPARE(run("list_files", {{"directory", dir}}), result);
    }

    void listFilesFailures_data()
    {
        QTest::addColumn<QString>("directory");
        QTest::addColumn<QString>("result");
        QTest::newRow("missing") << "~/no-such-folder" << "Error: Folder not found: ~/no-such-folder";
        QTest::newRow("a file") << "~/docs/notes.txt" << "Error: Not a folder: ~/docs/notes.txt";
    }

    void listFilesFailures()
    {
        QFETCH(QString, directory);
        QFETCH(QString, result);
        QCOMPARE(run("list_files", {{"directory", directory}}), result);
    }

    void listFilesWithTilde()
    {
        const QString result = run("list_files", {{"directory", "~"}});
        QVERIFY2(result.split('\n').contains("docs/"), qPrintable(result));
    }

    void deleteMovesToTrash_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("folder");
        QTest::newRow("file") << "trash-me.txt" << false;
        QTest::newRow("folder with contents") << "trash-folder" << true;
    }

    void deleteMovesToTrash()
    {
        QFETCH(QString, name);
        QFETCH(bool, folder);
        const QString path = inHome(name);
        if (folder)
            writeBytes(path + "/inside.txt", "kept");
        else
            writeBytes(path, "kept");

        QCOMPARE(run("delete_file", {{"path", "~/" + name}}), "Moved to Trash: ~/" + name);
        QVERIFY(!QFileInfo::exists(path));
        // The freedesktop Trash of this home: the item under files/, its record under info/.
        const QString trash = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + "/Trash";
        const QString trashed = trash + "/files/" + name;
        QCOMPARE(readBytes(folder ? trashed + "/inside.txt" : trashed), QByteArray("kept"));
        QVERIFY(readBytes(trash + "/info/" + name + ".trashinfo").contains("[Trash Info]"));
    }

    void deleteMissing()
    {
        QCOMPARE(run("delete_file", {{"path", "~/gone.txt"}}), "Error: File not found: ~/gone.txt");
        QCOMPARE(run("delete_file", {{"path", ""}}), "Error: File not found: ");
    }

    void systemInfo()
    {
        // Arguments are ignored.
        const QString report = run("get_system_info", {{"verbose", "true"}});
        const QStringList lines = report.split('\n');
        QCOMPARE(lines.size(), 4);
        QCOMPARE(lines[0], "Linux: " + SystemInfo::osVersionText());
        QVERIFY(lines[0].size() > 7);
        QVERIFY2(QRegularExpression("^RAM: \\d+\\.\\dGB$").match(lines[1]).hasMatch(), qPrintable(lines[1]));
        QVERIFY2(QRegularExpression("^Disk: \\d+GB free of \\d+GB$").match(lines[2]).hasMatch(), qPrintable(lines[2]));
        QCOMPARE(lines[3], QString("CPU: %1 cores").arg(SystemInfo::processorCount()));
    }

    void systemInfoReport_data()
    {
        QTest::addColumn<quint64>("memory");
        QTest::addColumn<qint64>("free");
        QTest::addColumn<qint64>("total");
        QTest::addColumn<QString>("report");
        const qint64 gb = qint64(1) << 30;
        QTest::newRow("whole figures") << quint64(16 * gb) << 100 * gb << 500 * gb
                                       << "Linux: X\nRAM: 16.0GB\nDisk: 100GB free of 500GB\nCPU: 8 cores";
        // Halves round as printf rounds them: to even.
        QTest::newRow("fractions") << quint64(gb + gb / 4) << gb / 4 << 3 * gb / 2
                                   << "Linux: X\nRAM: 1.2GB\nDisk: 0GB free of 2GB\nCPU: 8 cores";
        QTest::newRow("rounding up") << quint64(gb + gb * 3 / 4) << gb * 3 / 4 << 5 * gb / 2
                                     << "Linux: X\nRAM: 1.8GB\nDisk: 1GB free of 2GB\nCPU: 8 cores";
        QTest::newRow("disk unknown") << quint64(8 * gb) << qint64(-1) << 500 * gb
                                      << "Linux: X\nRAM: 8.0GB\nDisk: Unknown\nCPU: 8 cores";
    }

    void systemInfoReport()
    {
        QFETCH(quint64, memory);
        QFETCH(qint64, free);
        QFETCH(qint64, total);
        QFETCH(QString, report);
        const auto freeBytes = free < 0 ? std::nullopt : std::optional<qint64>(free);
        QCOMPARE(SystemActions::systemInfoReport("Linux: X", memory, freeBytes, total, 8), report);
    }

    void osReleaseName_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QString>("name");
        QTest::newRow("quoted") << QByteArray("NAME=\"Debian\"\nPRETTY_NAME=\"Debian GNU/Linux 12 (bookworm)\"\n")
                                << "Debian GNU/Linux 12 (bookworm)";
        QTest::newRow("bare") << QByteArray("PRETTY_NAME=Arch\n") << "Arch";
        QTest::newRow("escaped quote") << QByteArray("PRETTY_NAME=\"My \\\"OS\\\"\"") << "My \"OS\"";
        QTest::newRow("absent") << QByteArray("NAME=x\n") << "";
    }

    void osReleaseName()
    {
        QFETCH(QByteArray, text);
        QFETCH(QString, name);
        QCOMPARE(SystemInfo::prettyNameFromOsRelease(text), name);
    }

    void localModels()
    {
        const QString models = inHome("models-test");
        QDir().mkpath(models);
        const ToolServices services{nullptr, nullptr, models};
        QCOMPARE(run("list_local_models", {}, services), "No models downloaded yet");

        writeBytes(models + "/loose.gguf", "x");                       // directly in the folder: not listed
        writeBytes(models + "/org_big/big-Q4.gguf", "");
        QFile big(models + "/org_big/big-Q4.gguf");
        QVERIFY(big.open(QIODevice::ReadWrite) && big.resize(qint64(1) << 30)); // sparse, exactly 2^30 bytes
        big.close();
        writeBytes(models + "/org_big/readme.md", "x");
        writeBytes(models + "/org_big/UPPER.GGUF", "x");
        writeBytes(models + "/org_big/.partial.gguf", "x");
        writeBytes(models + "/org_a/a-Q8.gguf", QByteArray(3 << 20, 'x'));
        writeBytes(models + "/.hidden_org/secret.gguf", "x");
        QCOMPARE(run("list_local_models", {}, services), "a-Q8.gguf (0.0 GB)\nbig-Q4.gguf (1.0 GB)");
    }

    void localModelsInTheAppFolder()
    {
        QCOMPARE(run("list_local_models"), "No models downloaded yet");
    }

    void clipboard_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("plain") << "hello";
        QTest::newRow("multi-line and unicode") << "Grüße\n\"quoted\" $(not run)";
        QTest::newRow("empty text stays empty") << "";
    }

    void clipboard()
    {
        QFETCH(QString, text);
        QCOMPARE(run("set_clipboard", {{"text", text}}), "Clipboard set");
        QCOMPARE(QGuiApplication::clipboard()->text(), text);
        QCOMPARE(run("get_clipboard"), text);
    }

    void clipboardWithOnlyAnImage()
    {
        QImage image(4, 4, QImage::Format_RGB32);
        image.fill(Qt::red);
        QGuiApplication::clipboard()->setImage(image);
        QCOMPARE(run("get_clipboard"), "(empty clipboard)");
        QGuiApplication::clipboard()->clear();
        QCOMPARE(run("get_clipboard"), "(empty clipboard)");
    }
};

TOVRA_TEST_MAIN(ToolExecutorTest, QGuiApplication)
#include "tst_toolexecutor.moc"

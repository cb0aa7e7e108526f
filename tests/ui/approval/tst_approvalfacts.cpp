#include "ui/approval/approvalfacts.h"
#include "ui/approval/approvalprompt.h"

#include <QAbstractItemModelTester>

#include <sys/stat.h>

#include "tests/support/testenvironment.h"

// What the approval sheet tells of a call: the facts at its path, and its argument rows.
class ApprovalFactsTest : public QObject
{
    Q_OBJECT

private slots:
    void init() { failOnUnexpectedWarnings(); }

    // Files in a fresh folder (DIR): "ten" holds the lines a to j, "big" is over the cap,
    // "large" is compared off the UI thread, "binary" is no UTF-8, "folder" has two entries,
    // "link" leads to "ten". Rows as "=same", "-removed", "+added", "~skipped".
    void approvalFacts_data()
    {
        columns<QString, QString, QString, QString>("tool", "path", "content", "note");
        columns<QString, QString>("summary", "rows");
        const QString ten = "a\nb\nc\nd\ne\nf\ng\nh\ni\nj\n";
        QTest::newRow("one line changed")
            << "write_file"
            << "ten" << QString(ten).replace("e", "E") << "Current file: 20 bytes"
            << "1 line removed, 1 line added"
            << "~2 unchanged lines|=c|=d|-e|+E|=f|=g|~4 unchanged lines";
        QTest::newRow("lines added at the end") << "write_file"
                                                << "ten" << ten + "k\nl"
                                                << "Current file: 20 bytes"
                                                << "1 line removed, 2 lines added"
                                                << "~8 unchanged lines|=i|=j|-|+k|+l";
        QTest::newRow("same content") << "write_file"
                                      << "ten" << ten << "Current file: 20 bytes"
                                      << "No changes"
                                      << "~11 unchanged lines";
        QTest::newRow("through a link")
            << "write_file"
            << "link" << QString(ten).replace("e", "E") << "Link to DIR/ten\nCurrent file: 20 bytes"
            << "1 line removed, 1 line added"
            << "~2 unchanged lines|=c|=d|-e|+E|=f|=g|~4 unchanged lines";
        QTest::newRow("large") << "write_file"
                               << "large" << QString("a\n").repeated(50000) + "b"
                               << "Current file: 100.0 kB"
                               << "1 line removed, 1 line added"
                               << "~49998 unchanged lines|=a|=a|-|+b";
        addRow("new file", "write_file", "missing.txt", "x", "New file", "", "");
        for (const char *path : {"fifo", "/dev/null", "/dev/tty"})
            addRow(path, "write_file", path, "x", "Not a regular file", "", "");
        QTest::newRow("over the cap") << "write_file"
                                      << "big"
                                      << "x"
                                      << "Current file: 1.0 MB, too large to compare"
                                      << ""
                                      << "";
        QTest::newRow("not text") << "write_file"
                                  << "binary"
                                  << "x"
                                  << "Current file: 2 bytes, not UTF-8 text"
                                  << ""
                                  << "";
        addRow("over a folder", "write_file", "folder", "x", "A folder is at this path", "", "");
        addRow("delete a file", "delete_file", "ten", "", "File, 20 bytes", "", "");
        addRow("delete a folder", "delete_file", "folder", "", "Folder with 2 items", "", "");
        addRow("delete nothing", "delete_file", "missing.txt", "", "Nothing is at this path", "", "");
        addRow("other tool", "read_file", "ten", "", "", "", "");
    }

    void approvalFacts()
    {
        const auto [tool, path, content]
            = fetch<QString, QString, QString>("tool", "path", "content");
        QTemporaryDir dir;
        const auto write = [&](const QString &name, const QByteArray &bytes) {
            QFile file(dir.filePath(name));
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(bytes);
        };
        write("ten", "a\nb\nc\nd\ne\nf\ng\nh\ni\nj\n");
        write("big", QByteArray(ApprovalFacts::maxComparedBytes + 1, 'a'));
        write("binary", "\xff\xfe");
        write("large", QString("a\n").repeated(50000).toUtf8());
        QVERIFY(::mkfifo(qPrintable(dir.filePath("fifo")), 0600) == 0);
        QVERIFY(QFile::link("ten", dir.filePath("link")));
        QVERIFY(QDir(dir.path()).mkpath("folder/inner"));
        write("folder/.hidden", "");

        ApprovalFacts facts;
        QAbstractItemModelTester factsTester(&facts,
                                             QAbstractItemModelTester::FailureReportingMode::QtTest);
        facts.setToolCall(
            {{"name", tool},
             {"arguments",
              QVariantMap{{"path", QDir(dir.path()).filePath(path)}, {"content", content}}}});
        QFETCH(QString, note);
        QTRY_COMPARE(facts.note().replace(dir.path(), "DIR"), note);
        QTEST(facts.summary(), "summary");
        QStringList rows;
        for (int row = 0; row < facts.rowCount(); ++row) {
            const QModelIndex index = facts.index(row);
            rows << QString(u"=-+~"[index.data(ApprovalFacts::KindRole).toInt()])
                        + index.data(ApprovalFacts::TextRole).toString();
        }
        QTEST(rows.join(u'|'), "rows");
    }

    // Approving checks that a link still leads where the facts say.
    void approvalSeesALinkRetargeted()
    {
        QTemporaryDir dir;
        QVERIFY(writeTestFile(dir.filePath("a"), "a") && QFile::link("a", dir.filePath("link")));
        ApprovalFacts facts;
        QAbstractItemModelTester factsTester(&facts,
                                             QAbstractItemModelTester::FailureReportingMode::QtTest);
        facts.setToolCall(
            {{"name", "write_file"},
             {"arguments", QVariantMap{{"path", dir.filePath("link")}, {"content", "b"}}}});
        QVERIFY(facts.confirmTarget());
        QVERIFY(QFile::remove(dir.filePath("link")) && QFile::link("b", dir.filePath("link")));
        QVERIFY(!facts.confirmTarget());
        QCOMPARE(facts.note(),
                 "The path changed since it was shown\nLink to " + dir.filePath("b") + "\nNew file");
        QVERIFY(facts.confirmTarget());
    }

    // Argument keys as the sheet labels them: capitalised word by word.
    void labels_data()
    {
        columns<QString, QString>("key", "label");
        addRow("underscore is inside a word", "app_name", "App_name");
        addRow("words", "hELLO wide\tWORLD", "Hello Wide\tWorld");
        addRow("leading space", " path", " Path");
        addRow("non-ASCII", "ärger", "Ärger");
    }

    void labels()
    {
        QFETCH(QString, key);
        QTEST(capitalizedWords(key), "label");
    }

    void approvalRows()
    {
        const QVariantList rows = ApprovalPrompt::argumentRows({{"text", "t"},
                                                                {"path", "/tmp/a"},
                                                                {"PATH", "/P"},
                                                                {"directory", "/d"},
                                                                {"content", "c"},
                                                                {"model_name", "m"},
                                                                {"Zeta", "z"},
                                                                {"name", "n"},
                                                                {"app_name", "Notes"}});
        QStringList seen;
        for (const QVariant &row : rows) {
            const QVariantMap map = row.toMap();
            seen << map.value("label").toString() + u'=' + map.value("value").toString() + u'@'
                        + map.value("icon").toString();
        }
        // In key order, each with its icon; keys without one of their own get a chevron.
        QCOMPARE(seen.join(u' '),
                 "Path=/P@folder Zeta=z@chevron.right App_name=Notes@app.badge Content=c@doc.text "
                 "Directory=/d@folder Model_name=m@chevron.right Name=n@app.badge "
                 "Path=/tmp/a@folder Text=t@text.quote");
    }
};

TOVRA_TEST_MAIN(ApprovalFactsTest, QGuiApplication)
#include "tst_approvalfacts.moc"

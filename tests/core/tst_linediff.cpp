#include "core/linediff.h"
#include "tests/support/testenvironment.h"

#include <QTest>

class LineDiffTest : public QObject
{
    Q_OBJECT

private slots:
    void init() { failOnUnexpectedWarnings(); }

    // Lines joined by '|'; the diff as "=same", "-removed", "+added".
    void diff_data()
    {
        QTest::addColumn<QString>("before");
        QTest::addColumn<QString>("after");
        QTest::addColumn<qsizetype>("maxCells");
        QTest::addColumn<QString>("expected");
        const qsizetype big = 1'000'000;
        QTest::newRow("same") << "a|b" << "a|b" << big << "=a =b";
        QTest::newRow("one changed") << "a|b|c" << "a|x|c" << big << "=a -b +x =c";
        QTest::newRow("added at end") << "a" << "a|b" << big << "=a +b";
        QTest::newRow("removed at start") << "a|b" << "b" << big << "-a =b";
        QTest::newRow("from nothing") << "" << "a|b" << big << "+a +b";
        QTest::newRow("keeps the common middle")
            << "h|a|k|b|t" << "h|x|k|y|t" << big << "=h -a +x =k -b +y =t";
        QTest::newRow("moved line") << "a|b|c" << "b|c|a" << big << "-a =b =c +a";
        QTest::newRow("over the cap, middle replaced")
            << "h|a|k|b|t" << "h|x|k|y|t" << qsizetype(8) << "=h -a -k -b +x +k +y =t";
    }

    void diff()
    {
        QFETCH(QString, before);
        QFETCH(QString, after);
        QFETCH(qsizetype, maxCells);
        QFETCH(QString, expected);
        const auto lines = [](const QString &s) {
            return s.isEmpty() ? QStringList{} : s.split(u'|');
        };
        const LineDiff result = diffLines(lines(before), lines(after), maxCells);
        QStringList found;
        int removed = 0, added = 0;
        for (const DiffLine &line : result.lines) {
            const char *mark = line.kind == DiffLine::Same ? "=" : line.kind == DiffLine::Removed ? "-" : "+";
            found << QLatin1String(mark) + line.text;
            removed += line.kind == DiffLine::Removed;
            added += line.kind == DiffLine::Added;
        }
        QCOMPARE(found.join(u' '), expected);
        QCOMPARE(result.removed, removed);
        QCOMPARE(result.added, added);
    }
};

TOVRA_TEST_MAIN(LineDiffTest, QCoreApplication)
#include "tst_linediff.moc"

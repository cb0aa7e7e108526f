// The incremental cleaner must always show exactly what cleanForDisplay shows
// for the whole reply so far, however the reply is cut into pieces.
#include "core/replytext.h"
#include "core/streamingdisplaytext.h"
#include "tests/support/testenvironment.h"

namespace {

// Pieces of text that the display rules react to, white space of every kind
// the trims know, and characters outside the Basic Multilingual Plane ("|" separates them).
const QStringList fragments
    = QStringLiteral(
          "TOOL_CALL: {\"name\":\"open_app\",\"arguments\":{\"name\":\"Safari\"}}|TOOL_CALL:|"
          "TOOL_|CALL:|---|----|-|System tools available|Tool results:|Dir:|Home dir:|"
          "I have confirmed|You have confirmed|The clipboard| is empty| contains|empty|contains|"
          "cont|ains|emp|ty|[read_file]:|[read_file]|[|]|:|read_file|search_web|[nope]:|"
          "Clipboard:|get_clipboard|Tool result:|Tool output:| |  |\t|\u00A0|\u3000|\u2003|"
          "\u202F|\r|\n|\n|\n|\r\n|\n\n|\u2028|\u2029|\u0085|\u000B|\u000C|Hello| world.|"
          "x|é|😀|𝄞 clef")
          .split(u'|')
      << QString(40, u'a') << QString(70, u'b') << QString(30, u' ');

// Cuts a reply of up to maxFragments fragments into pieces of up to maxPiece characters,
// anywhere, also between the two halves of a surrogate pair.
QStringList generatedPieces(QRandomGenerator &random, int maxFragments, int maxPiece)
{
    QString text;
    for (int i = int(random.bounded(maxFragments + 1)); i > 0; --i)
        text += fragments.at(int(random.bounded(qsizetype(fragments.size()))));
    QStringList pieces;
    for (qsizetype at = 0; at < text.size(); at += pieces.last().size())
        pieces.append(text.mid(at, 1 + random.bounded(maxPiece)));
    return pieces;
}

// Feeds the pieces and compares after every one; describes the first difference.
QString differenceFromPlainCleaning(const QStringList &pieces)
{
    StreamingDisplayText cleaner;
    QString soFar;
    for (const QString &piece : pieces) {
        soFar += piece;
        cleaner.append(piece);
        const QString expected = cleanForDisplay(soFar), actual = cleaner.display();
        const auto escaped = [](const QString &text) {
            return QString::fromLatin1(text.toUtf8().toPercentEncoding(" "));
        };
        if (actual != expected)
            return QString("after %1 characters\ntext:     %2\nexpected: %3\nactual:   %4")
                .arg(soFar.size())
                .arg(escaped(soFar), escaped(expected), escaped(actual));
    }
    return {};
}

} // namespace

class StreamingDisplayTextTest : public QObject
{
    Q_OBJECT

private slots:
    void init() { failOnUnexpectedWarnings(); }
    void generatedReplies_data()
    {
        columns<int, int, int>("maxFragments", "maxPiece", "replies");
        addRow("short replies, one-character pieces", 12, 1, 3000);
        addRow("short replies, small pieces", 12, 4, 3000);
        addRow("medium replies, small pieces", 60, 6, 1500);
        addRow("medium replies, large pieces", 60, 40, 1500);
        addRow("long replies, mixed pieces", 200, 25, 300);
    }

    void generatedReplies()
    {
        const auto [maxFragments, maxPiece, replies]
            = fetch<int, int, int>("maxFragments", "maxPiece", "replies");
        QRandomGenerator random(maxFragments * 100 + maxPiece); // fixed per row: failures repeat
        for (int i = 0; i < replies; ++i) {
            const QString failure
                = differenceFromPlainCleaning(generatedPieces(random, maxFragments, maxPiece));
            QVERIFY2(failure.isEmpty(), qPrintable(QString("reply %1: ").arg(i) + failure));
        }
    }

    // Every cut into two pieces, and one character at a time, of replies on the rules' edges.
    void everyCut_data()
    {
        QTest::addColumn<QString>("reply");
        QTest::newRow("tool-call line between answers")
            << "Sure.\n  TOOL_CALL: {\"name\":\"open_app\"}\nDone.\n";
        QTest::newRow("clipboard words far into a long line")
            << "The clipboard " + QString(80, u'z') + " contains\nnext";
        QTest::newRow("clipboard word split at the head's end")
            << "The clipboard" + QString(48, u'.') + "empty" + QString(30, u'.');
        QTest::newRow("long indented bracket line")
            << QString(70, u'\t') + "[list_files]:" + QString(70, u'q') + "\nok";
        QTest::newRow("closing bracket at the head's end")
            << "[" + QString(62, u'n') + "]:" + QString(10, u'n');
        addRow("three hyphens with CR and spaces", " --- \r\n---\n--- \n----\nend");
        QTest::newRow("line breaks and Unicode spaces around the answer")
            << "\u2028\u3000\n \u00A0Answer\u2003\n\u2029\r\n\u0085";
        addRow("only hidden lines", "Tool results:\n[read_file]: x\nClipboard: y");
        addRow("surrogate pairs", "😀\n𝄞 [get_clipboard]: 😀\n😀😀");
    }

    void everyCut()
    {
        QFETCH(QString, reply);
        for (qsizetype cut = 0; cut <= reply.size(); ++cut) {
            const QString failure
                = differenceFromPlainCleaning({reply.first(cut), reply.sliced(cut)});
            QVERIFY2(failure.isEmpty(), qPrintable(QString("cut at %1: ").arg(cut) + failure));
        }
        QStringList characters;
        for (const QChar c : reply)
            characters.append(c);
        const QString failure = differenceFromPlainCleaning(characters);
        QVERIFY2(failure.isEmpty(), qPrintable(failure));
    }

    void clearStartsAgain()
    {
        StreamingDisplayText cleaner;
        cleaner.append(u"First reply\nTOOL_CALL: {\"name\":\"x\"}\n  partial");
        QCOMPARE(cleaner.display(), "First reply\n  partial");
        cleaner.clear();
        QCOMPARE(cleaner.display(), QString());
        cleaner.append(u"Tool results:\nSecond");
        QCOMPARE(cleaner.display(), "Second");
    }
};

TOVRA_TEST_MAIN(StreamingDisplayTextTest, QCoreApplication)
#include "tst_streamingdisplaytext.moc"

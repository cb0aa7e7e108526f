// The incremental cleaner must always show exactly what cleanForDisplay shows
// for the whole reply so far, however the reply is cut into pieces.
#include "replytext.h"
#include "streamingdisplaytext.h"
#include "testenvironment.h"

#include <QRandomGenerator>
#include <QtTest>

namespace {

// Pieces of text that the display rules react to, white space of every kind
// the trims know, and characters outside the Basic Multilingual Plane.
const QStringList fragments{
    QStringLiteral("TOOL_CALL: {\"name\":\"open_app\",\"arguments\":{\"name\":\"Safari\"}}"),
    QStringLiteral("TOOL_CALL:"), QStringLiteral("TOOL_"), QStringLiteral("CALL:"), QStringLiteral("---"),
    QStringLiteral("----"), QStringLiteral("-"), QStringLiteral("System tools available"),
    QStringLiteral("Tool results:"), QStringLiteral("Dir:"), QStringLiteral("Home dir:"),
    QStringLiteral("I have confirmed"), QStringLiteral("You have confirmed"), QStringLiteral("The clipboard"),
    QStringLiteral(" is empty"), QStringLiteral(" contains"), QStringLiteral("empty"), QStringLiteral("contains"),
    QStringLiteral("cont"), QStringLiteral("ains"), QStringLiteral("emp"), QStringLiteral("ty"),
    QStringLiteral("[read_file]:"), QStringLiteral("[read_file]"), QStringLiteral("["), QStringLiteral("]"),
    QStringLiteral(":"), QStringLiteral("read_file"), QStringLiteral("search_web"), QStringLiteral("[nope]:"),
    QStringLiteral("Clipboard:"), QStringLiteral("get_clipboard"), QStringLiteral("Tool result:"),
    QStringLiteral("Tool output:"), QStringLiteral(" "), QStringLiteral("  "), QStringLiteral("\t"),
    QStringLiteral("\u00A0"), QStringLiteral("\u3000"), QStringLiteral("\u2003"), QStringLiteral("\u202F"),
    QStringLiteral("\r"), QStringLiteral("\n"), QStringLiteral("\n"), QStringLiteral("\n"), QStringLiteral("\r\n"),
    QStringLiteral("\n\n"), QStringLiteral("\u2028"), QStringLiteral("\u2029"), QStringLiteral("\u0085"),
    QStringLiteral("\u000B"), QStringLiteral("\u000C"), QStringLiteral("Hello"), QStringLiteral(" world."),
    QStringLiteral("x"), QStringLiteral("é"), QStringLiteral("😀"), QStringLiteral("𝄞 clef"),
    QString(40, u'a'), QString(70, u'b'), QString(30, u' '),
};

QString generatedReply(QRandomGenerator &random, int maxFragments)
{
    QString reply;
    const int count = int(random.bounded(maxFragments + 1));
    for (int i = 0; i < count; ++i)
        reply += fragments.at(int(random.bounded(qsizetype(fragments.size()))));
    return reply;
}

// Cuts anywhere, also between the two halves of a surrogate pair.
QStringList randomPieces(QRandomGenerator &random, const QString &text, int maxPiece)
{
    QStringList pieces;
    qsizetype at = 0;
    while (at < text.size()) {
        const qsizetype length = std::min<qsizetype>(1 + random.bounded(maxPiece), text.size() - at);
        pieces.append(text.sliced(at, length));
        at += length;
    }
    return pieces;
}

// Feeds the pieces and compares after every one; reports the first difference.
bool matchesPlainCleaning(const QStringList &pieces, QString *failure)
{
    StreamingDisplayText cleaner;
    QString soFar;
    for (const QString &piece : pieces) {
        soFar += piece;
        cleaner.append(piece);
        const QString expected = cleanForDisplay(soFar);
        const QString actual = cleaner.display();
        if (actual != expected) {
            *failure = QStringLiteral("after %1 characters\ntext:     %2\nexpected: %3\nactual:   %4")
                           .arg(soFar.size())
                           .arg(QString::fromLatin1(soFar.toUtf8().toPercentEncoding(" ")),
                                QString::fromLatin1(expected.toUtf8().toPercentEncoding(" ")),
                                QString::fromLatin1(actual.toUtf8().toPercentEncoding(" ")));
            return false;
        }
    }
    return true;
}

} // namespace

class StreamingDisplayTextTest : public QObject
{
    Q_OBJECT

private slots:
    void generatedReplies_data()
    {
        QTest::addColumn<quint32>("seed");
        QTest::addColumn<int>("maxFragments");
        QTest::addColumn<int>("maxPiece");
        QTest::addColumn<int>("replies");
        QTest::newRow("short replies, one-character pieces") << 1u << 12 << 1 << 3000;
        QTest::newRow("short replies, small pieces") << 2u << 12 << 4 << 3000;
        QTest::newRow("medium replies, small pieces") << 3u << 60 << 6 << 1500;
        QTest::newRow("medium replies, large pieces") << 4u << 60 << 40 << 1500;
        QTest::newRow("long replies, mixed pieces") << 5u << 200 << 25 << 300;
    }

    void generatedReplies()
    {
        QFETCH(quint32, seed);
        QFETCH(int, maxFragments);
        QFETCH(int, maxPiece);
        QFETCH(int, replies);
        QRandomGenerator random(seed);
        for (int i = 0; i < replies; ++i) {
            const QString reply = generatedReply(random, maxFragments);
            QString failure;
            if (!matchesPlainCleaning(randomPieces(random, reply, maxPiece), &failure))
                QFAIL(qPrintable(QStringLiteral("reply %1: ").arg(i) + failure));
        }
    }

    // Every cut into two pieces of replies that sit on the rules' edges.
    void everyCut_data()
    {
        QTest::addColumn<QString>("reply");
        QTest::newRow("tool-call line between answers")
            << QStringLiteral("Sure.\n  TOOL_CALL: {\"name\":\"open_app\"}\nDone.\n");
        QTest::newRow("clipboard words far into a long line")
            << (QStringLiteral("The clipboard ") + QString(80, u'z') + QStringLiteral(" contains\nnext"));
        QTest::newRow("clipboard word split at the head's end")
            << (QStringLiteral("The clipboard") + QString(48, u'.') + QStringLiteral("empty") + QString(30, u'.'));
        QTest::newRow("long indented bracket line")
            << (QString(70, u'\t') + QStringLiteral("[list_files]:") + QString(70, u'q') + QStringLiteral("\nok"));
        QTest::newRow("closing bracket at the head's end")
            << (QStringLiteral("[") + QString(62, u'n') + QStringLiteral("]:") + QString(10, u'n'));
        QTest::newRow("three hyphens with CR and spaces") << QStringLiteral(" --- \r\n---\n--- \n----\nend");
        QTest::newRow("line breaks and Unicode spaces around the answer")
            << QStringLiteral("\u2028\u3000\n \u00A0Answer\u2003\n\u2029\r\n\u0085");
        QTest::newRow("only hidden lines") << QStringLiteral("Tool results:\n[read_file]: x\nClipboard: y");
        QTest::newRow("surrogate pairs") << QStringLiteral("😀\n𝄞 [get_clipboard]: 😀\n😀😀");
    }

    void everyCut()
    {
        QFETCH(QString, reply);
        for (qsizetype cut = 0; cut <= reply.size(); ++cut) {
            QString failure;
            if (!matchesPlainCleaning({reply.first(cut), reply.sliced(cut)}, &failure))
                QFAIL(qPrintable(QStringLiteral("cut at %1: ").arg(cut) + failure));
        }
        QStringList characters;
        for (const QChar c : reply)
            characters.append(QString(c));
        QString failure;
        QVERIFY2(matchesPlainCleaning(characters, &failure), qPrintable(failure));
    }

    void clearStartsAgain()
    {
        StreamingDisplayText cleaner;
        cleaner.append(u"First reply\nTOOL_CALL: {\"name\":\"x\"}\n  partial");
        QCOMPARE(cleaner.display(), QStringLiteral("First reply\n  partial"));
        cleaner.clear();
        QCOMPARE(cleaner.display(), QString());
        cleaner.append(u"Tool results:\nSecond");
        QCOMPARE(cleaner.display(), QStringLiteral("Second"));
    }
};

TOVRA_TEST_MAIN(StreamingDisplayTextTest, QCoreApplication)
#include "tst_streamingdisplaytext.moc"

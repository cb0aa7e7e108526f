#include "core/messagelistmodel.h"
#include "ui/markdown/markdowndocument.h"
#include "ui/markdown/messagecontentsource.h"

#include <QAbstractItemModelTester>

#include "tests/support/testenvironment.h"

namespace {
QStringList kinds(const MarkdownDocument &document)
{
    // In the order of MarkdownDocument::BlockKind.
    const QStringList names{"heading", "bullet", "paragraph", "code", "table"};
    QStringList out;
    for (int row = 0; row < document.rowCount(); ++row) {
        const QModelIndex index = document.index(row);
        out << QStringLiteral("%1/%2")
                   .arg(names.value(index.data(MarkdownDocument::KindRole).toInt()))
                   .arg(index.data(MarkdownDocument::GapRole).toInt());
    }
    return out;
}

// Each row's kind, gap and text, to compare two documents row by row.
QStringList rowLines(const MarkdownDocument &document)
{
    QStringList out = kinds(document);
    for (int row = 0; row < document.rowCount(); ++row)
        out[row] += u' ' + document.index(row).data(MarkdownDocument::ContentRole).toString() + u'|'
                    + document.index(row).data(MarkdownDocument::PlainRole).toString();
    return out;
}
} // namespace

class MarkdownDocumentTest : public QObject
{
    Q_OBJECT

private slots:
    void init() { failOnUnexpectedWarnings(); }

    void contentSourceFollowsItsRowOnly()
    {
        MessageListModel messages;
        messages.append(Message::make(Role::user, "question"));
        messages.append(Message::make(Role::assistant, "# Start"));

        MessageContentSource source;
        source.setModel(&messages);
        source.setRow(1);
        MarkdownDocument document;
        document.setSource(&source);
        document.setText("ignored while a source is set");
        QCOMPARE(document.text(), "# Start");

        QSignalSpy contentChanged(&source, &MessageContentSource::contentChanged);
        messages.replace(0, Message::make(Role::user, "edited question"));
        QCOMPARE(contentChanged.size(), 0);
        QCOMPARE(document.parseCount(), 1);

        // The thinking streams under its own role and leaves the answer's source alone.
        MessageContentSource thinking;
        thinking.setModel(&messages);
        thinking.setRow(1);
        thinking.setRoleName("reasoning");
        QVERIFY(thinking.isEmpty() && !source.isEmpty());
        Message thought = messages.messages().at(1);
        thought.reasoning = "Start with a heading.";
        messages.replace(1, thought);
        QCOMPARE(thinking.content(), "Start with a heading.");
        QCOMPARE(contentChanged.size(), 0);

        messages.replace(1, Message::make(Role::assistant, "# Start\n\nmore"));
        QCOMPARE(contentChanged.size(), 1);
        QCOMPARE(document.rowCount(), 2);
        QCOMPARE(document.parseCount(), 2);

        messages.setMessages({});
        QCOMPARE(source.content(), QString());
        QCOMPARE(document.rowCount(), 0);
    }

    // A reply streamed a few characters at a time ends up with the rows of the whole text
    // parsed at once, at every step, while each step parses only its unfinished end.
    void streamedRowsMatchWholeParse_data()
    {
        QTest::addColumn<QString>("text");
        const QString prose
            = "Intro **line**\n- one\n- `two`\n\n## Part\nMore [text](https://e.org)\n\nLast words";
        QTest::newRow("prose") << prose;
        QTest::newRow("code between prose")
            << "Before\n\n```cpp\nint x;\n\nint y;\n```\n\nAfter\n\n```\nz\n```\nTail\n\nEnd";
        QTest::newRow("table after paragraphs")
            << "Text\n\nMore\n\n| a | b |\n|---|:-:|\n| 1 | 2 |\n\nAfter the table\n\nDone";
        QTest::newRow("code right after a blank line") << "A\n\n```\ncode\n```\n\n\n# H\n\nB";
        QTest::newRow("long") << prose.repeated(40);
    }

    void streamedRowsMatchWholeParse()
    {
        QFETCH(QString, text);
        MarkdownDocument streamed;
        QAbstractItemModelTester tester(&streamed,
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        int longestParse = 0;
        for (qsizetype end = 1; end <= text.size(); end += 3) {
            const QString shown = text.left(end);
            streamed.setText(shown);
            MarkdownDocument whole;
            whole.setText(shown);
            QCOMPARE(rowLines(streamed), rowLines(whole));
            longestParse = std::max(longestParse, streamed.parsedLength());
        }
        if (text.size() > 1000)
            QVERIFY2(longestParse < 100, qPrintable(QString::number(longestParse)));
    }

    void rowsAndGaps()
    {
        MarkdownDocument document;
        QAbstractItemModelTester tester(&document,
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        document.setText("# **Not bold**\nIntro\n- one\n- two\n```\n\n  x = 1\n\n```\nAfter");
        QCOMPARE(kinds(document).join(u' '),
                 "heading/0 paragraph/5 bullet/5 bullet/5 code/10 paragraph/10");
        QCOMPARE(document.index(2).data(MarkdownDocument::HtmlRole).toString(), "one");
        // A heading shows its text as typed; code its lines without the blank ones around.
        const QModelIndex heading = document.index(0), code = document.index(4);
        QCOMPARE(heading.data(MarkdownDocument::LevelRole).toInt(), 1);
        QCOMPARE(heading.data(MarkdownDocument::ContentRole).toString(), "**Not bold**");
        QVERIFY(heading.data(MarkdownDocument::HtmlRole).toString().isEmpty());
        QCOMPARE(code.data(MarkdownDocument::LanguageRole).toString(), QString());
        QCOMPARE(code.data(MarkdownDocument::RawCodeRole).toString(), "\n\n  x = 1\n\n");
        QCOMPARE(code.data(MarkdownDocument::ContentRole).toString(), "  x = 1");
        // A shorter text removes rows.
        document.setText("a");
        QCOMPARE(document.rowCount(), 1);
        document.setText(QString());
        QCOMPARE(document.rowCount(), 0);
    }

    void streamingChangesOnlyTheLastRow()
    {
        MarkdownDocument document;
        const QString reply = QStringLiteral(
            "# Plan\n\nFirst paragraph with **bold** text.\n\n- a bullet\n- another\n\n"
            "```cpp\nint main() {\n    return 0;\n}\n```\n\n| a | b |\n|---|--:|\n| 1 | 2 |\n\n"
            "The end of it all.");
        QSignalSpy changed(&document, &QAbstractItemModel::dataChanged);
        QSignalSpy inserted(&document, &QAbstractItemModel::rowsInserted);
        QSignalSpy removed(&document, &QAbstractItemModel::rowsRemoved);
        QSignalSpy reset(&document, &QAbstractItemModel::modelReset);
        for (qsizetype end = 1; end <= reply.size(); ++end) {
            const int rowsBefore = document.rowCount();
            const QStringList kindsBefore = kinds(document);
            changed.clear();
            inserted.clear();
            document.setText(reply.left(end));
            // A piece touches the last row, or appends rows after it; a row that changes in
            // place keeps its kind (views chose its delegate by it).
            for (const QList<QVariant> &args : std::as_const(changed)) {
                const int first = args.at(0).toModelIndex().row();
                const int last = args.at(1).toModelIndex().row();
                for (int row = first; row <= last; ++row) {
                    QCOMPARE(kinds(document).at(row).section(u'/', 0, 0),
                             kindsBefore.at(row).section(u'/', 0, 0));
                }
                QVERIFY2(first >= rowsBefore - 2,
                         qPrintable(QStringLiteral("piece %1 changed row %2 of %3")
                                        .arg(end)
                                        .arg(first)
                                        .arg(rowsBefore)));
            }
            for (const QList<QVariant> &args : std::as_const(inserted))
                QVERIFY(args.at(1).toInt() >= rowsBefore - 2);
        }
        QCOMPARE(reset.size(), 0);
        QCOMPARE(document.rowCount(), 7);
        QCOMPARE(document.parseCount(), int(reply.size()));
    }
};

TOVRA_TEST_MAIN(MarkdownDocumentTest, QGuiApplication)
#include "tst_markdowndocument.moc"

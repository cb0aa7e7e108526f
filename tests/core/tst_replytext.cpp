#include "core/replytext.h"
#include "tests/support/testenvironment.h"

#include <QTest>

using Args = QMap<QString, QString>;

class ReplyTextTest : public QObject
{
    Q_OBJECT

private slots:
    void init() { failOnUnexpectedWarnings(); }
    void extract_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("remaining");
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<QList<Args>>("arguments");

        QTest::newRow("sentence and call")
            << QStringLiteral("Opening it now.\nTOOL_CALL: "
                              "{\"name\":\"open_app\",\"arguments\":{\"name\":\"Safari\"}}")
            << QStringLiteral("Opening it now.") << QStringList{QStringLiteral("open_app")}
            << QList<Args>{{{QStringLiteral("name"), QStringLiteral("Safari")}}};
        QTest::newRow("indented call")
            << QStringLiteral("   \tTOOL_CALL:   {\"name\":\"get_clipboard\"}  ") << QString()
            << QStringList{QStringLiteral("get_clipboard")} << QList<Args>{{}};
        QTest::newRow("prefix after text stays")
            << QStringLiteral("I would write TOOL_CALL: {\"name\":\"x\"}")
            << QStringLiteral("I would write TOOL_CALL: {\"name\":\"x\"}") << QStringList{}
            << QList<Args>{};
        QTest::newRow("broken json removed")
            << QStringLiteral("a\nTOOL_CALL: {\"name\":\nb") << QStringLiteral("a\nb")
            << QStringList{} << QList<Args>{};
        QTest::newRow("array removed") << QStringLiteral("TOOL_CALL: [1,2]\nok")
                                       << QStringLiteral("ok") << QStringList{} << QList<Args>{};
        QTest::newRow("no name removed") << QStringLiteral("TOOL_CALL: {\"arguments\":{}}")
                                         << QString() << QStringList{} << QList<Args>{};
        QTest::newRow("name not text") << QStringLiteral("TOOL_CALL: {\"name\":5}") << QString()
                                       << QStringList{} << QList<Args>{};
        QTest::newRow("empty name accepted")
            << QStringLiteral("TOOL_CALL: {\"name\":\"\"}") << QString() << QStringList{QString()}
            << QList<Args>{{}};
        QTest::newRow("arguments as string")
            << QStringLiteral("TOOL_CALL: {\"name\":\"read_file\",\"arguments\":\"/tmp/x\"}")
            << QString() << QStringList{QStringLiteral("read_file")} << QList<Args>{{}};
        QTest::newRow("value kinds")
            << QStringLiteral("TOOL_CALL: "
                              "{\"name\":\"t\",\"arguments\":{\"n\":3,\"f\":2.5,\"b\":true,\"z\":"
                              "null,\"a\":[1,\"x\"],\"o\":{\"k\":1}}}")
            << QString() << QStringList{QStringLiteral("t")}
            << QList<Args>{{{QStringLiteral("n"), QStringLiteral("3")},
                            {QStringLiteral("f"), QStringLiteral("2.5")},
                            {QStringLiteral("b"), QStringLiteral("true")},
                            {QStringLiteral("z"), QStringLiteral("null")},
                            {QStringLiteral("a"), QStringLiteral("[1,\"x\"]")},
                            {QStringLiteral("o"), QStringLiteral("{\"k\":1}")}}};
        QTest::newRow("two calls in order")
            << QStringLiteral(
                   "TOOL_CALL: {\"name\":\"first\"}\nmiddle\nTOOL_CALL: {\"name\":\"second\"}")
            << QStringLiteral("middle")
            << QStringList{QStringLiteral("first"), QStringLiteral("second")}
            << QList<Args>{{}, {}};
        QTest::newRow("no calls, trimmed")
            << QStringLiteral("\n  Just an answer.  \n\n") << QStringLiteral("Just an answer.")
            << QStringList{} << QList<Args>{};
        QTest::newRow("inner lines untouched")
            << QStringLiteral("  a  \n  b  ") << QStringLiteral("a  \n  b") << QStringList{}
            << QList<Args>{};
    }

    void extract()
    {
        QFETCH(QString, text);
        QFETCH(QString, remaining);
        QFETCH(QStringList, names);
        QFETCH(QList<Args>, arguments);

        const ExtractedToolCalls result = extractToolCalls(text);
        QCOMPARE(result.remainingText, remaining);
        QCOMPARE(result.toolCalls.has_value(), !names.isEmpty());
        if (!result.toolCalls)
            return;
        QCOMPARE(result.toolCalls->size(), names.size());
        QSet<QString> ids;
        for (qsizetype i = 0; i < names.size(); ++i) {
            const ToolCall &call = result.toolCalls->at(i);
            QCOMPARE(call.name, names.at(i));
            QCOMPARE(call.arguments, arguments.at(i));
            QCOMPARE(call.status, ToolStatus::Pending);
            QVERIFY(!call.result);
            QCOMPARE(call.id, call.id.toUpper());
            QVERIFY(!QUuid::fromString(call.id).isNull());
            ids.insert(call.id);
        }
        QCOMPARE(ids.size(), names.size());
    }

    void displayable_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<bool>("shown");
        QTest::newRow("plain") << QStringLiteral("Here is the answer.") << true;
        QTest::newRow("tool call") << QStringLiteral("  TOOL_CALL: {}") << false;
        QTest::newRow("three hyphens") << QStringLiteral(" --- ") << false;
        QTest::newRow("four hyphens") << QStringLiteral("----") << true;
        QTest::newRow("tool results") << QStringLiteral("Tool results: done") << false;
        QTest::newRow("tool results lower case") << QStringLiteral("tool results: done") << true;
        QTest::newRow("home dir") << QStringLiteral("\tHome dir: /Users/x") << false;
        QTest::newRow("dir") << QStringLiteral("Dir: /tmp") << false;
        QTest::newRow("moved to trash") << QStringLiteral("Moved to Trash: /tmp/x") << false;
        QTest::newRow("i have confirmed") << QStringLiteral("I have confirmed the file.") << false;
        QTest::newRow("clipboard empty") << QStringLiteral("The clipboard is empty.") << false;
        QTest::newRow("clipboard contains")
            << QStringLiteral("The clipboard contains: hi") << false;
        QTest::newRow("clipboard other") << QStringLiteral("The clipboard was updated.") << true;
        QTest::newRow("clipboard colon") << QStringLiteral("Clipboard: hi") << false;
        QTest::newRow("get_clipboard") << QStringLiteral("get_clipboard returned") << false;
        QTest::newRow("tool output") << QStringLiteral("Tool output: x") << false;
        QTest::newRow("bracketed result") << QStringLiteral("[read_file]: contents") << false;
        QTest::newRow("bracketed search_web") << QStringLiteral("[search_web]:") << false;
        QTest::newRow("bracket without colon") << QStringLiteral("[read_file] contents") << true;
        QTest::newRow("bracket unknown name") << QStringLiteral("[make_coffee]: done") << true;
        QTest::newRow("bracket not closed") << QStringLiteral("[read_file: x") << true;
        QTest::newRow("bracket at end") << QStringLiteral("[read_file]") << true;
        QTest::newRow("markdown link")
            << QStringLiteral("[docs](https://example.com): see") << true;
        QTest::newRow("no-break space indent")
            << QStringLiteral("\u00a0\u2003TOOLS: a, b") << false;
        QTest::newRow("case matters") << QStringLiteral("available tools: x") << true;
    }

    void displayable()
    {
        QFETCH(QString, line);
        QFETCH(bool, shown);
        QCOMPARE(isDisplayableLine(line), shown);
    }

    void clean_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected");
        QTest::newRow("all hidden")
            << QStringLiteral("TOOL_CALL: {}\n---\nTool result: x") << QString();
        QTest::newRow("mixed") << QStringLiteral("Done!\n[open_app]: Opened Safari\n\nEnjoy.")
                               << QStringLiteral("Done!\n\nEnjoy.");
        QTest::newRow("edges trimmed with line breaks")
            << QStringLiteral("\u2028\r\n  text \u00a0\n\u2029") << QStringLiteral("text");
        QTest::newRow("carriage return stays inside")
            << QStringLiteral("a\r\nb") << QStringLiteral("a\r\nb");
        QTest::newRow("astral character kept") << QStringLiteral(" 🚀 ") << QStringLiteral("🚀");
    }

    void clean()
    {
        QFETCH(QString, text);
        QFETCH(QString, expected);
        QCOMPARE(cleanForDisplay(text), expected);
    }

    // White space trims tabs and Unicode spaces, never line breaks.
    void trimClasses()
    {
        using namespace ReplyText;
        QCOMPARE(trimWhiteSpace(u"\u3000\t x \u2009"), QStringView(u"x"));
        QCOMPARE(trimWhiteSpace(u"\n x \r"), QStringView(u"\n x \r"));
        QCOMPARE(trimWhiteSpaceAndLineBreaks(u"\u0085\u000b\u000c\n x \r\u2028"), QStringView(u"x"));
        QVERIFY(!isWhiteSpace(U'\u200b')); // zero-width space is not a space separator
        QVERIFY(isWhiteSpace(U'\u202f'));
    }
};

TOVRA_TEST_MAIN(ReplyTextTest, QCoreApplication)
#include "tst_replytext.moc"

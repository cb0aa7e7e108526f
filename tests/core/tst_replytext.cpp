#include "core/linediff.h"
#include "core/replytext.h"
#include "tests/support/testenvironment.h"

class ReplyTextTest : public QObject
{
    Q_OBJECT

private slots:
    void init() { failOnUnexpectedWarnings(); }

    // Each call found as "name(key=value,...)", arguments in key order.
    void extract_data()
    {
        columns<QString, QString, QStringList>("text", "remaining", "calls");
        const QString none;
        QTest::newRow("sentence and call")
            << "Opening it now.\nTOOL_CALL: "
               "{\"name\":\"open_app\",\"arguments\":{\"name\":\"Safari\"}}"
            << "Opening it now." << QStringList{"open_app(name=Safari)"};
        QTest::newRow("indented call") << "   \tTOOL_CALL:   {\"name\":\"get_clipboard\"}  " << none
                                       << QStringList{"get_clipboard()"};
        QTest::newRow("prefix after text stays")
            << "I would write TOOL_CALL: {\"name\":\"x\"}"
            << "I would write TOOL_CALL: {\"name\":\"x\"}" << QStringList{};
        addRow("broken json removed", "a\nTOOL_CALL: {\"name\":\nb", "a\nb", QStringList{});
        addRow("array removed", "TOOL_CALL: [1,2]\nok", "ok", QStringList{});
        addRow("no name removed", "TOOL_CALL: {\"arguments\":{}}", none, QStringList{});
        addRow("name not text", "TOOL_CALL: {\"name\":5}", none, QStringList{});
        addRow("empty name accepted", "TOOL_CALL: {\"name\":\"\"}", none, QStringList{"()"});
        QTest::newRow("arguments as string")
            << "TOOL_CALL: {\"name\":\"read_file\",\"arguments\":\"/tmp/x\"}" << none
            << QStringList{"read_file()"};
        QTest::newRow("value kinds")
            << "TOOL_CALL: {\"name\":\"t\",\"arguments\":{\"n\":3,\"f\":2.5,\"b\":true,\"z\":null,"
               "\"a\":[1,\"x\"],\"o\":{\"k\":1}}}"
            << none << QStringList{"t(a=[1,\"x\"],b=true,f=2.5,n=3,o={\"k\":1},z=null)"};
        QTest::newRow("two calls in order")
            << "TOOL_CALL: {\"name\":\"first\"}\nmiddle\nTOOL_CALL: {\"name\":\"second\"}"
            << "middle" << QStringList{"first()", "second()"};
        addRow("no calls, trimmed", "\n  Just an answer.  \n\n", "Just an answer.", QStringList{});
        addRow("inner lines untouched", "  a  \n  b  ", "a  \n  b", QStringList{});
    }

    void extract()
    {
        const auto [text, calls] = fetch<QString, QStringList>("text", "calls");
        const ExtractedToolCalls result = extractToolCalls(text);
        QTEST(result.remainingText, "remaining");
        QCOMPARE(result.toolCalls.has_value(), !calls.isEmpty());
        QStringList found;
        QSet<QString> ids;
        for (const ToolCall &call : result.toolCalls.value_or(QList<ToolCall>{})) {
            QStringList arguments;
            for (auto it = call.arguments.cbegin(); it != call.arguments.cend(); ++it)
                arguments << it.key() + u'=' + it.value();
            found << call.name + u'(' + arguments.join(u',') + u')';
            QCOMPARE(call.status, ToolStatus::Pending);
            QVERIFY(!call.result);
            // A fresh id for each call, in the upper-case form the archive keeps.
            QCOMPARE(call.id, call.id.toUpper());
            QVERIFY(!QUuid::fromString(call.id).isNull());
            ids.insert(call.id);
        }
        QCOMPARE(found, calls);
        QCOMPARE(ids.size(), calls.size());
    }

    void displayable_data()
    {
        columns<QString, bool>("line", "shown");
        addRow("plain", "Here is the answer.", true);
        addRow("tool call", "  TOOL_CALL: {}", false);
        addRow("three hyphens", " --- ", false);
        addRow("four hyphens", "----", true);
        addRow("tool results", "Tool results: done", false);
        addRow("tool results lower case", "tool results: done", true);
        addRow("home dir", "\tHome dir: /Users/x", false);
        addRow("dir", "Dir: /tmp", false);
        addRow("moved to trash", "Moved to Trash: /tmp/x", false);
        addRow("i have confirmed", "I have confirmed the file.", false);
        addRow("clipboard empty", "The clipboard is empty.", false);
        addRow("clipboard contains", "The clipboard contains: hi", false);
        addRow("clipboard other", "The clipboard was updated.", true);
        addRow("clipboard colon", "Clipboard: hi", false);
        addRow("get_clipboard", "get_clipboard returned", false);
        addRow("tool output", "Tool output: x", false);
        addRow("bracketed result", "[read_file]: contents", false);
        addRow("bracketed search_web", "[search_web]:", false);
        addRow("bracket without colon", "[read_file] contents", true);
        addRow("bracket unknown name", "[make_coffee]: done", true);
        addRow("bracket not closed", "[read_file: x", true);
        addRow("bracket at end", "[read_file]", true);
        addRow("markdown link", "[docs](https://example.com): see", true);
        addRow("no-break space indent", "\u00a0\u2003TOOLS: a, b", false);
        addRow("case matters", "available tools: x", true);
    }

    void displayable()
    {
        QFETCH(QString, line);
        QTEST(isDisplayableLine(line), "shown");
    }

    void clean_data()
    {
        columns<QString, QString>("text", "expected");
        addRow("all hidden", "TOOL_CALL: {}\n---\nTool result: x", "");
        addRow("mixed", "Done!\n[open_app]: Opened Safari\n\nEnjoy.", "Done!\n\nEnjoy.");
        addRow("edges trimmed with line breaks", "\u2028\r\n  text \u00a0\n\u2029", "text");
        addRow("carriage return stays inside", "a\r\nb", "a\r\nb");
        addRow("astral character kept", " 🚀 ", "🚀");
    }

    void clean()
    {
        QFETCH(QString, text);
        QTEST(cleanForDisplay(text), "expected");
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

    // Lines joined by '|'; the diff as "=same", "-removed", "+added".
    void diff_data()
    {
        columns<QString, QString, qsizetype, QString>("before", "after", "maxCells", "expected");
        const auto row = [](const char *name,
                            const char *before,
                            const char *after,
                            qsizetype cap,
                            const char *expected) {
            QTest::newRow(name) << QString(before) << QString(after) << cap << QString(expected);
        };
        row("same", "a|b", "a|b", 100, "=a =b");
        row("one changed", "a|b|c", "a|x|c", 100, "=a -b +x =c");
        row("new file", "", "a|b", 100, "+a +b");
        row("common middle", "h|a|k|b|t", "h|x|k|y|t", 100, "=h -a +x =k -b +y =t");
        row("moved line", "a|b|c", "b|c|a", 100, "-a =b =c +a");
        row("over the cap", "h|a|k|b|t", "h|x|k|y|t", 8, "=h -a -k -b +x +k +y =t");
    }

    void diff()
    {
        const auto [before, after] = fetch<QString, QString>("before", "after");
        const auto [maxCells, expected] = fetch<qsizetype, QString>("maxCells", "expected");
        const auto lines
            = [](const QString &s) { return s.isEmpty() ? QStringList{} : s.split(u'|'); };
        const LineDiff result = diffLines(lines(before), lines(after), maxCells);
        QStringList found;
        for (const DiffLine &line : result.lines)
            found << QString(u"=-+"[line.kind]) + line.text;
        QCOMPARE(found.join(u' '), expected);
        QCOMPARE(result.removed, expected.count(u'-'));
        QCOMPARE(result.added, expected.count(u'+'));
    }
};

TOVRA_TEST_MAIN(ReplyTextTest, QCoreApplication)
#include "tst_replytext.moc"

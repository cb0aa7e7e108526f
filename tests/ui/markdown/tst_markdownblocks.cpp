#include "ui/markdown/inlinemarkdown.h"
#include "ui/markdown/markdownblocks.h"
#include "ui/markdown/markdowndocument.h"

#include "tests/support/testenvironment.h"

using namespace Qt::StringLiterals;

namespace {
using Kind = TextLine::Kind;

// "h1:text", "h2:text", "b:text", "p:text" for each line.
QStringList describe(const QList<TextLine> &lines)
{
    QStringList out;
    for (const TextLine &line : lines) {
        switch (line.kind) {
        case Kind::Heading:
            out << QStringLiteral("h%1:%2").arg(line.level).arg(line.content);
            break;
        case Kind::Bullet:
            out << "b:" + line.content;
            break;
        case Kind::Paragraph:
            out << "p:" + line.content;
            break;
        }
    }
    return out;
}
} // namespace

// Reply text as blocks and lines, inline Markdown as rich text, and which links open.
class MarkdownBlocksTest : public QObject
{
    Q_OBJECT

private slots:
    void init() { failOnUnexpectedWarnings(); }

    // Each block as "h1:…", "b:…", "p:…" lines, "code(language):…" with "-" for no language, or
    // "table(alignments):" and its rows of [cells], alignments as "-" none, "<", "^", ">".
    void blocks_data()
    {
        columns<QString, QStringList>("text", "blocks");
        // Prose: headings of one to three hashes, bullets, paragraphs.
        addRow("hash then word", "#word", QStringList{"p:#word"});
        addRow("four hashes", "#### Four", QStringList{"p:#### Four"});
        addRow("level 1", "# Title", QStringList{"h1:Title"});
        addRow("level 2 keeps extra space", "##  Spaced", QStringList{"h2: Spaced"});
        addRow("level 3 indented", "   ### Three  ", QStringList{"h3:Three"});
        addRow("indented hyphen bullet", "   - item", QStringList{"b:item"});
        addRow("star bullet", "* item", QStringList{"b:item"});
        addRow("hyphen then word", "-item", QStringList{"p:-item"});
        addRow("numbered item is paragraph", "1. first", QStringList{"p:1. first"});
        addRow("two paragraphs", "one\ntwo\n\nthree", QStringList{"p:one\ntwo", "p:three"});
        QTest::newRow("paragraph keeps inner indentation")
            << "  lead\n    more  " << QStringList{"p:lead\n    more"};
        QTest::newRow("heading ends a paragraph")
            << "text\n## Head\nafter" << QStringList{"p:text", "h2:Head", "p:after"};
        addRow("tab-only line separates", "a\n\t\nb", QStringList{"p:a", "p:b"});
        addRow("blank", "\n  \n", QStringList{});
        addRow("empty", "", QStringList{});
        addRow("marker alone is text", "-", QStringList{"p:-"});
        addRow("heading marker alone", "# ", QStringList{"p:#"});
        const auto row = [](const char *tag, const QString &text, const QStringList &blocks) {
            addRow(tag, text, blocks);
        };
        row("prose, code, prose",
            "Here is code:\n```js\nlet a = 1;\n```\nDone.",
            {"p:Here is code:", "code(js):let a = 1;\n", "p:Done."});
        row("nothing after fence", "```\nx = 1\n```", {"code(-):\nx = 1\n"});
        row("tag and word", "```python script\nprint()\n```", {"code(-):python script\nprint()\n"});
        row("24 characters",
            "```" + QString(24, u'a') + "\ncode```",
            {"code(-):" + QString(24, u'a') + "\ncode"});
        row("23 characters",
            "```" + QString(23, u'a') + "\ncode```",
            {"code(" + QString(23, u'a') + "):code"});
        row("tag with surrounding spaces",
            "```  rust \nfn main() {}```",
            {"code(rust):fn main() {}"});
        row("no line feed", "```inline code```", {"code(-):inline code"});
        row("empty piece", "``````", {"code(-):"});
        row("unclosed fence makes the rest code",
            "Prose first.\n```cpp\nint main() {\n\n# not a heading",
            {"p:Prose first.", "code(cpp):int main() {\n\n# not a heading"});
        // Fences are counted anywhere, so an inline triple backtick opens code too.
        row("fence inside a line", "use ```x``` here", {"p:use", "code(-):x", "p:here"});
        row("table between paragraphs",
            "Intro\n| A | B |\n|:--|--:|\n| 1 | **2** |\n\nOutro",
            {"p:Intro", "table(<>):[A][B] [1][**2**]", "p:Outro"});
        row("ragged rows",
            "| a | b | c |\n|---|:-:|---|\n| 1 |\n| 1 | 2 | 3 | 4 |\nloose",
            {"table(-^-):[a][b][c] [1][][] [1][2][3] [loose][][]"});
        row("escaped pipes, code spans split",
            "| x | y |\n|---|---|\n| a \\| b | `c|d` |\n| `p\\|q` |",
            {"table(--):[x][y] [a | b][`c] [`p|q`][]"});
        row("after a code block, no outer pipes",
            "```\ncode\n```\nk | v\n- | :-:\nk1 | v1\n- after",
            {"code(-):\ncode\n", "table(-^):[k][v] [k1][v1]", "b:after"});
        row("streaming header stays text", "| A | B |\n| --", {"p:| A | B |\n| --"});
        row("delimiter without a pipe", "a | b\n---", {"p:a | b\n---"});
    }

    void blocks()
    {
        QFETCH(QString, text);
        QStringList seen;
        for (const Block &block : parseBlocks(text)) {
            if (block.kind == Block::Kind::Code) {
                seen << "code(" + block.language.value_or("-") + "):" + block.content;
            } else if (block.kind == Block::Kind::Table) {
                QString table = "table(";
                for (const ColumnAlignment alignment : block.alignments)
                    table += QString(u"-<^>"[int(alignment)]);
                QStringList rows;
                for (const QStringList &cells : block.cells)
                    rows << "[" + cells.join("][") + "]";
                seen << table + "):" + rows.join(u' ');
            } else {
                seen << describe(block.lines);
            }
        }
        QTEST(seen, "blocks");
    }

    // A table row: its Markdown for the copy button, and its cells as rich text.
    void tableRow()
    {
        MarkdownDocument document;
        document.setText("| *a* | b |\n|--|--:|\n| `x` | [l](https://e.org) |");
        QCOMPARE(document.rowCount(), 1);
        const QModelIndex table = document.index(0);
        QCOMPARE(table.data(MarkdownDocument::KindRole).toInt(),
                 int(MarkdownDocument::BlockKind::Table));
        QCOMPARE(table.data(MarkdownDocument::ContentRole).toString(),
                 "| *a* | b |\n|--|--:|\n| `x` | [l](https://e.org) |");
        QCOMPARE(table.data(MarkdownDocument::AlignmentsRole).toList(), (QVariantList{0, 3}));
        const QVariantList cells = table.data(MarkdownDocument::CellsRole).toList();
        QCOMPARE(cells.size(), 2);
        QCOMPARE(cells.at(0).toStringList().at(0), "<i>a</i>");
        QVERIFY(cells.at(1).toStringList().at(1).contains("<a href=\"https://e.org\""));
    }

    // The parts that must be in the HTML, and those that must not, "|" between them.
    void inlineMarkdown_data()
    {
        columns<QString, QString, QString>("markdown", "contains", "absent");
        addRow("strong and emphasis", "**bold** and *it*", "<b>bold</b>|<i>it</i>", "**");
        addRow("code span", "call `f(x)` now", "font-family:'mono'|>f(x)</span>", "`");
        QTest::newRow("link") << "[site](https://example.com/a?b=1&c=2)"
                              << "<a href=\"https://example.com/a?b=1&amp;c=2\"|>site</a>"
                              << "](";
        addRow("strikethrough", "~~gone~~", "<s>gone</s>", "~~");
        QTest::newRow("html is text") << "<script>alert(1)</script> & <b>x</b>"
                                      << "&lt;script&gt;|&amp;|&lt;b&gt;"
                                      << "<script>|<b>x";
        QTest::newRow("numbered list as typed") << "1. first\n2) second"
                                                << "1. first<br/>2) second"
                                                << "<li>|<ol>";
        addRow("quote as typed", "> quoted", "&gt; quoted", "");
        addRow("plus list as typed", "+ item", "+ item", "");
        addRow("setext underline as typed", "Title\n---", "Title<br/>---", "");
        addRow("equals underline as typed", "Title\n===", "Title<br/>===", "");
        addRow("rule as typed", "a\n* * *", "a<br/>* * *", "");
        addRow("indented line stays text", "a\n        b", "a<br/>", "<pre");
        addRow("link definition as typed", "[x]: http://a", "[x]: http://a", "");
        addRow("bold at line start", "**Note:** text", "<b>Note:</b> text", "\\");
        addRow("line breaks kept", "one\ntwo", "one<br/>two", "");
        addRow("hash sign stays", "#hashtag here", "#hashtag here", "\\");
    }

    void inlineMarkdown()
    {
        const auto [markdown, contains, absent]
            = fetch<QString, QString, QString>("markdown", "contains", "absent");
        InlineMarkdownStyle style;
        style.codeFontFamily = "mono";
        const QString html = inlineMarkdownToHtml(markdown, style);
        for (const QString &part : contains.split(u'|', Qt::SkipEmptyParts))
            QVERIFY2(html.contains(part), qPrintable(html));
        for (const QString &part : absent.split(u'|', Qt::SkipEmptyParts))
            QVERIFY2(!html.contains(part), qPrintable(html));
    }

    // What a screen reader reads of a paragraph: its words, without markup.
    void readAloud_data()
    {
        columns<QString, QString>("markdown", "plain");
        addRow("strong, emphasis, code, link",
               "**bold**, *it*, `f(x)` and [site](https://e.org)",
               "bold, it, f(x) and site");
        addRow("html stays text", "<b>x</b> & y", "<b>x</b> & y");
        addRow("entities", "a &#8212; b &#x41; &amp; &copy;", "a \u2014 b A & &copy;");
        addRow("line breaks", "one\ntwo", "one\ntwo");
        addRow("list marker as typed", "1. first", "1. first");
    }

    void readAloud()
    {
        const auto [markdown, plain] = fetch<QString, QString>("markdown", "plain");
        QString read;
        inlineMarkdownToHtml(markdown, {}, &read);
        QCOMPARE(read, plain);
    }

    void openableLinks_data()
    {
        columns<QString, bool>("url", "openable");
        addRow("https", "https://qt.io", true);
        addRow("http", "http://127.0.0.1:8080/", true);
        addRow("mail", "mailto:a@b.c", true);
        addRow("file", "file:///etc/passwd", false);
        addRow("script", "javascript:alert(1)", false);
        addRow("relative", "notes.txt", false);
    }

    void openableLinks()
    {
        QFETCH(QString, url);
        QTEST(isOpenableLink(url), "openable");
    }

    // Cells drawn by the light reader must read the same as through the rich-text one.
    void plainRichText_data()
    {
        columns<QString, bool>("html", "plain");
        addRow("words", "apples and pears", true);
        addRow("escaped", "a &lt; b &amp;&amp; c &gt; &quot;d&quot;&nbsp;e", true);
        addRow("empty", "", true);
        addRow("bold", "<b>total</b>", false);
        addRow("named entity", "&copy; 2026", false);
        addRow("numeric entity", "a &#8212; b", false);
        addRow("bare ampersand at end", "fish &", false);
    }

    void plainRichText()
    {
        QFETCH(QString, html);
        QTEST(isPlainRichText(html), "plain");
    }
};

TOVRA_TEST_MAIN(MarkdownBlocksTest, QGuiApplication)
#include "tst_markdownblocks.moc"

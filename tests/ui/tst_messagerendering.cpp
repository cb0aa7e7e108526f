#include "core/records.h"
#include "ui/inlinemarkdown.h"
#include "ui/markdownblocks.h"
#include "ui/messagevisibility.h"

#include <QBuffer>
#include <QImage>
#include <QtTest>

#include "tests/support/testenvironment.h"

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
            out << QStringLiteral("b:") + line.content;
            break;
        case Kind::Paragraph:
            out << QStringLiteral("p:") + line.content;
            break;
        }
    }
    return out;
}

QString pngDataUrl()
{
    QImage image(8, 6, QImage::Format_RGB32);
    image.fill(Qt::red);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return QStringLiteral("data:image/png;base64,") + QString::fromLatin1(bytes.toBase64());
}
} // namespace

class MessageRenderingTest : public QObject
{
    Q_OBJECT

private slots:
    void init() { failOnUnexpectedWarnings(); }
    void hideRules_data();
    void hideRules();
    void inlineImage_data();
    void inlineImage();
    void textLines_data();
    void textLines();
    void blocks();
    void fenceLanguage_data();
    void fenceLanguage();
    void unclosedFenceMakesTheRestCode();
    void fenceInsideALine();
    void displayedCodeTrimsOnlyLineBreaks();
    void inlineMarkdown_data();
    void inlineMarkdown();
    void openableLinks_data();
    void openableLinks();
};

void MessageRenderingTest::hideRules_data()
{
    QTest::addColumn<QString>("role");
    QTest::addColumn<QString>("content");
    QTest::addColumn<bool>("hidden");

    QTest::newRow("blank user") << "user"
                                << " \n\t \n"
                                << true;
    QTest::newRow("blank assistant") << "assistant"
                                     << "\n\n"
                                     << true;
    QTest::newRow("empty placeholder") << "assistant"
                                       << "" << true;
    QTest::newRow("tool result") << "tool_result"
                                 << "Tool results: done" << true;
    QTest::newRow("system") << "system"
                            << "You are helpful" << true;
    QTest::newRow("user tool results") << "user"
                                       << "Tool results:\n- ok" << true;
    QTest::newRow("assistant tool results text") << "assistant"
                                                 << "Tool results:\n- ok" << false;
    QTest::newRow("user confirm instruction") << "user"
                                              << "Briefly confirm what was done." << true;
    QTest::newRow("user prefix after space") << "user"
                                             << " Tool results:" << false;
    QTest::newRow("no-model warning, any role")
        << "assistant" << QStringLiteral("Hi \u26A0\uFE0F No model loaded — load one") << true;
    QTest::newRow("warning sign without selector")
        << "assistant" << QStringLiteral("\u26A0 No model loaded") << false;
    QTest::newRow("two tool-call lines with a blank line")
        << "assistant"
        << "TOOL_CALL: {\"name\":\"a\"}\n\n  TOOL_CALL: {\"name\":\"b\"}" << true;
    QTest::newRow("tool calls and prose")
        << "assistant"
        << "TOOL_CALL: {\"name\":\"a\"}\n\nTOOL_CALL: {}\nDone." << false;
    QTest::newRow("user tool-call line") << "user"
                                         << "TOOL_CALL: {}" << false;
    QTest::newRow("ordinary reply") << "assistant"
                                    << "Hello!" << false;
    QTest::newRow("ordinary question") << "user"
                                       << "What is 2+2?" << false;
    QTest::newRow("role compared exactly") << "Tool_Result"
                                           << "x" << false;
}

void MessageRenderingTest::hideRules()
{
    QFETCH(QString, role);
    QFETCH(QString, content);
    QFETCH(bool, hidden);
    QCOMPARE(shouldHideMessage(role, content), hidden);
    QCOMPARE(shouldHideMessage(Message::make(role, content)), hidden);
}

void MessageRenderingTest::inlineImage_data()
{
    QTest::addColumn<QString>("content");
    QTest::addColumn<bool>("decodes");
    QTest::addColumn<bool>("isPicture");

    const QString png = pngDataUrl();
    QTest::newRow("png") << png << true << true;
    QTest::newRow("jpeg prefix, png bytes")
        << QString(png).replace(QLatin1String("image/png"), QLatin1String("image/jpeg")) << true
        << true;
    QString broken = png;
    broken.insert(40, u'\n');
    QTest::newRow("line break in base64") << broken << false << false;
    QTest::newRow("outside alphabet")
        << QStringLiteral("data:image/png;base64,AAA*") << false << false;
    QTest::newRow("unpadded") << QStringLiteral("data:image/png;base64,QUJD RA") << false << false;
    QTest::newRow("bytes that are no picture")
        << QStringLiteral("data:image/png;base64,")
               + QString::fromLatin1(QByteArray("hello").toBase64())
        << true << false;
    QTest::newRow("other type") << QStringLiteral("data:image/gif;base64,R0lGOD==") << false
                                << false;
    QTest::newRow("prefix later in text")
        << QStringLiteral("see data:image/png;base64,AAAA") << false << false;
    QTest::newRow("plain text") << QStringLiteral("hello") << false << false;
}

void MessageRenderingTest::inlineImage()
{
    QFETCH(QString, content);
    QFETCH(bool, decodes);
    QFETCH(bool, isPicture);
    const auto bytes = inlineImageBytes(content);
    QCOMPARE(bytes.has_value(), decodes);
    if (bytes) {
        QImage image;
        QCOMPARE(image.loadFromData(*bytes), isPicture);
    }
}

void MessageRenderingTest::textLines_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("lines");

    QTest::newRow("hash then word") << "#word" << QStringList{"p:#word"};
    QTest::newRow("four hashes") << "#### Four" << QStringList{"p:#### Four"};
    QTest::newRow("level 1") << "# Title" << QStringList{"h1:Title"};
    QTest::newRow("level 2 keeps extra space") << "##  Spaced" << QStringList{"h2: Spaced"};
    QTest::newRow("level 3 indented") << "   ### Three  " << QStringList{"h3:Three"};
    QTest::newRow("indented hyphen bullet") << "   - item" << QStringList{"b:item"};
    QTest::newRow("star bullet") << "* item" << QStringList{"b:item"};
    QTest::newRow("hyphen then word") << "-item" << QStringList{"p:-item"};
    QTest::newRow("numbered item is paragraph") << "1. first" << QStringList{"p:1. first"};
    QTest::newRow("two paragraphs") << "one\ntwo\n\nthree" << QStringList{"p:one\ntwo", "p:three"};
    QTest::newRow("paragraph keeps inner indentation")
        << "  lead\n    more  " << QStringList{"p:lead\n    more"};
    QTest::newRow("heading ends a paragraph")
        << "text\n## Head\nafter" << QStringList{"p:text", "h2:Head", "p:after"};
    QTest::newRow("tab-only line separates") << "a\n\t\nb" << QStringList{"p:a", "p:b"};
    QTest::newRow("blank") << "\n  \n" << QStringList{};
    QTest::newRow("empty") << "" << QStringList{};
    QTest::newRow("marker alone is text") << "-" << QStringList{"p:-"};
    QTest::newRow("heading marker alone") << "# " << QStringList{"p:#"};
}

void MessageRenderingTest::textLines()
{
    QFETCH(QString, text);
    QFETCH(QStringList, lines);
    QCOMPARE(describe(parseTextLines(text)), lines);
}

void MessageRenderingTest::blocks()
{
    const QList<Block> blocks
        = parseBlocks(QStringLiteral("Here is code:\n```js\nlet a = 1;\n```\nDone."));
    QCOMPARE(blocks.size(), 3);
    QCOMPARE(blocks.at(0).kind, Block::Kind::Text);
    QCOMPARE(describe(blocks.at(0).lines), QStringList{"p:Here is code:"});
    QCOMPARE(blocks.at(1).kind, Block::Kind::Code);
    QCOMPARE(blocks.at(1).language, std::optional<QString>(QStringLiteral("js")));
    QCOMPARE(blocks.at(1).content, QStringLiteral("let a = 1;\n"));
    QCOMPARE(displayedCode(blocks.at(1).content), QStringLiteral("let a = 1;"));
    QCOMPARE(describe(blocks.at(2).lines), QStringList{"p:Done."});
}

void MessageRenderingTest::fenceLanguage_data()
{
    QTest::addColumn<QString>("piece");
    QTest::addColumn<QString>("language"); // "-" for none
    QTest::addColumn<QString>("code");

    QTest::newRow("nothing after fence") << "\nx = 1\n"
                                         << "-"
                                         << "\nx = 1\n";
    QTest::newRow("tag and word") << "python script\nprint()\n"
                                  << "-"
                                  << "python script\nprint()\n";
    QTest::newRow("24 characters") << QString(24, u'a') + "\ncode"
                                   << "-" << QString(24, u'a') + "\ncode";
    QTest::newRow("23 characters") << QString(23, u'a') + "\ncode" << QString(23, u'a') << "code";
    QTest::newRow("tag with surrounding spaces") << "  rust \nfn main() {}"
                                                 << "rust"
                                                 << "fn main() {}";
    QTest::newRow("no line feed") << "inline code"
                                  << "-"
                                  << "inline code";
    QTest::newRow("empty piece") << ""
                                 << "-"
                                 << "";
}

void MessageRenderingTest::fenceLanguage()
{
    QFETCH(QString, piece);
    QFETCH(QString, language);
    QFETCH(QString, code);
    const QList<Block> blocks = parseBlocks(QStringLiteral("```") + piece + QStringLiteral("```"));
    QCOMPARE(blocks.size(), 1);
    QCOMPARE(blocks.at(0).kind, Block::Kind::Code);
    QCOMPARE(blocks.at(0).language.value_or(QStringLiteral("-")), language);
    QCOMPARE(blocks.at(0).content, code);
}

void MessageRenderingTest::unclosedFenceMakesTheRestCode()
{
    const QList<Block> blocks
        = parseBlocks(QStringLiteral("Prose first.\n```cpp\nint main() {\n\n# not a heading"));
    QCOMPARE(blocks.size(), 2);
    QCOMPARE(describe(blocks.at(0).lines), QStringList{"p:Prose first."});
    QCOMPARE(blocks.at(1).language, std::optional<QString>(QStringLiteral("cpp")));
    QCOMPARE(blocks.at(1).content, QStringLiteral("int main() {\n\n# not a heading"));
}

void MessageRenderingTest::fenceInsideALine()
{
    // Fences are counted anywhere, so an inline triple backtick opens code too.
    const QList<Block> blocks = parseBlocks(QStringLiteral("use ```x``` here"));
    QCOMPARE(blocks.size(), 3);
    QCOMPARE(blocks.at(1).content, QStringLiteral("x"));
    QVERIFY(!blocks.at(1).language);
    QCOMPARE(describe(blocks.at(2).lines), QStringList{"p:here"});
}

void MessageRenderingTest::displayedCodeTrimsOnlyLineBreaks()
{
    QCOMPARE(displayedCode(QStringLiteral("\n\r\n    indented\n\n  inner\n\n")),
             QStringLiteral("    indented\n\n  inner"));
    QCOMPARE(displayedCode(QStringLiteral("\n")), QString());
}

void MessageRenderingTest::inlineMarkdown_data()
{
    QTest::addColumn<QString>("markdown");
    QTest::addColumn<QStringList>("contains");
    QTest::addColumn<QStringList>("absent");

    QTest::newRow("strong and emphasis")
        << "**bold** and *it*" << QStringList{"<b>bold</b>", "<i>it</i>"} << QStringList{"**"};
    QTest::newRow("code span") << "call `f(x)` now"
                               << QStringList{"font-family:'mono'", ">f(x)</span>"}
                               << QStringList{"`"};
    QTest::newRow("link") << "[site](https://example.com/a?b=1&c=2)"
                          << QStringList{"<a href=\"https://example.com/a?b=1&amp;c=2\"",
                                         ">site</a>"}
                          << QStringList{"]("};
    QTest::newRow("strikethrough") << "~~gone~~" << QStringList{"<s>gone</s>"} << QStringList{"~~"};
    QTest::newRow("html is text") << "<script>alert(1)</script> & <b>x</b>"
                                  << QStringList{"&lt;script&gt;", "&amp;", "&lt;b&gt;"}
                                  << QStringList{"<script>", "<b>x"};
    QTest::newRow("numbered list as typed")
        << "1. first\n2) second" << QStringList{"1. first<br/>2) second"}
        << QStringList{"<li>", "<ol>"};
    QTest::newRow("quote as typed") << "> quoted" << QStringList{"&gt; quoted"} << QStringList{};
    QTest::newRow("plus list as typed") << "+ item" << QStringList{"+ item"} << QStringList{};
    QTest::newRow("setext underline as typed")
        << "Title\n---" << QStringList{"Title<br/>---"} << QStringList{};
    QTest::newRow("equals underline as typed")
        << "Title\n===" << QStringList{"Title<br/>==="} << QStringList{};
    QTest::newRow("rule as typed") << "a\n* * *" << QStringList{"a<br/>* * *"} << QStringList{};
    QTest::newRow("indented line stays text")
        << "a\n        b" << QStringList{"a<br/>"} << QStringList{"<pre"};
    QTest::newRow("link definition as typed")
        << "[x]: http://a" << QStringList{"[x]: http://a"} << QStringList{};
    QTest::newRow("bold at line start")
        << "**Note:** text" << QStringList{"<b>Note:</b> text"} << QStringList{"\\"};
    QTest::newRow("line breaks kept") << "one\ntwo" << QStringList{"one<br/>two"} << QStringList{};
    QTest::newRow("hash sign stays")
        << "#hashtag here" << QStringList{"#hashtag here"} << QStringList{"\\"};
}

void MessageRenderingTest::inlineMarkdown()
{
    QFETCH(QString, markdown);
    QFETCH(QStringList, contains);
    QFETCH(QStringList, absent);
    InlineMarkdownStyle style;
    style.codeFontFamily = QStringLiteral("mono");
    const QString html = inlineMarkdownToHtml(markdown, style);
    for (const QString &part : contains)
        QVERIFY2(html.contains(part), qPrintable(html));
    for (const QString &part : absent)
        QVERIFY2(!html.contains(part), qPrintable(html));
}

void MessageRenderingTest::openableLinks_data()
{
    QTest::addColumn<QString>("url");
    QTest::addColumn<bool>("openable");
    QTest::newRow("https") << "https://qt.io" << true;
    QTest::newRow("http") << "http://127.0.0.1:8080/" << true;
    QTest::newRow("mail") << "mailto:a@b.c" << true;
    QTest::newRow("file") << "file:///etc/passwd" << false;
    QTest::newRow("script") << "javascript:alert(1)" << false;
    QTest::newRow("relative") << "notes.txt" << false;
}

void MessageRenderingTest::openableLinks()
{
    QFETCH(QString, url);
    QFETCH(bool, openable);
    QCOMPARE(isOpenableLink(url), openable);
}

TOVRA_TEST_MAIN(MessageRenderingTest, QGuiApplication)
#include "tst_messagerendering.moc"

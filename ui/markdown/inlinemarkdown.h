#pragma once

#include <QString>

// Inline Markdown of one paragraph or bullet (strong, emphasis, code spans, links,
// strikethrough) as rich text for a Qt Quick text item. Block syntax inside the
// text (lists, quotes, rules, headings) is shown as typed; line breaks are kept.
struct InlineMarkdownStyle
{
    QString codeFontFamily = QStringLiteral("monospace");
    QString codeBackground = QStringLiteral("rgba(127,127,127,0.16)");
    QString linkColor;
};

// With `plain`, also the text as read aloud: the words without their markup.
QString inlineMarkdownToHtml(const QString &markdown,
                             const InlineMarkdownStyle &style = {},
                             QString *plain = nullptr);

// Escapes the line starts that Markdown would read as block structure, so that the
// parser sees a single paragraph.
QString escapeBlockSyntax(const QString &markdown);

// Whether rich text holds no markup but the entities Qt's light "styled text" reader
// decodes (what escaping plain text makes), so it can be drawn as plain words without a
// rich-text document, which costs several times as much to build.
bool isPlainRichText(QStringView html);
// The words such rich text shows: its entities decoded.
QString plainRichTextWords(QStringView html);

// Links the reply text may open: web and mail addresses only.
bool isOpenableLink(const QString &url);

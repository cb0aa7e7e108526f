pragma ComponentBehavior: Bound
import QtQuick
import Qt.labs.qmlmodels
import TovraAI.Components
import TovraAI.Markdown

// The Markdown body of a reply: headings, bullets and paragraphs with inline
// Markdown, code blocks and tables. Only rows whose text changed are rebuilt, and only
// those inside the window are drawn.
BlockColumn {
    id: root

    property string text
    // A list row's text, kept out of QML properties; takes precedence over text.
    property MessageContentSource source: null
    readonly property alias document: document

    MarkdownDocument {
        id: document
        text: root.text
        source: root.source
        codeFontFamily: Theme.monospaceFamily
        linkColor: Theme.accent
        codeBackground: Theme.alpha(Theme.label, 0.08)
    }

    // One typed delegate per block kind; each row sits its gap below the one before.
    Repeater {
        model: document
        delegate: DelegateChooser {
            role: "kind"
            DelegateChoice {
                roleValue: MarkdownDocument.Code
                Item {
                    id: codeRow
                    required property int gap
                    required property string content
                    required property string language
                    width: root.width
                    height: gap + code.height
                    CodeBlockView {
                        id: code
                        y: codeRow.gap
                        width: parent.width
                        code: codeRow.content
                        language: codeRow.language
                    }
                }
            }
            DelegateChoice {
                roleValue: MarkdownDocument.Table
                Item {
                    id: tableRow
                    required property int gap
                    required property string content
                    required property var cells
                    required property var alignments
                    width: root.width
                    height: gap + table.height
                    MarkdownTable {
                        id: table
                        y: tableRow.gap
                        width: parent.width
                        markdown: tableRow.content
                        cells: tableRow.cells
                        alignments: tableRow.alignments
                    }
                }
            }
            DelegateChoice {
                roleValue: MarkdownDocument.Heading
                Item {
                    id: headingRow
                    required property int gap
                    required property int level
                    required property string content
                    width: root.width
                    height: gap + heading.height
                    MarkdownHeading {
                        id: heading
                        y: headingRow.gap
                        width: parent.width
                        level: headingRow.level
                        text: headingRow.content
                    }
                }
            }
            DelegateChoice {
                roleValue: MarkdownDocument.Bullet
                Item {
                    id: bulletRow
                    required property int gap
                    required property string html
                    required property string plain
                    width: root.width
                    height: gap + bullet.height
                    MarkdownBullet {
                        id: bullet
                        y: bulletRow.gap
                        width: parent.width
                        html: bulletRow.html
                        plainText: bulletRow.plain
                    }
                }
            }
            // Paragraphs and anything else: inline Markdown.
            DelegateChoice {
                Item {
                    id: textRow
                    required property int gap
                    required property string html
                    required property string plain
                    width: root.width
                    height: gap + inline.height
                    InlineText {
                        id: inline
                        y: textRow.gap
                        width: parent.width
                        text: textRow.html
                        plainText: textRow.plain
                    }
                }
            }
        }
    }
}

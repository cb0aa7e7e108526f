// HACK: no "pragma ComponentBehavior: Bound" here: on Qt 6.4 a Loader cannot create a
// bound inline Component ("Cannot instantiate bound component outside its creation
// context"), and this file's rows are built through Loaders.
import QtQuick
import TovraAI

// The Markdown body of a reply: headings, bullets and paragraphs with inline
// Markdown, and code blocks. Only rows whose text changed are rebuilt.
Column {
    id: root

    property string text
    // A list row's text, kept out of QML properties; takes precedence over text.
    property MessageContentSource source: null
    readonly property alias document: document

    spacing: 0

    MarkdownDocument {
        id: document
        text: root.text
        source: root.source
        codeFontFamily: Theme.monospaceFamily
        linkColor: Theme.accent
        codeBackground: Theme.alpha(Theme.label, 0.08)
    }

    Repeater {
        model: document
        delegate: Item {
            id: row

            required property int kind
            required property int level
            required property string content
            required property string html
            required property string language
            required property int gap

            width: root.width
            height: gap + (loader.item ? loader.item.height : 0)

            Loader {
                id: loader
                y: row.gap
                width: parent.width
                sourceComponent: row.kind === MarkdownDocument.Code ? codeComponent
                               : row.kind === MarkdownDocument.Heading ? headingComponent
                               : row.kind === MarkdownDocument.Bullet ? bulletComponent : paragraphComponent
            }

            Component {
                id: headingComponent
                Item {
                    width: row.width
                    height: heading.implicitHeight + heading.y + 2
                    TextEdit {
                        id: heading
                        y: row.level === 1 ? 4 : 2
                        width: parent.width
                        text: row.content
                        textFormat: TextEdit.PlainText
                        wrapMode: TextEdit.Wrap
                        readOnly: true
                        selectByMouse: true
                        font.pixelSize: row.level === 1 ? 20 : row.level === 2 ? 17 : 15
                        font.weight: row.level <= 2 ? Font.Bold : Font.DemiBold
                        color: Theme.label
                        selectionColor: Theme.alpha(Theme.accent, 0.35)
                        selectedTextColor: Theme.label
                        Accessible.role: Accessible.Heading
                        Accessible.name: row.content
                    }
                }
            }

            Component {
                id: bulletComponent
                Item {
                    width: row.width
                    height: Math.max(bulletSign.implicitHeight + 1, bulletText.implicitHeight)
                    Text {
                        id: bulletSign
                        x: 6
                        y: 1
                        text: "\u2022"
                        font.pixelSize: 13
                        color: Theme.secondary
                    }
                    InlineText {
                        id: bulletText
                        x: bulletSign.x + bulletSign.implicitWidth + 8
                        width: parent.width - x
                        text: row.html
                    }
                }
            }

            Component {
                id: paragraphComponent
                InlineText {
                    width: row.width
                    text: row.html
                }
            }

            Component {
                id: codeComponent
                CodeBlockView {
                    width: row.width
                    code: row.content
                    language: row.language
                }
            }
        }
    }
}

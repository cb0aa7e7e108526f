pragma ComponentBehavior: Bound
import QtQuick
import TovraAI

// The Markdown body of a reply: headings, bullets and paragraphs with inline
// Markdown, code blocks and tables. Only rows whose text changed are rebuilt.
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
            required property var cells
            required property var alignments

            width: root.width
            height: gap + (loader.item ? loader.item.height : 0)

            // Each kind from its own file, with bindings set on load: on Qt 6.4 a Loader
            // cannot create a bound inline Component.
            Loader {
                id: loader
                y: row.gap
                width: parent.width
                source: row.kind === MarkdownDocument.Code ? "CodeBlockView.qml"
                      : row.kind === MarkdownDocument.Table ? "MarkdownTable.qml"
                      : row.kind === MarkdownDocument.Heading ? "MarkdownHeading.qml"
                      : row.kind === MarkdownDocument.Bullet ? "MarkdownBullet.qml" : "InlineText.qml"
                onLoaded: {
                    if (row.kind === MarkdownDocument.Code) {
                        const code = item as CodeBlockView
                        code.code = Qt.binding(() => row.content)
                        code.language = Qt.binding(() => row.language)
                    } else if (row.kind === MarkdownDocument.Table) {
                        const table = item as MarkdownTable
                        table.markdown = Qt.binding(() => row.content)
                        table.cells = Qt.binding(() => row.cells)
                        table.alignments = Qt.binding(() => row.alignments)
                    } else if (row.kind === MarkdownDocument.Heading) {
                        const heading = item as MarkdownHeading
                        heading.level = Qt.binding(() => row.level)
                        heading.text = Qt.binding(() => row.content)
                    } else if (row.kind === MarkdownDocument.Bullet) {
                        (item as MarkdownBullet).html = Qt.binding(() => row.html)
                    } else {
                        (item as InlineText).text = Qt.binding(() => row.html)
                    }
                }
            }
        }
    }
}

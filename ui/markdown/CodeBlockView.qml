pragma ComponentBehavior: Bound
import QtQuick
import Qt5Compat.GraphicalEffects
import TovraAI.Components
import TovraAI.Markdown

// One fenced code block: a header with the language and a copy button, then the code,
// unwrapped, scrolling sideways.
Item {
    id: root

    // One of the three dots of a window's title bar.
    component WindowButton: Rectangle {
        width: 9
        height: 9
        radius: 4.5
    }

    // The code as shown and copied: no line breaks at either end.
    property string code
    property string language
    readonly property alias copied: copyButton.copied

    implicitHeight: frame.height
    implicitWidth: 200

    function copy(): void {
        copyButton.copy()
    }

    RectangularGlow {
        anchors.fill: frame
        anchors.topMargin: 2
        anchors.bottomMargin: -2
        glowRadius: 6
        spread: 0
        cornerRadius: frame.radius + glowRadius
        color: Theme.alpha(Theme.shadow, 0.07)
    }

    Rectangle {
        id: frame
        width: parent.width
        height: column.height
        radius: 10
        color: Theme.textBackground
        border.width: 0.5
        border.color: Theme.separator

        Column {
            id: column
            width: parent.width

            Item {
                width: parent.width
                height: header.implicitHeight + 18

                // Top corners rounded, bottom ones square: one rounded and one plain rectangle.
                Rectangle {
                    anchors.fill: parent
                    anchors.margins: 0.5
                    radius: 9.5
                    color: Theme.alpha(Theme.separator, 0.2)
                }
                Rectangle {
                    anchors.left: parent.left
                    anchors.right: parent.right
                    anchors.bottom: parent.bottom
                    anchors.leftMargin: 0.5
                    anchors.rightMargin: 0.5
                    height: parent.height / 2
                    color: Theme.alpha(Theme.separator, 0.2)
                }

                // Placed by anchors, not a layout: a block is made often while a reply streams.
                Item {
                    id: header
                    anchors.fill: parent
                    anchors.leftMargin: 13
                    anchors.rightMargin: 13
                    implicitHeight: copyButton.implicitHeight

                    Row {
                        id: windowButtons
                        anchors.verticalCenter: parent.verticalCenter
                        spacing: 5
                        WindowButton {
                            color: Theme.windowButtons[0]
                        }
                        WindowButton {
                            color: Theme.windowButtons[1]
                        }
                        WindowButton {
                            color: Theme.windowButtons[2]
                        }
                    }
                    Text {
                        anchors.left: windowButtons.right
                        anchors.leftMargin: 8
                        anchors.right: copyButton.left
                        anchors.rightMargin: 8
                        anchors.verticalCenter: parent.verticalCenter
                        visible: root.language.length > 0
                        text: root.language
                        elide: Text.ElideRight
                        font.pixelSize: 11
                        font.weight: Font.Medium
                        color: Theme.secondary
                    }
                    CopyButton {
                        id: copyButton
                        objectName: "codeCopyButton"
                        anchors.right: parent.right
                        anchors.verticalCenter: parent.verticalCenter
                        textToCopy: root.code
                    }
                }
            }

            Rectangle {
                width: parent.width
                height: 1
                color: Theme.separator
                opacity: 0.35
            }

            SideScroller {
                id: scroller
                objectName: "codeScroller"
                width: parent.width
                height: codeText.implicitHeight + barHeight
                contentWidth: Math.max(width, codeText.implicitWidth)
                contentHeight: codeText.implicitHeight
                clip: true

                TextEdit {
                    id: codeText
                    objectName: "codeText"
                    width: scroller.contentWidth
                    padding: 14
                    text: root.code
                    textFormat: TextEdit.PlainText
                    wrapMode: TextEdit.NoWrap
                    readOnly: true
                    selectByMouse: true
                    persistentSelection: false
                    font.family: Theme.monospaceFamily
                    font.pixelSize: 12 // pixel sizes are whole numbers; 12.5 in the design
                    color: Theme.label
                    selectionColor: Theme.alpha(Theme.accent, 0.35)
                    selectedTextColor: Theme.label
                    Accessible.name: "Code"
                }
            }
        }
    }
}

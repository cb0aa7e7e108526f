pragma ComponentBehavior: Bound
import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import TovraAI.Components

// One attached file: its symbol, name and size; above the input box also what it costs of
// the context, why it will not go, "Send the first part" and a remove button.
Rectangle {
    id: root

    property string name
    property string kind
    property string sizeText
    property string detail
    // Why it will not be sent (or does not fit); empty when it goes.
    property string problem
    property bool isReading: false
    property bool removable: false
    property bool canSendPart: false
    readonly property alias removeButton: removeButton

    signal removeRequested()
    signal sendPartRequested()

    implicitWidth: Math.min(320, layout.implicitWidth + 20)
    implicitHeight: layout.implicitHeight + 12
    radius: 10
    color: Theme.alpha(Theme.accent, 0.07)
    border.width: 1
    border.color: root.problem.length > 0 ? Theme.alpha(Theme.orange, 0.7) : Theme.alpha(Theme.accent, 0.3)
    Accessible.role: Accessible.StaticText
    Accessible.name: root.name + ", " + root.sizeText + (root.problem.length > 0 ? ", " + root.problem : "")

    RowLayout {
        id: layout
        x: 10
        y: 6
        width: root.width - 20
        spacing: 8

        Icon {
            Layout.alignment: Qt.AlignTop
            name: root.kind === "image" ? "photo" : "doc.text"
            size: 18
            color: Theme.accent
        }

        ColumnLayout {
            Layout.fillWidth: true
            spacing: 1

            Text {
                objectName: "chipName"
                Layout.fillWidth: true
                text: root.name
                elide: Text.ElideMiddle
                font.pixelSize: 12
                font.weight: Font.Medium
                color: Theme.label
            }
            Text {
                objectName: "chipDetail"
                Layout.fillWidth: true
                text: root.detail.length > 0 ? root.sizeText + " · " + root.detail : root.sizeText
                elide: Text.ElideRight
                font.pixelSize: 10
                color: Theme.secondary
            }
            Text {
                objectName: "chipProblem"
                Layout.fillWidth: true
                visible: root.problem.length > 0
                text: root.problem
                wrapMode: Text.Wrap
                font.pixelSize: 10
                font.weight: Font.Medium
                color: Theme.orange
            }
            PlainButton {
                objectName: "sendPartButton"
                visible: root.canSendPart
                text: "Send the first part"
                color: Theme.accent
                onClicked: root.sendPartRequested()
            }
        }

        PlainButton {
            id: removeButton
            objectName: "removeAttachmentButton"
            Layout.alignment: Qt.AlignTop
            visible: root.removable
            symbol: "xmark"
            symbolSize: 12
            toolTip: "Remove " + root.name
            onClicked: root.removeRequested()
        }

        Spinner {
            Layout.alignment: Qt.AlignTop
            visible: root.isReading
            Layout.preferredWidth: 12
            Layout.preferredHeight: 12
        }
    }
}

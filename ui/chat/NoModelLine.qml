pragma ComponentBehavior: Bound
import QtQuick
import QtQuick.Layouts
import TovraAI.Components
import TovraAI.Chat

// The warning above the input box after a send without a model; it slides in from the
// bottom while fading.
Item {
    id: root

    property bool shown: false

    Layout.fillWidth: true
    Layout.preferredHeight: shown ? noModelRow.implicitHeight + 14 : 0
    Behavior on Layout.preferredHeight { NumberAnimation { duration: 200; easing.type: Easing.InOutQuad } }
    clip: true
    opacity: shown ? 1 : 0
    Behavior on opacity { NumberAnimation { duration: 200 } }
    visible: Layout.preferredHeight > 0

    Rectangle {
        anchors.fill: parent
        color: Theme.alpha(Theme.orange, 0.08)
    }
    Row {
        id: noModelRow
        x: 18
        y: 7
        spacing: 8
        Icon {
            anchors.verticalCenter: parent.verticalCenter
            name: "exclamationmark.triangle.fill"
            size: 11
            color: Theme.orange
        }
        Text {
            anchors.verticalCenter: parent.verticalCenter
            text: "No model loaded — tap the model button to load one"
            font.pixelSize: 10
            color: Theme.secondary
        }
    }
}

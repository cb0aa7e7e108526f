pragma ComponentBehavior: Bound
import QtQuick
import QtQuick.Layouts
import TovraAI.Components
import TovraAI.Settings

// One group of the settings form: a caption over a rounded box of rows.
ColumnLayout {
    id: root

    property string title
    default property alias content: rows.data

    Layout.fillWidth: true
    spacing: 6

    Text {
        text: root.title
        font.pixelSize: 12
        font.weight: Font.DemiBold
        color: Theme.secondary
        Accessible.role: Accessible.Heading
    }
    Rectangle {
        Layout.fillWidth: true
        implicitHeight: rows.implicitHeight + 24
        radius: 8
        color: Theme.controlBackground
        border.width: 0.5
        border.color: Theme.separator

        ColumnLayout {
            id: rows
            anchors.fill: parent
            anchors.margins: 12
            spacing: 10
        }
    }
}

pragma ComponentBehavior: Bound
import QtQuick
import TovraAI.Components
import TovraAI.Chat

// Above the first row: the line about messages left out of the model's context.
Item {
    id: root

    readonly property MessageList list: ListView.view as MessageList

    width: list ? list.width : 0
    height: historyLine.visible ? historyLine.height + 4 + list.spacing : 0

    Rectangle {
        id: historyLine
        objectName: "historyLine"
        visible: root.list ? root.list.historyWasTrimmed : false
        anchors.horizontalCenter: parent.horizontalCenter
        y: 4
        width: historyRow.implicitWidth + 24
        height: historyRow.implicitHeight + 10
        radius: height / 2
        color: Theme.alpha(Theme.controlBackground, 0.8)
        Row {
            id: historyRow
            anchors.centerIn: parent
            spacing: 6
            Icon {
                anchors.verticalCenter: parent.verticalCenter
                name: "clock.arrow.circlepath"
                size: 10
                color: Theme.secondary
            }
            Text {
                anchors.verticalCenter: parent.verticalCenter
                text: "Earlier messages not in context window"
                font.pixelSize: 11
                color: Theme.secondary
            }
        }
    }
}

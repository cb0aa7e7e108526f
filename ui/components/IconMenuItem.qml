pragma ComponentBehavior: Bound
import QtQuick
import QtQuick.Controls
import TovraAI.Components

// A menu item with a design symbol before its text.
MenuItem {
    id: item

    property string symbol
    property bool destructive: false

    Accessible.name: item.text
    contentItem: Row {
        spacing: 8
        leftPadding: 4
        Icon {
            anchors.verticalCenter: parent.verticalCenter
            width: 16
            name: item.symbol
            size: 14
            color: item.destructive ? Theme.red : (item.highlighted ? Theme.palette.highlightedText : Theme.label)
        }
        Text {
            anchors.verticalCenter: parent.verticalCenter
            text: item.text
            font: item.font
            color: item.destructive ? Theme.red : (item.highlighted ? Theme.palette.highlightedText : Theme.label)
        }
    }
}

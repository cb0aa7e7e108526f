import QtQuick
import QtQuick.Controls

ApplicationWindow {
    id: window
    title: "Tovra AI"
    width: 1100
    height: 720
    visible: true

    Label {
        anchors.centerIn: parent
        text: "Tovra AI"
        font.pixelSize: 28
        opacity: 0.6
    }
}

pragma ComponentBehavior: Bound
import QtQuick
import Qt5Compat.GraphicalEffects
import TovraAI.Components

// A picture sent as an image data URL, scaled to fit 400 × 280 with rounded corners.
Item {
    id: root

    // The content is a picture that decodes; otherwise nothing is drawn.
    property bool shown: false
    // The image data URL.
    property string url

    readonly property real fitFactor: image.implicitWidth > 0
        ? Math.min(1, 400 / image.implicitWidth, 280 / image.implicitHeight) : 1
    implicitWidth: root.shown ? Math.round(image.implicitWidth * fitFactor) : 0
    implicitHeight: root.shown ? Math.round(image.implicitHeight * fitFactor) : 0

    RectangularGlow {
        anchors.fill: parent
        anchors.topMargin: 3
        anchors.bottomMargin: -3
        visible: root.shown
        glowRadius: 10
        cornerRadius: 12 + glowRadius
        color: Theme.alpha(Theme.shadow, 0.14)
    }
    Image {
        id: image
        anchors.fill: parent
        visible: false
        source: root.url
        asynchronous: true
        fillMode: Image.PreserveAspectFit
        Accessible.name: "Picture"
    }
    Rectangle {
        id: mask
        anchors.fill: parent
        radius: 12
        visible: false
    }
    OpacityMask {
        anchors.fill: parent
        source: image
        maskSource: mask
        visible: root.shown
    }
}

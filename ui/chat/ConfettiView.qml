pragma ComponentBehavior: Bound
import QtQuick
import TovraAI.Chat

// Paper strips that fall from above the top edge to below the bottom edge, each
// after its own delay, at its own speed and spin. A new effect needs a new view.
Item {
    id: root

    // From ChatLogic.makeConfettiParticles().
    property var particles: []
    // false: strips at their start; true: falling to their end.
    property bool animate: false

    Component.onCompleted: animate = true

    Repeater {
        model: root.particles
        delegate: Rectangle {
            id: strip
            required property var modelData

            width: modelData.width
            height: modelData.width * 0.5
            radius: 2
            antialiasing: true
            color: modelData.color
            x: root.width * modelData.xFraction - width / 2
            y: -20 - height / 2
            rotation: modelData.startRotation

            SequentialAnimation {
                running: root.animate
                PauseAnimation { duration: strip.modelData.delay * 1000 }
                ParallelAnimation {
                    NumberAnimation {
                        target: strip
                        property: "y"
                        to: root.height + 30 - strip.height / 2
                        duration: strip.modelData.duration * 1000
                        easing.type: Easing.InQuad
                    }
                    NumberAnimation {
                        target: strip
                        property: "rotation"
                        to: strip.modelData.endRotation
                        duration: strip.modelData.duration * 1000
                        easing.type: Easing.InQuad
                    }
                }
            }
        }
    }
}

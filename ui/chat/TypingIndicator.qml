pragma ComponentBehavior: Bound
import QtQuick
import TovraAI.Components
import TovraAI.Chat

// The start of a reply that has no text yet: the avatar and three dots lit in turn.
Row {
    id: root

    // The lit dot: 0, 1 or 2.
    property int phase: 0

    spacing: 12

    // Runs only while on screen; coming back starts again at the first dot.
    onVisibleChanged: {
        if (visible) {
            stepper.counter = 0
            root.phase = 0
        }
    }

    Timer {
        id: stepper
        // Its own count: the cycle never depends on what phase was set to meanwhile.
        property int counter: 0
        interval: 300
        repeat: true
        running: root.visible
        onTriggered: {
            counter = (counter + 1) % 3
            root.phase = counter
        }
    }

    AssistantAvatar {}

    Row {
        topPadding: 12
        spacing: 6

        Repeater {
            model: 3
            delegate: Rectangle {
                required property int index
                readonly property bool lit: index === root.phase
                objectName: "typingDot" + index
                width: 7
                height: 7
                radius: 3.5
                color: lit ? Theme.accent : Theme.alpha(Theme.secondary, 0.3)
                scale: lit ? 1.15 : 1
                Behavior on scale { NumberAnimation { duration: 250; easing.type: Easing.OutBack } }
                Behavior on color { ColorAnimation { duration: 250 } }
            }
        }
    }
}

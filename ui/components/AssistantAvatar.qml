pragma ComponentBehavior: Bound
import QtQuick
import TovraAI.Components

// The assistant's round avatar with the sparkles symbol, 2 points below its row's top.
Item {
    implicitWidth: 30
    implicitHeight: 32

    Rectangle {
        y: 2
        width: 30
        height: 30
        radius: 15
        gradient: Gradient {
            GradientStop { position: 0; color: Theme.alpha(Theme.accent, 0.16) }
            GradientStop { position: 1; color: Theme.alpha(Theme.accent, 0.06) }
        }
        border.width: 0.5
        border.color: Theme.alpha(Theme.accent, 0.18)

        Icon {
            anchors.centerIn: parent
            name: "sparkles"
            size: 12
            font.weight: Font.DemiBold
            color: Theme.accent
        }
    }
}

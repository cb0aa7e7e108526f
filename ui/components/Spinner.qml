pragma ComponentBehavior: Bound
import QtQuick
import TovraAI.Components

// A small spinning progress indicator: three quarters of a ring, turning.
Item {
    id: root

    property color color: Theme.secondary
    property real lineWidth: Math.max(1.5, width / 8)
    property bool running: visible

    implicitWidth: 14
    implicitHeight: 14

    Canvas {
        id: ring
        anchors.fill: parent
        antialiasing: true
        onPaint: {
            const ctx = getContext("2d")
            ctx.reset()
            ctx.lineWidth = root.lineWidth
            ctx.lineCap = "round"
            ctx.strokeStyle = root.color
            const r = Math.min(width, height) / 2 - root.lineWidth
            ctx.beginPath()
            ctx.arc(width / 2, height / 2, r, 0, Math.PI * 1.5)
            ctx.stroke()
        }
        Connections {
            target: root
            function onColorChanged() { ring.requestPaint() }
        }

        RotationAnimator on rotation {
            from: 0
            to: 360
            duration: 900
            loops: Animation.Infinite
            running: root.running
        }
    }
}

pragma ComponentBehavior: Bound
import QtQuick
import QtQuick.Controls
import TovraAI.Components
import TovraAI.Markdown
import TovraAI.Chat

// What the model thought before it answered, above the answer. While it thinks: "Thinking…"
// over the live text, of which the last lines are in view and the rest scrolls. Once the
// answer begins it folds to "Thought for N seconds", which opens and closes with a click,
// Return or Space.
Column {
    id: root

    // The row's thinking, read on the C++ side only.
    property MessageContentSource source: null
    property bool isThinking: false
    // How long it thought, in seconds; undefined until known.
    property var seconds: undefined
    // The text shows. It opens by itself while the model thinks and folds when it is done.
    property bool expanded: false
    // The lines of live text in view.
    property int liveLines: 5

    // A click, Return or Space opened or closed it.
    signal toggledByUser()

    readonly property alias toggle: toggle
    readonly property bool live: root.isThinking && root.expanded
    readonly property real liveHeight: root.liveLines * metrics.height

    spacing: 6

    function flip(): void {
        root.expanded = !root.expanded
        root.toggledByUser()
    }

    onIsThinkingChanged: root.expanded = root.isThinking
    Component.onCompleted: root.expanded = root.isThinking
    // Opened afterwards, it shows from its first line.
    onLiveChanged: if (!root.live) scroller.contentY = 0

    FontMetrics {
        id: metrics
        font.pixelSize: 13
    }

    PlainButton {
        id: toggle
        objectName: "thinkingToggle"
        text: ChatLogic.thinkingTitle(root.isThinking, root.seconds)
        symbol: root.expanded ? "chevron.down" : "chevron.right"
        symbolSize: 14
        fontSize: 12
        padding: 3
        color: Theme.secondary
        Accessible.description: root.expanded ? "Hide the thinking" : "Show the thinking"
        onClicked: root.flip()
        // Space clicks any button; Return too, as on the settings' switches.
        Keys.onReturnPressed: root.flip()
        Keys.onEnterPressed: root.flip()

        // Shimmers while the model thinks.
        SequentialAnimation on opacity {
            running: root.isThinking
            loops: Animation.Infinite
            alwaysRunToEnd: true
            NumberAnimation { from: 1; to: 0.45; duration: 900; easing.type: Easing.InOutQuad }
            NumberAnimation { from: 0.45; to: 1; duration: 900; easing.type: Easing.InOutQuad }
        }
    }

    // The text, set off by a line at its leading edge.
    Item {
        id: body
        objectName: "thinkingBody"
        visible: root.expanded
        x: 8
        width: root.width - x
        height: visible ? (root.live ? Math.min(thinking.height, root.liveHeight) : thinking.height) : 0
        clip: root.live

        Rectangle {
            width: 2
            height: parent.height
            radius: 1
            color: Theme.separator
        }

        Flickable {
            id: scroller
            objectName: "thinkingScroll"
            x: 12
            width: parent.width - x
            height: parent.height
            contentWidth: width
            contentHeight: thinking.height
            interactive: root.live && contentHeight > height
            boundsBehavior: Flickable.StopAtBounds
            // The newest lines stay in view as they come.
            onContentHeightChanged: if (root.live) scroller.contentY = Math.max(0, contentHeight - height)
            onHeightChanged: if (root.live) scroller.contentY = Math.max(0, contentHeight - height)

            MarkdownContentView {
                id: thinking
                objectName: "thinkingText"
                width: scroller.width
                opacity: 0.72
                // Folded, it lays nothing out.
                source: root.expanded ? root.source : null
            }
        }

        // The earlier lines fade out above the live ones.
        Rectangle {
            x: scroller.x
            width: scroller.width
            height: 18
            visible: root.live && scroller.contentY > 0
            gradient: Gradient {
                GradientStop { position: 0; color: Theme.windowBackground }
                GradientStop { position: 1; color: Theme.alpha(Theme.windowBackground, 0) }
            }
        }
    }
}

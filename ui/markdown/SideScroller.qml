pragma ComponentBehavior: Bound
import QtQuick
import QtQuick.Controls

// Content that scrolls sideways when it is wider than the view: a code block's lines, a
// table's columns. The scroll bar is made only once the content overflows, since most
// blocks fit and a bar costs about as much to make as the rest of a small block; it then
// stays, shown while the content overflows.
Flickable {
    id: root

    readonly property bool overflows: contentWidth > width
    // The room the bar takes below the content.
    readonly property real barHeight: overflows && barLoader.item ? (barLoader.item as Item).height : 0

    flickableDirection: Flickable.HorizontalFlick
    boundsBehavior: Flickable.StopAtBounds
    interactive: overflows

    // Loaded from its file (ui/README.md: Loaders on Qt 6.4).
    Loader {
        id: barLoader
        active: false
        source: "SideScrollBar.qml"
        onLoaded: {
            item.parent = root
            item.visible = Qt.binding(() => root.overflows)
            root.ScrollBar.horizontal = item
        }
    }
    onOverflowsChanged: {
        if (overflows)
            barLoader.active = true
    }
    Component.onCompleted: {
        if (overflows)
            barLoader.active = true
    }
}

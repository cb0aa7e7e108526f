pragma ComponentBehavior: Bound
import QtQuick
import QtQuick.Controls

// The sideways scroll bar of a SideScroller.
ScrollBar {
    policy: ScrollBar.AsNeeded
}

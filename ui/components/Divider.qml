pragma ComponentBehavior: Bound
import QtQuick
import TovraAI.Components

Rectangle {
    implicitHeight: 1
    color: Theme.separator
}

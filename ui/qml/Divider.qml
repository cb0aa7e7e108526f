pragma ComponentBehavior: Bound
import QtQuick
import TovraAI

Rectangle {
    implicitHeight: 1
    color: Theme.separator
}
